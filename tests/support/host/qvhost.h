/* The host-program harness: loads libqv3377hal.so.1 with dlopen, as an
 * instrument driver does, resolves its exports by name and calls them
 * through plain C function types. A test process that links the simulated
 * kernel driver and the stand-ins of sim/ runs the shipped library against
 * them exactly as a driver process would run it on hardware. */
#ifndef QVHOST_H
#define QVHOST_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct qvhost_library qvhost_library;

/* The library loaded with RTLD_NOW | RTLD_LOCAL, or null; the loader's
 * message is then in qvhost_lastError(). */
qvhost_library* qvhost_load(const char* path);
/* The export's address, or null (qvhost_lastError() tells why). */
void* qvhost_resolve(qvhost_library* library, const char* name);
const char* qvhost_lastError(void);
void qvhost_unload(qvhost_library* library);

/* The C types of the exports. */
typedef int32_t (*qvhost_openReturnCode)(uint64_t deviceHandle, uint64_t context,
                                         uint64_t* handleOut);
/* The status is the library's chained status record, passed by address. */
typedef void (*qvhost_openStatusLast)(uint64_t deviceHandle, uint64_t context, uint64_t* handleOut,
                                      void* status);
typedef void (*qvhost_close)(uint64_t handle);

/* The context-as-handle families: export prefix, whether the family takes
 * its status last (else it returns a code), and the context ids that
 * device_getContext hands out for it. */
typedef struct {
    const char* prefix;
    int statusLast;
    uint32_t contextIds[3];
    uint32_t contextIdCount;
} qvhost_family;

extern const qvhost_family qvhost_families[];
extern const size_t qvhost_familyCount;

/* The chained status record as a C driver declares it, and the driver's
 * own buffer function for it: size 0 frees the text; a larger size moves it
 * into a zero-filled buffer of at least 512 bytes whose last byte is the
 * writer's end marker 'J' ("{}" when there was no text). */
typedef struct qvhost_status {
    int32_t code;
    uint32_t capacity;
    bool (*reallocate)(struct qvhost_status* status, uint32_t size);
    char* json;
} qvhost_status;

/* A host program's check: prints "<what>: <code>, wanted <wanted>" (in
 * hexadecimal) and returns 1 when they differ, else 0. */
int qvhost_check(int32_t code, int32_t wanted, const char* what);

bool qvhost_reallocate(qvhost_status* status, uint32_t size);
/* A fresh status using qvhost_reallocate; release it with qvhost_release. */
qvhost_status qvhost_newStatus(void);
void qvhost_release(qvhost_status* status);

#ifdef __cplusplus
}
#endif

#endif
