// The PXI chassis library stand-in: chassis, slots and devices that a test
// sets; every object handed out is a numbered handle that must be closed.
#include "qvqpxi/QpxiSim.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "qverr/Status.h"

#define QPXI_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

enum class Kind { Session, Chassis, Slot, Device };

struct Object {
    Kind kind;
    uint32_t chassis;
    uint32_t slot;
    size_t device;  // index into devices
};

struct DeviceRecord {
    uint32_t chassis, slot, slotValue, bus, device, function;
};

struct State {
    std::mutex mutex;
    std::vector<DeviceRecord> devices;
    std::map<uint64_t, Object> handles;
    std::map<uint64_t, std::vector<Object>> containers;
    std::map<std::string, uint64_t> calls;
    std::map<std::string, uint64_t> failAt;
    uint64_t nextId = 1;
    uint32_t sessionValid = 1;
};

State& state() {
    static State s;
    return s;
}

// Counts the call; true when it is to fail.
bool enter(State& s, const char* name) {
    const uint64_t n = ++s.calls[name];
    const auto it = s.failAt.find(name);
    return it != s.failAt.end() && it->second != 0 && n >= it->second;
}

void fail(qverr::Status* status, int32_t code, const char* what) {
    if (status == nullptr || status->code < 0) return;
    status->code = code;
    const std::string text = std::string("{\"qvqpxi_debug\":{\"debug\":\"") + what + "\"}}";
    if (status->realloc(*status, static_cast<uint32_t>(text.size() + 2)) &&
        status->capacity > text.size() + 1) {
        memcpy(status->json, text.c_str(), text.size() + 1);
    }
}

uint64_t open(State& s, const Object& object) {
    const uint64_t id = s.nextId++;
    s.handles[id] = object;
    return id;
}

const Object* find(State& s, uint64_t handle, qverr::Status* status) {
    const auto it = s.handles.find(handle);
    if (it != s.handles.end()) return &it->second;
    fail(status, -52005, "no such handle");
    return nullptr;
}

#define QPXI_ENTER(name)                        \
    State& s = state();                         \
    std::lock_guard<std::mutex> lock(s.mutex);  \
    if (enter(s, name)) {                       \
        fail(status, -52006, "refused: " name); \
        return {};                              \
    }

}  // namespace

QPXI_EXPORT uint64_t qvqpxi_openPXISession(uint32_t, qverr::Status* status) {
    QPXI_ENTER("openPXISession");
    return open(s, {Kind::Session, 0, 0, 0});
}

QPXI_EXPORT uint64_t qvqpxi_openChassisByNumber(uint64_t session, uint32_t number,
                                                qverr::Status* status) {
    QPXI_ENTER("openChassisByNumber");
    if (find(s, session, status) == nullptr) return 0;
    for (const DeviceRecord& d : s.devices) {
        if (d.chassis == number) return open(s, {Kind::Chassis, number, 0, 0});
    }
    fail(status, -52006, "no such chassis");
    return 0;
}

QPXI_EXPORT uint64_t qvqpxi_openSlotByNumber(uint64_t chassis, uint32_t number,
                                             qverr::Status* status) {
    QPXI_ENTER("openSlotByNumber");
    const Object* c = find(s, chassis, status);
    if (c == nullptr) return 0;
    return open(s, {Kind::Slot, c->chassis, number, 0});
}

QPXI_EXPORT uint64_t qvqpxi_openDeviceByAddr(uint64_t session, const uint32_t* address,
                                             qverr::Status* status) {
    QPXI_ENTER("openDeviceByAddr");
    if (find(s, session, status) == nullptr) return 0;
    for (size_t i = 0; i < s.devices.size(); ++i) {
        const DeviceRecord& d = s.devices[i];
        if (address[0] == 0 && d.bus == address[1] && d.device == address[2] &&
            d.function == address[3]) {
            return open(s, {Kind::Device, d.chassis, d.slot, i});
        }
    }
    fail(status, -52006, "no device at this address");
    return 0;
}

QPXI_EXPORT uint64_t qvqpxi_openContainingItem(uint64_t item, uint32_t kind,
                                               qverr::Status* status) {
    QPXI_ENTER("openContainingItem");
    const Object* o = find(s, item, status);
    if (o == nullptr) return 0;
    const Object copy = *o;
    if (kind == 1) return open(s, {Kind::Chassis, copy.chassis, 0, 0});
    if (kind == 2 && copy.kind == Kind::Device)
        return open(s, {Kind::Slot, copy.chassis, copy.slot, copy.device});
    fail(status, -52005, "no such containing kind");
    return 0;
}

QPXI_EXPORT uint32_t qvqpxi_getU32Attribute(uint64_t item, uint32_t attribute,
                                            qverr::Status* status) {
    QPXI_ENTER("getU32Attribute");
    const Object* o = find(s, item, status);
    if (o == nullptr) return 0;
    if (o->kind == Kind::Session && attribute == 0) return s.sessionValid;
    if (o->kind == Kind::Device) {
        const DeviceRecord& d = s.devices[o->device];
        switch (attribute) {
            case 0x1000:
                return d.chassis;
            case 0x2008:
                return d.slot;
            case 0x3000:
                return d.bus;
            case 0x3001:
                return d.device;
            case 0x3002:
                return d.function;
            default:
                break;
        }
    }
    if (o->kind == Kind::Slot && attribute == 0x2005) return s.devices[o->device].slotValue;
    if (o->kind == Kind::Chassis && attribute == 0x1000) return o->chassis;
    fail(status, -52005, "no such attribute");
    return 0;
}

