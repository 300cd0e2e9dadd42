// The ten properties of one host DMA FIFO as attributes, the values derived
// from them (alignment, depth, mirror size, buffer address), the host buffer
// and the configuration last sent to the kernel driver. Failures throw
// qverr::Exception; the owning FIFO serialises every call.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "apal_qv3377k/iInterfaceProxy_atomiczekddk.h"
#include "atomiczekddk/attributes/Attribute.h"
#include "atomiczekddk/attributes/AttributeRegistry.h"
#include "atomiczekddk/memory/HostBuffer.h"
#include "atomiczekddk/shared/Errors.h"
#include "atomiczekddk/user/fifo/IFifoDataAccessStrategy.h"

namespace qvzek {

enum class FifoBufferType : int32_t {
    kAllocated = 1,  // the host buffer is allocated here
    kSupplied = 2,   // the caller supplies it (property 6)
};

enum class FlowControlType : int32_t {
    kFlowControl1 = 1,
    kFlowControl2 = 2,  // the depth in bytes must stay within 32 bits
};

namespace fifo_properties {
inline constexpr uint32_t kElementSize = 1;
inline constexpr uint32_t kAlignment = 2;
inline constexpr uint32_t kDepth = 3;
inline constexpr uint32_t kMirrorSize = 4;
inline constexpr uint32_t kBufferType = 5;
inline constexpr uint32_t kBufferAddress = 6;
inline constexpr uint32_t kFlowControl = 7;
inline constexpr uint32_t kElementsAcquired = 8;
inline constexpr uint32_t kNumaNode = 9;
inline constexpr uint32_t kRegionCapacity = 10;
}  // namespace fifo_properties

inline constexpr int32_t kErrorPropertyNotFound = kErrorAttributeNotServed;
inline constexpr int32_t kErrorPropertyNotSettable = kErrorNotSupported;

// The typed property accessors, as both the FIFO and its property manager
// offer them.
class IFifoPropertyAccess {
public:
    virtual ~IFifoPropertyAccess() = default;
    virtual void setPropertyPtr(uint32_t id, void* value) = 0;
    virtual void setPropertyU32(uint32_t id, uint32_t value) = 0;
    virtual void setPropertyU64(uint32_t id, uint64_t value) = 0;
    virtual void setPropertyI32(uint32_t id, int32_t value) = 0;
    virtual void setPropertyI64(uint32_t id, int64_t value) = 0;
    virtual void* getPropertyPtr(uint32_t id) = 0;
    virtual uint32_t getPropertyU32(uint32_t id) = 0;
    virtual uint64_t getPropertyU64(uint32_t id) = 0;
    virtual int32_t getPropertyI32(uint32_t id) = 0;
    virtual int64_t getPropertyI64(uint32_t id) = 0;
};

// The overrides of IFifoPropertyAccess, declared alike by each implementation.
#define QV_FIFO_PROPERTY_ACCESS_OVERRIDES                      \
    void setPropertyPtr(uint32_t id, void* value) override;    \
    void setPropertyU32(uint32_t id, uint32_t value) override; \
    void setPropertyU64(uint32_t id, uint64_t value) override; \
    void setPropertyI32(uint32_t id, int32_t value) override;  \
    void setPropertyI64(uint32_t id, int64_t value) override;  \
    void* getPropertyPtr(uint32_t id) override;                \
    uint32_t getPropertyU32(uint32_t id) override;             \
    uint64_t getPropertyU64(uint32_t id) override;             \
    int32_t getPropertyI32(uint32_t id) override;              \
    int64_t getPropertyI64(uint32_t id) override;

class IFifoPropertyManager : public IFifoPropertyAccess {
public:
    virtual void commit() = 0;
    virtual void reset() = 0;
};

// 0 becomes 1, others the next power of two; above 2^31 there is none in 32
// bits, and the value is refused (-52005) rather than wrapped to 0.
class RangePowerOf2 : public atat::Range<unsigned int> {
public:
    unsigned int coerce(const unsigned int& value) override;
    bool areEqual(const unsigned int& a, const unsigned int& b) override { return a == b; }
};

// A node below 0 or above the highest one becomes -1 (no preference).
class RangeNuma : public atat::Range<int> {
public:
    explicit RangeNuma(int highestNode) : highestNode_(highestNode) {}
    int coerce(const int& value) override { return value < 0 || value > highestNode_ ? -1 : value; }
    bool areEqual(const int& a, const int& b) override { return a == b; }

private:
    int highestNode_;
};

class ElementsCurrentlyAcquiredGetter : public atat::Getter<unsigned long> {
public:
    explicit ElementsCurrentlyAcquiredGetter(const IFifoDataAccessStrategy& strategy)
        : strategy_(strategy) {}
    ElementsCurrentlyAcquiredGetter(const ElementsCurrentlyAcquiredGetter&) = delete;
    ElementsCurrentlyAcquiredGetter& operator=(const ElementsCurrentlyAcquiredGetter&) = delete;
    void prepareGet(iattr::AttributeInterface<unsigned long>&) override {}
    void refresh(iattr::AttributeInterface<unsigned long>& attribute) override {
        attribute.writeCoerced(strategy_.getElementsAcquired());
    }

private:
    const IFifoDataAccessStrategy& strategy_;
};

class FifoPropertyManager : public IFifoPropertyManager {
public:
    using FifoInterface = sdihal::iInterfaceProxy_atomiczekddk_fifo;

