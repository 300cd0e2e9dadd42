#include "qvjsonconfig/afaWrappers/DirectoryPoller.h"

#include <cxxabi.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <typeinfo>

#include "qverr/Exception.h"

namespace qvjsonconfig {

namespace internal {

namespace {

const char* severity(int32_t code) {
    if (code < 0) return "FAIL";
    if (code > 0) return "WARN";
    return "PASS";
}

void logStdException(const trace::LogLocation& location, const std::exception& exception) {
    if (trace::settings().threshold > trace::kLevelException) return;
    const char* mangled = typeid(exception).name();
    if (*mangled == '*') ++mangled;
    int result = -1;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &result);
    const char* name = (result == 0 && demangled != nullptr) ? demangled : "std::exception";
    trace::log(trace::kLevelException, location,
               "Caught exception of type <%s> with what() returning \"%s\"", name,
               exception.what());
    free(demangled);
}

}  // namespace

void logCaughtException(const char* source) noexcept {
    const trace::LogLocation statusSite{source, 116, "\n"};
    const trace::LogLocation location{source, 120, "\n"};
    try {
        throw;
    } catch (const qverr::ExceptionBase& exception) {
        const qverr::Status& status = exception.status;
        trace::log(trace::kLevelException, statusSite, "Caught qverr exception: %s(%i,%s)",
                   severity(status.code), status.code,
                   status.json != nullptr ? status.json : "null");
    } catch (const std::exception& exception) {
        logStdException(location, exception);
    } catch (...) {
        trace::log(trace::kLevelException, location, "Caught exception of unknown type.");
    }
}

void pauseAfterFailure() noexcept {
    timespec delay{0, 10000000};
    timespec remaining{};
    while (nanosleep(&delay, &remaining) != 0 && errno == EINTR) delay = remaining;
}

}  // namespace internal

DirectoryPoller::DirectoryPoller(UpdateableInterface& target, const char* directoryPath)
    : target_(&target), monitor_(directoryPath), thread_(&DirectoryPoller::pollLoop, this) {}

DirectoryPoller::~DirectoryPoller() {
    stopRequested_.store(true);
    try {
        monitor_.wakeUp();
        thread_.join();
    } catch (...) {
    }
}

void* DirectoryPoller::pollLoop(void* raw) {
    auto* self = static_cast<DirectoryPoller*>(raw);
    while (!self->stopRequested_.load()) {
        internal::runPass("DirectoryPoller", [self] {
            self->monitor_.wait(nullptr);
            if (!self->stopRequested_.load()) self->target_->update();
        });
    }
    return nullptr;
}

}  // namespace qvjsonconfig
