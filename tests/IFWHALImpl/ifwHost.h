/* The instruction-framework host as a C program sees the plug-in: the
 * qvIFW_Target_libqv3377hal_* entry points resolved by name and called
 * through plain C types. */
#ifndef IFWHOST_H
#define IFWHOST_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#include "support/host/qvhost.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
    uint64_t words[2];
} ifwhost_location;
typedef struct {
    uint64_t words[3];
} ifwhost_locationValue;

typedef struct {
    void (*getPluginVersion)(uint32_t* major, uint32_t* minor);
    void* (*open)(const char* json, qvhost_status* status);
    void (*close)(void* target, qvhost_status* status);
    void (*reset)(void* target, qvhost_status* status);
    void (*read)(void* target, ifwhost_location location, uint64_t* value, uint32_t option,
                 qvhost_status* status);
    void (*readArray)(void* target, void* buffer, size_t count, uint64_t reference, uint32_t option,
                      qvhost_status* status);
    void (*write)(void* target, bool flag, uint32_t option, ifwhost_locationValue location,
                  qvhost_status* status);
    void (*writeArray)(void* target, const void* buffer, size_t count, bool flag, uint32_t option,
                       qvhost_status* status);
} ifwhost_plugin;

/* Resolves every entry point; returns how many were found (8 when all). */
int ifwhost_bind(qvhost_library* library, ifwhost_plugin* plugin);

/* The host's usual round: checks the version is 1.1, opens the target the
 * JSON text names, writes `value` at `location`, reads it back into *read
 * and closes. Returns the first failing status code (0 when all passed;
 * -1 for a wrong version). */
int32_t ifwhost_writeThenRead(const ifwhost_plugin* plugin, const char* json,
                              ifwhost_location location, uint64_t value, uint64_t* read);

#ifdef __cplusplus
}
#endif

#endif
