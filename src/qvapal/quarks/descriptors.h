// Descriptor helpers shared by the waits of the platform layer: a stop pipe
// that another thread writes to end a wait, and poll() that survives signals.
// poll() rather than select(): hosts often hold descriptors above 1023.
#pragma once

#include <poll.h>

#include <cstdint>

namespace sdihal::nQVAPAL000 {

// poll() retried on EINTR with the time left; the result and errno are
// those of the last try.
int pollRetrying(pollfd* descriptors, nfds_t count, int timeoutMs);

// What is left of a poll() time-out (-1: for ever) started at `startNs` on the
// monotonic clock.
int pollTimeLeft(int timeoutMs, uint64_t startNs);

// A poll() time-out from milliseconds: 0xFFFFFFFF waits for ever, values
// beyond what poll() takes are clamped instead of turning negative.
int pollTimeout(uint32_t timeoutMs);

class tStopPipe {
public:
    tStopPipe() = default;
    tStopPipe(const tStopPipe&) = delete;
    tStopPipe& operator=(const tStopPipe&) = delete;
    ~tStopPipe() { close(); }

    // Creates the pipe (close-on-exec, the write end non-blocking); returns 0
    // or the errno.
    int open();
    void close();
    // Writes the one stop byte 'q' (EINTR retried); true when it was written.
    // A pipe full of pending stops refuses it instead of blocking.
    bool signal();
    // Reads one byte (EINTR retried); true when one was read.
    bool consume();

    int readEnd() const { return readFd_; }
    int writeEnd() const { return writeFd_; }

private:
    int readFd_ = -1;
    int writeFd_ = -1;
};

}  // namespace sdihal::nQVAPAL000
