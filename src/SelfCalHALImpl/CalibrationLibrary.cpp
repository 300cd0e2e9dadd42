#include "SelfCalHALImpl/CalibrationLibrary.h"

#include <dlfcn.h>

#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "HALUtilities/ErrorHandling.h"
#include "HALUtilities/KorvexRuntime.h"
#include "HALUtilities/OwningProcess.h"
#include "SelfCalHALImpl/SelfCalHALSession.h"
#include "qvdynlib/qvdynlib.h"
#include "qverr/DetailWriter.h"
#include "qverr/Exception.h"

namespace codegen::qrx2selfcalkxdll {

void SelfCalHAL::resolve(void* library) {
    constexpr size_t count = std::size(kEntryPointNames);
    void* addresses[count] = {};
    // A missing entry point only makes its operation unsupported.
    qverr::Status ignored;
    qvdynlib::resolveEntryPoints(library, kPrefix, kEntryPointNames, count, kSuffix, addresses,
                                 ignored);
    for (size_t i = 0; i < count; ++i) setEntryPoint(i, addresses[i]);
}

void SelfCalHAL::setEntryPoint(size_t index, void* address) {
    switch (index) {
        case 0:
            selfTest_ = reinterpret_cast<IntermediateSelfTestDeviceFn>(address);
            break;
        case 1:
            selfCalibrate_ = reinterpret_cast<SelfCalibrateFn>(address);
            break;
        case 2:
            standalone_ = reinterpret_cast<SelfCalibrateFn>(address);
            break;
        case 3:
            pexa_ = reinterpret_cast<SelfCalibrateRangeFn>(address);
            break;
        case 4:
            pexg_ = reinterpret_cast<SelfCalibrateRangeFn>(address);
            break;
        case 5:
            dllStatus_ = reinterpret_cast<KXDLLStatusFn>(address);
            break;
        default:
            break;
    }
}

}  // namespace codegen::qrx2selfcalkxdll

namespace selfcalhal {

namespace {

using qv3377hal::kComponent;
using qverr::qvapalerr_softwareFaultAPALInternalUseOnly;

using LoadEngineFn = void* (*)(const char* version, char* path);
using EngineVersionFn = const char* (*)(void* engine);
using ThreadIdFn = uint32_t (*)();
using SetCleanupProcFn = int32_t (*)(int32_t (*)(void*), void*, int32_t);
using DisposeHandleFn = void (*)(void*);

// The engine writes its path into a buffer of this size.
constexpr size_t kEnginePathSize = 4096;

// A loaded calibration library; `engineReady` once the engine check and the
// cleanup registration have succeeded for it.
struct CachedLibrary {
    void* handle = nullptr;
    bool engineReady = false;
};

// The cache's lock is held across the loader and the engine's calls, so
// no fork waits for it; a forked child, which may find it held, gets a
// fresh state (an empty cache) instead.
struct ProcessState {
    bool servedHere() const { return owner.isCurrent(); }

