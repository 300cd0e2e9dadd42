// The routinghal_ family's handle: the RoutingHALSession that device_getContext hands
// out for context 25; status last style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace routinghal {
class RoutingHALSession;
}

QV_CONTEXT_HANDLE_HOOKS(routinghal, ::routinghal::RoutingHALSession, routingContext)

QV_CONTEXT_HANDLE_DECLARE_STATUS_LAST(routinghal)

QV_EXPORT void routinghal_sendMessage(uint64_t handle, uint32_t message, qverr::Status* status);
QV_EXPORT void routinghal_deployImportSignal(uint64_t handle, uint32_t id, const char* terminals,
                                             qverr::Status* status);
QV_EXPORT void routinghal_deployExportSignal(uint64_t handle, uint32_t id, const char* terminals,
                                             qverr::Status* status);
QV_EXPORT void routinghal_deployInternalSignal(uint64_t handle, const char* source,
                                               const char* destination, qverr::Status* status);
QV_EXPORT const char* routinghal_getTerminalName(uint64_t handle, uint32_t id,
                                                 qverr::Status* status);
