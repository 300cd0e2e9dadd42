/* Stand-in of the Korvex run-time engine, libkxrt.so, with the entry points
 * the library imports weakly. The "bare" variant leaves out KXDVR_AddRef,
 * KXDVR_ReleaseRef and KXSetCleanupProc, as an engine too old for them
 * would; its control interface stays. */
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

KXRT_EXPORT int32_t KXSetCleanupProc(int32_t (*proc)(void*), void* data, int32_t mode) {
    (void)data;
    (void)mode;
    cleanupProc = proc;
    return 1;
}
#endif

/* Control interface for tests. */
KXRT_EXPORT uint32_t kxrtsim_releasedCount(void) { return released; }
KXRT_EXPORT uint32_t kxrtsim_lastReleased(void) { return lastReleased; }
KXRT_EXPORT uint32_t kxrtsim_addedCount(void) { return added; }
