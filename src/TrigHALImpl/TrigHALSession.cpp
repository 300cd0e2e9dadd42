#include "TrigHALImpl/TrigHALSession.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "HALUtilities/DriverRequest.h"
#include "HALUtilities/ErrorHandling.h"
#include "TrigHALImpl/TriggerIDs.h"
#include "qverr/DetailWriter.h"
#include "qverr/Exception.h"

namespace trighal {

using nQVAPALS100::tStatus;
using qv3377hal::driverRequest;

namespace {

sdihal::tFixedPointValue toFixedPoint(const sdihal::tFixedPointFormat& format, double number) {
    sdihal::tFixedPointValue value;
    sdihal::doubleToFixedPoint(format, value, number);
    return value;
}

[[noreturn]] void refuseHoldoff(const char* problem) {
    QVERR_THROW_WITH_MESSAGE(qv3377hal::kComponent, qverr::qvapalerr_invalidParameter,
                             "qvapalerr_invalidParameter", "computeHoldoffSettings", problem);
}

// ceil(seconds × rate) as a tick count; the comparisons are written so that
// NaN fails them.
uint64_t ticksOf(double seconds, double rate) {
    constexpr double kTwoTo64 = 18446744073709551616.0;
    if (!(seconds >= 0.0)) refuseHoldoff("holdoff time is negative or not a number");
    const double ticks = std::ceil(seconds * rate);
    if (!(ticks >= 0.0 && ticks < kTwoTo64))
        refuseHoldoff("holdoff time does not fit 64-bit ticks");
    return static_cast<uint64_t>(ticks);
}

}  // namespace

TrigHALSession::TrigHALSession(std::shared_ptr<sdihal::iInterfaceProxy_trig> proxy)
    : proxy_(std::move(proxy)) {}

TrigHALSession::~TrigHALSession() = default;

int32_t TrigHALSession::getTriggerID(const char* name) {
    return triggerIdOf(name);
}

void TrigHALSession::programTrigger(uint32_t triggerId, const TriggerSettings& settings) {
    // The request carries the record's first 20 bytes.
    sdihal::tRecord<20> record;
    std::memcpy(record.bytes, &settings, sizeof record.bytes);
    driverRequest([&](tStatus& status) { proxy_->programTrigger(triggerId, record, status); });
}

void TrigHALSession::programExportPulseWidth(uint32_t signalId, uint16_t width) {
    if (!pulseWidthFormatRead_) {
        sdihal::tFixedPointFormat format;
        driverRequest(
            [&](tStatus& status) { proxy_->readExportPulseWidthFormat(&format, status); });
        exportPulseWidthFormat_ = format;
        pulseWidthFormatRead_ = true;
    }
    const auto value = toFixedPoint(exportPulseWidthFormat_, static_cast<double>(width));
    driverRequest(
        [&](tStatus& status) { proxy_->programExportPulseWidth(signalId, value, status); });
}

void TrigHALSession::programMarkerBehavior(uint32_t markerId, const MarkerBehavior& settings) {
    driverRequest(
        [&](tStatus& status) { proxy_->programMarkerBehavior(markerId, settings.value, status); });
}

void TrigHALSession::programRFBlankingMarkerMask(uint8_t mask) {
    driverRequest([&](tStatus& status) { proxy_->programRFBlankingMarkerMask(mask, status); });
}

void TrigHALSession::readBlankingFormats() {
    if (blankingFormatsRead_) return;
    sdihal::tFixedPointFormat blanking;
    sdihal::tFixedPointFormat unblanking;
    driverRequest(
        [&](tStatus& status) { proxy_->readRFBlankingMarkerOffsetFormat(&blanking, status); });
    driverRequest(
        [&](tStatus& status) { proxy_->readRFUnblankingMarkerOffsetFormat(&unblanking, status); });
    blankingMarkerOffsetFormat_ = blanking;
    unblankingMarkerOffsetFormat_ = unblanking;
    blankingFormatsRead_ = true;
}

void TrigHALSession::programRFBlankingMarkerOffsetInDACSamples(double offset) {
    readBlankingFormats();
    const auto value = toFixedPoint(blankingMarkerOffsetFormat_, offset);
    driverRequest(
        [&](tStatus& status) { proxy_->programRFBlankingMarkerOffsetInDACSamples(value, status); });
}

void TrigHALSession::programRFUnblankingMarkerOffsetInDACSamples(double offset) {
    readBlankingFormats();
    const auto value = toFixedPoint(unblankingMarkerOffsetFormat_, offset);
    driverRequest([&](tStatus& status) {
        proxy_->programRFUnblankingMarkerOffsetInDACSamples(value, status);
    });
}

void TrigHALSession::programRFBlankingDelayInDataClockTicks(uint16_t ticks) {
    driverRequest(
        [&](tStatus& status) { proxy_->programRFBlankingDelayInDataClockTicks(ticks, status); });
}

void TrigHALSession::programTriggerDelay(uint32_t triggerId, uint64_t delay) {
    driverRequest([&](tStatus& status) { proxy_->programTriggerDelay(triggerId, delay, status); });
}

void TrigHALSession::sendSoftwareTrigger(uint32_t triggerId) {
    driverRequest([&](tStatus& status) { proxy_->sendSoftwareTrigger(triggerId, status); });
}

void TrigHALSession::programAdditionalGroupDelay(uint32_t value, uint8_t flag) {
    driverRequest(
        [&](tStatus& status) { proxy_->programAdditionalGroupDelay(value, flag, status); });
}

void TrigHALSession::programBypassTriggerTimestampRecovery(uint32_t triggerId, uint8_t bypass) {
    driverRequest([&](tStatus& status) {
        proxy_->programBypassTriggerTimestampRecovery(triggerId, bypass, status);
    });
}

void TrigHALSession::programSettledGatesReadyForAdvance(bool enable) {
    driverRequest([&](tStatus& status) {
        proxy_->programSettledGatesReadyForAdvance(enable ? 1 : 0, status);
    });
}

HoldoffSettings* TrigHALSession::computeHoldoffSettings(const HoldoffRequest& in,
                                                        HoldoffRequest& out) {
    const double rate = in.tickRate;
    if (!(rate > 0.0 && std::isfinite(rate)))
        refuseHoldoff("tick rate is not a positive finite number");
    if (!(in.firstMinimum >= 0.0 && in.secondMinimum >= 0.0 && in.firstHoldoff >= 0.0 &&
          in.secondHoldoff >= 0.0)) {
        refuseHoldoff("holdoff time is negative or not a number");
    }
    if (!holdoffRevisionRead_) {
        uint32_t revision = 0;
        driverRequest([&](tStatus& status) { proxy_->readHoldoffClockInfo(&revision, status); });
        holdoffRevision_ = revision;
        holdoffRevisionRead_ = true;
    }
    const double m0 = std::max(in.firstMinimum, in.firstHoldoff);
    const double m1 = std::max(in.secondMinimum, in.secondHoldoff);
    uint64_t t0 = 0;
    uint64_t t1 = 0;
    double firstHoldoff = 0.0;
    double secondHoldoff = 0.0;
    if (holdoffRevision_ <= 1) {
        // Ticks count beyond the minimum.
        t0 = ticksOf(m0 - in.firstMinimum, rate);
        t1 = ticksOf(m1 - in.secondMinimum, rate);
        firstHoldoff = in.firstMinimum + static_cast<double>(t0) / rate;
        secondHoldoff = in.secondMinimum + static_cast<double>(t1) / rate;
    } else {
        t0 = ticksOf(m0, rate);
        t1 = ticksOf(m1, rate);
        firstHoldoff = static_cast<double>(t0) / rate;
        secondHoldoff = static_cast<double>(t1) / rate;
    }
    auto* settings = new HoldoffSettings;
    if (in.firstFlag) {
        settings->firstEnable = 1;
        settings->secondEnable = 1;
        if (in.secondFlag) {
            settings->firstTicks = t0;
            settings->secondTicks = t1;
        }
    } else {
        settings->firstTicks = t0;
        settings->secondTicks = t1;
    }
    out.firstHoldoff = firstHoldoff;
    out.secondHoldoff = secondHoldoff;
    out.firstMinimum = in.firstMinimum;
    out.secondMinimum = in.secondMinimum;
    out.tickRate = in.tickRate;
    out.firstFlag = in.firstFlag;
    out.secondFlag = in.secondFlag;
    return settings;
}

void TrigHALSession::destroyHoldoffSettings(HoldoffSettings* settings) {
    delete settings;
}

void TrigHALSession::applyHoldoffSettings(const HoldoffSettings* settings) {
    const auto record = sdihal::tRecord<32>::from(*settings);
    driverRequest([&](tStatus& status) { proxy_->applyHoldoffSettings(record, status); });
}

}  // namespace trighal
