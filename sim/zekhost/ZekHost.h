// The FPGA-driver plug-in as a host compiled elsewhere sees it: the three C
// entry points, and objects whose first word is a table of functions that
// the host calls by position, with the object first and the 216-byte
// platform status record (by address) last. Nothing here knows the plug-in's
// classes: positions and argument types are the binary interface.
//
// Header only, so that the FPGA interface library stand-in and the tests
// share one view of that interface.
#pragma once

#include <strings.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "qvapal/status/tStatus.h"

namespace zekhost {

using Status = nQVAPALS100::tStatus;

// ---- entry points of the plug-in library
inline constexpr const char* kInitialize = "qvzek_initializePlugin";
inline constexpr const char* kGetInterface = "qvzek_getPluginInterface";
inline constexpr const char* kFinalize = "qvzek_finalizePlugin";
using InitializeFunction = int32_t (*)();
using GetInterfaceFunction = int32_t (*)(int32_t interfaceVersion, void** deviceList);
using FinalizeFunction = int32_t (*)();

// ---- calling by position

inline void* entry(void* object, size_t position) {
    return (*static_cast<void***>(object))[position];
}

// Calls position `position` of `object` as R (object, A...).
template <class R, class... A>
R call(void* object, size_t position, A... arguments) {
    return reinterpret_cast<R (*)(void*, A...)>(entry(object, position))(object, arguments...);
}

namespace detail {
template <size_t... I>
void callWithZeros(void* object, size_t position, Status* status, std::index_sequence<I...>) {
    call<void, decltype((void)I, uint64_t{})..., Status*>(object, position,
                                                          ((void)I, uint64_t{0})..., status);
}
}  // namespace detail

// Calls position `position` with `integers` zero integer or pointer
// arguments before the status (floating-point arguments travel in registers
// of their own and are left out). False when no call of that shape exists.
inline bool callZeros(void* object, size_t position, size_t integers, Status* status) {
    switch (integers) {
        case 0:
            detail::callWithZeros(object, position, status, std::make_index_sequence<0>());
            return true;
        case 1:
            detail::callWithZeros(object, position, status, std::make_index_sequence<1>());
            return true;
        case 2:
            detail::callWithZeros(object, position, status, std::make_index_sequence<2>());
            return true;
        case 3:
            detail::callWithZeros(object, position, status, std::make_index_sequence<3>());
            return true;
        case 4:
            detail::callWithZeros(object, position, status, std::make_index_sequence<4>());
            return true;
        case 5:
            detail::callWithZeros(object, position, status, std::make_index_sequence<5>());
            return true;
        case 6:
            detail::callWithZeros(object, position, status, std::make_index_sequence<6>());
            return true;
        case 7:
            detail::callWithZeros(object, position, status, std::make_index_sequence<7>());
            return true;
        case 8:
            detail::callWithZeros(object, position, status, std::make_index_sequence<8>());
            return true;
        case 9:
            detail::callWithZeros(object, position, status, std::make_index_sequence<9>());
            return true;
        case 10:
            detail::callWithZeros(object, position, status, std::make_index_sequence<10>());
            return true;
        default:
            return false;
    }
}

// ---- the device list (interface version 0)
namespace deviceList {
inline constexpr size_t kGetInterfaceVersion = 0;       // () -> u32
inline constexpr size_t kHasChanged = 1;                // () -> bool
inline constexpr size_t kRefresh = 2;                   // (status)
inline constexpr size_t kGetDeviceCount = 3;            // () -> u64
inline constexpr size_t kGetDevice = 4;                 // (u32 index, i32 flags, status) -> device
inline constexpr size_t kRelease = 5;                   // ()
inline constexpr size_t kRegisterChangeCallback = 6;    // (handler, status)
inline constexpr size_t kUnregisterChangeCallback = 7;  // (handler)
inline constexpr size_t kDestructor = 8;
inline constexpr size_t kDeletingDestructor = 9;
}  // namespace deviceList

// ---- a device of the list (interface version 0)
namespace device {
inline constexpr size_t kGetInterfaceVersion = 0;  // () -> u32
inline constexpr size_t kGetPersistentToken = 1;   // (u32 0) -> text
inline constexpr size_t kGetEntryValue = 2;        // () -> u64
inline constexpr size_t kSetDeviceAttribute = 3;   // (u32, status)
inline constexpr size_t kGetDeviceAttribute = 4;   // () -> u32
inline constexpr size_t kAlwaysOne = 5;            // () -> u32
inline constexpr size_t kGetDefaultName = 6;       // () -> text
inline constexpr size_t kGetAlias = 7;             // () -> text or null
inline constexpr size_t kSetAlias = 8;             // (alias, u32 mode, device** previous, status)
inline constexpr size_t kOpenFpgaSession = 9;      // (u32 interface version, status) -> session
inline constexpr size_t kDestructor = 10;
inline constexpr size_t kDeletingDestructor = 11;
}  // namespace device

// ---- an FPGA session (interface version 5)
namespace session {
inline constexpr uint32_t kInterfaceVersion = 5;
inline constexpr size_t kGetInterfaceVersion = 0;  // () -> u32
inline constexpr size_t kOpenTraditional = 1;      // (i32 mode, status) -> traditional session
inline constexpr size_t kClone = 2;                // (status) -> session
inline constexpr size_t kOpen = 3;                 // (bitfile, signature, u32 attribute, status)
inline constexpr size_t kRelease = 4;              // ()
inline constexpr size_t kClose = 5;                // (u32 attribute, status); ends the object
// Typed families: the family's first position plus the type's index.
inline constexpr size_t kRead = 6;                  // (u32 offset, bool, status) -> T
inline constexpr size_t kWrite = 17;                // (u32 offset, T, bool, status)
inline constexpr size_t kReadArray = 28;            // (u32 offset, T*, size_t, bool, status)
inline constexpr size_t kWriteArray = 39;           // (u32 offset, const T*, size_t, bool, status)
inline constexpr size_t kDownload = 50;             // (bool* failed, status)
inline constexpr size_t kReset = 51;                // (status)
inline constexpr size_t kAbort = 52;                // (status)
inline constexpr size_t kRun = 53;                  // (u32 attribute, bool* alreadyRunning, status)
inline constexpr size_t kReserveIrqContext = 54;    // (status)
inline constexpr size_t kUnreserveIrqContext = 55;  // (status)
inline constexpr size_t kWaitOnIrqs = 56;  // (u32 irqs, u32 timeout, bool* timedOut, status) -> u32
inline constexpr size_t kAcknowledgeIrqs = 57;  // (u32 irqs, status)
inline constexpr size_t kConfigureFifo = 58;    // (u32 fifo, size_t depth, size_t* actual, status)
inline constexpr size_t kStartFifo = 59;        // (u32 fifo, status)
inline constexpr size_t kStopFifo = 60;         // (u32 fifo, status)
// (u32 fifo, T*, size_t count, u32 timeout, u8* waited, size_t* remaining, status)
inline constexpr size_t kReadFifo = 61;
inline constexpr size_t kWriteFifo = 72;
// (u32 fifo, T**, size_t count, u32 timeout, u8* waited, size_t* acquired, size_t* remaining,
// status)
inline constexpr size_t kAcquireFifoReadElements = 83;
inline constexpr size_t kAcquireFifoWriteElements = 94;
inline constexpr size_t kReleaseFifoElements = 105;  // (u32 fifo, size_t count, status)
inline constexpr size_t kGetBitfileValue = 106;      // (status) -> u64
inline constexpr size_t kQueryNotSupported = 107;    // (u64, u64, status) -> bool
inline constexpr size_t kGetSignature = 108;         // (u32* words, size_t* count, status)
inline constexpr size_t kFindRegister = 109;         // (name, u32 type, u32* result, status)
inline constexpr size_t kFindFifo = 110;             // (name, u32 type, u32* result, status)
inline constexpr size_t kGetP2PEndpointId = 111;     // (u32 fifo, u32* identifier, status)
inline constexpr size_t kMapHostMemory = 112;
inline constexpr size_t kDestructor = 113;
inline constexpr size_t kDeletingDestructor = 114;
inline constexpr size_t kSetFifoProperty =
    115;  // (u32 fifo, u32 property, u32 value type, void*, status)
inline constexpr size_t kGetFifoProperty = 116;
inline constexpr size_t kCommitFifoConfiguration = 117;  // (u32 fifo, status)
inline constexpr size_t kGetRunState = 118;              // (status) -> u32
inline constexpr size_t kGetFixedFlag = 123;             // () -> u32
inline constexpr size_t kResetFifo = 127;                // (u32 fifo, status)

// Type indexes inside the typed families.
inline constexpr size_t kBool = 0, kU8 = 1, kU16 = 2, kU32 = 3, kU64 = 4, kI8 = 5, kI16 = 6,
                        kI32 = 7, kI64 = 8, kSgl = 9, kDbl = 10;

template <class E>
constexpr size_t typeIndex() {
    using T = std::remove_cv_t<E>;
    // Bool elements travel as bytes: the Bool positions are named by index.
    if constexpr (std::is_same_v<T, uint8_t>)
        return kU8;
    else if constexpr (std::is_same_v<T, uint16_t>)
        return kU16;
    else if constexpr (std::is_same_v<T, uint32_t>)
        return kU32;
    else if constexpr (std::is_same_v<T, uint64_t>)
        return kU64;
    else if constexpr (std::is_same_v<T, int8_t>)
        return kI8;
    else if constexpr (std::is_same_v<T, int16_t>)
        return kI16;
    else if constexpr (std::is_same_v<T, int32_t>)
        return kI32;
    else if constexpr (std::is_same_v<T, int64_t>)
        return kI64;
    else if constexpr (std::is_same_v<T, float>)
        return kSgl;
    else {
        static_assert(std::is_same_v<T, double>, "no FPGA element type");
        return kDbl;
    }
}
// Value kinds of the FIFO property operations.
inline constexpr uint32_t kValuePointer = 0, kValueU32 = 1, kValueU64 = 2, kValueI32 = 3,
                          kValueI64 = 4;
}  // namespace session

// Change callback handed to registerChangeCallback: position 0 notify,
// then the two destructors. A host implements it as a class of its own.
namespace changeHandler {
inline constexpr size_t kNotify = 0;
}

// ---- typed views

class FpgaSession {
public:
    explicit FpgaSession(void* object = nullptr) : object_(object) {}
    void* object() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

