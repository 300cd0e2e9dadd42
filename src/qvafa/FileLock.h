// An exclusive advisory lock (flock) on an open file. Nested locks are
// counted: only the unlock that matches the first lock releases the file,
// so an inner lock/unlock pair never lets another process in.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "qverr/Status.h"

namespace qvafa {

namespace internal {

class FileLockImpl {
public:
    explicit FileLockImpl(int32_t fd) noexcept : fd_(fd) {}
    void lock(qverr::Status& status);
    void unlock();
    uint32_t depth() const { return depth_.load(std::memory_order_relaxed); }

private:
    int32_t fd_;
    // Guarded by the owner's mutex; atomic only so that a stray reader
    // never races.
    std::atomic<uint32_t> depth_{0};
};

}  // namespace internal

class FileLock {
public:
    explicit FileLock(FILE* stream);
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    // Does not unlock: closing the descriptor releases the lock.
    ~FileLock() = default;

    void lock();
    void unlock();

private:
    internal::FileLockImpl impl_;
};

}  // namespace qvafa
