// The self-calibration sub-session (context 24): self test, self
// calibration and the two drivers' range calibrations, each run by the
// calibration library on the worker pool.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "SelfCalHALImpl/CalibrationLibrary.h"
#include "qverr/Status.h"

namespace selfcalhal {

class SelfCalHALInterface {
public:
    virtual ~SelfCalHALInterface() = default;
    // The test result goes into the status's code; a message from the
    // library becomes elaboration records of the status.
    virtual void intermediateSelfTestDevice(qverr::Status* status) = 0;
    virtual int32_t selfCalibrate(const std::string& referenceClock) = 0;
    virtual int32_t standaloneSelfCalibrate() = 0;
    virtual int32_t PEXA_SelfCalibrateRange(const std::string& referenceClock, uint64_t value,
                                            bool includeRate, double a, double b, double c,
                                            double d, double iqRate) = 0;
    virtual int32_t PEXG_SelfCalibrateRange(const std::string& referenceClock, uint64_t value,
                                            bool includeRate, double a, double b, double c,
                                            double d, double iqRate) = 0;
};

class SelfCalHALSession : public SelfCalHALInterface {
public:
    static constexpr const char* kLibraryName = "libqvqrx3377cal.so";

    SelfCalHALSession(std::string resourceName, std::string bitfileName, std::string lo,
                      std::string libraryName, CalibrationTiming timing = {});
    SelfCalHALSession(const SelfCalHALSession&) = delete;
    SelfCalHALSession& operator=(const SelfCalHALSession&) = delete;
    ~SelfCalHALSession() override;

    void intermediateSelfTestDevice(qverr::Status* status) override;
    int32_t selfCalibrate(const std::string& referenceClock) override;
    int32_t standaloneSelfCalibrate() override;
    int32_t PEXA_SelfCalibrateRange(const std::string& referenceClock, uint64_t value,
                                    bool includeRate, double a, double b, double c, double d,
                                    double iqRate) override;
    int32_t PEXG_SelfCalibrateRange(const std::string& referenceClock, uint64_t value,
                                    bool includeRate, double a, double b, double c, double d,
                                    double iqRate) override;

    // "bitfileName:B,[LO:L,][BB:X,]refClock:R,"
    std::string _buildConfigString(const std::string& referenceClock) const;
    // The configuration text and, with the flag, "iqRate:<rate>,".
    std::string _buildRangeConfigString(const std::string& referenceClock, bool includeRate,
                                        double iqRate) const;

private:
    friend SelfCalThreaded& _getSelfCalThreaded(SelfCalHALSession& session);

    using RangeOperation = int32_t (SelfCalThreaded::*)(const std::string&, const std::string&,
                                                        uint64_t, double, double, double, double);
    int32_t rangeCalibrate(RangeOperation operation, const qverr::SourceLocation& location,
                           const std::string& referenceClock, uint64_t value, bool includeRate,
                           double a, double b, double c, double d, double iqRate);
    void _handleSelfTestResult(int32_t returnCode, KXStringHandle message, qverr::Status* status);

    std::string resourceName_;
    std::string bitfileName_;
    std::string lo_;
    std::string libraryName_;
    std::string bb_;
    void* libraryHandle_ = nullptr;
    std::shared_ptr<SelfCalHAL> wrapper_;
    std::unique_ptr<SelfCalThreaded> runner_;
    CalibrationTiming timing_;
};

// Adds the records of a self-test message to the status: for each object
// of the root's first member whose first two members are texts, "first",
// ": ", "second" and an empty record. Text that is not JSON adds nothing.
void _addElaborationsFromJson(const std::string& message, qverr::Status* status);

}  // namespace selfcalhal
