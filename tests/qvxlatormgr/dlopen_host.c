/* An error-translation host written in plain C: it loads the library by
 * path, creates the library's translator through the factory entry point
 * and asks it for static and dynamic descriptions with its own allocator and
 * its own status buffers. What the descriptions hold is the C++ tests' part.
 * usage: qvxlatormgr_dlopen_host PATH-OF-libqv3377hal.so.1 */
#include <dlfcn.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct Status Status;
struct Status {
    int32_t code;
    uint32_t capacity;
    bool (*realloc)(Status* status, uint32_t size);
    char* json;
};

typedef char* (*AllocFn)(void* old, size_t size, void* context, Status* status);

typedef struct Translator Translator;
struct Translator {
    uint64_t size;
    void (*destroy)(Translator* translator);
    char* (*getStaticDesc)(Translator* translator, int32_t code, uint32_t flags, AllocFn alloc,
                           void* context, Status* status);
    char* (*getDynamicDesc)(Translator* translator, const char* json, uint32_t flags,
                            const char* format, AllocFn alloc, void* context, Status* status);
};

typedef Translator* (*CreateFn)(const char* name, const char* registrationInfo, Status* status);

static int failures = 0;

#define CHECK(condition)                                                      \
    do {                                                                      \
        if (!(condition)) {                                                   \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, \
                    #condition);                                              \
            ++failures;                                                       \
        }                                                                     \
    } while (0)

/* The JSON buffer convention of the status: text, zero bytes, and 'J' as
 * the last byte. */
static bool hostRealloc(Status* status, uint32_t size) {
    if (size == 0) {
        free(status->json);
        status->json = NULL;
        status->capacity = 0;
        return true;
    }
    if (size <= status->capacity) {
        return true;
    }
    uint32_t capacity = 512;
    while (capacity < size) {
        capacity *= 2;
    }
    char* buffer = calloc(capacity, 1);
    if (!buffer) {
        return false;
    }
    strcpy(buffer, status->json ? status->json : "{}");
    buffer[capacity - 1] = 'J';
    free(status->json);
    status->json = buffer;
    status->capacity = capacity;
    return true;
}

static Status freshStatus(void) {
    Status status = {0, 0, hostRealloc, NULL};
    return status;
}

static void release(Status* status) { hostRealloc(status, 0); }

static char* hostAlloc(void* old, size_t size, void* context, Status* status) {
    (void)old;
    ++*(int*)context;
    if (status->code < 0) {
        return NULL;
    }
    return malloc(size);
}

static const char* const kRegistration =
    "{\"qvxlatorlua_xlator\":\"mxlator\",\"qvxlatorlua_settings\":{\"driverName\":\"qv3377HAL\","
    "\"qvSharedErrorsDir\":\"$_qvShared32Dir/errors\",\"ZMErrorsDir\":\"$_qvShared32Dir/zmerrors\"}}";

static const char* const kContext =
    "{\"error_constant\":\"qvapalerr_invalidParameter\",\"file\":\"qvwgen/Waveform.cpp\",\"line\":7,"
    "\"component\":\"qv3377hal\",\"translator\":\"mxlator_qv3377HAL\",\"translator_info\":{"
    "\"is_debug\":\"0\",\"version\":1,\"ordered_data\":[{\"type\":\"usage\",\"usage\":"
    "\"kUsageTypeWaveformName\",\"value\":\"wfm0\",\"value_type\":\"string\"}]}}";

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s LIBRARY\n", argv[0]);
        return 2;
    }
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 1;
    }
    CreateFn create = (CreateFn)dlsym(library, "qvxlator_exported_create");
    CHECK(create != NULL);
    if (!create) {
        return 1;
    }
    int allocations = 0;

    /* The registered translator and its record. */
    Status status = freshStatus();
    Translator* translator = create("mxlator_qv3377HAL", kRegistration, &status);
    CHECK(translator != NULL && status.code == 0);
    if (!translator) {
        fprintf(stderr, "%s\n", status.json ? status.json : "");
        return 1;
    }
    CHECK(translator->size == 32);
    CHECK(translator->destroy && translator->getStaticDesc && translator->getDynamicDesc);

    char* text = translator->getStaticDesc(translator, -52005, 0, hostAlloc, &allocations, &status);
    CHECK(text != NULL && strlen(text) > 0);
    free(text);

    /* A dynamic description, in German. */
    text = translator->getDynamicDesc(translator, kContext, 2, "json1", hostAlloc, &allocations,
                                      &status);
    CHECK(text && strstr(text, "\"Signalname\"") && strstr(text, "\"wfm0\""));
    free(text);
    CHECK(status.code == 0);
    CHECK(allocations == 2);
    translator->destroy(translator);

    /* A failure's detail grows in the host's own status buffer. */
    Status failed = freshStatus();
    CHECK(create("MXLATOR_QV3377HAL", "{}", &failed) == NULL);
    CHECK(failed.code == -52005);
    CHECK(failed.json && strstr(failed.json, "\"could not find xlator\"") &&
          failed.json[failed.capacity - 1] == 'J');
    release(&failed);

    release(&status);
    dlclose(library);
    if (failures) {
        fprintf(stderr, "%d checks failed\n", failures);
        return 1;
    }
    return 0;
}
