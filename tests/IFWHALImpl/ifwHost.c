#include "IFWHALImpl/ifwHost.h"

#define IFWHOST_BIND(field, name)                                              \
    do {                                                                       \
        void* address = qvhost_resolve(library, "qvIFW_Target_libqv3377hal_" name); \
        *(void**)&plugin->field = address;                                     \
        found += address != NULL;                                              \
    } while (0)

int ifwhost_bind(qvhost_library* library, ifwhost_plugin* plugin) {
    int found = 0;
    IFWHOST_BIND(getPluginVersion, "GetPluginVersion");
    IFWHOST_BIND(open, "Open");
    IFWHOST_BIND(close, "Close");
    IFWHOST_BIND(reset, "Reset");
    IFWHOST_BIND(read, "Read");
    IFWHOST_BIND(readArray, "ReadArray");
    IFWHOST_BIND(write, "Write");
    IFWHOST_BIND(writeArray, "WriteArray");
    return found;
}

int32_t ifwhost_writeThenRead(const ifwhost_plugin* plugin, const char* json,
                              ifwhost_location location, uint64_t value, uint64_t* read) {
    uint32_t major = 0, minor = 0;
    plugin->getPluginVersion(&major, &minor);
    if (major != 1 || minor != 1) return -1;
    qvhost_status status = qvhost_newStatus();
    void* target = plugin->open(json, &status);
    if (target != NULL) {
        ifwhost_locationValue written = {{location.words[0], location.words[1], value}};
        plugin->write(target, true, 0, written, &status);
        plugin->read(target, location, read, 0, &status);
        plugin->close(target, &status);
    }
    const int32_t code = status.code;
    qvhost_release(&status);
    return code;
}
