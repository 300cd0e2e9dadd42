#include "atomiczekddk/user/fifo/Fifo.h"

#include <chrono>

#include "atomiczekddk/shared/CommonUtilities.h"
#include "qverr/Exception.h"

namespace qvzek {
namespace {

constexpr const char* kComponent = "atomiczekddk";
// A wait for ever runs in slices of this many milliseconds.
constexpr uint32_t kForeverSlice = 3000;
constexpr uint64_t kRecordReleased = uint64_t{1} << 63;

uint32_t elementSizeOf(const Type& type) {
    if (type.elementType == ElementType::FXP) return 8;
    return type.sizeInBytes;
}

}  // namespace

class Fifo::FifoAccessOperationAcquire : public Fifo::IFifoAccessOperation {
public:
    FifoAccessOperationAcquire(void** region, uint64_t count, uint64_t* acquired,
                               uint64_t* remaining)
        : region_(region), count_(count), acquired_(acquired), remaining_(remaining) {}
    void run(IFifoDataAccessStrategy& strategy, uint32_t timeout, bool* timedOut,
             nQVAPALS100::tStatus& status) override {
        strategy.acquire(region_, count_, timeout, timedOut, acquired_, remaining_, status);
    }

private:
    void** region_;
    uint64_t count_;
    uint64_t* acquired_;
    uint64_t* remaining_;
};

class Fifo::FifoAccessOperationRead : public Fifo::IFifoAccessOperation {
public:
    FifoAccessOperationRead(void* destination, uint64_t count, uint64_t* remaining)
        : destination_(destination), count_(count), remaining_(remaining) {}
    void run(IFifoDataAccessStrategy& strategy, uint32_t timeout, bool* timedOut,
             nQVAPALS100::tStatus& status) override {
        strategy.read(destination_, count_, timeout, timedOut, remaining_, status);
    }

private:
    void* destination_;
    uint64_t count_;
    uint64_t* remaining_;
};

class Fifo::FifoAccessOperationWrite : public Fifo::IFifoAccessOperation {
public:
    FifoAccessOperationWrite(const void* source, uint64_t count, uint64_t* remaining)
        : source_(source), count_(count), remaining_(remaining) {}
    void run(IFifoDataAccessStrategy& strategy, uint32_t timeout, bool* timedOut,
             nQVAPALS100::tStatus& status) override {
        strategy.write(source_, count_, timeout, timedOut, remaining_, status);
    }

private:
    const void* source_;
    uint64_t count_;
    uint64_t* remaining_;
};

Fifo::Fifo(const NamedFifo& description, std::shared_ptr<FifoInterface> proxy, uint64_t session,
           int32_t numaNode, int32_t highestNumaNode)
    : NamedFifo(description),
      proxy_(std::move(proxy)),
      session_(session),
      elementSize_(elementSizeOf(type())) {
    if (kind() == kFifoPeerToPeerReader || kind() == kFifoPeerToPeerWriter) {
        QVERR_THROW(kComponent, qverr::qvapalerr_invalidParameter, "qvapalerr_invalidParameter");
    }
    if (elementSize_ == 0 || type().elementType == ElementType::None) {
        QVERR_THROW(kComponent, qverr::qvapalerr_softwareFaultAPALInternalUseOnly,
                    "qvapalerr_softwareFaultAPALInternalUseOnly");
    }
    acquirerReleaser_ =
        std::make_unique<FifoAcquirerReleaserInterfaceProxy>(proxy_, session_, number());
    strategy_ = std::make_unique<FifoDataAccessStrategyWendle>(*acquirerReleaser_, elementSize_);
    // Twice the bitfile's depth in 64 bits: a 32-bit product would wrap to
    // a tiny ring for depths from 2^31 on.
    const uint64_t depthDefault = std::max<uint64_t>(16384, uint64_t{numberOfElements()} * 2);
    const uint64_t page = pageSize();
    properties_ = std::make_unique<FifoPropertyManager>(
        proxy_, session_, number(), elementSize_, static_cast<uint32_t>(page / elementSize_),
        depthDefault, UINT64_MAX, numaNode, highestNumaNode, 512, *strategy_);
}

Fifo::~Fifo() {
    nQVAPALS100::tStatus status;
    proxy_->closeFifo(session_, number(), status);
    if (!status.isError()) properties_->deviceReleased();
}

void Fifo::driverRequest(int32_t (FifoInterface::*request)(uint64_t, uint32_t,
                                                           nQVAPALS100::tStatus&)) {
    nQVAPALS100::tStatus status;
    ((*proxy_).*request)(session_, number(), status);
    qverr::throwIfTStatusError(status);
}

void Fifo::addClient(uint64_t client) {
    if (client != 0) clients_.insert(client);
}

void Fifo::configure(uint64_t depth, uint64_t* actualDepth, uint64_t client) {
    if (depth == 0) QVERR_THROW(kComponent, kErrorFifoDepthInvalid, "kErrorFifoDepthInvalid");
    Lock lock(mutex_);
    if (strategy_->getElementsAcquired() != 0) {
        QVERR_THROW(kComponent, kErrorFifoElementsAcquired, "kErrorFifoElementsAcquired");
    }
    if (started_) stop();
    properties_->setPropertyU64(fifo_properties::kDepth, depth);
    const uint64_t coerced = properties_->getPropertyU64(fifo_properties::kDepth);
    if (coerced < depth) QVERR_THROW(kComponent, kErrorFifoDepthInvalid, "kErrorFifoDepthInvalid");
    commit(0);
    if (actualDepth != nullptr) *actualDepth = coerced;
    addClient(client);
}

#define QV_FIFO_SETTER(name, type)                                                     \
    void Fifo::name(uint32_t id, type value) {                                         \
        Lock lock(mutex_);                                                             \
        if (started_) QVERR_THROW(kComponent, kErrorFifoStarted, "kErrorFifoStarted"); \
        properties_->name(id, value);                                                  \
    }
QV_FIFO_SETTER(setPropertyPtr, void*)
QV_FIFO_SETTER(setPropertyU32, uint32_t)
QV_FIFO_SETTER(setPropertyU64, uint64_t)
QV_FIFO_SETTER(setPropertyI32, int32_t)
QV_FIFO_SETTER(setPropertyI64, int64_t)
#undef QV_FIFO_SETTER

#define QV_FIFO_GETTER(name, type)    \
    type Fifo::name(uint32_t id) {    \
        Lock lock(mutex_);            \
        return properties_->name(id); \
    }
QV_FIFO_GETTER(getPropertyPtr, void*)
QV_FIFO_GETTER(getPropertyU32, uint32_t)
QV_FIFO_GETTER(getPropertyU64, uint64_t)
QV_FIFO_GETTER(getPropertyI32, int32_t)
QV_FIFO_GETTER(getPropertyI64, int64_t)
#undef QV_FIFO_GETTER

void Fifo::commit(uint64_t client) {
    Lock lock(mutex_);
    if (started_) QVERR_THROW(kComponent, kErrorFifoStarted, "kErrorFifoStarted");
    properties_->commit();
    addClient(client);
}

void Fifo::start(uint64_t client) {
    Lock lock(mutex_);
    if (!started_) {
        commit(0);
        driverRequest(&FifoInterface::startFifo);
        const uint64_t depth = properties_->getPropertyU64(fifo_properties::kDepth);
        const uint64_t mirror = properties_->getPropertyU64(fifo_properties::kMirrorSize);
        void* buffer = properties_->getPropertyPtr(fifo_properties::kBufferAddress);
        strategy_->configure(buffer, depth, mirror);
        // A ring of one record holds none; 0 is taken as that.
        auto ring = std::make_unique<RegionRing>();
        ring->capacity =
            std::max<uint32_t>(1, properties_->getPropertyU32(fifo_properties::kRegionCapacity));
        ring->records = std::make_unique<uint64_t[]>(ring->capacity);
        regions_ = std::move(ring);
        started_ = true;
    }
    addClient(client);
}

void Fifo::stop() {
    Lock lock(mutex_);
    if (strategy_->getElementsAcquired() != 0) {
        QVERR_THROW(kComponent, kErrorFifoElementsAcquired, "kErrorFifoElementsAcquired");
    }
    driverRequest(&FifoInterface::stopFifo);
    markStopped();
}

void Fifo::markStopped() {
    Lock lock(mutex_);
    started_ = false;
    // Whatever was acquired is dropped here, but the caller may still be
    // writing into it or reading from it.
    if (strategy_->getElementsAcquired() != 0) properties_->keepBufferForCaller();
    strategy_->configure(nullptr, 0, 0);
    // Regions of a stopped ring point nowhere.
    if (regions_) regions_->head = regions_->tail = 0;
}

void Fifo::reset() {
    Lock lock(mutex_);
    stop();
    // The properties' own refusal to unconfigure matters only when the
    // driver's reset fails too: after a reset the device holds nothing.
    try {
        properties_->reset();
    } catch (...) {
    }
    clients_.clear();
    driverRequest(&FifoInterface::closeFifo);
    properties_->deviceReleased();
}

void Fifo::checkType(const Type& type, bool readSide) const {
    const bool hostToTarget = kind() == kFifoHostToTarget;
    if (readSide == hostToTarget) {
        QVERR_THROW(kComponent, qverr::qvapalerr_invalidParameter, "qvapalerr_invalidParameter");
    }
    if (type == this->type()) return;
    // Another description of the same element (Boolean, fixed point or
    // floating point) is accepted, but only with the same size: the copy
    // moves the FIFO's element size for every element the caller counts.
    const ElementType own = this->type().elementType;
    const bool lenient = own == ElementType::Bool || own == ElementType::FXP ||
                         own == ElementType::SGL || own == ElementType::DBL;
    if (!lenient || elementSizeOf(type) != elementSize_) {
        QVERR_THROW(kComponent, qverr::qvapalerr_invalidParameter, "qvapalerr_invalidParameter");
    }
}

void Fifo::waitLoop(Lock& lock, IFifoAccessOperation& operation, uint32_t timeout,
                    uint8_t* timedOut) {
    if (!started_) start(0);
    const uint32_t slice = timeout == kFifoWaitForever ? kForeverSlice : timeout;
    bool restarted = false;
    for (;;) {
        nQVAPALS100::tStatus status;
        bool late = false;
        operation.run(*strategy_, slice, &late, status);
        *timedOut = late ? 1 : 0;
        const int32_t code = qverr::narrowStatusCode(status.getCode());
        if (code == kErrorFifoStopped) {
            markStopped();
            throwStatusCode(kErrorFifoStopped);
        }
        if (code == kErrorFifoNotConfigured) {
            markStopped();
            // The driver lost the FIFO once: start it again and retry; twice
            // in a row it is gone.
            if (restarted) throwStatusCode(kErrorFifoStopped);
            restarted = true;
            start(0);
            continue;
        }
        if (code == kErrorFifoAcquireBeyondDepth) {
            std::unique_lock event(releaseMutex_);
            const uint64_t seen = releases_;
            lock.unlock();
            const bool woken = released_.wait_for(event, std::chrono::milliseconds(slice),
                                                  [&] { return releases_ != seen; });
            event.unlock();
            lock.lock();
            if (woken || timeout == kFifoWaitForever) continue;
            throwStatusCode(kErrorFifoAcquireBeyondDepth);
        }
        if (code < 0) throwStatusCode(code);
        restarted = false;
        if (timeout != kFifoWaitForever || !late) return;
    }
}

void Fifo::acquireElements(bool readSide, const Type& type, void** region, uint64_t count,
                           uint32_t timeout, uint8_t* timedOut, uint64_t* acquired,
                           uint64_t* remaining, uint64_t client) {
    Lock lock(mutex_);
    checkType(type, readSide);
    if (regions_ && !regions_->empty()) {
        QVERR_THROW(kComponent, kErrorFifoElementsAcquired, "kErrorFifoElementsAcquired");
    }
    uint8_t flag = 0;
    FifoAccessOperationAcquire operation(region, count, acquired, remaining);
    waitLoop(lock, operation, timeout, timedOut != nullptr ? timedOut : &flag);
    addClient(client);
}

void Fifo::acquireReadElements(const Type& type, void** region, uint64_t count, uint32_t timeout,
                               uint8_t* timedOut, uint64_t* acquired, uint64_t* remaining,
                               uint64_t client) {
    acquireElements(true, type, region, count, timeout, timedOut, acquired, remaining, client);
}

void Fifo::acquireWriteElements(const Type& type, void** region, uint64_t count, uint32_t timeout,
                                uint8_t* timedOut, uint64_t* acquired, uint64_t* remaining,
                                uint64_t client) {
    acquireElements(false, type, region, count, timeout, timedOut, acquired, remaining, client);
}

void Fifo::acquireRegion(bool readSide, const Type& type, uint64_t* handle, void** region,
                         uint64_t count, uint32_t timeout, uint8_t* timedOut, uint64_t* acquired,
                         uint64_t* remaining, uint64_t client) {
    Lock lock(mutex_);
    checkType(type, readSide);
    if (handle != nullptr) *handle = 0;
    const bool ringEmpty = !regions_ || regions_->empty();
    if (strategy_->getElementsAcquired() != 0 && ringEmpty) {
        QVERR_THROW(kComponent, kErrorFifoElementsAcquired, "kErrorFifoElementsAcquired");
    }
    if (regions_ && regions_->full() && count != 0) {
        QVERR_THROW(kComponent, kErrorFifoRegionsFull, "kErrorFifoRegionsFull");
    }
    uint8_t flag = 0;
    uint64_t got = 0;
    if (timedOut == nullptr) timedOut = &flag;
    FifoAccessOperationAcquire operation(region, count, &got, remaining);
    waitLoop(lock, operation, timeout, timedOut);
    if (acquired != nullptr) *acquired = got;
    if (*timedOut == 0 && count != 0) {
        if (got > static_cast<uint64_t>(INT64_MAX)) {
            QVERR_THROW(kComponent, qverr::qvapalerr_invalidParameter,
                        "qvapalerr_invalidParameter");
        }
        if (regions_->full())
            QVERR_THROW(kComponent, kErrorFifoRegionsFull, "kErrorFifoRegionsFull");
        uint64_t& record = regions_->records[regions_->tail];
        record = got;
        regions_->tail = regions_->next(regions_->tail);
        if (handle != nullptr)
            *handle = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&record));
    }
    addClient(client);
}

