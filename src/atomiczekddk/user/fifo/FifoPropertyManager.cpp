#include "atomiczekddk/user/fifo/FifoPropertyManager.h"

#include <algorithm>
#include <array>
#include <atomic>

#include "qverr/Exception.h"

namespace qvzek {
namespace {

constexpr const char* kComponent = "atomiczekddk";

uint64_t address(void* pointer) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(pointer));
}

}  // namespace

unsigned int RangePowerOf2::coerce(const unsigned int& value) {
    if (value == 0) return 1;
    if (value > (1u << 31))
        QVERR_THROW(kComponent, qverr::qvapalerr_invalidParameter, "qvapalerr_invalidParameter");
    unsigned int power = 1;
    while (power < value) power <<= 1;
    return power;
}

FifoPropertyManager::FifoPropertyManager(std::shared_ptr<FifoInterface> proxy, uint64_t session,
                                         uint32_t number, uint32_t elementSize,
                                         uint32_t elementsPerPage, uint64_t depthDefault,
                                         uint64_t mirrorDefault, int32_t numaNodeDefault,
                                         int32_t highestNumaNode, uint32_t regionCapacityDefault,
                                         const IFifoDataAccessStrategy& strategy)
    : proxy_(std::move(proxy)),
      session_(session),
      number_(number),
      elementSize_(elementSize),
      // An element larger than a page still aligns to whole elements.
      elementsPerPage_(elementsPerPage != 0 ? elementsPerPage : 1),
      acquiredGetter_(strategy),
      numa_(highestNumaNode),
      bufferTypes_(fifo_properties::kBufferType, qverr::qvapalerr_invalidParameter,
                   {FifoBufferType::kAllocated, FifoBufferType::kSupplied}),
      flowControls_(fifo_properties::kFlowControl, qverr::qvapalerr_invalidParameter,
                    {FlowControlType::kFlowControl1, FlowControlType::kFlowControl2}),
      elementSizeProperty_(fifo_properties::kElementSize, nullptr, true, elementSize, nullptr,
                           nullptr, &readOnlyU32_),
      alignment_(fifo_properties::kAlignment, nullptr, true, elementsPerPage_, &powerOf2_),
      depth_(fifo_properties::kDepth, nullptr, true, depthDefault),
      mirror_(fifo_properties::kMirrorSize, nullptr, true, mirrorDefault),
      bufferType_(fifo_properties::kBufferType, nullptr, true, FifoBufferType::kAllocated,
                  &bufferTypes_),
      address_(fifo_properties::kBufferAddress, nullptr, true, nullptr),
      flowControl_(fifo_properties::kFlowControl, nullptr, true, FlowControlType::kFlowControl2,
                   &flowControls_),
      acquired_(fifo_properties::kElementsAcquired, nullptr, true, 0, nullptr, &acquiredGetter_,
                &readOnlyU64_),
      numaNode_(fifo_properties::kNumaNode, nullptr, true, numaNodeDefault, &numa_),
      regionCapacity_(fifo_properties::kRegionCapacity, nullptr, true, regionCapacityDefault) {
    for (iattr::AttributeBaseInterface* property : properties_) registry_.add(property);
}

FifoPropertyManager::~FifoPropertyManager() {
    if (!deviceHoldsBuffer_) return;
    // Freeing memory the device may still write into would corrupt whatever
    // is allocated there next: the buffer is kept for the life of the
    // process instead, on a list that takes no lock (none that a forked
    // child could inherit held).
    struct Abandoned {
        std::unique_ptr<HostBuffer> buffer;
        Abandoned* next;
    };
    static std::atomic<Abandoned*> abandoned{nullptr};
    auto* kept = new Abandoned{std::move(hostBuffer_), abandoned.load()};
    while (!abandoned.compare_exchange_weak(kept->next, kept)) {
    }
}

template <class X, class V>
void FifoPropertyManager::set(uint32_t id, V value) {
    registry_.getAs<X>(id, nullptr).setAPIValue(static_cast<X>(value));
    coerced_ = false;
}

template <class X>
X FifoPropertyManager::get(uint32_t id) {
    if (!coerced_) derive();
    return registry_.getAs<X>(id, nullptr).getAPIValue();
}

