#include "SyntraSyncHALImpl/SyntraSyncSession.h"

#include <vector>

#include "HALUtilities/DriverRequest.h"
#include "qvaal/AALProxy.h"
#include "qverr/DetailWriter.h"
#include "qverr/Exception.h"

namespace syntrasynchal {

using qv3377hal::driverRequest;

namespace {

constexpr const char* kComponent = "qv3377hal";

// Defaults of a module whose driver gives no valid converter configuration.
constexpr uint64_t kDefaultMclkMultiplier = 496;
constexpr uint64_t kDefaultMclkDivisor = 135;
constexpr uint64_t kDefaultStartClockDelayCycles = 4;
constexpr double kDefaultTimebaseRate = 40e6;
constexpr double kDefaultStartClockRate = 100e6;

constexpr double kPulseInjectionSamplePeriod = 2e-10;
constexpr double kPulseInjectionStepPeriod = 2.4e-9;

[[noreturn]] void invalid(const qverr::SourceLocation& location, const char* message) {
    qverr::throwWithMessage(qverr::qvapalerr_invalidParameter, location, "SyntraSyncSession",
                            message);
}

// The location only, no detail.
[[noreturn]] void softwareFault(const qverr::SourceLocation& location) {
    qverr::throwError(qverr::qvapalerr_softwareFaultAPALInternalUseOnly, location);
}

}  // namespace

SyntraSyncSession::SyntraSyncSession(SyntraSyncControlInterface* control) : _control(control) {
    _measurementType = driverRequest(
        [&](nQVAPALS100::tStatus& status) { return _control->getMeasurementType(status); });
    switch (_measurementType) {
        case kFTDC: {
            FTDCConfiguration record;
            driverRequest([&](nQVAPALS100::tStatus& status) {
                _control->readFTDCConfiguration(reinterpret_cast<uintptr_t>(&record), status);
            });
            _ftdcComputer = std::make_unique<qvftdc::FTDCMeasurementComputer>(
                record, kDefaultMclkMultiplier, kDefaultMclkDivisor, kDefaultStartClockDelayCycles,
                kDefaultTimebaseRate, kDefaultStartClockRate);
            break;
        }
        case kPulseInjection:
            _pulseInjectionComputer = std::make_unique<PulseInjectionMeasurementComputer>();
            break;
        case kPulseStretcher:
            _pulseStretcherComputer = std::make_unique<PulseStretcherMeasurementComputer>();
            break;
        default:
            softwareFault(QVERR_LOCATION(kComponent, "qvapalerr_softwareFaultAPALInternalUseOnly"));
    }
}

SyntraSyncSession::~SyntraSyncSession() = default;

void SyntraSyncSession::configureSyntra(uint32_t first, uint32_t second) {
    driverRequest(
        [&](nQVAPALS100::tStatus& status) { _control->configureSyntra(first, second, status); });
    _syntraDivisor = first + second;
}

void SyntraSyncSession::configureTriggerSynchronization(uint64_t count, const uint32_t* values) {
    if (count > 0 && values == nullptr) {
        invalid(QVERR_LOCATION(kComponent, "qvapalerr_invalidParameter"), "values is NULL");
    }
    for (uint64_t i = 0; i < count; ++i) {
        driverRequest([&](nQVAPALS100::tStatus& status) {
            _control->configureTriggerSynchronization(static_cast<uint32_t>(i), &values[i], status);
        });
    }
}

void SyntraSyncSession::enableSyntraMeasurement() {
    driverRequest([&](nQVAPALS100::tStatus& status) { _control->enableSyntraMeasurement(status); });
}

void SyntraSyncSession::disableSyntraMeasurement() {
    driverRequest(
        [&](nQVAPALS100::tStatus& status) { _control->disableSyntraMeasurement(status); });
}

void SyntraSyncSession::sendSyncPulse() {
    driverRequest([&](nQVAPALS100::tStatus& status) { _control->sendSyncPulse(status); });
}

void SyntraSyncSession::applyMediumAdjustment(uint32_t amount) {
    driverRequest(
        [&](nQVAPALS100::tStatus& status) { _control->applyMediumAdjustment(amount, status); });
}

void SyntraSyncSession::applyCoarseAdjustment(uint32_t first, uint32_t second) {
    driverRequest([&](nQVAPALS100::tStatus& status) {
        _control->applyCoarseAdjustment(first, second, status);
    });
}

void SyntraSyncSession::calibrateTDC() {
    if (_measurementType != kPulseStretcher) return;
    if (_pulseStretcherComputer == nullptr) {
        softwareFault(QVERR_LOCATION(kComponent, "qvapalerr_softwareFaultAPALInternalUseOnly"));
    }
    _pulseStretcherComputer->calibrate(*_control);
}

void SyntraSyncSession::readSyntraMeasurement(uint32_t measurementArgument,
                                              double* syncMeasurementInSeconds,
                                              double syntraPeriod) {
    if (syncMeasurementInSeconds == nullptr) {
        invalid(QVERR_LOCATION(kComponent, "qvapalerr_invalidParameter"),
                "syncMeasurementInSeconds is NULL");
    }
    if (_syntraDivisor == 0) {
        invalid(QVERR_LOCATION(kComponent, "qvapalerr_invalidParameter"),
                "_syntraDivisor is not greater than 0");
    }
    double result = 0.0;
    switch (_measurementType) {
        case kFTDC: {
            if (_ftdcComputer == nullptr) {
                softwareFault(
                    QVERR_LOCATION(kComponent, "qvapalerr_softwareFaultAPALInternalUseOnly"));
            }
            sdihal::tFixedPointValue start;
            sdihal::tFixedPointValue stop;
            uint64_t coarseCount = 0;
            driverRequest([&](nQVAPALS100::tStatus& status) {
                _control->readFTDCMeasurement(measurementArgument, start, stop, coarseCount,
                                              status);
            });
            result = _ftdcComputer->computeMeasurement(start, stop, coarseCount,
                                                       syntraPeriod / _syntraDivisor, syntraPeriod);
            break;
        }
        case kPulseInjection: {
            if (_pulseInjectionComputer == nullptr) {
                softwareFault(
                    QVERR_LOCATION(kComponent, "qvapalerr_softwareFaultAPALInternalUseOnly"));
            }
            uint32_t count = 0;
            driverRequest([&](nQVAPALS100::tStatus& status) {
                count = _control->getPulseInjectionSampleCount(status);
            });
            if (count == 0)
                softwareFault(
                    QVERR_LOCATION(kComponent, "qvapalerr_softwareFaultAPALInternalUseOnly"));
            std::vector<uint32_t> samples(count);
            uint32_t first = 0;
            uint32_t second = 0;
            driverRequest([&](nQVAPALS100::tStatus& status) {
                _control->readPulseInjectionSamples(reinterpret_cast<uintptr_t>(samples.data()),
                                                    count, first, second, status);
            });
            result = _pulseInjectionComputer->computeMeasurement(
                AALProxy::getInstance(), samples, first, second, _converterDelayInSeconds,
                kPulseInjectionSamplePeriod, kPulseInjectionStepPeriod, syntraPeriod);
            break;
        }
        case kPulseStretcher: {
            if (_pulseStretcherComputer == nullptr) {
                softwareFault(
                    QVERR_LOCATION(kComponent, "qvapalerr_softwareFaultAPALInternalUseOnly"));
            }
            uint64_t first = 0;
            uint64_t second = 0;
            uint64_t third = 0;
            driverRequest([&](nQVAPALS100::tStatus& status) {
                _control->readPulseStretcherMeasurement(first, second, third, status);
            });
            result =
                _pulseStretcherComputer->computeMeasurement(first, second, third, syntraPeriod);
            break;
        }
        default:
            softwareFault(QVERR_LOCATION(kComponent, "qvapalerr_softwareFaultAPALInternalUseOnly"));
    }
    *syncMeasurementInSeconds = result;
}

}  // namespace syntrasynchal