void Fifo::acquireReadRegion(const Type& type, uint64_t* handle, void** region, uint64_t count,
                             uint32_t timeout, uint8_t* timedOut, uint64_t* acquired,
                             uint64_t* remaining, uint64_t client) {
    acquireRegion(true, type, handle, region, count, timeout, timedOut, acquired, remaining,
                  client);
}

void Fifo::acquireWriteRegion(const Type& type, uint64_t* handle, void** region, uint64_t count,
                              uint32_t timeout, uint8_t* timedOut, uint64_t* acquired,
                              uint64_t* remaining, uint64_t client) {
    acquireRegion(false, type, handle, region, count, timeout, timedOut, acquired, remaining,
                  client);
}

void Fifo::signalRelease() {
    {
        std::lock_guard event(releaseMutex_);
        ++releases_;
    }
    released_.notify_all();
}

void Fifo::releaseCounted(uint64_t count) {
    nQVAPALS100::tStatus status;
    strategy_->release(count, status);
    signalRelease();
    const int32_t code = qverr::narrowStatusCode(status.getCode());
    if (code == kErrorFifoNotConfigured) {
        markStopped();
        throwStatusCode(kErrorFifoStopped);
    }
    if (code < 0) throwStatusCode(code);
}

void Fifo::releaseElements(uint64_t count) {
    Lock lock(mutex_);
    releaseCounted(count);
}

