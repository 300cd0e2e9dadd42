#include "RoutingHALImpl/routinghalHandle.h"

#include "RoutingHALImpl/RoutingHALSession.h"

QV_CONTEXT_HANDLE_EXPORTS_STATUS_LAST_AT(routinghal, routinghal, "RoutingHALImpl/RoutingHALImpl",
                                         22)

QV_EXPORT void routinghal_sendMessage(uint64_t handle, uint32_t message, qverr::Status* status) {
    qv3377hal::statusLastCall(
        status, [&] { routinghal::sessionPtrFromHandle(handle)->sendMessage(message); });
}

QV_EXPORT void routinghal_deployImportSignal(uint64_t handle, uint32_t id, const char* terminals,
                                             qverr::Status* status) {
    qv3377hal::statusLastCall(status, [&] {
        routinghal::RoutingHALSession* session = routinghal::sessionPtrFromHandle(handle);
        qv3377hal::checkNotNull(terminals);
        session->deployImportSignal(id, terminals);
    });
}

QV_EXPORT void routinghal_deployExportSignal(uint64_t handle, uint32_t id, const char* terminals,
                                             qverr::Status* status) {
    qv3377hal::statusLastCall(status, [&] {
        routinghal::RoutingHALSession* session = routinghal::sessionPtrFromHandle(handle);
        qv3377hal::checkNotNull(terminals);
        session->deployExportSignal(id, terminals);
    });
}

QV_EXPORT void routinghal_deployInternalSignal(uint64_t handle, const char* source,
                                               const char* destination, qverr::Status* status) {
    qv3377hal::statusLastCall(status, [&] {
        routinghal::RoutingHALSession* session = routinghal::sessionPtrFromHandle(handle);
        qv3377hal::checkNotNull(source, destination);
        session->deployInternalSignal(source, destination);
    });
}

QV_EXPORT const char* routinghal_getTerminalName(uint64_t handle, uint32_t id,
                                                 qverr::Status* status) {
    return qv3377hal::statusLastValue<const char*>(status, nullptr, [&] {
        return routinghal::sessionPtrFromHandle(handle)->getTerminalName(id);
    });
}
