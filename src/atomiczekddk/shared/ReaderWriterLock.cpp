#include "atomiczekddk/shared/ReaderWriterLock.h"

#include <cstdio>
#include <cstdlib>

#include "qvapal/quarks/raise.h"
#include "qverr/Exception.h"

namespace qvzek {
namespace {

// The platform's synchronisation source, whose failures these are.
constexpr const char* kSynchronization = "qvapal/quarks/synchronization";

using sdihal::nQVAPAL000::tEvent;
using sdihal::nQVAPAL000::tMutex;
using sdihal::nQVAPAL000::tMutexLock;

void makeMutex(std::optional<tMutex>& mutex, nQVAPALS100::tStatus& status) {
    if (status.isError()) return;
    try {
        mutex.emplace();
    } catch (const qverr::ExceptionBase& error) {
        qverr::copyStatusToTStatus(error.status, status);
        if (!status.isError())
            QVAPAL_RAISE(status, qverr::qvapalerr_softwareFaultAPALInternalUseOnly,
                         kSynchronization, 588);
    }
}

void makeEvent(std::optional<tEvent>& event, bool signalled, nQVAPALS100::tStatus& status) {
    if (status.isError()) return;
    event.emplace(false, signalled, status);
    if (!event->created()) event.reset();
}

// A wait that ends without its event set would let a reader in beside the
// writer or a writer beside its readers: the lock cannot go on from there.
void waitOrDie(tEvent& event) {
    if (!event.wait()) {
        std::fputs("qvzek::ReaderWriterLock: waiting on an event failed\n", stderr);
        std::abort();
    }
}

}  // namespace

ReaderWriterLockBase::ReaderWriterLockBase(nQVAPALS100::tStatus& status) {
    makeMutex(writerMutex_, status);
    makeMutex(countMutex_, status);
    makeEvent(readersDrained_, false, status);
    makeEvent(writerAbsent_, true, status);
}

ReaderWriterLockBase::~ReaderWriterLockBase() {
    writerAbsent_.reset();
    readersDrained_.reset();
    countMutex_.reset();
    writerMutex_.reset();
}

void ReaderWriterLockBase::waitForWriter() {
    {
        tMutexLock lock(*countMutex_);
        if (count_.fetch_sub(1) == 1) readersDrained_->set();
    }
    waitOrDie(*writerAbsent_);
}

void ReaderWriterLockBase::lastReaderLeft() {
    // Counted back in and out again under countMutex, so that a writer's
    // unlockWrite (which resets readersDrained under it) cannot be passed by
    // this reader's late signal.
    count_.fetch_add(1);
    tMutexLock lock(*countMutex_);
    if (count_.fetch_sub(1) == 1) readersDrained_->set();
}

void ReaderWriterLockBase::lockWrite() {
    writerMutex_->lock();
    writerAbsent_->reset();
    writerPending_.store(1);
    if (count_.fetch_sub(1) == 1) {
        readersDrained_->set();
        return;
    }
    waitOrDie(*readersDrained_);
}

void ReaderWriterLockBase::unlockWrite() {
    {
        tMutexLock lock(*countMutex_);
        count_.fetch_add(1);
        readersDrained_->reset();
        writerPending_.store(0);
        writerAbsent_->set();
    }
    writerMutex_->unlock();
}

ReaderWriterLock::~ReaderWriterLock() = default;

}  // namespace qvzek