void Fifo::releaseRegion(uint64_t* handle) {
    Lock lock(mutex_);
    if (handle == nullptr)
        QVERR_THROW(kComponent, qverr::qvapalerr_invalidParameter, "qvapalerr_invalidParameter");
    if (!regions_ || regions_->empty())
        QVERR_THROW(kComponent, kErrorFifoCountTooLarge, "kErrorFifoCountTooLarge");
    RegionRing& ring = *regions_;
    // The handle is the record's address as the region acquire gave it. Only
    // the address of an outstanding record is a handle; the index is found
    // from the address without dereferencing anything else.
    const uintptr_t first = reinterpret_cast<uintptr_t>(ring.records.get());
    const uintptr_t at = reinterpret_cast<uintptr_t>(handle);
    const uintptr_t offset = at - first;
    const uint64_t index = offset / sizeof(uint64_t);
    const bool outstanding = at >= first && offset % sizeof(uint64_t) == 0 &&
                             index < ring.capacity &&
                             (ring.head <= ring.tail ? index >= ring.head && index < ring.tail
                                                     : index >= ring.head || index < ring.tail);
    if (!outstanding || (ring.records[index] & kRecordReleased) != 0) {
        QVERR_THROW(kComponent, qverr::qvapalerr_invalidParameter, "qvapalerr_invalidParameter");
    }
    ring.records[index] |= kRecordReleased;
    if (index != ring.head) return;
    // Elements go back in ring order: a region released early waits for
    // the ones before it, then all go in one request.
    uint64_t sum = 0;
    while (ring.head != ring.tail && (ring.records[ring.head] & kRecordReleased) != 0) {
        sum += ring.records[ring.head] & ~kRecordReleased;
        ring.records[ring.head] = 0;
        ring.head = ring.next(ring.head);
    }
    releaseCounted(sum);
}