QPXI_EXPORT const char* qvqpxi_getStringAttribute(uint64_t item, uint32_t, qverr::Status* status) {
    QPXI_ENTER("getStringAttribute");
    if (find(s, item, status) == nullptr) return nullptr;
    return "QV PXI chassis";
}

QPXI_EXPORT uint64_t qvqpxi_getItemContainer(uint64_t item, uint32_t kind, qverr::Status* status) {
    QPXI_ENTER("getItemContainer");
    const Object* o = find(s, item, status);
    if (o == nullptr) return 0;
    std::vector<Object> list;
    std::map<uint64_t, bool> seen;
    for (size_t i = 0; i < s.devices.size(); ++i) {
        const DeviceRecord& d = s.devices[i];
        if (kind == 0 && !seen[d.chassis]) {
            seen[d.chassis] = true;
            list.push_back({Kind::Chassis, d.chassis, 0, i});
        } else if (kind == 0x1000 && d.chassis == o->chassis && !seen[d.slot]) {
            seen[d.slot] = true;
            list.push_back({Kind::Slot, d.chassis, d.slot, i});
        } else if (kind == 0x2000 && d.chassis == o->chassis && d.slot == o->slot) {
            list.push_back({Kind::Device, d.chassis, d.slot, i});
        }
    }
    const uint64_t id = s.nextId++;
    s.containers[id] = list;
    return id;
}

QPXI_EXPORT uint64_t qvqpxi_ItemIterator_begin(uint64_t container, qverr::Status* status) {
    QPXI_ENTER("ItemIterator_begin");
    if (s.containers.count(container) == 0) fail(status, -52005, "no such container");
    return 0;
}

QPXI_EXPORT uint64_t qvqpxi_ItemIterator_nextItem(uint64_t container, uint64_t* iterator,
                                                  qverr::Status* status) {
    QPXI_ENTER("ItemIterator_nextItem");
    const auto it = s.containers.find(container);
    if (it == s.containers.end() || *iterator >= it->second.size()) {
        fail(status, -52012, "no next item");
        return 0;
    }
    return open(s, it->second[(*iterator)++]);
}

QPXI_EXPORT uint64_t qvqpxi_ItemIterator_end(uint64_t container, qverr::Status* status) {
    QPXI_ENTER("ItemIterator_end");
    const auto it = s.containers.find(container);
    if (it == s.containers.end()) {
        fail(status, -52005, "no such container");
        return 0;
    }
    return it->second.size();
}

QPXI_EXPORT void qvqpxi_destroyItemContainer(uint64_t container) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.calls["destroyItemContainer"];
    s.containers.erase(container);
}

QPXI_EXPORT uint64_t qvqpxi_duplicate(uint64_t item, qverr::Status* status) {
    QPXI_ENTER("duplicate");
    const Object* o = find(s, item, status);
    if (o == nullptr) return 0;
    return open(s, Object(*o));
}

QPXI_EXPORT void qvqpxi_close(uint64_t item) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.calls["close"];
    s.handles.erase(item);
}

QPXI_EXPORT uint32_t qvqpxi_waitForSessionInvalidation(uint64_t session, uint32_t value,
                                                       qverr::Status* status) {
    QPXI_ENTER("waitForSessionInvalidation");
    if (find(s, session, status) == nullptr) return 0;
    return value;
}

QPXI_EXPORT void qvqpxi_cancelWaitForInvalidation(uint64_t) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.calls["cancelWaitForInvalidation"];
}

#ifndef QV_QPXI_WITHOUT_ENTRY_9
QPXI_EXPORT uint64_t qvqpxi_duplicateItemContainer(uint64_t container, qverr::Status* status) {
    QPXI_ENTER("duplicateItemContainer");
    const auto it = s.containers.find(container);
    if (it == s.containers.end()) {
        fail(status, -52005, "no such container");
        return 0;
    }
    const std::vector<Object> copy = it->second;
    const uint64_t id = s.nextId++;
    s.containers[id] = copy;
    return id;
}
#endif

QPXI_EXPORT void qvqpxisim_reset() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.devices.clear();
    s.handles.clear();
    s.containers.clear();
    s.calls.clear();
    s.failAt.clear();
    s.sessionValid = 1;
}

QPXI_EXPORT void qvqpxisim_addDevice(uint32_t chassis, uint32_t slot, uint32_t slotValue,
                                     uint32_t bus, uint32_t device, uint32_t function) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.devices.push_back({chassis, slot, slotValue, bus, device, function});
}

QPXI_EXPORT uint64_t qvqpxisim_calls(const char* entryPoint) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    const auto it = s.calls.find(entryPoint);
    return it == s.calls.end() ? 0 : it->second;
}

QPXI_EXPORT uint64_t qvqpxisim_openHandles() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.handles.size();
}

QPXI_EXPORT void qvqpxisim_setSessionValid(uint32_t valid) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.sessionValid = valid;
}

QPXI_EXPORT void qvqpxisim_failAt(const char* entryPoint, uint64_t call) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.failAt[entryPoint] = call;
    s.calls[entryPoint] = 0;
}
