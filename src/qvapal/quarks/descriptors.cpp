#include "qvapal/quarks/descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "qvapal/quarks/clock.h"

namespace sdihal::nQVAPAL000 {

int pollRetrying(pollfd* descriptors, nfds_t count, int timeoutMs) {
    // Signals must not stretch the wait beyond its time-out.
    const uint64_t start = atut::poller::Poller::nowNanoseconds();
    int result;
    do {
        result = ::poll(descriptors, count, pollTimeLeft(timeoutMs, start));
    } while (result < 0 && errno == EINTR);
    return result;
}

int pollTimeLeft(int timeoutMs, uint64_t startNs) {
    if (timeoutMs <= 0) return timeoutMs;
    const uint64_t elapsedMs = (atut::poller::Poller::nowNanoseconds() - startNs) / 1000000;
    return elapsedMs >= static_cast<uint64_t>(timeoutMs) ? 0
                                                         : timeoutMs - static_cast<int>(elapsedMs);
}

int pollTimeout(uint32_t timeoutMs) {
    if (timeoutMs == UINT32_MAX) return -1;
    return timeoutMs > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(timeoutMs);
}

int tStopPipe::open() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return errno;
    readFd_ = ends[0];
    writeFd_ = ends[1];
    const int flags = ::fcntl(writeFd_, F_GETFL);
    if (flags < 0 || ::fcntl(writeFd_, F_SETFL, flags | O_NONBLOCK) != 0) {
        const int err = errno;
        close();
        return err;
    }
    return 0;
}

void tStopPipe::close() {
    if (readFd_ != -1) ::close(readFd_);
    if (writeFd_ != -1) ::close(writeFd_);
    readFd_ = writeFd_ = -1;
}

bool tStopPipe::signal() {
    const char stopByte = 'q';
    ssize_t written;
    do {
        written = ::write(writeFd_, &stopByte, 1);
    } while (written < 0 && errno == EINTR);
    return written == 1;
}

bool tStopPipe::consume() {
    char byte;
    ssize_t got;
    do {
        got = ::read(readFd_, &byte, 1);
    } while (got < 0 && errno == EINTR);
    return got == 1;
}

}  // namespace sdihal::nQVAPAL000
