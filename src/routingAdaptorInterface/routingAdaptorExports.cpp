// The entry points a routing host calls (API version 3). Every failure
// reaches the host as its chained status, never as an exception.
#include <cstdint>
#include <memory>
#include <new>
#include <optional>

#include "HALUtilities/ErrorHandling.h"
#include "qvarkra/ARKRoutingAdaptorSession.h"
#include "qverr/DetailWriter.h"

namespace {

using qvark::ARKRoutingAdaptorSession;
using qvroco::TerminalIteratorInterface;

constexpr const char* kSource = "routingAdaptorInterface/routingAdaptorExports";

#define QVRA_LOCATION(line) \
    QVERR_FIXED_LOCATION(kSource, line, qv3377hal::kComponent, "kMemoryFull")

// The chained style: nothing after an earlier error; out of memory is
// reported at the entry point's own line, any other failure merged.
template <class Result, class Body>
Result chained(qverr::Status* status, const qverr::SourceLocation& outOfMemory, Result fallback,
               Body&& body) noexcept {
    if (status == nullptr || status->isError()) return fallback;
    try {
        return body();
    } catch (const std::bad_alloc&) {
        // The writer grows through the host's realloc, never through new.
        if (status->setCode(qverr::qvapalerr_memoryFull, outOfMemory))
            qverr::DetailWriter(*status).add("qvark_debug", "out of memory");
    } catch (...) {
        qv3377hal::mergeCurrentException(*status);
    }
    return fallback;
}

template <class Body>
void chainedVoid(qverr::Status* status, const qverr::SourceLocation& outOfMemory,
                 Body&& body) noexcept {
    chained(status, outOfMemory, 0, [&] {
        body();
        return 0;
    });
}

// The operations that take no status: failures are dropped.
template <class Body>
void dropping(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

using qv3377hal::HandleKind;
using qv3377hal::handleOf;

const qv3377hal::HandleRefusal kInvalidSession{qv3377hal::kNullArgumentLocation,
                                               "sessionFromHandle", "null handle"};
const qv3377hal::HandleRefusal kInvalidIterator{qv3377hal::kNullArgumentLocation,
                                                "iteratorFromHandle", "null handle"};

ARKRoutingAdaptorSession* sessionFromHandle(void* session) {
    return qv3377hal::objectFromHandle<ARKRoutingAdaptorSession>(
        handleOf(session), HandleKind::routingAdaptorSession, kInvalidSession);
}

// An iterator relies on the session that made it: once that session is
// destroyed, the iterator can only be destroyed, even when a later session
// takes the old one's address.
TerminalIteratorInterface* iteratorFromHandle(void* iterator) {
    const uint64_t handle = handleOf(iterator);
    const auto owner = iterator == nullptr
                           ? std::nullopt
                           : qv3377hal::ownerOfLiveHandle(handle, HandleKind::terminalIterator);
    if (!owner || !qv3377hal::isLiveHandle(*owner, HandleKind::routingAdaptorSession))
        qv3377hal::throwInvalidHandle(handle, kInvalidIterator);
    // Every iterator handed out is this adaptor's own.
    const auto* made = static_cast<const qvark::ARKTerminalIterator*>(
        static_cast<TerminalIteratorInterface*>(iterator));
    const auto* session =
        reinterpret_cast<const ARKRoutingAdaptorSession*>(static_cast<uintptr_t>(*owner));
    if (!made->madeBy(*session)) qv3377hal::throwInvalidHandle(handle, kInvalidIterator);
    return static_cast<TerminalIteratorInterface*>(iterator);
}

}  // namespace

QV_EXPORT void* qvroco_ra_qv3377hal_createSessionWithDemotionFunc(const char* devicePath,
                                                                  qvark::ReallocFunction realloc,
                                                                  qvark::DemotionFunction demotion,
                                                                  void* context,
                                                                  qverr::Status* status) {
    return chained<void*>(status, QVRA_LOCATION(439), nullptr, [&]() -> void* {
        auto session =
            std::make_unique<ARKRoutingAdaptorSession>(devicePath, realloc, demotion, context);
        qv3377hal::addHandle(handleOf(session.get()), HandleKind::routingAdaptorSession);
        return session.release();
    });
}

QV_EXPORT void* qvroco_ra_qv3377hal_createSession(const char* devicePath,
                                                  qvark::ReallocFunction realloc,
                                                  qverr::Status* status) {
    return qvroco_ra_qv3377hal_createSessionWithDemotionFunc(devicePath, realloc, nullptr, nullptr,
                                                             status);
}

QV_EXPORT void qvroco_ra_qv3377hal_destroySession(void* session) {
    dropping([&] {
        ARKRoutingAdaptorSession::destroy(qv3377hal::takeObjectFromHandle<ARKRoutingAdaptorSession>(
            handleOf(session), HandleKind::routingAdaptorSession, kInvalidSession));
    });
}

QV_EXPORT void qvroco_ra_qv3377hal_getHandledConstraints(void* session, char** text,
                                                         qverr::Status* status) {
    chainedVoid(status, QVRA_LOCATION(41),
                [&] { sessionFromHandle(session)->getHandledConstraints(text); });
}

QV_EXPORT uint32_t qvroco_ra_qv3377hal_calculateRoute(void* session, const char* seeds,
                                                      const char* destinations,
                                                      const char* modifiers, char** result,
                                                      qverr::Status* status) {
    return chained<uint32_t>(status, QVRA_LOCATION(68), 0, [&] {
        return sessionFromHandle(session)->calculateRoute(seeds, destinations, modifiers, result);
    });
}

QV_EXPORT void qvroco_ra_qv3377hal_reserveRoute(void* session, uint32_t ticket, char** conflicts,
                                                qverr::Status* status) {
    chainedVoid(status, QVRA_LOCATION(95),
                [&] { sessionFromHandle(session)->reserveRoute(ticket, conflicts); });
}

QV_EXPORT void qvroco_ra_qv3377hal_programRoute(void* session, uint32_t ticket,
                                                qverr::Status* status) {
    chainedVoid(status, QVRA_LOCATION(119),
                [&] { sessionFromHandle(session)->programRoute(ticket); });
}

QV_EXPORT void qvroco_ra_qv3377hal_unprogramRoute(void* session, uint32_t ticket) {
    dropping([&] { sessionFromHandle(session)->unprogramRoute(ticket); });
}

QV_EXPORT void qvroco_ra_qv3377hal_unreserveRoute(void* session, uint32_t ticket) {
    dropping([&] { sessionFromHandle(session)->unreserveRoute(ticket); });
}

QV_EXPORT void qvroco_ra_qv3377hal_beginExceptionalRouteDestruction(void* session,
                                                                    uint32_t ticket) {
    dropping([&] { sessionFromHandle(session)->beginExceptionalRouteDestruction(ticket); });
}

QV_EXPORT void qvroco_ra_qv3377hal_destroyRoute(void* session, uint32_t ticket) {
    dropping([&] { sessionFromHandle(session)->destroyRoute(ticket); });
}

QV_EXPORT void qvroco_ra_qv3377hal_getRouteTerminalPath(void* session, uint32_t ticket, char** path,
                                                        qverr::Status* status) {
    chainedVoid(status, QVRA_LOCATION(212),
                [&] { sessionFromHandle(session)->getRouteTerminalPath(ticket, path); });
}

QV_EXPORT uint32_t qvroco_ra_qv3377hal_getAPIVersion() {
    return 3;
}

QV_EXPORT void* qvroco_ra_qv3377hal_getAllTerminals(void* session, qverr::Status* status) {
    return chained<void*>(status, QVRA_LOCATION(236), nullptr, [&]() -> void* {
        std::unique_ptr<TerminalIteratorInterface> iterator(
            sessionFromHandle(session)->getAllTerminals());
        qv3377hal::addHandle(handleOf(iterator.get()), HandleKind::terminalIterator,
                             handleOf(session), HandleKind::routingAdaptorSession);
        return iterator.release();
    });
}

QV_EXPORT void qvroco_ra_qv3377hal_TerminalIterator_next(void* iterator, qverr::Status* status) {
    chainedVoid(status, QVRA_LOCATION(261), [&] { iteratorFromHandle(iterator)->next(status); });
}

QV_EXPORT bool qvroco_ra_qv3377hal_TerminalIterator_isEnd(void* iterator) {
    bool end = true;
    dropping([&] { end = iteratorFromHandle(iterator)->isEnd(); });
    return end;
}

QV_EXPORT bool qvroco_ra_qv3377hal_TerminalIterator_getBoolAttribute(void* iterator,
                                                                     const char* name,
                                                                     qverr::Status* status) {
    return chained<bool>(status, QVRA_LOCATION(329), false, [&] {
        return iteratorFromHandle(iterator)->getBoolAttribute(name, status);
    });
}

QV_EXPORT const char* qvroco_ra_qv3377hal_TerminalIterator_getStringAttribute(
    void* iterator, const char* name, qverr::Status* status) {
    return chained<const char*>(status, QVRA_LOCATION(303), nullptr, [&] {
        return iteratorFromHandle(iterator)->getStringAttribute(name, status);
    });
}

QV_EXPORT uint32_t qvroco_ra_qv3377hal_TerminalIterator_getU32Attribute(void* iterator,
                                                                        const char* name,
                                                                        qverr::Status* status) {
    return chained<uint32_t>(status, QVRA_LOCATION(355), 0, [&] {
        return iteratorFromHandle(iterator)->getU32Attribute(name, status);
    });
}

QV_EXPORT void qvroco_ra_qv3377hal_TerminalIterator_resetTerminal(void* iterator, const char* mode,
                                                                  qverr::Status* status) {
    chainedVoid(status, QVRA_LOCATION(381),
                [&] { iteratorFromHandle(iterator)->resetTerminal(mode, status); });
}

QV_EXPORT uint32_t qvroco_ra_qv3377hal_TerminalIterator_calculateResetTerminal(
    void* session, void* iterator, const char* mode, qverr::Status* status) {
    return chained<uint32_t>(status, QVRA_LOCATION(406), 0, [&] {
        return sessionFromHandle(session)->calculateResetTerminal(*iteratorFromHandle(iterator),
                                                                  mode);
    });
}

QV_EXPORT void qvroco_ra_qv3377hal_TerminalIterator_destroy(void* iterator) {
    dropping([&] {
        delete qv3377hal::takeObjectFromHandle<TerminalIteratorInterface>(
            handleOf(iterator), HandleKind::terminalIterator, kInvalidIterator);
    });
}