    uint32_t interfaceVersion() const {
        return call<uint32_t>(object_, session::kGetInterfaceVersion);
    }
    void open(const char* bitfile, const char* signature, uint32_t attribute,
              Status& status) const {
        call<void, const char*, const char*, uint32_t, Status*>(object_, session::kOpen, bitfile,
                                                                signature, attribute, &status);
    }
    // Both end the object.
    void close(uint32_t attribute, Status& status) const {
        call<void, uint32_t, Status*>(object_, session::kClose, attribute, &status);
    }
    void release() const { call<void>(object_, session::kRelease); }

    template <class T>
    T read(uint32_t offset, Status& status) const {
        return call<T, uint32_t, bool, Status*>(object_, session::kRead + session::typeIndex<T>(),
                                                offset, false, &status);
    }
    template <class T>
    void write(uint32_t offset, T value, Status& status) const {
        call<void, uint32_t, T, bool, Status*>(object_, session::kWrite + session::typeIndex<T>(),
                                               offset, value, false, &status);
    }
    uint32_t runState(Status& status) const {
        return call<uint32_t, Status*>(object_, session::kGetRunState, &status);
    }
    void run(uint32_t attribute, bool* alreadyRunning, Status& status) const {
        call<void, uint32_t, bool*, Status*>(object_, session::kRun, attribute, alreadyRunning,
                                             &status);
    }

