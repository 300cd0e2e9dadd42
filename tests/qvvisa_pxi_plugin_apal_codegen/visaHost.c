#include "qvvisa_pxi_plugin_apal_codegen/visaHost.h"

#define VISAHOST_BIND(field, name)                      \
    do {                                                \
        void* address = qvhost_resolve(library, name);  \
        *(void**)&plugin->field = address;              \
        found += address != NULL;                       \
    } while (0)

int visahost_bind(qvhost_library* library, visahost_plugin* plugin) {
    int found = 0;
    VISAHOST_BIND(initializePlugin, "PpiInitializePlugin");
    VISAHOST_BIND(finalizePlugin, "PpiFinalizePlugin");
    VISAHOST_BIND(getDeviceIDs, "PpiGetDeviceIDs");
    VISAHOST_BIND(open, "PpiOpen");
    VISAHOST_BIND(close, "PpiClose");
    VISAHOST_BIND(getSpaceInfo, "PpiGetSpaceInfo");
    VISAHOST_BIND(getDeviceAttribute, "PpiGetDeviceAttribute");
    VISAHOST_BIND(blockRead, "PpiBlockRead");
    VISAHOST_BIND(blockWrite, "PpiBlockWrite");
    VISAHOST_BIND(unsupported[0], "PpiMapMemory");
    VISAHOST_BIND(unsupported[1], "PpiUnmapMemory");
    VISAHOST_BIND(unsupported[2], "PpiEnableInterrupts");
    VISAHOST_BIND(unsupported[3], "PpiWaitInterrupt");
    VISAHOST_BIND(unsupported[4], "PpiDisableAndAbortWaitInterrupt");
    VISAHOST_BIND(unsupported[5], "PpiTerminateIO");
    return found;
}

visahost_status visahost_findDevices(const visahost_plugin* plugin, uint64_t* ids, int32_t capacity,
                                     uint32_t* count) {
    const visahost_status tooSmall = (visahost_status)0xBFFF0083u;
    visahost_status status = plugin->getDeviceIDs(0, 0, NULL, NULL, count);
    if (status != 0 && status != tooSmall) return status;
    uint16_t flags[16];
    if (capacity > 16) capacity = 16;
    return plugin->getDeviceIDs(1, capacity, ids, flags, count);
}
