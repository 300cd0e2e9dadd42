// The steps every generated request method shares: fields are placed into
// and taken out of stack blocks by offset, the request goes out as one ioctl
// with a status of its own, and the driver's reply is raised into the
// caller's status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "qvapal/protons/driver/tDeviceInterfaceProxy.h"

namespace sdihal::nRequestFrame {

// Component recorded with a driver's reply.
inline constexpr const char* kComponent = "qv3377hal";

template <class T>
inline void put(uint8_t* block, std::size_t offset, const T& value) {
    std::memcpy(block + offset, &value, sizeof value);
}

// An in-out parameter: a null pointer sends what the block already holds.
template <class T>
inline void putFrom(uint8_t* block, std::size_t offset, const T* value) {
    if (value != nullptr) std::memcpy(block + offset, value, sizeof *value);
}

// An output parameter: a null pointer means the caller does not want it.
template <class T>
inline void copyOut(T* target, const uint8_t* block, std::size_t offset) {
    if (target != nullptr) std::memcpy(target, block + offset, sizeof *target);
}

template <class T>
inline T take(const uint8_t* block, std::size_t offset) {
    T value;
    std::memcpy(&value, block + offset, sizeof value);
    return value;
}

// The caller's code as the driver receives it: its low 32 bits.
inline int32_t callerCode(const nQVAPALS100::tStatus& status) {
    return static_cast<int32_t>(status.getCode());
}

// Issues the request; a failed ioctl reaches `status` (which holds no error)
// with the device-file proxy's code and site, as a merge of the request's own
// status would bring it, and is reported as false.
inline bool send(nQVAPAL000::tDeviceInterfaceProxy& device, uint32_t code, const void* in,
                 uint32_t inSize, void* out, uint32_t outSize, nQVAPALS100::tStatus& status) {
    return device.request(code, in, inSize, out, outSize, status);
}

// Raises the driver's reply, the i32 at `offset` of the output block (a
// reply of 0 changes nothing).
inline void raiseReply(nQVAPALS100::tStatus& status, const uint8_t* out, std::size_t offset,
                       const char* file, uint32_t line) {
    const auto reply = take<int32_t>(out, offset);
    if (reply != 0) status.setCode(reply, kComponent, file, line);
}

}  // namespace sdihal::nRequestFrame