    void reserveIrqContext(Status& status) const {
        call<void, Status*>(object_, session::kReserveIrqContext, &status);
    }
    void unreserveIrqContext(Status& status) const {
        call<void, Status*>(object_, session::kUnreserveIrqContext, &status);
    }
    uint32_t waitOnIrqs(uint32_t irqs, uint32_t timeout, bool* timedOut, Status& status) const {
        return call<uint32_t, uint32_t, uint32_t, bool*, Status*>(object_, session::kWaitOnIrqs,
                                                                  irqs, timeout, timedOut, &status);
    }
    void acknowledgeIrqs(uint32_t irqs, Status& status) const {
        call<void, uint32_t, Status*>(object_, session::kAcknowledgeIrqs, irqs, &status);
    }

    void findFifo(const char* name, uint32_t resourceType, uint32_t* fifo, Status& status) const {
        call<void, const char*, uint32_t, uint32_t*, Status*>(object_, session::kFindFifo, name,
                                                              resourceType, fifo, &status);
    }
    void configureFifo(uint32_t fifo, size_t depth, size_t* actualDepth, Status& status) const {
        call<void, uint32_t, size_t, size_t*, Status*>(object_, session::kConfigureFifo, fifo,
                                                       depth, actualDepth, &status);
    }
    void startFifo(uint32_t fifo, Status& status) const {
        call<void, uint32_t, Status*>(object_, session::kStartFifo, fifo, &status);
    }
    void stopFifo(uint32_t fifo, Status& status) const {
        call<void, uint32_t, Status*>(object_, session::kStopFifo, fifo, &status);
    }
    void commitFifoConfiguration(uint32_t fifo, Status& status) const {
        call<void, uint32_t, Status*>(object_, session::kCommitFifoConfiguration, fifo, &status);
    }
    template <class T>
    void readFifo(uint32_t fifo, T* data, size_t count, uint32_t timeout, uint8_t* waited,
                  size_t* remaining, Status& status) const {
        call<void, uint32_t, T*, size_t, uint32_t, uint8_t*, size_t*, Status*>(
            object_, session::kReadFifo + session::typeIndex<T>(), fifo, data, count, timeout,
            waited, remaining, &status);
    }
    template <class T>
    void writeFifo(uint32_t fifo, const T* data, size_t count, uint32_t timeout, uint8_t* waited,
                   size_t* remaining, Status& status) const {
        call<void, uint32_t, const T*, size_t, uint32_t, uint8_t*, size_t*, Status*>(
            object_, session::kWriteFifo + session::typeIndex<T>(), fifo, data, count, timeout,
            waited, remaining, &status);
    }
    template <class T>
    void acquireFifoElements(bool readSide, uint32_t fifo, T** elements, size_t count,
                             uint32_t timeout, uint8_t* waited, size_t* acquired, size_t* remaining,
                             Status& status) const {
        const size_t family =
            readSide ? session::kAcquireFifoReadElements : session::kAcquireFifoWriteElements;
        call<void, uint32_t, T**, size_t, uint32_t, uint8_t*, size_t*, size_t*, Status*>(
            object_, family + session::typeIndex<T>(), fifo, elements, count, timeout, waited,
            acquired, remaining, &status);
    }
    void releaseFifoElements(uint32_t fifo, size_t count, Status& status) const {
        call<void, uint32_t, size_t, Status*>(object_, session::kReleaseFifoElements, fifo, count,
                                              &status);
    }
    void setFifoProperty(uint32_t fifo, uint32_t property, uint32_t valueType, void* value,
                         Status& status) const {
        call<void, uint32_t, uint32_t, uint32_t, void*, Status*>(
            object_, session::kSetFifoProperty, fifo, property, valueType, value, &status);
    }
    void getFifoProperty(uint32_t fifo, uint32_t property, uint32_t valueType, void* value,
                         Status& status) const {
        call<void, uint32_t, uint32_t, uint32_t, void*, Status*>(
            object_, session::kGetFifoProperty, fifo, property, valueType, value, &status);
    }
    void getP2PEndpointId(uint32_t fifo, uint32_t* identifier, Status& status) const {
        call<void, uint32_t, uint32_t*, Status*>(object_, session::kGetP2PEndpointId, fifo,
                                                 identifier, &status);
    }

private:
    void* object_;
};

class Device {
public:
    explicit Device(void* object = nullptr) : object_(object) {}
    void* object() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

