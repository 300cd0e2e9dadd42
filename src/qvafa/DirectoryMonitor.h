// Watches one or more paths with inotify. A waiting thread is released by a
// change under a watched path or, for good, by wakeUp from another thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "qverr/Status.h"

namespace qvafa {

inline constexpr uint32_t kNoTimeout = 0xFFFFFFFFu;

namespace internal {

class DirectoryMonitorImpl {
public:
    DirectoryMonitorImpl(const char* const* paths, size_t pathCount, qverr::Status& status);
    DirectoryMonitorImpl(const DirectoryMonitorImpl&) = delete;
    DirectoryMonitorImpl& operator=(const DirectoryMonitorImpl&) = delete;
    ~DirectoryMonitorImpl();

    // True when a watched path changed; *whichOut then receives the index of
    // the path (or the path count when the event names none of them). False
    // when woken, timed out (-52007) or failed.
    bool wait(uint32_t timeoutMs, int32_t* whichOut, qverr::Status& status);
    void wakeUp();

private:
    std::vector<int32_t> watches_;
    int32_t inotifyFd_ = -1;
    int32_t wakeReadFd_ = -1;
    int32_t wakeWriteFd_ = -1;
};

}  // namespace internal

class DirectoryMonitor {
public:
    explicit DirectoryMonitor(const char* path);
    DirectoryMonitor(const DirectoryMonitor&) = delete;
    DirectoryMonitor& operator=(const DirectoryMonitor&) = delete;
    ~DirectoryMonitor();

    bool wait(uint32_t timeoutMs, int32_t* whichOut, qverr::Status& status);
    bool wait(int32_t* whichOut, qverr::Status& status);
    // Without time-out; a failure is thrown.
    bool wait(int32_t* whichOut);
    void wakeUp();

private:
    internal::DirectoryMonitorImpl* impl_;
};

}  // namespace qvafa
