#include "qvhost.h"

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static __thread char lastError[512];

static void keepError(const char* text) {
    snprintf(lastError, sizeof lastError, "%s", text ? text : "");
}

qvhost_library* qvhost_load(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == NULL) keepError(dlerror());
    return (qvhost_library*)handle;
}

void* qvhost_resolve(qvhost_library* library, const char* name) {
    if (library == NULL) {
        keepError("no library");
        return NULL;
    }
    dlerror();
    void* address = dlsym(library, name);
    if (address == NULL) keepError(dlerror());
    return address;
}

const char* qvhost_lastError(void) {
    return lastError;
}

void qvhost_unload(qvhost_library* library) {
    if (library != NULL) dlclose(library);
}

int qvhost_check(int32_t code, int32_t wanted, const char* what) {
    if (code == wanted) return 0;
    printf("%s: 0x%08X, wanted 0x%08X\n", what, (unsigned)code, (unsigned)wanted);
    return 1;
}

bool qvhost_reallocate(qvhost_status* status, uint32_t size) {
    if (size == 0) {
        free(status->json);
        status->json = NULL;
        status->capacity = 0;
        return true;
    }
    if (size <= status->capacity) return true;
    if (size > 0x7FFFFFFFu) return false;
    uint32_t capacity = 512;
    while (capacity < size) capacity *= 2;
    char* buffer = calloc(capacity, 1);
    if (buffer == NULL) return false;
    const char* text = status->json ? status->json : "{}";
    memcpy(buffer, text, strlen(text));
    buffer[capacity - 1] = 'J';
    free(status->json);
    status->json = buffer;
    status->capacity = capacity;
    return true;
}

qvhost_status qvhost_newStatus(void) {
    qvhost_status status = {0, 0, qvhost_reallocate, NULL};
    return status;
}

void qvhost_release(qvhost_status* status) {
    if (status->json != NULL) status->reallocate(status, 0);
    status->code = 0;
}

const qvhost_family qvhost_families[] = {
    {"da", 1, {32}, 1},
    {"calindsp", 0, {12}, 1},
    {"caloutdsp", 0, {14}, 1},
    {"digitalgain", 0, {9}, 1},
    {"digitaloffset", 0, {5, 33}, 2},
    {"equalizer", 0, {6, 26, 27}, 3},
    {"freqshift", 0, {3}, 1},
    {"impairments", 0, {4}, 1},
    {"iqDataTrigger", 0, {16}, 1},
    {"resampler", 0, {2}, 1},
    {"listmode", 0, {22}, 1},
    {"datapath", 0, {0}, 1},
    {"trig", 0, {10}, 1},
    {"timer", 0, {23}, 1},
    {"BasecardConfigV1", 0, {7}, 1},
    {"selfcal", 0, {24}, 1},
    {"wgen", 1, {15}, 1},
    {"reservation", 0, {28}, 1},
    {"IQConfigV1", 0, {20}, 1},
    {"routinghal", 1, {25}, 1},
    {"iqmanip", 0, {18}, 1},
    {"mra", 0, {13}, 1},
    {"syntrasync", 0, {19}, 1},
};
const size_t qvhost_familyCount = sizeof qvhost_families / sizeof qvhost_families[0];
