// The reader-writer lock of an FPGA object: every session operation is a
// reader, image downloads, resets, aborts and opens are writers. Readers pass
// with one atomic add each way while no writer is around; a writer that has
// announced itself keeps new readers out until it is done.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "qvapal/quarks/event.h"
#include "qvapal/quarks/synchronization.h"
#include "qvapal/status/tStatus.h"

namespace qvzek {

class ReaderWriterLockBase {
public:
    // Builds its mutexes and events while the status holds no error; the
    // owner throws what is left in the status. A lock whose construction
    // failed must not be used.
    explicit ReaderWriterLockBase(nQVAPALS100::tStatus& status);
    ReaderWriterLockBase(const ReaderWriterLockBase&) = delete;
    ReaderWriterLockBase& operator=(const ReaderWriterLockBase&) = delete;
    virtual ~ReaderWriterLockBase();

    void lockRead() {
        for (;;) {
            count_.fetch_add(1);
            if (writerPending_.load() == 0) return;
            waitForWriter();
        }
    }
    void unlockRead() {
        if (count_.fetch_sub(1) != 1) return;
        lastReaderLeft();
    }
    void lockWrite();
    void unlockWrite();

    // For tests: 1 + readers inside, minus 1 while a writer is pending or inside.
    uint32_t count() const { return count_.load(); }
    bool writerPending() const { return writerPending_.load() != 0; }

protected:
    // A reader that met a pending writer steps back, waking the writer when
    // it was the last one counted, and waits until the writer is done.
    void waitForWriter();
    // The slow half of unlockRead: the count reached zero under a pending writer.
    void lastReaderLeft();

private:
    std::optional<sdihal::nQVAPAL000::tMutex> writerMutex_;
    std::optional<sdihal::nQVAPAL000::tMutex> countMutex_;
    std::optional<sdihal::nQVAPAL000::tEvent> readersDrained_;
    std::optional<sdihal::nQVAPAL000::tEvent> writerAbsent_;
    std::atomic<uint32_t> count_{1};
    // Sequentially consistent, like count_: a reader's increment and its look
    // at this flag must not pass a writer's store and its decrement.
    std::atomic<uint32_t> writerPending_{0};
};

class ReaderWriterLock : public ReaderWriterLockBase {
public:
    explicit ReaderWriterLock(nQVAPALS100::tStatus& status) : ReaderWriterLockBase(status) {}
    ~ReaderWriterLock() override;
};

// Holds the read side for its scope.
class ReadLockGuard {
public:
    explicit ReadLockGuard(ReaderWriterLockBase& lock) : lock_(lock) { lock_.lockRead(); }
    ReadLockGuard(const ReadLockGuard&) = delete;
    ReadLockGuard& operator=(const ReadLockGuard&) = delete;
    ~ReadLockGuard() { lock_.unlockRead(); }

private:
    ReaderWriterLockBase& lock_;
};

// Holds the write side for its scope.
class WriteLockGuard {
public:
    explicit WriteLockGuard(ReaderWriterLockBase& lock) : lock_(lock) { lock_.lockWrite(); }
    WriteLockGuard(const WriteLockGuard&) = delete;
    WriteLockGuard& operator=(const WriteLockGuard&) = delete;
    ~WriteLockGuard() { lock_.unlockWrite(); }

private:
    ReaderWriterLockBase& lock_;
};

}  // namespace qvzek
