/* The VISA library as a C program sees the PXI plug-in: the fifteen Ppi*
 * entry points resolved by name and called through plain C types. */
#ifndef VISAHOST_H
#define VISAHOST_H

#include <stddef.h>
#include <stdint.h>

#include "support/host/qvhost.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t visahost_status;

typedef struct {
    visahost_status (*initializePlugin)(void);
    visahost_status (*finalizePlugin)(void);
    visahost_status (*getDeviceIDs)(uint16_t wantFlags, int32_t capacity, uint64_t* ids, uint16_t* flags,
                                    uint32_t* count);
    visahost_status (*open)(int32_t first, uint32_t bus, uint32_t device, uint32_t function,
                            uint64_t* session);
    visahost_status (*close)(uint64_t session);
    visahost_status (*getSpaceInfo)(uint64_t session, uint32_t space, uint16_t* first, uint64_t* second,
                                    uint64_t* third);
    visahost_status (*getDeviceAttribute)(uint64_t session, uint32_t attribute, void* value);
    visahost_status (*blockRead)(uint64_t session, uint32_t unused, uint32_t space, uint64_t offset,
                                 uint32_t access, uint16_t flag, void* buffer, uint64_t count,
                                 uint32_t mode);
    visahost_status (*blockWrite)(uint64_t session, uint32_t unused, uint32_t space, uint64_t offset,
                                  uint32_t access, uint16_t flag, const void* buffer, uint64_t count,
                                  uint32_t mode);
    /* The six the module does not support; the VISA library passes their
     * arguments, which the plug-in ignores. */
    visahost_status (*unsupported[6])(uint64_t session, uint64_t a, uint64_t b, uint64_t c);
} visahost_plugin;

/* Resolves every entry point; returns how many were found (15 when all). */
int visahost_bind(qvhost_library* library, visahost_plugin* plugin);

/* The VISA library's discovery: asks for the count with no room, then for
 * the IDs into `ids` (room for `capacity`). Returns the status of the
 * second call, or of the first when it was not the too-small answer. */
visahost_status visahost_findDevices(const visahost_plugin* plugin, uint64_t* ids, int32_t capacity,
                                     uint32_t* count);

#ifdef __cplusplus
}
#endif

#endif
