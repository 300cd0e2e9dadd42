// The PXI chassis library "libqvqpxi.so.1": which chassis and slot a PCI
// device sits in. It is optional; QPxiLibrary::isLoaded says whether all of
// its entry points were found. Items own one library handle each and turn
// every failure the library reports into a qverr::Exception that keeps the
// library's code and JSON detail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "qvdynlib/qvdynlib.h"
#include "qverr/Status.h"

namespace qvqpxi {

using Handle = uint64_t;

struct DeviceAddress {
    uint32_t reserved = 0;
    uint32_t bus = 0;
    uint32_t device = 0;
    uint32_t function = 0;
};

// Numbers the library is called with.
inline constexpr uint32_t kContainingChassis = 1;
inline constexpr uint32_t kContainingSlot = 2;
inline constexpr uint32_t kContainerChassis = 0;
inline constexpr uint32_t kContainerSlots = 0x1000;
inline constexpr uint32_t kContainerTriggerBridges = 0x1001;
inline constexpr uint32_t kContainerDevices = 0x2000;
inline constexpr uint32_t kSessionValid = 0;
inline constexpr uint32_t kDeviceChassisNumber = 0x1000;
inline constexpr uint32_t kDeviceSlotNumber = 0x2008;
inline constexpr uint32_t kSlotAttribute2005 = 0x2005;
inline constexpr uint32_t kDeviceBusNumber = 0x3000;
inline constexpr uint32_t kDeviceDeviceNumber = 0x3001;
inline constexpr uint32_t kDeviceFunctionNumber = 0x3002;
// A chassis or slot number the library does not know.
inline constexpr uint32_t kUnknownNumber = 0xFFFFFFFF;

// The library's entry points in their fixed order.
class QPXILibrary {
public:
    virtual ~QPXILibrary() = default;
    virtual Handle openPXISession(uint32_t argument, qverr::Status* status) = 0;
    virtual Handle openChassisByNumber(Handle session, uint32_t number, qverr::Status* status) = 0;
    virtual Handle openSlotByNumber(Handle chassis, uint32_t number, qverr::Status* status) = 0;
    virtual Handle openDeviceByAddr(Handle session, const DeviceAddress* address,
                                    qverr::Status* status) = 0;
    virtual Handle openContainingItem(Handle item, uint32_t kind, qverr::Status* status) = 0;
    virtual uint32_t getU32Attribute(Handle item, uint32_t attribute, qverr::Status* status) = 0;
    virtual const char* getStringAttribute(Handle item, uint32_t attribute,
                                           qverr::Status* status) = 0;
    virtual uint64_t getItemContainer(Handle item, uint32_t kind, qverr::Status* status) = 0;
    virtual uint64_t duplicateItemContainer(uint64_t container, qverr::Status* status) = 0;
    virtual uint64_t ItemIterator_begin(uint64_t container, qverr::Status* status) = 0;
    virtual Handle ItemIterator_nextItem(uint64_t container, uint64_t* iterator,
                                         qverr::Status* status) = 0;
    virtual uint64_t ItemIterator_end(uint64_t container, qverr::Status* status) = 0;
    virtual void destroyItemContainer(uint64_t container) = 0;
    virtual Handle duplicate(Handle item, qverr::Status* status) = 0;
    virtual void close(Handle item) = 0;
    virtual uint32_t waitForSessionInvalidation(Handle session, uint32_t value,
                                                qverr::Status* status) = 0;
    virtual void cancelWaitForInvalidation(Handle session) = 0;
};

// The names of the 17 entry points, in order.
struct QPXIEntryPoints {
    static constexpr const char* kEntryPointNames[] = {"openPXISession",
                                                       "openChassisByNumber",
                                                       "openSlotByNumber",
                                                       "openDeviceByAddr",
                                                       "openContainingItem",
                                                       "getU32Attribute",
                                                       "getStringAttribute",
                                                       "getItemContainer",
                                                       "duplicateItemContainer",
                                                       "ItemIterator_begin",
                                                       "ItemIterator_nextItem",
                                                       "ItemIterator_end",
                                                       "destroyItemContainer",
                                                       "duplicate",
                                                       "close",
                                                       "waitForSessionInvalidation",
                                                       "cancelWaitForInvalidation"};
    static constexpr const char* kPrefix = "qvqpxi_";
    static constexpr const char* kSuffix = "";
    static constexpr size_t kCount = std::size(kEntryPointNames);