    std::mutex cacheMutex;
    std::map<std::string, CachedLibrary> cache;
    std::once_flag engineOnce;
    void* engineHandle = nullptr;
    std::string enginePath;
    qv3377hal::OwningProcess owner;
};

constinit qv3377hal::PerProcess<ProcessState> processState;

ProcessState& state() {
    return processState.get();
}

[[noreturn]] void throwDetail(const qverr::SourceLocation& location, const char* key,
                              const char* text, const char* symbol = nullptr) {
    qverr::Status status;
    if (status.setCode(qvapalerr_softwareFaultAPALInternalUseOnly, location)) {
        qverr::DetailWriter writer(status);
        writer.add(key, text);
        if (symbol != nullptr) writer.add("symbol", symbol);
    }
    qverr::throwStatus(std::move(status));
}

[[noreturn]] void throwUnableToLocate(const char* symbol) {
    throwDetail(QVERR_FIXED_LOCATION(__FILE__, 101, kComponent,
                                     "qvapalerr_softwareFaultAPALInternalUseOnly"),
                "getCompatibleFuncPtr", "unable to locate callback", symbol);
}

template <class Fn>
Fn globalSymbol(const char* name) {
    void* address = dlsym(RTLD_DEFAULT, name);
    (void)dlerror();
    return reinterpret_cast<Fn>(address);
}

// The base name of the module that holds the engine's version datum, or ""
// when the process has none.
std::string engineModuleName() {
    std::string name;
    void* self = dlopen(nullptr, RTLD_NOW);
    if (self == nullptr) return name;
    void* datum = dlsym(self, "gKXRTVersion");
    Dl_info info{};
    if (datum != nullptr && dladdr(datum, &info) != 0 && info.dli_fname != nullptr) {
        const char* slash = std::strrchr(info.dli_fname, '/');
        name = slash != nullptr ? slash + 1 : info.dli_fname;
    }
    dlclose(self);
    (void)dlerror();
    return name;
}

// Outputs of one self test, held by its task: a message that arrives after
// the caller gave up is freed here.
struct SelfTestOutputs {
    int32_t testResult = 0;
    KXStringHandle message = nullptr;
    ~SelfTestOutputs() {
        if (message == nullptr) return;
        if (auto dispose = globalSymbol<DisposeHandleFn>("KXDisposeHandle")) dispose(message);
    }
};

}  // namespace

void* getCompatibleFuncPtr(const char* name, bool& unversioned) {
    auto loadEngine = globalSymbol<LoadEngineFn>("KXLoadLatestCompatibleRTE");
    auto engineVersion = globalSymbol<EngineVersionFn>("GetKXVersion");
    if (loadEngine == nullptr) throwUnableToLocate("KXLoadLatestCompatibleRTE");
    if (engineVersion == nullptr) throwUnableToLocate("GetKXVersion");
    ProcessState& process = state();
    std::call_once(process.engineOnce, [&] {
        char path[kEnginePathSize] = {};
        process.engineHandle = loadEngine("18.0", path);
        path[kEnginePathSize - 1] = '\0';
        process.enginePath = path;
    });
    const char* version = engineVersion(process.engineHandle);
    unversioned = process.enginePath.find("kxrt") == std::string::npos;
    if (!unversioned) {
        const std::string node = std::string("KXRT_") + (version != nullptr ? version : "");
        if (void* address = qvdynlib_versionedSymbol(nullptr, name, node.c_str())) return address;
    }
    if (void* address = globalSymbol<void*>(name)) return address;
    throwUnableToLocate(name);
}

void registerCleanupProcCallback(void* setCleanupProc) {
    auto registerProc = reinterpret_cast<SetCleanupProcFn>(setCleanupProc);
    // On an engine thread the engine is this library's own import.
    auto threadId = globalSymbol<ThreadIdFn>("KXThreadGetId");
    if (threadId != nullptr && threadId() != 0) registerProc = &KXSetCleanupProc;
    if (registerProc == nullptr) throwUnableToLocate("KXSetCleanupProc");
    if (registerProc(&unloadLibraries, nullptr, 1) == 0) {
        throwDetail(QVERR_FIXED_LOCATION(__FILE__, 164, kComponent,
                                         "qvapalerr_softwareFaultAPALInternalUseOnly"),
                    "registerCleanupProcCallback", "callback registration failed");
    }
}

int32_t unloadLibraries(void* /*data*/) {
    ProcessState& process = state();
    {
        std::lock_guard<std::mutex> lock(process.cacheMutex);
        for (const auto& entry : process.cache) {
            if (entry.second.handle != nullptr) qvdynlib_close(entry.second.handle);
        }
        // A closed handle must not be handed out again.
        process.cache.clear();
    }
    if (process.engineHandle != nullptr) {
        dlclose(process.engineHandle);
        process.engineHandle = nullptr;
    }
    return 0;
}

void _loadLibrary(const std::string& name, void*& handle) {
    ProcessState& process = state();
    std::lock_guard<std::mutex> lock(process.cacheMutex);
    auto found = process.cache.find(name);
    if (found == process.cache.end()) {
        qverr::Status status;
        void* library = qvdynlib_load(name.c_str(), kQvdynlibDefaultFlags, status);
        if (status.isError()) qverr::throwStatus(std::move(status));
        found = process.cache.emplace(name, CachedLibrary{library, false}).first;
    }
    // The library stays cached when what follows fails, but until it has
    // succeeded once every call repeats it: a missing engine fails them all
    // alike, and the session keeps no handle meanwhile.
    if (!found->second.engineReady) {
        bool unversioned = false;
        void* setCleanupProc = getCompatibleFuncPtr("KXSetCleanupProc", unversioned);
        const std::string module = engineModuleName();
        if (!module.empty() && !unversioned && module.find("libkxrt.so") == std::string::npos &&
            module.find("libkxrtdark.so") == std::string::npos) {
            registerCleanupProcCallback(setCleanupProc);
        }
        found->second.engineReady = true;
    }
    handle = found->second.handle;
}

SelfCalThreaded::SelfCalThreaded(std::shared_ptr<SelfCalHAL> wrapper, TaskQueue& queue,
                                 CalibrationTiming timing)
    : wrapper_(std::move(wrapper)), queue_(&queue), timing_(timing) {}

void SelfCalThreaded::waitForTaskCompletion(TaskCompletion& completion,
                                            std::chrono::microseconds timeout) const {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + timeout;
    std::chrono::microseconds interval = timing_.initialPoll;
    for (;;) {
        if (completion.count() == 1) return;
        const Clock::time_point now = Clock::now();
        if (now >= deadline) break;
        // Completion wakes the wait at once; the interval only bounds it.
        const auto remaining =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
        completion.waitFor(std::min(interval, remaining + std::chrono::microseconds(1)));
        interval = std::min(interval * 2, timing_.maximumPoll);
    }
    qverr::throwWithMessage(
        qverr::qvapalerr_operationTimedOut,
        QVERR_FIXED_LOCATION(__FILE__, 585, kComponent, "qvapalerr_operationTimedOut"),
        "SelfCalThreaded", "calibration task did not finish in time");
}

int32_t SelfCalThreaded::run(std::function<int()> call, std::chrono::microseconds timeout) {
    auto completion = std::make_shared<TaskCompletion>();
    {
        TaskSlot slot(new IntTask(completion, std::move(call)));
        queue_->enqueue(slot);
    }
    waitForTaskCompletion(*completion, timeout);
    return completion->result();
}

int32_t SelfCalThreaded::intermediateSelfTestDevice(const std::string& resource,
                                                    int32_t* testResult, KXStringHandle* message) {
    if (!wrapper_->isIntermediateSelfTestDeviceAvailable())
        return qverr::qvapalerr_featureUnsupported;
    auto outputs = std::make_shared<SelfTestOutputs>();
    outputs->testResult = testResult != nullptr ? *testResult : 0;
    const int32_t result = run(
        [wrapper = wrapper_, resource, outputs] {
            return wrapper->IntermediateSelfTestDevice(resource.c_str(), &outputs->testResult,
                                                       &outputs->message);
        },
        timing_.selfTestTimeout);
    if (testResult != nullptr) *testResult = outputs->testResult;
    if (message != nullptr) {
        *message = outputs->message;
        outputs->message = nullptr;
    }
    return result;
}

int32_t SelfCalThreaded::configurationCall(bool (SelfCalHAL::*available)() const,
                                           ConfigurationEntry entry, const std::string& resource,
                                           const std::string& configuration) {
    if (!((*wrapper_).*available)()) return qverr::qvapalerr_featureUnsupported;
    return run(
        [wrapper = wrapper_, entry, resource, configuration] {
            return ((*wrapper).*entry)(resource.c_str(), configuration.c_str());
        },
        timing_.calibrationTimeout);
}

int32_t SelfCalThreaded::rangeCall(bool (SelfCalHAL::*available)() const, RangeEntry entry,
                                   const std::string& resource, const std::string& configuration,
                                   uint64_t value, double a, double b, double c, double d) {
    if (!((*wrapper_).*available)()) return qverr::qvapalerr_featureUnsupported;
    return run(
        [wrapper = wrapper_, entry, resource, configuration, value, a, b, c, d] {
            return ((*wrapper).*entry)(resource.c_str(), configuration.c_str(), value, a, b, c, d);
        },
        timing_.calibrationTimeout);
}

int32_t SelfCalThreaded::selfCalibrate(const std::string& resource,
                                       const std::string& configuration) {
    return configurationCall(&SelfCalHAL::isSelfCalibrateAvailable, &SelfCalHAL::SelfCalibrate,
                             resource, configuration);
}

int32_t SelfCalThreaded::standaloneSelfCalibrate(const std::string& resource,
                                                 const std::string& configuration) {
    return configurationCall(&SelfCalHAL::isStandaloneSelfCalibrateAvailable,
                             &SelfCalHAL::StandaloneSelfCalibrate, resource, configuration);
}

int32_t SelfCalThreaded::pexaSelfCalibrateRange(const std::string& resource,
                                                const std::string& configuration, uint64_t value,
                                                double a, double b, double c, double d) {
    return rangeCall(&SelfCalHAL::isPEXASelfCalibrateRangeAvailable,
                     &SelfCalHAL::PEXASelfCalibrateRange, resource, configuration, value, a, b, c,
                     d);
}

int32_t SelfCalThreaded::pexgSelfCalibrateRange(const std::string& resource,
                                                const std::string& configuration, uint64_t value,
                                                double a, double b, double c, double d) {
    return rangeCall(&SelfCalHAL::isPEXGSelfCalibrateRangeAvailable,
                     &SelfCalHAL::PEXGSelfCalibrateRange, resource, configuration, value, a, b, c,
                     d);
}

int32_t SelfCalThreaded::kxDLLStatus(char* text, int32_t size, void* module) {
    if (!wrapper_->isKXDLLStatusAvailable()) throwUnableToLocate("KXDLLStatus");
    // The task writes into a buffer of its own, copied out once it is done.
    const size_t length = size > 0 ? static_cast<size_t>(size) : 0;
    auto buffer = std::make_shared<std::string>(length, '\0');
    const int32_t result =
        run([wrapper = wrapper_, buffer, size,
             module] { return wrapper->KXDLLStatus(buffer->data(), size, module); },
            timing_.selfTestTimeout);
    if (text != nullptr && length > 0) std::memcpy(text, buffer->data(), length);
    return result;
}

SelfCalThreaded& _getSelfCalThreaded(SelfCalHALSession& session) {
    if (session.libraryHandle_ == nullptr)
        _loadLibrary(session.libraryName_, session.libraryHandle_);
    if (!session.wrapper_) {
        auto wrapper = std::make_shared<SelfCalHAL>();
        wrapper->resolve(session.libraryHandle_);
        session.wrapper_ = std::move(wrapper);
    }
    if (session.runner_) return *session.runner_;
    auto runner =
        std::make_unique<SelfCalThreaded>(session.wrapper_, processQueue(), session.timing_);
    char text[256] = {};
    if (runner->kxDLLStatus(text, sizeof text, nullptr) != 0) {
        // Not stored: the next call asks the library again.
        qverr::throwWithMessage(qvapalerr_softwareFaultAPALInternalUseOnly,
                                QVERR_FIXED_LOCATION(__FILE__, 276, kComponent,
                                                     "qvapalerr_softwareFaultAPALInternalUseOnly"),
                                "_getSelfCalThreaded", "engine status check failed");
    }
    session.runner_ = std::move(runner);
    return *session.runner_;
}

}  // namespace selfcalhal
