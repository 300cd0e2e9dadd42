// Calls of every generated request method with arguments given as bytes, for
// tests and benchmarks that exercise all methods from the descriptor table.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

#include "apal_qv3377k/descriptors.h"
#include "qvapal/protons/driver/tDeviceInterfaceProxy.h"

namespace sdihal::nRequestDescriptors {

struct tInvocation {
    // The bytes of each parameter, by position (the status position unused):
    // inputs are taken from here, outputs and in-out values stored back.
    std::array<std::array<uint8_t, 128>, 12> arguments{};
    // The method's return value (the caller's code for those that return it).
    std::array<uint8_t, 8> result{};
    nQVAPALS100::tStatus status;

    template <class T>
    T load(std::size_t position) const {
        static_assert(std::is_trivially_copyable_v<T> && sizeof(T) <= 128);
        T value;
        std::memcpy(&value, arguments[position].data(), sizeof value);
        return value;
    }
    template <class T>
    void store(std::size_t position, const T& value) {
        std::memcpy(arguments[position].data(), &value, sizeof value);
    }
    template <class T>
    void storeResult(const T& value) {
        static_assert(sizeof(T) <= 8);
        std::memcpy(result.data(), &value, sizeof value);
    }
};

// Calls one method on a proxy that implements its sub-interface.
using tInvoker = void (*)(nQVAPAL000::iInterfaceProxy& proxy, tInvocation& call);

// Parallel to the methods of qv3377kInterfaces() / atomiczekddkInterfaces(),
// interface by interface.
std::span<const tInvoker> qv3377kInvokers();
std::span<const tInvoker> atomiczekddkInvokers();

}  // namespace sdihal::nRequestDescriptors
