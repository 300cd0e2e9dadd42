/* Stand-in of the Korvex run-time engine, libkxrt.so, with the entry points
 * the library imports weakly. The "bare" variant leaves out KXDVR_AddRef,
 * KXDVR_ReleaseRef and KXSetCleanupProc, as an engine too old for them
 * would; its control interface stays. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdatomic.h>
#include <stdint.h>

#define KXRT_EXPORT __attribute__((visibility("default")))

static uint32_t released;
static uint32_t lastReleased;
static uint32_t added;

#ifndef KXRT_BARE
KXRT_EXPORT int32_t KXDVR_AddRef(uint32_t reference) {
    (void)reference;
    ++added;
    return 0;
}

KXRT_EXPORT int32_t KXDVR_ReleaseRef(uint32_t reference) {
    ++released;
    lastReleased = reference;
    return 0;
}

static int32_t (*cleanupProc)(void*);
static atomic_int cleanupRefused;
static atomic_uint registrations;

KXRT_EXPORT int32_t KXSetCleanupProc(int32_t (*proc)(void*), void* data, int32_t mode) {
    (void)data;
    (void)mode;
    if (cleanupRefused) return 0;
    cleanupProc = proc;
    ++registrations;
    return 1;
}
#endif

/* Control interface for tests. */
KXRT_EXPORT uint32_t kxrtsim_releasedCount(void) {
    return released;
}
KXRT_EXPORT uint32_t kxrtsim_lastReleased(void) {
    return lastReleased;
}
KXRT_EXPORT uint32_t kxrtsim_addedCount(void) {
    return added;
}

/* ---- Engine loading, versions, string handles and threads, as the
 * calibration library binding finds them in the process. ---- */
#include <stdlib.h>
#include <string.h>

KXRT_EXPORT const char gKXRTVersion[] = "18.0.0";

static char enginePathOverride[1024];
static atomic_uint loads;
static atomic_uint disposed;
static atomic_uint threadId;

/* Writes the engine's path (at most 1023 characters and the zero) and
 * returns a handle of the engine that dlclose releases. */
KXRT_EXPORT void* KXLoadLatestCompatibleRTE(const char* version, char* pathBuffer) {
    (void)version;
    ++loads;
    Dl_info info;
    const char* path = "";
    if (enginePathOverride[0] != '\0') {
        path = enginePathOverride;
    } else if (dladdr((const void*)&gKXRTVersion, &info) != 0 && info.dli_fname != NULL) {
        path = info.dli_fname;
    }
    if (pathBuffer != NULL) {
        strncpy(pathBuffer, path, 1023);
        pathBuffer[1023] = '\0';
    }
    if (dladdr((const void*)&gKXRTVersion, &info) == 0) return NULL;
    return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
}

KXRT_EXPORT const char* GetKXVersion(void* engine) {
    (void)engine;
    return "18.0";
}

KXRT_EXPORT uint32_t KXThreadGetId(void) {
    return threadId;
}

/* A string handle: a pointer to a block of a 32-bit length and the text,
 * both from malloc. */
KXRT_EXPORT void KXDisposeHandle(void* handle) {
    if (handle == NULL) return;
    ++disposed;
    free(*(void**)handle);
    free(handle);
}

KXRT_EXPORT void kxrtsim_setEnginePath(const char* path) {
    strncpy(enginePathOverride, path != NULL ? path : "", sizeof enginePathOverride - 1);
}
KXRT_EXPORT uint32_t kxrtsim_loadCount(void) {
    return loads;
}
KXRT_EXPORT uint32_t kxrtsim_disposedCount(void) {
    return disposed;
}
KXRT_EXPORT void kxrtsim_setThreadId(uint32_t id) {
    threadId = id;
}

#ifndef KXRT_BARE
KXRT_EXPORT uint32_t kxrtsim_cleanupRegistrations(void) {
    return registrations;
}
/* A refusing engine answers 0 to KXSetCleanupProc. */
KXRT_EXPORT void kxrtsim_refuseCleanup(int32_t refuse) {
    cleanupRefused = refuse;
}
/* Runs the registered cleanup procedure as the engine does at its exit;
 * -1 when none is registered. */
KXRT_EXPORT int32_t kxrtsim_runCleanup(void) {
    return cleanupProc != NULL ? cleanupProc(NULL) : -1;
}
#endif
