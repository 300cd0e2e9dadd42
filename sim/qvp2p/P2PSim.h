// Test controls of the peer-to-peer streaming library stand-in.
#pragma once

#include <cstdint>

extern "C" {
// The next registration answers `code` (negative: refused, no id).
typedef void (*qvp2psim_refuseNext_t)(int32_t code);
// Endpoints registered and not yet unregistered.
typedef uint64_t (*qvp2psim_registered_t)();
// The data-type record the last registered endpoint reported: its four
// fields, in order, and the count; false when it reported an error.
typedef bool (*qvp2psim_lastDataType_t)(uint32_t* fields, uint32_t* count);
}
