#include "DataPathHALImpl/DataPathSession.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "HALUtilities/DriverRequest.h"
#include "HALUtilities/ErrorHandling.h"
#include "qverr/DetailWriter.h"
#include "qverr/Exception.h"
#include "qvmxl/errors.h"
#include "qvmxl/qvmxl.h"

namespace datapathhal {

using nQVAPALS100::tStatus;
using qv3377hal::driverRequest;

namespace {

constexpr const char* kSource = "DataPathHALImpl/DataPathHALSession";

sdihal::tFixedPointValue toFixedPoint(const sdihal::tFixedPointFormat& format, double number) {
    sdihal::tFixedPointValue value;
    sdihal::doubleToFixedPoint(format, value, number);
    return value;
}

[[noreturn]] void throwTimedOut() {
    qverr::Status status;
    status.setCode(qvmxl::kErrorOperationTimedOut,
                   QVERR_FIXED_LOCATION(kSource, 189, qv3377hal::kComponent,
                                        "qvmxl::kErrorOperationTimedOut"));
    qverr::DetailWriter(status).add("waitForDone", "data path did not become idle in time");
    qvmxl::writeUsageParam(qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status),
                           qvmxl::UsageParam<const char*>{
                               "kUsageTypeSource", "Waiting For Device To Transition To Idle"});
    qverr::throwStatus(std::move(status));
}

}  // namespace

DataPathSession::DataPathSession(std::shared_ptr<sdihal::iInterfaceProxy_datapath> proxy,
                                 uint32_t index)
    : proxy_(std::move(proxy)), index_(index) {
    if (index == 0) {
        driverRequest([&](tStatus& status) {
            proxy_->getPreRouteTriggerDelayFormat(&preRouteTriggerDelayFormat_, status);
        });
        driverRequest([&](tStatus& status) {
            proxy_->getTriggerTimestampOffsetFormat(&triggerTimestampOffsetFormat_, status);
        });
        driverRequest([&](tStatus& status) {
            proxy_->getTriggerTimestampInfo(&triggerTimestampMode_, &timestampFractionFormat_,
                                            status);
        });
    } else if (index == 1) {
        driverRequest(
            [&](tStatus& status) { proxy_->getMarkerDelayFormat(&markerDelayFormat_, status); });
        driverRequest([&](tStatus& status) {
            proxy_->getPostRouteEventDelayFormat(&postRouteEventDelayFormat_, status);
        });
    } else {
        qverr::throwWithMessage(
            qverr::qvapalerr_invalidParameter,
            QVERR_FIXED_LOCATION(kSource, 42, qv3377hal::kComponent, "qvapalerr_invalidParameter"),
            "DataPathSession", "data-path index is neither 0 nor 1");
    }
    driverRequest([&](tStatus& status) {
        proxy_->getAnalogFrontEndDelayFormat(index_, &analogFrontEndDelayFormat_, status);
    });
}

DataPathSession::~DataPathSession() = default;

void DataPathSession::sendMessages(const void* messages, uint32_t count) {
    const auto address = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(messages));
    driverRequest([&](tStatus& status) { proxy_->sendMessages(index_, address, count, status); });
}

void DataPathSession::checkStatus(DataPathStatus* status) {
    sdihal::tRecord<24> record;
    driverRequest([&](tStatus& s) { proxy_->checkStatus(index_, &record, s); });
    std::memcpy(status->flags, record.bytes, sizeof status->flags);
}

void DataPathSession::checkStatusWithContext(DataPathStatusWithContext* status) {
    sdihal::tRecord<24> record;
    driverRequest([&](tStatus& s) { proxy_->checkStatus(index_, &record, s); });
    std::memcpy(status->flags, record.bytes, sizeof status->flags);
    std::memcpy(&status->firstContext, record.bytes + 8, sizeof status->firstContext);
    std::memcpy(&status->secondContext, record.bytes + 16, sizeof status->secondContext);
}

void DataPathSession::clearStatus(const DataPathStatus* status) {
    sdihal::tRecord<8> flags;
    std::memcpy(flags.bytes, status->flags, sizeof status->flags);
    driverRequest([&](tStatus& s) { proxy_->clearStatus(index_, flags, s); });
}

