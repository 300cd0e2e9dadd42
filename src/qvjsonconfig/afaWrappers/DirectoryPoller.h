// A thread that watches a directory and calls update of its target after
// every change. Started by the constructor, stopped and joined by the
// destructor.
#pragma once

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
// 16384: a status exception with its code and JSON, another exception with
// its type and what(), anything else as of unknown type.
void logCaughtException(const trace::LogLocation& location) noexcept;

// Sleeps 10 ms, resuming after signals.
void pauseAfterFailure() noexcept;

}  // namespace internal

}  // namespace qvjsonconfig