void Fifo::copy(bool readSide, const Type& type, IFifoAccessOperation& operation, uint32_t timeout,
                uint8_t* timedOut, uint64_t client) {
    Lock lock(mutex_);
    checkType(type, readSide);
    uint8_t flag = 0;
    waitLoop(lock, operation, timeout, timedOut != nullptr ? timedOut : &flag);
    addClient(client);
}

void Fifo::read(const Type& type, void* destination, uint64_t count, uint32_t timeout,
                uint8_t* timedOut, uint64_t* remaining, uint64_t client) {
    FifoAccessOperationRead operation(destination, count, remaining);
    copy(true, type, operation, timeout, timedOut, client);
}

void Fifo::write(const Type& type, const void* source, uint64_t count, uint32_t timeout,
                 uint8_t* timedOut, uint64_t* remaining, uint64_t client) {
    FifoAccessOperationWrite operation(source, count, remaining);
    copy(false, type, operation, timeout, timedOut, client);
}

void Fifo::removeClient(uint64_t client) {
    Lock lock(mutex_);
    if (clients_.empty()) return;
    clients_.erase(client);
    if (!clients_.empty()) return;
    try {
        stop();
        try {
            properties_->reset();
        } catch (...) {
        }
    } catch (...) {
    }
    nQVAPALS100::tStatus status;
    proxy_->closeFifo(session_, number(), status);
    if (!status.isError()) properties_->deviceReleased();
}

}  // namespace qvzek
