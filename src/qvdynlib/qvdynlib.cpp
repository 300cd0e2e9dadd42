#include "qvdynlib/qvdynlib.h"

#include <dlfcn.h>

#include <cstdio>

#include "qverr/DetailWriter.h"

namespace {

constexpr const char* kComponent = "internal_sdi_hal23u";

const char* lastLinkerError() {
    const char* text = dlerror();
    return text != nullptr ? text : "";
}

}  // namespace

void* qvdynlib_load(const char* path, int flags, qverr::Status& status) {
    if (status.isError()) return nullptr;
    void* handle = dlopen(path, flags);
    if (handle != nullptr) return handle;
    if (status.setCode(qverr::qvapalerr_invalidParameter,
                       QVERR_LOCATION(kComponent, "qvapalerr_invalidParameter"))) {
        qverr::DetailWriter(status)
            .beginObject("qvdynlib_debug")
            .add("debug", "failed to qvdynlib_load library")
            .add("path", path)
            .endObject()
            .dlerrorRecord(lastLinkerError());
    }
    // Leave nothing behind for the next caller of dlerror.
    (void)dlerror();
    return nullptr;
}

void* qvdynlib_symbol(void* handle, const char* name, qverr::Status& status) {
    if (status.isError()) return nullptr;
    (void)dlerror();
    void* address = (handle != nullptr && name != nullptr) ? dlsym(handle, name) : nullptr;
    if (address != nullptr) return address;
    if (status.setCode(qverr::qvapalerr_invalidParameter,
                       QVERR_LOCATION(kComponent, "qvapalerr_invalidParameter"))) {
        qverr::DetailWriter(status)
            .beginObject("qvdynlib_debug")
            .add("debug", "failed to get symbol")
            .add("qvdynlib_symbol", name != nullptr ? name : "")
            .endObject()
            .dlerrorRecord(lastLinkerError());
    }
    (void)dlerror();
    return nullptr;
}

void* qvdynlib_versionedSymbol(void* handle, const char* name, const char* version) {
    if (name == nullptr || version == nullptr) return nullptr;
    void* address = dlvsym(handle != nullptr ? handle : RTLD_DEFAULT, name, version);
    (void)dlerror();
    return address;
}

int qvdynlib_close(void* handle) {
    return handle != nullptr ? dlclose(handle) : -1;
}

namespace qvdynlib {

void resolveEntryPoints(void* handle, const char* prefix, const char* const* names, size_t count,
                        const char* suffix, void** addresses, qverr::Status& status) {
    for (size_t i = 0; i < count; ++i) {
        char symbol[256];
        snprintf(symbol, sizeof symbol, "%s%s%s", prefix != nullptr ? prefix : "", names[i],
                 suffix != nullptr ? suffix : "");
        qverr::Status own;
        addresses[i] = qvdynlib_symbol(handle, symbol, own);
        status.merge(own);
    }
}

}  // namespace qvdynlib