void FifoPropertyManager::setPropertyPtr(uint32_t id, void* value) {
    set<void*>(id, value);
}
void FifoPropertyManager::setPropertyU32(uint32_t id, uint32_t value) {
    set<unsigned int>(id, value);
}
void FifoPropertyManager::setPropertyU64(uint32_t id, uint64_t value) {
    set<unsigned long>(id, value);
}
void FifoPropertyManager::setPropertyI32(uint32_t id, int32_t value) {
    set<int>(id, value);
}
void FifoPropertyManager::setPropertyI64(uint32_t id, int64_t value) {
    set<long>(id, value);
}
void* FifoPropertyManager::getPropertyPtr(uint32_t id) {
    return get<void*>(id);
}
uint32_t FifoPropertyManager::getPropertyU32(uint32_t id) {
    return get<unsigned int>(id);
}
uint64_t FifoPropertyManager::getPropertyU64(uint32_t id) {
    return get<unsigned long>(id);
}
int32_t FifoPropertyManager::getPropertyI32(uint32_t id) {
    return get<int>(id);
}
int64_t FifoPropertyManager::getPropertyI64(uint32_t id) {
    return get<long>(id);
}

void FifoPropertyManager::derive() {
    if (!(alignment_.isDirty() || depth_.isDirty() || mirror_.isDirty() || bufferType_.isDirty() ||
          flowControl_.isDirty() || numaNode_.isDirty())) {
        coerced_ = true;
        return;
    }
    const bool supplied = bufferType_.readDesired() == FifoBufferType::kSupplied;
    if (bufferType_.isDirty()) {
        if (!supplied) address_.writeCoerced(nullptr);
        bufferType_.setDirty(false);
    }

    if (!alignment_.isUserAuthored()) alignment_.writeDesired(supplied ? 1 : elementsPerPage_);
    alignment_.setDirty(false);
    // The range keeps it a power of two of at least 1.
    const uint64_t alignment = alignment_.readCoerced();

    // A depth that cannot be rounded or held becomes 0, which commit and
    // configure refuse (-61072) instead of wrapping to a small ring.
    uint64_t depth = 0;
    if (!(supplied && !depth_.isUserAuthored())) {
        const uint64_t desired = depth_.readDesired();
        if (desired <= UINT64_MAX - (alignment - 1))
            depth = (desired + alignment - 1) & ~(alignment - 1);
        if (flowControl_.readCoerced() == FlowControlType::kFlowControl2) {
            const uint64_t limit = (uint64_t{1} << 32) / elementSize_;
            depth = limit < alignment ? 0 : std::min(depth, limit - alignment);
        }
    }
    depth_.writeCoerced(depth);
    depth_.setDirty(false);

    uint64_t mirror = 0;
    if (!(supplied && !mirror_.isUserAuthored()) && depth % elementsPerPage_ == 0) {
        mirror = depth_.readDesired() <= mirror_.readDesired() ? depth : mirror_.readDesired();
    }
    mirror_.writeCoerced(std::min(mirror, depth));
    mirror_.setDirty(false);

    flowControl_.setDirty(false);
    numaNode_.setDirty(false);
    address_.setDirty(true);
    coerced_ = true;
}

void FifoPropertyManager::unconfigure() {
    nQVAPALS100::tStatus status;
    proxy_->beginFifoConfiguration(session_, number_, status);
    qverr::throwIfTStatusError(status);
    deviceHoldsBuffer_ = false;
}

void FifoPropertyManager::releaseHostBuffer() {
    if (!deviceHoldsBuffer_) freeHostBuffer();
}

void FifoPropertyManager::freeHostBuffer() {
    if (callerMayHoldBuffer_ && hostBuffer_->address() != nullptr) {
        std::swap(hostBuffer_, keptForCaller_);
        callerMayHoldBuffer_ = false;
    }
    hostBuffer_->reset();
}

FifoPropertyManager::Committed FifoPropertyManager::wanted() {
    if (!coerced_) derive();
    Committed wanted;
    const uint64_t depth = depth_.readCoerced();
    // Checked: a ring beyond 64 bits of bytes is no ring at all.
    wanted.depthBytes = depth <= UINT64_MAX / elementSize_ ? depth * elementSize_ : 0;
    wanted.mirrorBytes = mirror_.readCoerced() * elementSize_;  // mirror <= depth
    wanted.address = address(address_.readCoerced());
    wanted.bufferType = static_cast<uint32_t>(bufferType_.readDesired());
    wanted.flowControl = static_cast<uint32_t>(flowControl_.readCoerced());
    return wanted;
}

