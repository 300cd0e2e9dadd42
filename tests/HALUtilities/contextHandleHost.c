/* A driver written in C: loads the shipped library by name, resolves the
 * open and close exports of every context-as-handle family and the error
 * translator's factory, and binds one context through each family.
 * Prints "ok <exports resolved>" and exits 0 when all behaved. */
#include <stdio.h>
#include <string.h>

#include "support/host/qvhost.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    qvhost_library* library = qvhost_load(argv[1]);
    if (library == NULL) {
        printf("load: %s\n", qvhost_lastError());
        return 1;
    }
    static const unsigned char device[1] = {1};
    size_t resolved = 0;
    int failures = 0;
    for (size_t i = 0; i < qvhost_familyCount; ++i) {
        const qvhost_family* family = &qvhost_families[i];
        char name[64];
        snprintf(name, sizeof name, "%s_open", family->prefix);
        void* open = qvhost_resolve(library, name);
        snprintf(name, sizeof name, "%s_close", family->prefix);
        qvhost_close close = (qvhost_close)qvhost_resolve(library, name);
        resolved += (open != NULL) + (close != NULL);
        if (open == NULL || close == NULL) {
            printf("missing %s: %s\n", name, qvhost_lastError());
            ++failures;
            continue;
        }
        uint64_t handle = 0;
        const uint64_t context = 0x1000u + family->contextIds[0];
        int32_t code;
        if (family->statusLast) {
            qvhost_status status = qvhost_newStatus();
            ((qvhost_openStatusLast)open)((uint64_t)(uintptr_t)device, context, &handle, &status);
            code = status.code;
            qvhost_release(&status);
        } else {
            code = ((qvhost_openReturnCode)open)((uint64_t)(uintptr_t)device, context, &handle);
        }
        if (code != 0 || handle != context) {
            printf("%s_open: %d, handle %llu\n", family->prefix, code, (unsigned long long)handle);
            ++failures;
        }
        close(handle);
    }
    if (qvhost_resolve(library, "qvxlator_exported_create") != NULL) {
        ++resolved;
    } else {
        printf("missing qvxlator_exported_create: %s\n", qvhost_lastError());
        ++failures;
    }
    qvhost_unload(library);
    if (failures != 0) return 1;
    printf("ok %zu\n", resolved);
    return 0;
}