    FifoPropertyManager(std::shared_ptr<FifoInterface> proxy, uint64_t session, uint32_t number,
                        uint32_t elementSize, uint32_t elementsPerPage, uint64_t depthDefault,
                        uint64_t mirrorDefault, int32_t numaNodeDefault, int32_t highestNumaNode,
                        uint32_t regionCapacityDefault, const IFifoDataAccessStrategy& strategy);
    FifoPropertyManager(const FifoPropertyManager&) = delete;
    FifoPropertyManager& operator=(const FifoPropertyManager&) = delete;
    // Sends nothing. A buffer the device may still write into (configured,
    // and never unconfigured nor reset since) is not freed: it is given up.
    ~FifoPropertyManager() override;

    QV_FIFO_PROPERTY_ACCESS_OVERRIDES
    // Sends the configuration when it differs from the committed one or a
    // property is dirty.
    void commit() override;
    // Every property back to its default, the driver's configuration
    // undone. When the driver refuses to unconfigure, the buffer is kept and
    // the refusal thrown (after the properties were reset).
    void reset() override;
    // The driver has reset the FIFO: the device writes no more into the
    // host buffer, which may go if no configuration needs it.
    void deviceReleased();
    // Elements of the host buffer were handed out and dropped without being
    // given back: the caller may still touch them, so when the buffer is
    // let go it stays allocated (the device never given it again) until a
    // new one is allocated or the manager ends.
    void keepBufferForCaller() { callerMayHoldBuffer_ = true; }

private:
    struct Committed {
        uint64_t address = 0;
        uint64_t depthBytes = 0;
        uint64_t mirrorBytes = 0;
        uint32_t bufferType = 1;
        uint32_t flowControl = 2;
    };

    // The configuration the properties ask for.
    Committed wanted();
    // Whether two configurations describe the same host buffer.
    static bool sameBuffer(const Committed& a, const Committed& b);
    // Lets go of the committed buffer and takes the wanted one: the caller's
    // or a new allocation.
    void replaceBuffer(const Committed& wanted, bool supplied);
    // Sends the committed record to the driver.
    void configure(bool supplied);
    template <class X, class V>
    void set(uint32_t id, V value);
    template <class X>
    X get(uint32_t id);
    void derive();
    void unconfigure();
    void releaseHostBuffer();
    // Frees the host buffer, or keeps it aside while the caller may hold it.
    void freeHostBuffer();

    std::shared_ptr<FifoInterface> proxy_;
    uint64_t session_;
    uint32_t number_;
    uint32_t elementSize_;
    uint32_t elementsPerPage_;
    atat::AttributeRegistry registry_{kErrorPropertyNotFound, kErrorPropertyWrongType,
                                      qverr::qvapalerr_softwareFaultAPALInternalUseOnly};
    ElementsCurrentlyAcquiredGetter acquiredGetter_;
    atat::NotSettable<unsigned int> readOnlyU32_{kErrorPropertyNotSettable};
    atat::NotSettable<unsigned long> readOnlyU64_{kErrorPropertyNotSettable};
    RangePowerOf2 powerOf2_;
    RangeNuma numa_;
    atat::EnumRange<FifoBufferType> bufferTypes_;
    atat::EnumRange<FlowControlType> flowControls_;
    atat::Attribute<unsigned int> elementSizeProperty_;
    atat::Attribute<unsigned int> alignment_;
    atat::Attribute<unsigned long> depth_;
    atat::Attribute<unsigned long> mirror_;
    atat::Attribute<FifoBufferType> bufferType_;
    atat::Attribute<void*> address_;
    atat::Attribute<FlowControlType> flowControl_;
    atat::Attribute<unsigned long> acquired_;
    atat::Attribute<int> numaNode_;
    atat::Attribute<unsigned int> regionCapacity_;
    // The ten properties, in id order: registered and reset from here.
    const std::array<iattr::AttributeBaseInterface*, 10> properties_{
        &elementSizeProperty_, &alignment_, &depth_,    &mirror_,        &bufferType_, &address_,
        &flowControl_,         &acquired_,  &numaNode_, &regionCapacity_};
    bool coerced_ = false;
    std::unique_ptr<HostBuffer> hostBuffer_ = std::make_unique<HostBuffer>();
    // The device was given the committed buffer and has not let go of it.
    bool deviceHoldsBuffer_ = false;
    bool callerMayHoldBuffer_ = false;
    // A buffer let go while the caller may still hold some of it.
    std::unique_ptr<HostBuffer> keptForCaller_ = std::make_unique<HostBuffer>();
    Committed committed_;
};

}  // namespace qvzek
