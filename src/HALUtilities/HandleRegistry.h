// The handles the library has handed out and not yet taken back, one
// process-wide set for every kind, valid from first use until the library is
// unloaded. A handle stays the address of its object; the set only tells a
// live handle of a kind from a closed or made-up one, or one of another
// kind, so that no conversion dereferences the latter.
//
// A handle is added where its object is created and dropped before the
// object is freed. A handle may name an owner (the handle and kind of the
// object that frees it, or that it relies on): dropping the owner's own
// handle does not drop its dependents; dropOwnedBy does. A drop never fails
// and allocates nothing.
#pragma once

#include <cstdint>
#include <optional>

namespace qv3377hal {

enum class HandleKind : uint8_t {
    deviceSession = 1,
    rfplatSession,
    p2pSession,
    instructionTarget,
    routingAdaptorSession,
    terminalIterator,
    // The sub-sessions device_getContext hands out, one kind per family, so
    // that no family takes another family's context for its own.
    dataAccessContext,
    calInDspContext,
    calOutDspContext,
    digitalGainContext,
    digitalOffsetContext,
    equalizerContext,
    freqShiftContext,
    impairmentsContext,
    iqDataTriggerContext,
    resamplerContext,
    listModeContext,
    dataPathContext,
    trigContext,
    timerContext,
    basecardConfigContext,
    selfCalContext,
    wgenContext,
    reservationContext,
    iqConfigContext,
    routingContext,
    iqManipulationContext,
    mraContext,
    syntraSyncContext,
};

template <class T>
uint64_t handleOf(T* object) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(object));
}

// Adds `handle` (non-zero); an existing entry of the same handle is replaced.
// Throws std::bad_alloc when memory runs out or 2^18 handles are live.
void addHandle(uint64_t handle, HandleKind kind);
// The same, owned by `owner` of `ownerKind`.
void addHandle(uint64_t handle, HandleKind kind, uint64_t owner, HandleKind ownerKind);
// Drops `handle` when it is live with that kind; true when it was (its closer
// then frees the object: of two concurrent closes only one gets true).
bool dropHandle(uint64_t handle, HandleKind kind);
// Drops every handle whose owner is `owner` of `ownerKind`: not those of
// an earlier object of another kind at the same address.
void dropOwnedBy(uint64_t owner, HandleKind ownerKind);
bool isLiveHandle(uint64_t handle, HandleKind kind);
// The owner of a live handle of that kind; nothing when it is not live.
std::optional<uint64_t> ownerOfLiveHandle(uint64_t handle, HandleKind kind);

}  // namespace qv3377hal