bool FifoPropertyManager::sameBuffer(const Committed& a, const Committed& b) {
    return a.bufferType == b.bufferType && a.address == b.address && a.depthBytes == b.depthBytes &&
           a.mirrorBytes == b.mirrorBytes;
}

void FifoPropertyManager::replaceBuffer(const Committed& wanted, bool supplied) {
    // The device lets go of the old buffer before it is freed; when it
    // refuses, the buffer stays and the refusal is thrown.
    if (committed_.address != 0 || deviceHoldsBuffer_) unconfigure();
    freeHostBuffer();
    // The record holds the new sizes only once their buffer exists: sizes
    // kept beside a failed allocation would match the next commit, which
    // then would allocate nothing.
    committed_ = Committed{};
    uint64_t buffer = address(address_.readDesired());
    if (!supplied) {
        address_.writeCoerced(nullptr);
        hostBuffer_->allocate(wanted.depthBytes, wanted.mirrorBytes, numaNode_.readCoerced());
        // Allocated while the kept buffer still stood, so never at its
        // address: what the caller still writes there reaches no ring.
        keptForCaller_->reset();
        callerMayHoldBuffer_ = false;
        buffer = address(hostBuffer_->address());
        address_.writeCoerced(hostBuffer_->address());
    }
    committed_.address = buffer;
    committed_.depthBytes = wanted.depthBytes;
    committed_.mirrorBytes = wanted.mirrorBytes;
    committed_.bufferType = wanted.bufferType;
}

void FifoPropertyManager::configure(bool supplied) {
    // The device would write its ring at host address 0.
    if (committed_.address == 0) {
        QVERR_THROW(kComponent, qverr::qvapalerr_softwareFaultAPALInternalUseOnly,
                    "qvapalerr_softwareFaultAPALInternalUseOnly");
    }
    nQVAPALS100::tStatus status;
    const std::array<uint64_t, 4> record = {
        committed_.address, committed_.depthBytes, committed_.mirrorBytes,
        uint64_t{committed_.bufferType} | uint64_t{committed_.flowControl} << 32};
    proxy_->configureFifo(session_, number_, record, status);
    if (status.isError()) {
        // A buffer the device was already given stays; one it never took
        // goes, and with it the whole committed record: a record that kept
        // its sizes without its buffer would match the next commit, which
        // then would allocate nothing.
        if (!deviceHoldsBuffer_) {
            freeHostBuffer();
            committed_ = Committed{};
            if (!supplied) address_.writeCoerced(nullptr);
        }
        qverr::throwIfTStatusError(status);
    }
    deviceHoldsBuffer_ = true;
    registry_.setDirty(false);
}

void FifoPropertyManager::commit() {
    const Committed next = wanted();
    if (sameBuffer(next, committed_) && next.flowControl == committed_.flowControl &&
        !registry_.isDirty())
        return;
    const bool supplied = next.bufferType == static_cast<uint32_t>(FifoBufferType::kSupplied);
    if (next.depthBytes == 0)
        QVERR_THROW(kComponent, kErrorFifoDepthInvalid, "kErrorFifoDepthInvalid");
    if (supplied && address_.readDesired() == nullptr) {
        QVERR_THROW(kComponent, kErrorFifoNoBufferAddress, "kErrorFifoNoBufferAddress");
    }
    if (!sameBuffer(next, committed_)) replaceBuffer(next, supplied);
    committed_.flowControl = next.flowControl;
    configure(supplied);
}

void FifoPropertyManager::reset() {
    for (iattr::AttributeBaseInterface* property : properties_) property->reset();
    registry_.setDirty(true);
    coerced_ = false;
    committed_ = Committed{};
    nQVAPALS100::tStatus status;
    proxy_->beginFifoConfiguration(session_, number_, status);
    if (!status.isError()) deviceHoldsBuffer_ = false;
    releaseHostBuffer();
    qverr::throwIfTStatusError(status);
}

void FifoPropertyManager::deviceReleased() {
    deviceHoldsBuffer_ = false;
    if (committed_.address == 0) freeHostBuffer();
}

}  // namespace qvzek
