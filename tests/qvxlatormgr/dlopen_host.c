/* An error-translation host written in plain C: it loads the library by
 * path, creates the library's translator through the factory entry point
 * and asks it for static and dynamic descriptions with its own allocator.
 * usage: qvxlatormgr_dlopen_host PATH-OF-libqv3377hal.so.1 */
#include <dlfcn.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

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

static void writeFile(const char* dir, const char* sub, const char* text) {
    char path[4096];
    snprintf(path, sizeof path, "%s/errors", dir);
    mkdir(path, 0700);
    snprintf(path, sizeof path, "%s/errors/%s", dir, sub);
    mkdir(path, 0700);
    snprintf(path, sizeof path, "%s/errors/%s/codes.txt", dir, sub);
    FILE* file = fopen(path, "w");
    fputs(text, file);
    fclose(file);
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

    /* Dynamic descriptions in English and German. */
    text = translator->getDynamicDesc(translator, kContext, 0, "json1", hostAlloc, &allocations,
                                      &status);
    CHECK(text && strstr(text, "\"Waveform Name\"") && strstr(text, "\"wfm0\""));
    free(text);
    text = translator->getDynamicDesc(translator, kContext, 2, "json1", hostAlloc, &allocations,
                                      &status);
    CHECK(text && strstr(text, "\"Signalname\""));
    free(text);
    CHECK(status.code == 0);
    translator->destroy(translator);

    /* Static descriptions from explanation files in English and French. */
    char dir[] = "/tmp/qvxlatorhostXXXXXX";
    CHECK(mkdtemp(dir) != NULL);
    setenv("TMPDIR", dir, 1);
    writeFile(dir, "English",
              "<?xml version=\"1.0\"?>\n<qvdocument>\n<qverror code=\"-52005\">\n"
              "Invalid parameter.\n</qverror>\n</qvdocument>\n");
    writeFile(dir, "French",
              "<?xml version=\"1.0\"?>\n<qvdocument>\n<qverror code=\"0xFFFF34DB\">\n"
              "Param\xc3\xa8tre non valide.\n</qverror>\n</qvdocument>\n");
    translator = create("mxlator_qv3377HAL",
                        "{\"qvxlatorlua_xlator\":\"mxlator\",\"qvxlatorlua_settings\":{"
                        "\"qvSharedErrorsDir\":\"$_tempDir/errors\"}}",
                        &status);
    CHECK(translator != NULL);
    if (translator) {
        text = translator->getStaticDesc(translator, -52005, 0, hostAlloc, &allocations, &status);
        CHECK(text && strcmp(text, "Invalid parameter.") == 0);
        free(text);
        text = translator->getStaticDesc(translator, -52005, 1, hostAlloc, &allocations, &status);
        CHECK(text && strcmp(text, "Param\xc3\xa8tre non valide.") == 0);
        free(text);
        text = translator->getStaticDesc(translator, 4242, 1, hostAlloc, &allocations, &status);
        CHECK(text && strcmp(text, "Error description not found") == 0);
        free(text);
        translator->destroy(translator);
    }
    CHECK(status.code == 0);
    CHECK(allocations == 6);

    /* Names only the registration list knows, or differing in case. */
    const char* const unknown[] = {"qvxlator_default", "MXLATOR_QV3377HAL"};
    for (int i = 0; i < 2; ++i) {
        Status failed = freshStatus();
        CHECK(create(unknown[i], "{}", &failed) == NULL);
        CHECK(failed.code == -52005);
        CHECK(failed.json && strstr(failed.json, "\"qvxlator_debug\":{") &&
              strstr(failed.json, "\"could not find xlator\"") && strstr(failed.json, unknown[i]));
        release(&failed);
    }

    /* A status already holding an error is left as it was. */
    Status failed = freshStatus();
    failed.code = -1;
    CHECK(create("mxlator_qv3377HAL", kRegistration, &failed) == NULL);
    CHECK(failed.code == -1 && failed.json == NULL && failed.capacity == 0);

    release(&status);
    dlclose(library);
    char command[4200];
    snprintf(command, sizeof command, "rm -rf '%s'", dir);
    CHECK(system(command) == 0);
    if (failures) {
        fprintf(stderr, "%d checks failed\n", failures);
        return 1;
    }
    return 0;
}