void DataPathSession::readDSPGroupDelay(double* delay) {
    sdihal::tFixedPointValue value;
    driverRequest([&](tStatus& status) { proxy_->readDSPGroupDelay(index_, &value, status); });
    *delay = sdihal::fixedPointToDouble(value);
}

void DataPathSession::readDSPPipelineDelay(uint32_t* delay) {
    uint32_t value = *delay;
    driverRequest([&](tStatus& status) { proxy_->readDSPPipelineDelay(index_, &value, status); });
    *delay = value;
}

void DataPathSession::readDataDelayRange(uint32_t* minimum, uint32_t* maximum) {
    uint32_t low = *minimum;
    uint32_t high = *maximum;
    driverRequest(
        [&](tStatus& status) { proxy_->readDataDelayRange(index_, &low, &high, status); });
    *minimum = low;
    *maximum = high;
}

void DataPathSession::programDataDelay(uint32_t delay) {
    driverRequest([&](tStatus& status) { proxy_->programDataDelay(index_, delay, status); });
}

void DataPathSession::programDSPIgnoreOverflow(uint8_t flag) {
    driverRequest([&](tStatus& status) { proxy_->programDSPIgnoreOverflow(index_, flag, status); });
}

void DataPathSession::programEqBypass(uint8_t flag) {
    driverRequest([&](tStatus& status) { proxy_->programEqBypass(flag, status); });
}

void DataPathSession::getPFI0FpgaDelay(double* delay) {
    sdihal::tFixedPointValue value;
    driverRequest([&](tStatus& status) { proxy_->getPFI0FpgaDelay(index_, &value, status); });
    *delay = sdihal::fixedPointToDouble(value);
}

void DataPathSession::getRoutingDelay(double* delay) {
    sdihal::tFixedPointValue value;
    driverRequest([&](tStatus& status) { proxy_->getRoutingDelay(index_, &value, status); });
    *delay = sdihal::fixedPointToDouble(value);
}

void DataPathSession::programAnalogFrontEndDelay(double delay) {
    const auto value = toFixedPoint(analogFrontEndDelayFormat_, delay);
    driverRequest(
        [&](tStatus& status) { proxy_->programAnalogFrontEndDelay(index_, value, status); });
}

void DataPathSession::programMarkerDelay(double delay) {
    const auto value = toFixedPoint(markerDelayFormat_, delay);
    driverRequest([&](tStatus& status) { proxy_->programMarkerDelay(value, status); });
}

void DataPathSession::programPostRouteEventDelay(double delay) {
    const auto value = toFixedPoint(postRouteEventDelayFormat_, delay);
    driverRequest([&](tStatus& status) { proxy_->programPostRouteEventDelay(value, status); });
}

void DataPathSession::programPreRouteTriggerDelay(double delay) {
    const auto value = toFixedPoint(preRouteTriggerDelayFormat_, delay);
    driverRequest([&](tStatus& status) { proxy_->programPreRouteTriggerDelay(value, status); });
}

bool DataPathSession::isDone() {
    uint8_t done = 0;
    driverRequest([&](tStatus& status) { proxy_->isDone(index_, &done, status); });
    return done != 0;
}

void DataPathSession::waitForDone(std::chrono::nanoseconds budget) {
    using Clock = std::chrono::steady_clock;
    // One clock step longer than asked, as every interval here.
    constexpr std::chrono::nanoseconds kStep{1};
    constexpr std::chrono::nanoseconds kLongestSpin = std::chrono::microseconds(100);
    budget += kStep;
    std::chrono::nanoseconds spin = std::chrono::microseconds(1);
    const auto start = Clock::now();
    for (;;) {
        const bool budgetLeft = Clock::now() - start < budget;
        if (isDone()) return;
        if (!budgetLeft) throwTimedOut();
        const auto spinStart = Clock::now();
        while (Clock::now() - spinStart < spin + kStep) {
        }
        spin = std::min(spin * 2, kLongestSpin);
    }
}

