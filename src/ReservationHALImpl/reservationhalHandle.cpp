#include "ReservationHALImpl/reservationhalHandle.h"

// Unlike the other families, the device handle is checked first: it must
// name a live device session. An occupied slot is refused like everywhere
// else: overwriting it would lose the handle it holds.
QV_EXPORT int32_t reservation_open(uint64_t deviceHandle, uint64_t context, uint64_t* handleOut) {
    return ::qv3377hal::returnCodeCall([&] {
        if (handleOut == nullptr || deviceHandle == 0 ||
            !::qv3377hal::isLiveHandle(deviceHandle, ::qv3377hal::HandleKind::deviceSession)) {
            QVERR_THROW_WITH_MESSAGE(::qv3377hal::kComponent, qverr::qvapalerr_invalidParameter,
                                     "qvapalerr_invalidParameter", "reservation_open",
                                     "null handle slot or no live device session");
        }
        ::qv3377hal::checkEmptyHandleSlot(
            handleOut, QVERR_LOCATION(::qv3377hal::kComponent, "qvapalerr_invalidParameter"),
            "reservation_open");
        *handleOut = reservationhal::openSession(deviceHandle, context);
    });
}

QV_EXPORT void reservation_close(uint64_t handle) {
    reservationhal::closeSession(handle);
}

// The session checks its own pointers and widths (they have codes of their
// own); the handle is looked at first.
using qv3377hal::returnCodeCall;
using reservationhal::sessionPtrFromHandle;

QV_EXPORT int32_t reservation_findReservationPolicyIDDescriptor(uint64_t handle, uint32_t policyId,
                                                                uint64_t buffer, uint64_t* size) {
    return returnCodeCall([&] {
        sessionPtrFromHandle(handle)->findReservationPolicyIDDescriptor(policyId, buffer, size);
    });
}

QV_EXPORT int32_t reservation_findReservationClientIDDescriptor(uint64_t handle, uint32_t clientId,
                                                                uint64_t buffer, uint64_t* size) {
    return returnCodeCall([&] {
        sessionPtrFromHandle(handle)->findReservationClientIDDescriptor(clientId, buffer, size);
    });
}

QV_EXPORT int32_t reservation_findReservationPolicyID(uint64_t handle, uint64_t descriptor,
                                                      uint64_t size, uint32_t* policyId) {
    return returnCodeCall(
        [&] { sessionPtrFromHandle(handle)->findReservationPolicyID(descriptor, size, policyId); });
}

QV_EXPORT int32_t reservation_findDeviceActivityContextID(uint64_t handle, uint64_t descriptor,
                                                          uint64_t size, uint32_t* contextId) {
    return returnCodeCall([&] {
        sessionPtrFromHandle(handle)->findDeviceActivityContextID(descriptor, size, contextId);
    });
}

QV_EXPORT int32_t reservation_getReservationClientID(uint64_t handle, uint32_t* clientId) {
    return returnCodeCall([&] { sessionPtrFromHandle(handle)->getReservationClientID(clientId); });
}

QV_EXPORT int32_t reservation_getNumOfReservableChildIDs(uint64_t handle, uint32_t parent,
                                                         uint64_t* count) {
    return returnCodeCall(
        [&] { sessionPtrFromHandle(handle)->getNumOfReservableChildIDs(parent, count); });
}

QV_EXPORT int32_t reservation_findReservableChildIDs(uint64_t handle, uint32_t parent,
                                                     uint64_t* size, uint64_t buffer) {
    return returnCodeCall(
        [&] { sessionPtrFromHandle(handle)->findReservableChildIDs(parent, size, buffer); });
}

QV_EXPORT int32_t reservation_reserve(uint64_t handle, uint64_t first, uint64_t second,
                                      uint64_t third, uint64_t* result) {
    return returnCodeCall(
        [&] { sessionPtrFromHandle(handle)->reserve(first, second, third, result); });
}

QV_EXPORT int32_t reservation_release(uint64_t handle, uint64_t first, uint64_t second) {
    return returnCodeCall([&] { sessionPtrFromHandle(handle)->release(first, second); });
}

QV_EXPORT int32_t reservation_deferReleaseUntilIdle(uint64_t handle, uint32_t first,
                                                    uint64_t second, uint64_t third) {
    return returnCodeCall(
        [&] { sessionPtrFromHandle(handle)->deferReleaseUntilIdle(first, second, third); });
}

QV_EXPORT int32_t reservation_setReservationCache(uint64_t handle, uint64_t first,
                                                  uint64_t second) {
    return returnCodeCall(
        [&] { sessionPtrFromHandle(handle)->setReservationCache(first, second); });
}

QV_EXPORT int32_t reservation_reserveCache(uint64_t handle, uint32_t* first, uint64_t* second) {
    return returnCodeCall([&] { sessionPtrFromHandle(handle)->reserveCache(first, second); });
}

QV_EXPORT int32_t reservation_releaseCache(uint64_t handle) {
    return returnCodeCall([&] { sessionPtrFromHandle(handle)->releaseCache(); });
}

QV_EXPORT int32_t reservation_deferReleaseCacheUntilIdle(uint64_t handle, uint32_t value) {
    return returnCodeCall([&] { sessionPtrFromHandle(handle)->deferReleaseCacheUntilIdle(value); });
}

QV_EXPORT int32_t reservation_setIsListModeActive(uint64_t handle, uint32_t flag) {
    return returnCodeCall([&] { sessionPtrFromHandle(handle)->setIsListModeActive(flag); });
}

QV_EXPORT int32_t reservation_releaseIdleResources(uint64_t handle) {
    return returnCodeCall([&] { sessionPtrFromHandle(handle)->releaseIdleResources(); });
}
