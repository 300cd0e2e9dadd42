/* The shared state behind the calibration library stand-in. */
#include "calsim.h"

#include <errno.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define CALSIM_EXPORT __attribute__((visibility("default")))

static pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t released;
static pthread_once_t once = PTHREAD_ONCE_INIT;

struct call {
    int32_t result;
    uint32_t delayMs;
    uint32_t calls;
    char resource[256];
    char configuration[1024];
    uint64_t value;
    double doubles[4];
};

static struct call entries[calsim_entryCount];
static int releasing;
static int32_t testResult;
static char* message;

static void initCondition(void) {
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&released, &attributes);
    pthread_condattr_destroy(&attributes);
}

static int valid(int entry) {
    return entry >= 0 && entry < calsim_entryCount;
}

static void copyText(char* target, size_t size, const char* source) {
    if (size == 0) return;
    strncpy(target, source != NULL ? source : "", size - 1);
    target[size - 1] = '\0';
}

CALSIM_EXPORT void calsim_reset(void) {
    pthread_mutex_lock(&mutex);
    memset(entries, 0, sizeof entries);
    releasing = 0;
    testResult = 0;
    free(message);
    message = NULL;
    pthread_mutex_unlock(&mutex);
}

CALSIM_EXPORT void calsim_setResult(int entry, int32_t result) {
    if (!valid(entry)) return;
    pthread_mutex_lock(&mutex);
    entries[entry].result = result;
    pthread_mutex_unlock(&mutex);
}

CALSIM_EXPORT void calsim_setDelayMs(int entry, uint32_t milliseconds) {
    if (!valid(entry)) return;
    pthread_mutex_lock(&mutex);
    entries[entry].delayMs = milliseconds;
    pthread_mutex_unlock(&mutex);
}

CALSIM_EXPORT void calsim_release(void) {
    pthread_once(&once, initCondition);
    pthread_mutex_lock(&mutex);
    releasing = 1;
    pthread_cond_broadcast(&released);
    pthread_mutex_unlock(&mutex);
}

CALSIM_EXPORT void calsim_setSelfTest(int32_t result, const char* text) {
    pthread_mutex_lock(&mutex);
    testResult = result;
    free(message);
    message = text != NULL ? strdup(text) : NULL;
    pthread_mutex_unlock(&mutex);
}

CALSIM_EXPORT uint32_t calsim_calls(int entry) {
    if (!valid(entry)) return 0;
    pthread_mutex_lock(&mutex);
    const uint32_t calls = entries[entry].calls;
    pthread_mutex_unlock(&mutex);
    return calls;
}

CALSIM_EXPORT void calsim_lastCall(int entry, char* resource, uint32_t resourceSize,
                                   char* configuration, uint32_t configurationSize) {
    if (!valid(entry)) return;
    pthread_mutex_lock(&mutex);
    if (resource != NULL) copyText(resource, resourceSize, entries[entry].resource);
    if (configuration != NULL)
        copyText(configuration, configurationSize, entries[entry].configuration);
    pthread_mutex_unlock(&mutex);
}

CALSIM_EXPORT uint64_t calsim_lastValue(int entry) {
    if (!valid(entry)) return 0;
    pthread_mutex_lock(&mutex);
    const uint64_t value = entries[entry].value;
    pthread_mutex_unlock(&mutex);
    return value;
}

CALSIM_EXPORT double calsim_lastDouble(int entry, int index) {
    if (!valid(entry) || index < 0 || index > 3) return 0;
    pthread_mutex_lock(&mutex);
    const double value = entries[entry].doubles[index];
    pthread_mutex_unlock(&mutex);
    return value;
}

CALSIM_EXPORT int32_t calsim_enter(int entry, const char* resource, const char* configuration,
                                   uint64_t value, const double* doubles) {
    if (!valid(entry)) return -1;
    pthread_once(&once, initCondition);
    pthread_mutex_lock(&mutex);
    struct call* call = &entries[entry];
    ++call->calls;
    copyText(call->resource, sizeof call->resource, resource);
    copyText(call->configuration, sizeof call->configuration, configuration);
    call->value = value;
    if (doubles != NULL) memcpy(call->doubles, doubles, sizeof call->doubles);
    if (call->delayMs > 0) {
        struct timespec until;
        clock_gettime(CLOCK_MONOTONIC, &until);
        until.tv_sec += call->delayMs / 1000;
        until.tv_nsec += (long)(call->delayMs % 1000) * 1000000L;
        if (until.tv_nsec >= 1000000000L) {
            until.tv_nsec -= 1000000000L;
            ++until.tv_sec;
        }
        while (!releasing && pthread_cond_timedwait(&released, &mutex, &until) != ETIMEDOUT) {
        }
    }
    const int32_t result = call->result;
    pthread_mutex_unlock(&mutex);
    return result;
}

CALSIM_EXPORT int32_t calsim_selfTestResult(void) {
    pthread_mutex_lock(&mutex);
    const int32_t result = testResult;
    pthread_mutex_unlock(&mutex);
    return result;
}

CALSIM_EXPORT void* calsim_newMessageHandle(void) {
    pthread_mutex_lock(&mutex);
    void** handle = NULL;
    if (message != NULL) {
        const size_t length = strlen(message);
        handle = malloc(sizeof *handle);
        /* Length-prefixed and not zero-terminated, as the engine's are. */
        char* block = malloc(sizeof(int32_t) + length);
        if (handle != NULL && block != NULL) {
            const int32_t count = (int32_t)length;
            memcpy(block, &count, sizeof count);
            memcpy(block + sizeof count, message, length);
            *handle = block;
        } else {
            free(handle);
            free(block);
            handle = NULL;
        }
    }
    pthread_mutex_unlock(&mutex);
    return handle;
}
