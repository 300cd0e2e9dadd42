/* An error-translation host written in plain C: it loads the library by
 * path, creates the library's translator through the factory entry point
 * and asks it for a static description with its own allocator and its own
 * status buffers. What the descriptions hold is the C++ tests' part.
 * usage: qvxlatormgr_dlopen_host PATH-OF-libqv3377hal.so.1 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "support/host/qvhost.h"

typedef char* (*AllocFn)(void* old, size_t size, void* context, qvhost_status* status);

typedef struct Translator Translator;
struct Translator {
    uint64_t size;
    void (*destroy)(Translator* translator);
    char* (*getStaticDesc)(Translator* translator, int32_t code, uint32_t flags, AllocFn alloc,
                           void* context, qvhost_status* status);
    char* (*getDynamicDesc)(Translator* translator, const char* json, uint32_t flags,
                            const char* format, AllocFn alloc, void* context,
                            qvhost_status* status);
};

typedef Translator* (*CreateFn)(const char* name, const char* registrationInfo,
                                qvhost_status* status);

static int failures = 0;

static void check(bool ok, int line, const char* condition) {
    if (!ok) {
        fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, line, condition);
        ++failures;
    }
}
#define CHECK(condition) check((condition), __LINE__, #condition)

static char* hostAlloc(void* old, size_t size, void* context, qvhost_status* status) {
    (void)old;
    ++*(int*)context;
    return status->code < 0 ? NULL : malloc(size);
}

static const char* const kRegistration =
    "{\"qvxlatorlua_xlator\":\"mxlator\",\"qvxlatorlua_settings\":{\"driverName\":\"qv3377HAL\","
    "\"qvSharedErrorsDir\":\"$_qvShared32Dir/errors\",\"ZMErrorsDir\":\"$_qvShared32Dir/"
    "zmerrors\"}}";

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s LIBRARY\n", argv[0]);
        return 2;
    }
    qvhost_library* library = qvhost_load(argv[1]);
    CreateFn create =
        library ? (CreateFn)qvhost_resolve(library, "qvxlator_exported_create") : NULL;
    if (!create) {
        fprintf(stderr, "%s\n", qvhost_lastError());
        return 1;
    }
    int allocations = 0;

    /* The registered translator and its record. */
    qvhost_status status = qvhost_newStatus();
    Translator* translator = create("mxlator_qv3377HAL", kRegistration, &status);
    if (!translator || status.code != 0) {
        fprintf(stderr, "%s\n", status.json ? status.json : "no translator");
        return 1;
    }
    CHECK(translator->size == 32);
    CHECK(translator->destroy && translator->getStaticDesc && translator->getDynamicDesc);

    char* text = translator->getStaticDesc(translator, -52005, 0, hostAlloc, &allocations, &status);
    CHECK(text != NULL && strlen(text) > 0);
    free(text);

    failures += qvhost_check(status.code, 0, "descriptions");
    CHECK(allocations == 1);
    translator->destroy(translator);

    /* A failure's detail grows in the host's own status buffer. */
    qvhost_status failed = qvhost_newStatus();
    CHECK(create("MXLATOR_QV3377HAL", "{}", &failed) == NULL);
    failures += qvhost_check(failed.code, -52005, "unknown translator");
    CHECK(failed.json && strstr(failed.json, "\"could not find xlator\"") &&
          failed.json[failed.capacity - 1] == 'J');
    qvhost_release(&failed);

    qvhost_release(&status);
    qvhost_unload(library);
    if (failures) {
        fprintf(stderr, "%d checks failed\n", failures);
        return 1;
    }
    return 0;
}
