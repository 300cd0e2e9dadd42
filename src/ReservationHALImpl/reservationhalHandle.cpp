#include "ReservationHALImpl/reservationhalHandle.h"

// Unlike the other families, the device handle is checked first: it must be
// non-null and point at a live device session (whose first byte is never 0).
// An occupied slot is refused like everywhere else: overwriting it would
// lose the handle it holds.
QV_EXPORT int32_t reservation_open(uint64_t deviceHandle, uint64_t context, uint64_t* handleOut) {
    return ::qv3377hal::returnCodeCall([&] {
        const auto* device = reinterpret_cast<const unsigned char*>(static_cast<uintptr_t>(deviceHandle));
        if (handleOut == nullptr || device == nullptr || *device == 0) {
            QVERR_THROW(::qv3377hal::kComponent, qverr::qvapalerr_invalidParameter,
                        "qvapalerr_invalidParameter");
        }
        ::qv3377hal::checkEmptyHandleSlot(
            handleOut, QVERR_LOCATION(::qv3377hal::kComponent, "qvapalerr_invalidParameter"));
        *handleOut = reservationhal::openSession(deviceHandle, context);
    });
}

QV_EXPORT void reservation_close(uint64_t handle) { reservationhal::closeSession(handle); }