    uint32_t interfaceVersion() const {
        return call<uint32_t>(object_, device::kGetInterfaceVersion);
    }
    const char* persistentToken() const {
        return call<const char*, uint32_t>(object_, device::kGetPersistentToken, 0);
    }
    uint32_t alwaysOne() const { return call<uint32_t>(object_, device::kAlwaysOne); }
    const char* defaultName() const { return call<const char*>(object_, device::kGetDefaultName); }
    const char* alias() const { return call<const char*>(object_, device::kGetAlias); }
    uint32_t deviceAttribute() const {
        return call<uint32_t>(object_, device::kGetDeviceAttribute);
    }
    void setDeviceAttribute(uint32_t value, Status& status) const {
        call<void, uint32_t, Status*>(object_, device::kSetDeviceAttribute, value, &status);
    }
    void setAlias(const char* alias, uint32_t mode, void** previousOwner, Status& status) const {
        call<void, const char*, uint32_t, void**, Status*>(object_, device::kSetAlias, alias, mode,
                                                           previousOwner, &status);
    }
    FpgaSession openFpgaSession(uint32_t interfaceVersion, Status& status) const {
        return FpgaSession(call<void*, uint32_t, Status*>(object_, device::kOpenFpgaSession,
                                                          interfaceVersion, &status));
    }

private:
    void* object_;
};

// Owned by the host: released through release().
class DeviceList {
public:
    explicit DeviceList(void* object = nullptr) : object_(object) {}
    void* object() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

