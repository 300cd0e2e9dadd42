#include "qvafa/DirectoryMonitor.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <new>

#include "qverr/DetailWriter.h"
#include "qverr/Exception.h"

namespace qvafa {

namespace {

constexpr const char* kComponent = "internal_sdi_hal23u";
constexpr uint32_t kWatchMask = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVED_FROM |
                                IN_MOVED_TO | IN_CREATE | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF;
static_assert(kWatchMask == 0xFCE);

void raiseOsFault(qverr::Status& status, int err) {
    if (status.setCode(qverr::qvapalerr_osFault, QVERR_LOCATION(kComponent, "qvapalerr_osFault"))) {
        qverr::DetailWriter(status).errnoRecord(err);
    }
}

int64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

bool setNonBlocking(int fd) {
    int result;
    do {
        result = fcntl(fd, F_SETFL, O_NONBLOCK);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

void closeRetrying(int32_t& fd) {
    if (fd < 0) return;
    // A close interrupted on Linux has released the descriptor already; only
    // EINTR before release would warrant a retry, which Linux never reports.
    while (close(fd) != 0 && errno == EINTR) {
    }
    fd = -1;
}

}  // namespace

namespace internal {

DirectoryMonitorImpl::DirectoryMonitorImpl(const char* const* paths, size_t pathCount,
                                           qverr::Status& status) {
    if (status.isError()) return;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        raiseOsFault(status, errno);
        return;
    }
    wakeReadFd_ = pipeFds[0];
    wakeWriteFd_ = pipeFds[1];
    if (!setNonBlocking(wakeReadFd_) || !setNonBlocking(wakeWriteFd_)) {
        raiseOsFault(status, errno);
        return;
    }
    inotifyFd_ = inotify_init1(IN_CLOEXEC);
    if (inotifyFd_ < 0) {
        raiseOsFault(status, errno);
        return;
    }
    for (size_t i = 0; i < pathCount; ++i) {
        const int32_t watch =
            paths[i] != nullptr ? inotify_add_watch(inotifyFd_, paths[i], kWatchMask) : -1;
        if (watch < 0) {
            raiseOsFault(status, paths[i] != nullptr ? errno : EINVAL);
            return;
        }
        try {
            watches_.push_back(watch);
        } catch (const std::bad_alloc&) {
            inotify_rm_watch(inotifyFd_, watch);
            status.setCode(qverr::qvapalerr_memoryFull,
                           QVERR_LOCATION(kComponent, "qvapalerr_memoryFull"));
            return;
        }
    }
}

DirectoryMonitorImpl::~DirectoryMonitorImpl() {
    if (inotifyFd_ >= 0) {
        for (int32_t watch : watches_) {
            if (watch != -1) inotify_rm_watch(inotifyFd_, watch);
        }
    }
    watches_.clear();
    closeRetrying(inotifyFd_);
    closeRetrying(wakeReadFd_);
    closeRetrying(wakeWriteFd_);
}

bool DirectoryMonitorImpl::wait(uint32_t timeoutMs, int32_t* whichOut, qverr::Status& status) {
    for (;;) {
        if (status.isError()) return false;
        if (inotifyFd_ < 0 || wakeReadFd_ < 0) {
            status.setCode(qverr::qvapalerr_resourceNotInitialized,
                           QVERR_LOCATION(kComponent, "qvapalerr_resourceNotInitialized"));
            return false;
        }
        // poll, not select: a host with many open files may hand out
        // descriptors beyond what an fd_set can hold.
        pollfd fds[2] = {{inotifyFd_, POLLIN, 0}, {wakeReadFd_, POLLIN, 0}};
        const int64_t deadline =
            timeoutMs == kNoTimeout ? 0 : monotonicNanoseconds() + int64_t{timeoutMs} * 1000000;
        int ready;
        for (;;) {
            timespec remaining{};
            timespec* remainingPtr = nullptr;
            if (timeoutMs != kNoTimeout) {
                const int64_t left = std::max<int64_t>(deadline - monotonicNanoseconds(), 0);
                remaining = {static_cast<time_t>(left / 1000000000),
                             static_cast<long>(left % 1000000000)};
                remainingPtr = &remaining;
            }
            ready = ppoll(fds, 2, remainingPtr, nullptr);
            if (ready >= 0 || errno != EINTR) break;
        }
        if (ready < 0) {
            raiseOsFault(status, errno);
            return false;
        }
        if (ready == 0) {
            if (status.setCode(qverr::qvapalerr_operationTimedOut,
                               QVERR_LOCATION(kComponent, "qvapalerr_operationTimedOut"))) {
                qverr::DetailWriter(status).add("requested_timeout_ms", timeoutMs);
            }
            return false;
        }
        // The wake-up bytes stay in the pipe: a woken monitor stays woken.
        if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) return false;

        std::vector<char> buffer;
        size_t size = 31;
        ssize_t got;
        for (;;) {
            try {
                buffer.resize(size);
            } catch (const std::bad_alloc&) {
                status.setCode(qverr::qvapalerr_memoryFull,
                               QVERR_LOCATION(kComponent, "qvapalerr_memoryFull"));
                return false;
            }
            got = read(inotifyFd_, buffer.data(), buffer.size());
            if (got > 0) break;
            if (got < 0 && errno == EINTR) continue;
            if (got == 0 || errno == EINVAL) {
                size += 15;
                continue;
            }
            raiseOsFault(status, errno);
            return false;
        }
        if (static_cast<size_t>(got) < sizeof(inotify_event)) return false;
        inotify_event event;
        std::copy_n(buffer.data(), sizeof event, reinterpret_cast<char*>(&event));
        if ((event.mask & IN_Q_OVERFLOW) != 0) continue;
        if (whichOut != nullptr) {
            const auto found = std::find(watches_.begin(), watches_.end(), event.wd);
            *whichOut = static_cast<int32_t>(found - watches_.begin());
        }
        return true;
    }
}

void DirectoryMonitorImpl::wakeUp() {
    if (wakeWriteFd_ < 0) return;
    const char bytes[4] = {};
    while (write(wakeWriteFd_, bytes, sizeof bytes) < 0 && errno == EINTR) {
    }
}

}  // namespace internal

DirectoryMonitor::DirectoryMonitor(const char* path) : impl_(nullptr) {
    qverr::Status status;
    const char* paths[1] = {path};
    impl_ = new internal::DirectoryMonitorImpl(paths, 1, status);
    if (status.isError() && std::uncaught_exceptions() == 0) {
        delete impl_;
        impl_ = nullptr;
        qverr::throwStatus(std::move(status));
    }
}

DirectoryMonitor::~DirectoryMonitor() {
    delete impl_;
}

bool DirectoryMonitor::wait(uint32_t timeoutMs, int32_t* whichOut, qverr::Status& status) {
    return impl_->wait(timeoutMs, whichOut, status);
}

bool DirectoryMonitor::wait(int32_t* whichOut, qverr::Status& status) {
    return impl_->wait(kNoTimeout, whichOut, status);
}

bool DirectoryMonitor::wait(int32_t* whichOut) {
    qverr::Status status;
    const bool changed = impl_->wait(kNoTimeout, whichOut, status);
    if (status.isError() && std::uncaught_exceptions() == 0) {
        qverr::throwStatus(std::move(status));
    }
    return changed;
}

void DirectoryMonitor::wakeUp() {
    impl_->wakeUp();
}

}  // namespace qvafa
