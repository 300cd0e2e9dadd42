// The calibration library binding: the library, loaded once per process
// and cached by name; the Korvex run-time engine it runs on; the table of
// its six entry points; and the runner that calls them on the worker pool
// and waits with a time-out.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "SelfCalHALImpl/TaskQueue.h"

namespace selfcalhal {
class SelfCalHALSession;
}

namespace codegen::qrx2selfcalkxdll {

// The engine's string: a 32-bit length and that many characters (no
// terminating zero), reached through a handle.
struct KXStringBlock {
    int32_t length;
    char text[1];
};
using KXStringHandle = KXStringBlock**;

using IntermediateSelfTestDeviceFn = int32_t (*)(const char*, int32_t*, KXStringHandle*);
using SelfCalibrateFn = int32_t (*)(const char*, const char*);
using SelfCalibrateRangeFn = int32_t (*)(const char*, const char*, uint64_t, double, double, double,
                                         double);
using KXDLLStatusFn = int32_t (*)(char*, int32_t, void*);

class SelfCalHALInterface {
public:
    virtual ~SelfCalHALInterface() = default;
    virtual bool isIntermediateSelfTestDeviceAvailable() const = 0;
    virtual int32_t IntermediateSelfTestDevice(const char* resource, int32_t* testResult,
                                               KXStringHandle* message) = 0;
    virtual bool isSelfCalibrateAvailable() const = 0;
    virtual int32_t SelfCalibrate(const char* resource, const char* configuration) = 0;
    virtual bool isStandaloneSelfCalibrateAvailable() const = 0;
    virtual int32_t StandaloneSelfCalibrate(const char* resource, const char* configuration) = 0;
    virtual bool isPEXASelfCalibrateRangeAvailable() const = 0;
    virtual int32_t PEXASelfCalibrateRange(const char* resource, const char* configuration,
                                           uint64_t value, double a, double b, double c,
                                           double d) = 0;
    virtual bool isPEXGSelfCalibrateRangeAvailable() const = 0;
    virtual int32_t PEXGSelfCalibrateRange(const char* resource, const char* configuration,
                                           uint64_t value, double a, double b, double c,
                                           double d) = 0;
    virtual bool isKXDLLStatusAvailable() const = 0;
    virtual int32_t KXDLLStatus(char* text, int32_t size, void* module) = 0;
};

// The entry points, null until resolved (a missing one stays null).
class SelfCalHAL : public SelfCalHALInterface {
public:
    static constexpr const char* kEntryPointNames[] = {
        "qvQRX2Cal_IntermediateSelfTestDevice", "qvQRX2Cal_SelfCalibrate",
        "qvQRX2Cal_StandaloneSelfCalibrate",    "qvQRX2Cal_PEXASelfCalibrateRange",
        "qvQRX2Cal_PEXGSelfCalibrateRange",     "KXDLLStatus"};
    static constexpr const char* kPrefix = "";
    static constexpr const char* kSuffix = "";

    // Resolves every entry point of the loaded library.
    void resolve(void* library);
    void setEntryPoint(size_t index, void* address);

    bool isIntermediateSelfTestDeviceAvailable() const override { return selfTest_ != nullptr; }
    int32_t IntermediateSelfTestDevice(const char* resource, int32_t* testResult,
                                       KXStringHandle* message) override {
        return selfTest_(resource, testResult, message);
    }
    bool isSelfCalibrateAvailable() const override { return selfCalibrate_ != nullptr; }
    int32_t SelfCalibrate(const char* resource, const char* configuration) override {
        return selfCalibrate_(resource, configuration);
    }
    bool isStandaloneSelfCalibrateAvailable() const override { return standalone_ != nullptr; }
    int32_t StandaloneSelfCalibrate(const char* resource, const char* configuration) override {
        return standalone_(resource, configuration);
    }
    bool isPEXASelfCalibrateRangeAvailable() const override { return pexa_ != nullptr; }
    int32_t PEXASelfCalibrateRange(const char* resource, const char* configuration, uint64_t value,
                                   double a, double b, double c, double d) override {
        return pexa_(resource, configuration, value, a, b, c, d);
    }
    bool isPEXGSelfCalibrateRangeAvailable() const override { return pexg_ != nullptr; }
    int32_t PEXGSelfCalibrateRange(const char* resource, const char* configuration, uint64_t value,
                                   double a, double b, double c, double d) override {
        return pexg_(resource, configuration, value, a, b, c, d);
    }
    bool isKXDLLStatusAvailable() const override { return dllStatus_ != nullptr; }
    int32_t KXDLLStatus(char* text, int32_t size, void* module) override {
        return dllStatus_(text, size, module);
    }

private:
    IntermediateSelfTestDeviceFn selfTest_ = nullptr;
    SelfCalibrateFn selfCalibrate_ = nullptr;
    SelfCalibrateFn standalone_ = nullptr;
    SelfCalibrateRangeFn pexa_ = nullptr;
    SelfCalibrateRangeFn pexg_ = nullptr;
    KXDLLStatusFn dllStatus_ = nullptr;
};

}  // namespace codegen::qrx2selfcalkxdll