    void setEntryPoint(size_t index, void* address) { entryPoints[index] = address; }
    void* entryPoints[kCount] = {};
};

inline constexpr const char* kLibraryName = "libqvqpxi.so.1";

// Calls through the loaded entry points, unchecked: callers look at the
// load status (or QPxiLibrary::isLoaded) first.
class DynamicQPXILibrary : public QPXILibrary,
                           public qvdynlib::AutoLibWithInterface<QPXIEntryPoints> {
public:
    // Does nothing when status already holds an error. A missing library or
    // entry point leaves -52005 in status; the entry points after the first
    // missing one stay null.
    explicit DynamicQPXILibrary(qverr::Status& status, const char* path = kLibraryName);

    Handle openPXISession(uint32_t argument, qverr::Status* status) override;
    Handle openChassisByNumber(Handle session, uint32_t number, qverr::Status* status) override;
    Handle openSlotByNumber(Handle chassis, uint32_t number, qverr::Status* status) override;
    Handle openDeviceByAddr(Handle session, const DeviceAddress* address,
                            qverr::Status* status) override;
    Handle openContainingItem(Handle item, uint32_t kind, qverr::Status* status) override;
    uint32_t getU32Attribute(Handle item, uint32_t attribute, qverr::Status* status) override;
    const char* getStringAttribute(Handle item, uint32_t attribute, qverr::Status* status) override;
    uint64_t getItemContainer(Handle item, uint32_t kind, qverr::Status* status) override;
    uint64_t duplicateItemContainer(uint64_t container, qverr::Status* status) override;
    uint64_t ItemIterator_begin(uint64_t container, qverr::Status* status) override;
    Handle ItemIterator_nextItem(uint64_t container, uint64_t* iterator,
                                 qverr::Status* status) override;
    uint64_t ItemIterator_end(uint64_t container, qverr::Status* status) override;
    void destroyItemContainer(uint64_t container) override;
    Handle duplicate(Handle item, qverr::Status* status) override;
    void close(Handle item) override;
    uint32_t waitForSessionInvalidation(Handle session, uint32_t value,
                                        qverr::Status* status) override;
    void cancelWaitForInvalidation(Handle session) override;

    // The address of entry point `index` (0-based), null when not found.
    void* entryPoint(size_t index) const { return entryPoints[index]; }
};

// The board plug-in's one PXI library.
class QPxiLibrary : public DynamicQPXILibrary {
public:
    explicit QPxiLibrary(qverr::Status& status, const char* path = kLibraryName)
        : DynamicQPXILibrary(status, path), isLoaded(status.code >= 0) {}
    const bool isLoaded;
};

class Item {
public:
    // Takes over handle.
    Item(Handle handle, QPXILibrary& library) : library_(&library), handle_(handle) {}
    // Duplicates a nonzero handle through the library.
    Item(const Item& other);
    // Takes the handle over; the source closes nothing.
    Item(Item&& other) noexcept : library_(other.library_), handle_(other.handle_) {
        other.library_ = nullptr;
        other.handle_ = 0;
    }
    Item& operator=(const Item&) = delete;
    Item& operator=(Item&&) = delete;
    virtual ~Item();

    virtual uint32_t getU32Attribute(uint32_t attribute);
    // The library's text, neither copied nor freed.
    virtual const char* getStringAttribute(uint32_t attribute);
    virtual std::vector<Item> getItems(uint32_t kind);

    Handle handle() const { return handle_; }

protected:
    QPXILibrary& library() const { return *library_; }
    Handle openContaining(uint32_t kind);
    template <class T>
    std::vector<T> getList(uint32_t kind);

private:
    QPXILibrary* library_;
    Handle handle_;
};

class Chassis;
class Slot;
class Device;
class TriggerBridge;

class Session : public Item {
public:
    // Opens a session (the system passes 0).
    Session(uint32_t argument, QPXILibrary& library);
    Device openDeviceByAddr(const DeviceAddress& address);
    Chassis openChassisByNumber(uint32_t number);
    std::vector<Chassis> getChassis();
    uint32_t waitForSessionInvalidation(uint32_t value);
    void cancelWaitForInvalidation();
};

class Device : public Item {
public:
    using Item::Item;
    Slot openContainingSlot();
    Chassis openContainingChassis();
    // {0, bus, device, function}, read function first.
    DeviceAddress getAddress();
};

class Slot : public Item {
public:
    using Item::Item;
    std::vector<Device> getDevices();
    Chassis openContainingChassis();
};

class TriggerBridge : public Item {
public:
    using Item::Item;
    Chassis openContainingChassis();
};

class Chassis : public Item {
public:
    using Item::Item;
    std::vector<Slot> getSlots();
    std::vector<TriggerBridge> getTriggerBridges();
};

}  // namespace qvqpxi
