// Test controls of the PXI chassis library stand-in, resolved by tests from
// the loaded library.
#pragma once

#include <cstdint>

extern "C" {
// Forgets the topology, the counters and every open handle.
typedef void (*qvqpxisim_reset_t)();
// A device at PCI {bus, device, function} in slot `slot` of chassis
// `chassis` (either may be 0xFFFFFFFF: unknown); the slot's attribute
// 0x2005 reads slotValue.
typedef void (*qvqpxisim_addDevice_t)(uint32_t chassis, uint32_t slot, uint32_t slotValue,
                                      uint32_t bus, uint32_t device, uint32_t function);
// Calls of an entry point (name without prefix) since the last reset.
typedef uint64_t (*qvqpxisim_calls_t)(const char* entryPoint);
// Handles open now.
typedef uint64_t (*qvqpxisim_openHandles_t)();
// Sessions opened from now on read attribute 0 as `valid`.
typedef void (*qvqpxisim_setSessionValid_t)(uint32_t valid);
// Entry point (name without prefix) that fails from its nth call on
// (1-based; 0 never) with -52006 and JSON detail.
typedef void (*qvqpxisim_failAt_t)(const char* entryPoint, uint64_t call);
}