namespace selfcalhal {

using codegen::qrx2selfcalkxdll::KXStringHandle;
using codegen::qrx2selfcalkxdll::SelfCalHAL;

// Poll intervals and time-outs of the calibration calls.
struct CalibrationTiming {
    std::chrono::microseconds initialPoll{10000};
    std::chrono::microseconds maximumPoll{1000000};
    std::chrono::microseconds selfTestTimeout{600000000};       // ten minutes
    std::chrono::microseconds calibrationTimeout{14400000000};  // four hours
};

// Runs each entry point as a task on the queue and waits for it. Every
// submission has its own completion and outputs, held by the task too, so
// a call that timed out leaves the late task nothing of the caller's to
// write into and cannot complete a later call. One call at a time.
class SelfCalThreaded {
public:
    SelfCalThreaded(std::shared_ptr<SelfCalHAL> wrapper, TaskQueue& queue,
                    CalibrationTiming timing = {});
    virtual ~SelfCalThreaded() = default;

    int32_t intermediateSelfTestDevice(const std::string& resource, int32_t* testResult,
                                       KXStringHandle* message);
    int32_t selfCalibrate(const std::string& resource, const std::string& configuration);
    int32_t standaloneSelfCalibrate(const std::string& resource, const std::string& configuration);
    int32_t pexaSelfCalibrateRange(const std::string& resource, const std::string& configuration,
                                   uint64_t value, double a, double b, double c, double d);
    int32_t pexgSelfCalibrateRange(const std::string& resource, const std::string& configuration,
                                   uint64_t value, double a, double b, double c, double d);
    int32_t kxDLLStatus(char* text, int32_t size, void* module);

    // Polls until the submission completed; -52007 when `timeout` passes.
    void waitForTaskCompletion(TaskCompletion& completion, std::chrono::microseconds timeout) const;

private:
    using ConfigurationEntry = int32_t (SelfCalHAL::*)(const char*, const char*);
    using RangeEntry = int32_t (SelfCalHAL::*)(const char*, const char*, uint64_t, double, double,
                                               double, double);

    int32_t run(std::function<int()> call, std::chrono::microseconds timeout);
    int32_t configurationCall(bool (SelfCalHAL::*available)() const, ConfigurationEntry entry,
                              const std::string& resource, const std::string& configuration);
    int32_t rangeCall(bool (SelfCalHAL::*available)() const, RangeEntry entry,
                      const std::string& resource, const std::string& configuration, uint64_t value,
                      double a, double b, double c, double d);

    std::shared_ptr<SelfCalHAL> wrapper_;
    TaskQueue* queue_;
    CalibrationTiming timing_;
};

// Loads `name` (or finds it in the process-wide cache) and prepares the
// run-time engine; `handle` receives the library once the engine is ready.
void _loadLibrary(const std::string& name, void*& handle);
// The address of a run-time engine entry point: the engine's version of it
// when the engine is versioned, else the plain one; -52003 when neither
// exists. `unversioned` tells which engine this is.
void* getCompatibleFuncPtr(const char* name, bool& unversioned);
// Registers unloadLibraries as the engine's cleanup procedure.
void registerCleanupProcCallback(void* setCleanupProc);
// The engine's cleanup procedure: closes every cached library (and forgets
// it) and the engine.
int32_t unloadLibraries(void* data);
// The session's runner, loading the library and resolving the entry points
// first when needed.
SelfCalThreaded& _getSelfCalThreaded(SelfCalHALSession& session);
// Frees an engine string handle through KXDisposeHandle; -52003 when the
// engine has none.
void _disposeHandle(KXStringHandle handle);

}  // namespace selfcalhal