TriggerTimestampsSettings* DataPathSession::computeTriggerTimestampsSettings(
    const TriggerTimestampsInput* input, TriggerTimestampsOutput* output) {
    const uint32_t mode = triggerTimestampMode_;
    const double v = input->offset;
    TriggerTimestampsSettings settings;
    auto set = [&](int which, bool enabled) {
        settings.offsets[which] = toFixedPoint(triggerTimestampOffsetFormat_, enabled ? v : 0.0);
    };
    set(3, input->offsetValue3Enabled != 0);
    set(0, input->offsetValue0Enabled != 0);
    const bool both = input->offsetValues1And2Enabled != 0;
    const bool fractional = input->fractionalTimestamps != 0;
    set(1, both && (fractional || mode != 1));
    set(2, both && !fractional);
    settings.fractionalTimestamps = input->fractionalTimestamps;
    const uint64_t base = (mode > 1 || input->firstTimestampEnabled != 0) ? 3 : 2;
    const uint64_t wordCount = fractional ? 2 * base : base;
    // Read the whole input before writing: the caller may pass one record.
    const TriggerTimestampsInput copy = *input;
    triggerTimestampsSettings_ = settings;
    std::memcpy(&output->input, &copy, kTriggerTimestampsInputBytes);
    output->wordCount = wordCount;
    return &triggerTimestampsSettings_;
}

void DataPathSession::destroyTriggerTimestampsSettings(TriggerTimestampsSettings*) {}

void DataPathSession::applyTriggerTimestampsSettings(const TriggerTimestampsSettings*) {
    const auto record = sdihal::tRecord<72>::from(triggerTimestampsSettings_);
    driverRequest([&](tStatus& status) { proxy_->applyTriggerTimestampsSettings(record, status); });
}

RecordTimestamps DataPathSession::decode(const uint64_t* w, uint64_t count, double period) const {
    auto frac = [this](uint64_t bits) {
        sdihal::tFixedPointValue value;
        value.bits = bits;
        value.format = timestampFractionFormat_;
        return sdihal::fixedPointToDouble(value);
    };
    RecordTimestamps record;
    switch (count) {
        case 6:
            record.hasFirst = true;
            record.first = {w[0], frac(w[1]), period};
            record.second = {w[2], frac(w[3]), period};
            record.third = {w[4], frac(w[5]), period};
            break;
        case 3: {
            const double zero = frac(0);
            record.hasFirst = true;
            record.first = {w[0], zero, period};
            record.second = {w[1], zero, period};
            record.third = {w[2], zero, period};
            break;
        }
        case 4:
            record.second = {w[0], frac(w[1]), period};
            record.third = {w[2], frac(w[3]), period};
            break;
        default: {
            const double zero = frac(0);
            record.second = {w[0], zero, period};
            record.third = {w[1], zero, period};
            break;
        }
    }
    return record;
}

double DataPathSession::computeReferenceSampleTimestamp(const uint64_t* words, uint64_t count,
                                                        double period) {
    if (triggerTimestampMode_ <= 1) return 0.0;
    const RecordTimestamps d = decode(words, count, period);
    return (d.third - d.second).toTime();
}

double DataPathSession::computeRelativeToFirstRecordT0(uint8_t flag,
                                                       const uint64_t* firstRecordWords,
                                                       const uint64_t* recordWords, uint64_t count,
                                                       double offset, double period) {
    if (triggerTimestampMode_ <= 1) return 0.0;
    const RecordTimestamps a = decode(firstRecordWords, count, period);
    const RecordTimestamps b = decode(recordWords, count, period);
    if (flag != 0) return (b.first - a.first).toTime() + offset;
    return (b.third - a.third).toTime();
}

double DataPathSession::computeReferenceTriggerCorrection(const uint64_t* words, uint64_t count,
                                                          uint8_t flag, double period,
                                                          double offset) {
    const RecordTimestamps d = decode(words, count, period);
    if (!d.hasFirst) return 0.0;
    if (triggerTimestampMode_ > 1) return (d.second - d.first).toTime() - offset;
    if (flag != 0) return (d.third - d.first).toTime();
    return (d.second - d.first).toTime();
}

}  // namespace datapathhal
