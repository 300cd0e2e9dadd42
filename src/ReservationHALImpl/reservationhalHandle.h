// The reservation_ family: the ReservationSession that device_getContext
// hands out for context 28; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"
#include "ReservationHALImpl/ReservationSession.h"

QV_CONTEXT_HANDLE_HOOKS(reservationhal, ::reservationhal::ReservationSession, reservationContext)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(reservation)

QV_EXPORT int32_t reservation_findReservationPolicyIDDescriptor(uint64_t handle, uint32_t policyId,
                                                                uint64_t buffer, uint64_t* size);
QV_EXPORT int32_t reservation_findReservationClientIDDescriptor(uint64_t handle, uint32_t clientId,
                                                                uint64_t buffer, uint64_t* size);
QV_EXPORT int32_t reservation_findReservationPolicyID(uint64_t handle, uint64_t descriptor,
                                                      uint64_t size, uint32_t* policyId);
QV_EXPORT int32_t reservation_findDeviceActivityContextID(uint64_t handle, uint64_t descriptor,
                                                          uint64_t size, uint32_t* contextId);
QV_EXPORT int32_t reservation_getReservationClientID(uint64_t handle, uint32_t* clientId);
QV_EXPORT int32_t reservation_getNumOfReservableChildIDs(uint64_t handle, uint32_t parent,
                                                         uint64_t* count);
QV_EXPORT int32_t reservation_findReservableChildIDs(uint64_t handle, uint32_t parent,
                                                     uint64_t* size, uint64_t buffer);
QV_EXPORT int32_t reservation_reserve(uint64_t handle, uint64_t first, uint64_t second,
                                      uint64_t third, uint64_t* result);
QV_EXPORT int32_t reservation_release(uint64_t handle, uint64_t first, uint64_t second);
QV_EXPORT int32_t reservation_deferReleaseUntilIdle(uint64_t handle, uint32_t first,
                                                    uint64_t second, uint64_t third);
QV_EXPORT int32_t reservation_setReservationCache(uint64_t handle, uint64_t first, uint64_t second);
QV_EXPORT int32_t reservation_reserveCache(uint64_t handle, uint32_t* first, uint64_t* second);
QV_EXPORT int32_t reservation_releaseCache(uint64_t handle);
QV_EXPORT int32_t reservation_deferReleaseCacheUntilIdle(uint64_t handle, uint32_t value);
QV_EXPORT int32_t reservation_setIsListModeActive(uint64_t handle, uint32_t flag);
QV_EXPORT int32_t reservation_releaseIdleResources(uint64_t handle);
