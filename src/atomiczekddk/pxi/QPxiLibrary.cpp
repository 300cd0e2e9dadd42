#include "atomiczekddk/pxi/QPxiLibrary.h"

#include <exception>
#include <utility>

#include "qverr/Exception.h"
#include "qverr/StatusThrowGuard.h"

namespace qvqpxi {

namespace {

template <class Function>
Function entry(const QPXIEntryPoints& table, size_t index) {
    return reinterpret_cast<Function>(table.entryPoints[index]);
}

}  // namespace

DynamicQPXILibrary::DynamicQPXILibrary(qverr::Status& status, const char* path)
    : qvdynlib::AutoLibWithInterface<QPXIEntryPoints>(path, status) {
    // The table loader tries every name; this library's contract is that
    // nothing after the first missing entry point is used.
    for (size_t i = 0; i < kCount; ++i) {
        if (entryPoints[i] != nullptr) continue;
        for (size_t j = i; j < kCount; ++j) entryPoints[j] = nullptr;
        break;
    }
}

#define QPXI_CALL(index, type, ...) return entry<type>(*this, index)(__VA_ARGS__)

Handle DynamicQPXILibrary::openPXISession(uint32_t argument, qverr::Status* status) {
    QPXI_CALL(0, Handle(*)(uint32_t, qverr::Status*), argument, status);
}
Handle DynamicQPXILibrary::openChassisByNumber(Handle session, uint32_t number,
                                               qverr::Status* status) {
    QPXI_CALL(1, Handle(*)(Handle, uint32_t, qverr::Status*), session, number, status);
}
Handle DynamicQPXILibrary::openSlotByNumber(Handle chassis, uint32_t number,
                                            qverr::Status* status) {
    QPXI_CALL(2, Handle(*)(Handle, uint32_t, qverr::Status*), chassis, number, status);
}
Handle DynamicQPXILibrary::openDeviceByAddr(Handle session, const DeviceAddress* address,
                                            qverr::Status* status) {
    QPXI_CALL(3, Handle(*)(Handle, const DeviceAddress*, qverr::Status*), session, address, status);
}
Handle DynamicQPXILibrary::openContainingItem(Handle item, uint32_t kind, qverr::Status* status) {
    QPXI_CALL(4, Handle(*)(Handle, uint32_t, qverr::Status*), item, kind, status);
}
uint32_t DynamicQPXILibrary::getU32Attribute(Handle item, uint32_t attribute,
                                             qverr::Status* status) {
    QPXI_CALL(5, uint32_t(*)(Handle, uint32_t, qverr::Status*), item, attribute, status);
}
const char* DynamicQPXILibrary::getStringAttribute(Handle item, uint32_t attribute,
                                                   qverr::Status* status) {
    QPXI_CALL(6, const char* (*)(Handle, uint32_t, qverr::Status*), item, attribute, status);
}
uint64_t DynamicQPXILibrary::getItemContainer(Handle item, uint32_t kind, qverr::Status* status) {
    QPXI_CALL(7, uint64_t(*)(Handle, uint32_t, qverr::Status*), item, kind, status);
}
uint64_t DynamicQPXILibrary::duplicateItemContainer(uint64_t container, qverr::Status* status) {
    QPXI_CALL(8, uint64_t(*)(uint64_t, qverr::Status*), container, status);
}
uint64_t DynamicQPXILibrary::ItemIterator_begin(uint64_t container, qverr::Status* status) {
    QPXI_CALL(9, uint64_t(*)(uint64_t, qverr::Status*), container, status);
}
Handle DynamicQPXILibrary::ItemIterator_nextItem(uint64_t container, uint64_t* iterator,
                                                 qverr::Status* status) {
    QPXI_CALL(10, Handle(*)(uint64_t, uint64_t*, qverr::Status*), container, iterator, status);
}
uint64_t DynamicQPXILibrary::ItemIterator_end(uint64_t container, qverr::Status* status) {
    QPXI_CALL(11, uint64_t(*)(uint64_t, qverr::Status*), container, status);
}
void DynamicQPXILibrary::destroyItemContainer(uint64_t container) {
    QPXI_CALL(12, void (*)(uint64_t), container);
}
Handle DynamicQPXILibrary::duplicate(Handle item, qverr::Status* status) {
    QPXI_CALL(13, Handle(*)(Handle, qverr::Status*), item, status);
}
void DynamicQPXILibrary::close(Handle item) {
    QPXI_CALL(14, void (*)(Handle), item);
}
uint32_t DynamicQPXILibrary::waitForSessionInvalidation(Handle session, uint32_t value,
                                                        qverr::Status* status) {
    QPXI_CALL(15, uint32_t(*)(Handle, uint32_t, qverr::Status*), session, value, status);
}
void DynamicQPXILibrary::cancelWaitForInvalidation(Handle session) {
    QPXI_CALL(16, void (*)(Handle), session);
}

#undef QPXI_CALL

Item::Item(const Item& other) : library_(other.library_), handle_(0) {
    if (other.handle_ != 0) {
        handle_ = qverr::callWithStatus(
            [&](qverr::Status* s) { return library_->duplicate(other.handle_, s); });
    }
}

Item::~Item() {
    if (library_ != nullptr) library_->close(handle_);
}

uint32_t Item::getU32Attribute(uint32_t attribute) {
    return qverr::callWithStatus(
        [&](qverr::Status* s) { return library_->getU32Attribute(handle_, attribute, s); });
}

const char* Item::getStringAttribute(uint32_t attribute) {
    return qverr::callWithStatus(
        [&](qverr::Status* s) { return library_->getStringAttribute(handle_, attribute, s); });
}

std::vector<Item> Item::getItems(uint32_t kind) {
    return getList<Item>(kind);
}

Handle Item::openContaining(uint32_t kind) {
    return qverr::callWithStatus(
        [&](qverr::Status* s) { return library_->openContainingItem(handle_, kind, s); });
}

template <class T>
std::vector<T> Item::getList(uint32_t kind) {
    QPXILibrary& lib = *library_;
    const uint64_t container = qverr::callWithStatus(
        [&](qverr::Status* s) { return lib.getItemContainer(handle_, kind, s); });
    struct ContainerOwner {
        QPXILibrary& lib;
        uint64_t container;
        ~ContainerOwner() { lib.destroyItemContainer(container); }
    } owner{lib, container};
    std::vector<T> list;
    uint64_t iterator = qverr::callWithStatus(
        [&](qverr::Status* s) { return lib.ItemIterator_begin(container, s); });
    while (iterator != qverr::callWithStatus(
                           [&](qverr::Status* s) { return lib.ItemIterator_end(container, s); })) {
        qverr::Status status;
        // Owned at once, so that it is closed on every path; its status is
        // looked at before anything is made of it.
        const T next(lib.ItemIterator_nextItem(container, &iterator, &status), lib);
        if (status.isError()) qverr::throwStatus(std::move(status));
        list.push_back(next);
    }
    return list;
}

Session::Session(uint32_t argument, QPXILibrary& library)
    : Item(qverr::callWithStatus(
               [&](qverr::Status* s) { return library.openPXISession(argument, s); }),
           library) {}

Device Session::openDeviceByAddr(const DeviceAddress& address) {
    QPXILibrary& lib = library();
    return Device(qverr::callWithStatus([&](qverr::Status* s) {
                      return lib.openDeviceByAddr(handle(), &address, s);
                  }),
                  lib);
}

Chassis Session::openChassisByNumber(uint32_t number) {
    QPXILibrary& lib = library();
    return Chassis(qverr::callWithStatus([&](qverr::Status* s) {
                       return lib.openChassisByNumber(handle(), number, s);
                   }),
                   lib);
}

std::vector<Chassis> Session::getChassis() {
    return getList<Chassis>(kContainerChassis);
}

uint32_t Session::waitForSessionInvalidation(uint32_t value) {
    QPXILibrary& lib = library();
    return qverr::callWithStatus(
        [&](qverr::Status* s) { return lib.waitForSessionInvalidation(handle(), value, s); });
}

void Session::cancelWaitForInvalidation() {
    library().cancelWaitForInvalidation(handle());
}

Slot Device::openContainingSlot() {
    return Slot(openContaining(kContainingSlot), library());
}
Chassis Device::openContainingChassis() {
    return Chassis(openContaining(kContainingChassis), library());
}

DeviceAddress Device::getAddress() {
    DeviceAddress address;
    address.function = getU32Attribute(kDeviceFunctionNumber);
    address.device = getU32Attribute(kDeviceDeviceNumber);
    address.bus = getU32Attribute(kDeviceBusNumber);
    return address;
}

std::vector<Device> Slot::getDevices() {
    return getList<Device>(kContainerDevices);
}
Chassis Slot::openContainingChassis() {
    return Chassis(openContaining(kContainingChassis), library());
}

Chassis TriggerBridge::openContainingChassis() {
    return Chassis(openContaining(kContainingChassis), library());
}

std::vector<Slot> Chassis::getSlots() {
    return getList<Slot>(kContainerSlots);
}
std::vector<TriggerBridge> Chassis::getTriggerBridges() {
    return getList<TriggerBridge>(kContainerTriggerBridges);
}

}  // namespace qvqpxi
