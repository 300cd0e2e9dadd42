#include "routingHost.h"

#include <stdatomic.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "support/host/qvhost.h"

typedef void* (*realloc_fn)(void*, size_t);
typedef void (*demotion_fn)(void*, int32_t, qvhost_status*);

static char message[512];

const char* routinghost_message(void) { return message; }

static atomic_int demotions;
static atomic_int lastEvent;

static void onDemotion(void* context, int32_t event, qvhost_status* status) {
    (void)status;
    atomic_store(&lastEvent, event);
    atomic_fetch_add((atomic_int*)context, 1);
}

#define RESOLVE(result, name, arguments) \
    result(*name) arguments =               \
        (result(*) arguments)qvhost_resolve(library, "qvroco_ra_qv3377hal_" #name)
#define FAIL(step, ...)                                 \
    do {                                                \
        snprintf(message, sizeof message, __VA_ARGS__); \
        result = step;                                  \
        goto done;                                      \
    } while (0)

int routinghost_run(const char* libraryPath, const char* devicePath, routinghost_demote demote,
                    void* demoteContext) {
    int result = 0;
    void* session = NULL;
    void* iterator = NULL;
    char* text = NULL;
    qvhost_status status = qvhost_newStatus();
    qvhost_library* library = qvhost_load(libraryPath);
    if (!library) {
        snprintf(message, sizeof message, "%s", qvhost_lastError());
        return 1;
    }
    RESOLVE(uint32_t, getAPIVersion, (void));
    RESOLVE(void*, createSessionWithDemotionFunc, (const char*, realloc_fn, demotion_fn, void*, qvhost_status*));
    RESOLVE(void*, createSession, (const char*, realloc_fn, qvhost_status*));
    RESOLVE(void, destroySession, (void*));
    RESOLVE(void, getHandledConstraints, (void*, char**, qvhost_status*));
    RESOLVE(uint32_t, calculateRoute, (void*, const char*, const char*, const char*, char**, qvhost_status*));
    RESOLVE(void, reserveRoute, (void*, uint32_t, char**, qvhost_status*));
    RESOLVE(void, programRoute, (void*, uint32_t, qvhost_status*));
    RESOLVE(void, unprogramRoute, (void*, uint32_t));
    RESOLVE(void, unreserveRoute, (void*, uint32_t));
    RESOLVE(void, beginExceptionalRouteDestruction, (void*, uint32_t));
    RESOLVE(void, destroyRoute, (void*, uint32_t));
    RESOLVE(void, getRouteTerminalPath, (void*, uint32_t, char**, qvhost_status*));
    RESOLVE(void*, getAllTerminals, (void*, qvhost_status*));
    RESOLVE(void, TerminalIterator_next, (void*, qvhost_status*));
    RESOLVE(bool, TerminalIterator_isEnd, (void*));
    RESOLVE(bool, TerminalIterator_getBoolAttribute, (void*, const char*, qvhost_status*));
    RESOLVE(const char*, TerminalIterator_getStringAttribute, (void*, const char*, qvhost_status*));
    RESOLVE(uint32_t, TerminalIterator_getU32Attribute, (void*, const char*, qvhost_status*));
    RESOLVE(void, TerminalIterator_resetTerminal, (void*, const char*, qvhost_status*));
    RESOLVE(uint32_t, TerminalIterator_calculateResetTerminal, (void*, void*, const char*, qvhost_status*));
    RESOLVE(void, TerminalIterator_destroy, (void*));

    atomic_store(&demotions, 0);
    if (getAPIVersion() != 3) FAIL(2, "API version %u", getAPIVersion());

    /* A session without a callback, then the one the host keeps. */
    session = createSession(devicePath, realloc, &status);
    if (!session || status.code != 0) FAIL(3, "createSession: %d %s", status.code, status.json);
    destroySession(session);
    session = createSessionWithDemotionFunc(devicePath, realloc, onDemotion, &demotions, &status);
    if (!session || status.code != 0) FAIL(4, "create: %d %s", status.code, status.json);

    getHandledConstraints(session, &text, &status);
    if (status.code != 0 || strcmp(text, "[\"inversionNeeded\"]") != 0)
        FAIL(5, "constraints: %d %s", status.code, text ? text : "(null)");

    /* Every terminal, with its attributes. */
    iterator = getAllTerminals(session, &status);
    unsigned count = 0;
    for (; iterator && !TerminalIterator_isEnd(iterator); TerminalIterator_next(iterator, &status)) {
        const char* name = TerminalIterator_getStringAttribute(iterator, "name", &status);
        uint32_t id = TerminalIterator_getU32Attribute(iterator, "id", &status);
        bool alias = TerminalIterator_getBoolAttribute(iterator, "isAlias", &status);
        if (strcmp(name, "PFI0") == 0) {
            if (id != 14 || alias) FAIL(6, "PFI0: %u %d", id, alias);
            TerminalIterator_resetTerminal(iterator, "floating", &status);
            if (TerminalIterator_calculateResetTerminal(session, iterator, "default", &status) != 14)
                FAIL(7, "calculateResetTerminal");
        }
        ++count;
    }
    if (status.code != 0 || count != 370) FAIL(8, "terminals: %u, %d %s", count, status.code, status.json);
    TerminalIterator_destroy(iterator);
    iterator = NULL;

    uint32_t ticket = calculateRoute(
        session, "[{\"terminal\":\"PFI0\",\"cost\":1,\"constraints\":{}}]", "[\"PXI_Trig2\"]",
        "{}", &text, &status);
    if (status.code != 0 || ticket == 0 ||
        !strstr(text, "\"destination\":\"PXI_Trig2\",\"cost\":2,\"indexOfStartingSeed\":0"))
        FAIL(9, "calculateRoute: %d %s", status.code, text);
    reserveRoute(session, ticket, &text, &status);
    programRoute(session, ticket, &status);
    if (status.code != 0) FAIL(10, "reserve/program: %d %s", status.code, status.json);
    getRouteTerminalPath(session, ticket, &text, &status);
    if (status.code != 0 || strcmp(text, "[\"PFI0\",\"PXI_Trig2\"]") != 0)
        FAIL(11, "path: %d %s", status.code, text);

    demote(demoteContext, ticket);
    for (int waited = 0; atomic_load(&demotions) == 0 && waited < 5000; ++waited) {
        struct timespec pause = {0, 1000000};
        nanosleep(&pause, NULL);
    }
    if (atomic_load(&demotions) != 1 || atomic_load(&lastEvent) != 101)
        FAIL(12, "demotions: %d", atomic_load(&demotions));

    unprogramRoute(session, ticket);
    unreserveRoute(session, ticket);
    beginExceptionalRouteDestruction(session, ticket);
    destroyRoute(session, ticket);
    /* Gone now: the driver's refusal reaches the host only where it takes
     * a status. */
    destroyRoute(session, ticket);
    programRoute(session, ticket, &status);
    if (status.code != -52006) FAIL(13, "program of a destroyed route: %d", status.code);

done:
    if (iterator) TerminalIterator_destroy(iterator);
    if (session) destroySession(session);
    free(text);
    qvhost_release(&status);
    qvhost_unload(library);
    return result;
}
