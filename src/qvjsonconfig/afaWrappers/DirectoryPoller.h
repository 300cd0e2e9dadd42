// A thread that watches a directory and calls update of its target after
// every change. Started by the constructor, stopped and joined by the
// destructor.
#pragma once

#include <cxxabi.h>

#include <atomic>

#include "qvafa/DirectoryMonitor.h"
#include "qvapal/quarks/thread.h"
#include "qverr/trace.h"
#include "qvjsonconfig/Interfaces.h"

namespace qvjsonconfig {

class DirectoryPoller {
public:
    DirectoryPoller(UpdateableInterface& target, const char* directoryPath);
    DirectoryPoller(const DirectoryPoller&) = delete;
    DirectoryPoller& operator=(const DirectoryPoller&) = delete;
    ~DirectoryPoller();

private:
    static void* pollLoop(void* self);

    UpdateableInterface* target_;
    std::atomic<bool> stopRequested_{false};
    qvafa::DirectoryMonitor monitor_;
    // Started last, joined first.
    sdihal::nQVAPAL000::tScopedThread thread_;
};

namespace internal {

// Logs the exception being handled (call inside a catch block) at level
// 16384 with the site `source`: a status exception with its code and JSON
// (line 116), another exception with its type and what(), anything else as
// of unknown type (line 120).
void logCaughtException(const char* source) noexcept;

// Sleeps 10 ms, resuming after signals.
void pauseAfterFailure() noexcept;

// Runs one pass of a background thread's loop. Whatever it throws is logged
// and followed by a pause, and the thread goes on: an exception leaving the
// thread would end the host process.
template <typename Pass>
void runPass(const char* source, Pass&& pass) {
    try {
        pass();
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        logCaughtException(source);
        pauseAfterFailure();
    }
}

}  // namespace internal

}  // namespace qvjsonconfig