    uint32_t interfaceVersion() const {
        return call<uint32_t>(object_, deviceList::kGetInterfaceVersion);
    }
    bool hasChanged() const { return call<bool>(object_, deviceList::kHasChanged); }
    void refresh(Status& status) const {
        call<void, Status*>(object_, deviceList::kRefresh, &status);
    }
    uint64_t count() const { return call<uint64_t>(object_, deviceList::kGetDeviceCount); }
    Device device(uint32_t index, int32_t flags, Status& status) const {
        return Device(call<void*, uint32_t, int32_t, Status*>(object_, deviceList::kGetDevice,
                                                              index, flags, &status));
    }
    void registerChangeCallback(void* handler, Status& status) const {
        call<void, void*, Status*>(object_, deviceList::kRegisterChangeCallback, handler, &status);
    }
    void unregisterChangeCallback(void* handler) const {
        call<void, void*>(object_, deviceList::kUnregisterChangeCallback, handler);
    }
    void release() const { call<void>(object_, deviceList::kRelease); }

private:
    void* object_;
};

// Device identifiers and aliases compare under ASCII case folding.
inline bool sameIdentifier(const char* a, const char* b) {
    return a != nullptr && b != nullptr && strcasecmp(a, b) == 0;
}

// The device of `list` (refreshed before) that `resource` names by its
// persistent token, default name or alias; empty when none does.
inline Device findDevice(const DeviceList& list, const char* resource, Status& status) {
    const uint64_t count = list.count();
    for (uint64_t i = 0; i < count; ++i) {
        const Device candidate = list.device(static_cast<uint32_t>(i), 0, status);
        if (!candidate) continue;
        if (sameIdentifier(candidate.persistentToken(), resource) ||
            sameIdentifier(candidate.defaultName(), resource) ||
            sameIdentifier(candidate.alias(), resource)) {
            return candidate;
        }
    }
    return Device();
}

}  // namespace zekhost
