// The data-path session: status, delays and overflow handling of one data
// path (0 acquisition, 1 generation), the wait until it is idle, and the
// trigger-timestamp settings and arithmetic.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "DataPathHALImpl/TimestampValue.h"
#include "FixedPoint/FixedPoint.h"
#include "apal_qv3377k/iInterfaceProxy_qv3377k.h"

namespace datapathhal {

struct DataPathStatus {
    uint8_t flags[5];
};

struct DataPathStatusWithContext {
    uint8_t flags[6];
    uint8_t unused[2];
    uint64_t firstContext;
    uint64_t secondContext;
};
static_assert(sizeof(DataPathStatusWithContext) == 24);

struct TriggerTimestampsInput {
    double offset;
    uint8_t offsetValue3Enabled;
    uint8_t offsetValues1And2Enabled;
    uint8_t offsetValue0Enabled;
    uint8_t fractionalTimestamps;
    uint8_t firstTimestampEnabled;
};
static_assert(offsetof(TriggerTimestampsInput, firstTimestampEnabled) == 12);

// Bytes 0-12 copy the input; 13-15 are not written.
struct TriggerTimestampsOutput {
    TriggerTimestampsInput input;
    uint64_t wordCount;
};
inline constexpr size_t kTriggerTimestampsInputBytes = 13;
static_assert(offsetof(TriggerTimestampsOutput, wordCount) == 16 &&
              sizeof(TriggerTimestampsOutput) == 24);

// Sent to the kernel driver as it is (68 bytes used).
struct TriggerTimestampsSettings {
    sdihal::tFixedPointValue offsets[4];
    uint32_t fractionalTimestamps = 0;
};
static_assert(offsetof(TriggerTimestampsSettings, fractionalTimestamps) == 64);
static_assert(sizeof(TriggerTimestampsSettings) == 72);

class DataPathHALInterface {
public:
    virtual ~DataPathHALInterface() = default;
    virtual void sendMessages(const void* messages, uint32_t count) = 0;
    virtual void checkStatus(DataPathStatus* status) = 0;
    virtual void checkStatusWithContext(DataPathStatusWithContext* status) = 0;
    virtual void clearStatus(const DataPathStatus* status) = 0;
    virtual void readDSPGroupDelay(double* delay) = 0;
    virtual void readDSPPipelineDelay(uint32_t* delay) = 0;
    virtual void readDataDelayRange(uint32_t* minimum, uint32_t* maximum) = 0;
    virtual void programDataDelay(uint32_t delay) = 0;
    virtual void programDSPIgnoreOverflow(uint8_t flag) = 0;
    virtual void programEqBypass(uint8_t flag) = 0;
    virtual void getPFI0FpgaDelay(double* delay) = 0;
    virtual void getRoutingDelay(double* delay) = 0;
    virtual void programAnalogFrontEndDelay(double delay) = 0;
    virtual void programMarkerDelay(double delay) = 0;
    virtual void programPostRouteEventDelay(double delay) = 0;
    virtual void programPreRouteTriggerDelay(double delay) = 0;
    virtual TriggerTimestampsSettings* computeTriggerTimestampsSettings(
        const TriggerTimestampsInput* input, TriggerTimestampsOutput* output) = 0;
    virtual void destroyTriggerTimestampsSettings(TriggerTimestampsSettings* settings) = 0;
    virtual void applyTriggerTimestampsSettings(const TriggerTimestampsSettings* settings) = 0;
    virtual double computeReferenceSampleTimestamp(const uint64_t* words, uint64_t count,
                                                   double period) = 0;
    virtual double computeRelativeToFirstRecordT0(uint8_t flag, const uint64_t* firstRecordWords,
                                                  const uint64_t* recordWords, uint64_t count,
                                                  double offset, double period) = 0;
    virtual double computeReferenceTriggerCorrection(const uint64_t* words, uint64_t count,
                                                     uint8_t flag, double period,
                                                     double offset) = 0;
    virtual bool isDone() = 0;
    virtual void waitForDone() = 0;
};

class DataPathSession : public DataPathHALInterface {
public:
    // How long waitForDone() waits for the data path to go idle.
    static constexpr std::chrono::nanoseconds kWaitBudget = std::chrono::milliseconds(15);

    // Reads the register formats (and, on index 0, the timestamp mode) of
    // the data path; an index other than 0 or 1 throws -52005.
    DataPathSession(std::shared_ptr<sdihal::iInterfaceProxy_datapath> proxy, uint32_t index);
    ~DataPathSession() override;

    void sendMessages(const void* messages, uint32_t count) override;
    void checkStatus(DataPathStatus* status) override;
    void checkStatusWithContext(DataPathStatusWithContext* status) override;
    void clearStatus(const DataPathStatus* status) override;
    void readDSPGroupDelay(double* delay) override;
    void readDSPPipelineDelay(uint32_t* delay) override;
    void readDataDelayRange(uint32_t* minimum, uint32_t* maximum) override;
    void programDataDelay(uint32_t delay) override;
    void programDSPIgnoreOverflow(uint8_t flag) override;
    void programEqBypass(uint8_t flag) override;
    void getPFI0FpgaDelay(double* delay) override;
    void getRoutingDelay(double* delay) override;
    void programAnalogFrontEndDelay(double delay) override;
    void programMarkerDelay(double delay) override;
    void programPostRouteEventDelay(double delay) override;
    void programPreRouteTriggerDelay(double delay) override;
    TriggerTimestampsSettings* computeTriggerTimestampsSettings(
        const TriggerTimestampsInput* input, TriggerTimestampsOutput* output) override;
    void destroyTriggerTimestampsSettings(TriggerTimestampsSettings* settings) override;
    void applyTriggerTimestampsSettings(const TriggerTimestampsSettings* settings) override;
    double computeReferenceSampleTimestamp(const uint64_t* words, uint64_t count,
                                           double period) override;
    double computeRelativeToFirstRecordT0(uint8_t flag, const uint64_t* firstRecordWords,
                                          const uint64_t* recordWords, uint64_t count,
                                          double offset, double period) override;
    double computeReferenceTriggerCorrection(const uint64_t* words, uint64_t count, uint8_t flag,
                                             double period, double offset) override;
    bool isDone() override;
    // Polls the done flag, spinning between reads, until it is set; a read
    // that starts with the budget used up and finds it clear throws
    // -1074098044 with its usage record.
    void waitForDone() override { waitForDone(kWaitBudget); }
    void waitForDone(std::chrono::nanoseconds budget);

    uint32_t index() const { return index_; }
    uint32_t triggerTimestampMode() const { return triggerTimestampMode_; }

    // The timestamps a record's words hold (layout chosen by the word count).
    RecordTimestamps decode(const uint64_t* words, uint64_t count, double period) const;

private:
    std::shared_ptr<sdihal::iInterfaceProxy_datapath> proxy_;
    uint32_t index_;
    sdihal::tFixedPointFormat analogFrontEndDelayFormat_;
    sdihal::tFixedPointFormat markerDelayFormat_;
    sdihal::tFixedPointFormat preRouteTriggerDelayFormat_;
    sdihal::tFixedPointFormat postRouteEventDelayFormat_;
    sdihal::tFixedPointFormat triggerTimestampOffsetFormat_;
    sdihal::tFixedPointFormat timestampFractionFormat_;
    uint32_t triggerTimestampMode_ = 1;
    TriggerTimestampsSettings triggerTimestampsSettings_;
};

}  // namespace datapathhal
