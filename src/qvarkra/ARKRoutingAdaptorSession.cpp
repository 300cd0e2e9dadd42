#include "qvarkra/ARKRoutingAdaptorSession.h"

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "HALUtilities/ErrorHandling.h"
#include "qverr/DetailWriter.h"
#include "qverr/Exception.h"

namespace qvark {

namespace {

using nQVAPALS100::tStatus;

std::atomic<uint32_t> gPathCapacity{32};

uint64_t nextSerial() {
    static std::atomic<uint64_t> last{0};
    return ++last;
}

// Raises the process-wide path capacity to `count` when that is larger,
// whichever session's thread gets there first.
void raisePathCapacity(uint32_t count) {
    uint32_t seen = gPathCapacity.load(std::memory_order_relaxed);
    while (count > seen && !gPathCapacity.compare_exchange_weak(seen, count)) {
    }
}

[[noreturn]] void throwBadSelector(const char* problem) {
    QVERR_THROW_WITH_MESSAGE(qv3377hal::kComponent, qverr::qvpalerr_badSelector,
                             "qvpalerr_badSelector", "qvark_debug", problem);
}

void reportBadSelector(qverr::Status* status, const char* problem) {
    if (status != nullptr &&
        status->setCode(qverr::qvpalerr_badSelector,
                        QVERR_LOCATION(qv3377hal::kComponent, "qvpalerr_badSelector")))
        qverr::DetailWriter(*status).add("qvark_debug", problem);
}

// Errors of the notification read that another read will not cure: the
// socket or the stop pipe is gone.
bool isFatalReadError(int64_t code) {
    return code == qverr::qvapalerr_osFault;
}

}  // namespace

bool parseResetMode(const char* mode) {
    if (mode != nullptr && std::strcmp(mode, "default") == 0) return false;
    if (mode != nullptr && std::strcmp(mode, "floating") == 0) return true;
    throwBadSelector("unknown reset mode");
}

uint32_t ARKRoutingAdaptorSession::pathCapacity() {
    return gPathCapacity.load();
}

// ---------------------------------------------------------------- iterator

ARKTerminalIterator::ARKTerminalIterator(ARKRoutingAdaptorSession& session)
    : session_(session), sessionSerial_(session.serial()) {}

bool ARKTerminalIterator::madeBy(const ARKRoutingAdaptorSession& session) const {
    return session.serial() == sessionSerial_;
}

const TerminalInfo& ARKTerminalIterator::current() const {
    if (index_ >= session_.topography().terminalCount)
        throwBadSelector("iterator past the last terminal");
    return session_.topography().terminals[index_];
}

const TerminalInfo* ARKTerminalIterator::currentOrReport(qverr::Status* status) const {
    if (index_ < session_.topography().terminalCount)
        return &session_.topography().terminals[index_];
    reportBadSelector(status, "iterator past the last terminal");
    return nullptr;
}

void ARKTerminalIterator::next(qverr::Status*) {
    if (index_ < session_.topography().terminalCount) ++index_;
}

bool ARKTerminalIterator::isEnd() {
    return index_ >= session_.topography().terminalCount;
}

namespace {

template <class Field>
struct Attribute {
    const char* name;
    Field TerminalInfo::*field;
};

constexpr Attribute<const char*> kStringAttributes[] = {
    {"name", &TerminalInfo::name},
    {"visibility", &TerminalInfo::visibility},
    {"busType", &TerminalInfo::busType},
    {"busName", &TerminalInfo::busName},
    {"canonicalName", &TerminalInfo::canonicalName},
};
constexpr Attribute<bool> kBoolAttributes[] = {
    {"isExternal", &TerminalInfo::isExternal},
    {"isOwned", &TerminalInfo::isOwned},
    {"isAlias", &TerminalInfo::isAlias},
    {"isMaskedOut", &TerminalInfo::isMaskedOut},
};
constexpr Attribute<uint32_t> kU32Attributes[] = {
    {"busLine", &TerminalInfo::busLine},
    {"id", &TerminalInfo::id},
};

template <class Field, size_t N>
Field readAttribute(const Attribute<Field> (&table)[N], const TerminalInfo* terminal,
                    const char* name, qverr::Status* status) {
    if (terminal == nullptr) return Field{};
    if (name != nullptr) {
        for (const auto& attribute : table) {
            if (std::strcmp(attribute.name, name) == 0) return terminal->*attribute.field;
        }
    }
    reportBadSelector(status, "unknown attribute name");
    return Field{};
}

}  // namespace

const char* ARKTerminalIterator::getStringAttribute(const char* name, qverr::Status* status) {
    return readAttribute(kStringAttributes, currentOrReport(status), name, status);
}

bool ARKTerminalIterator::getBoolAttribute(const char* name, qverr::Status* status) {
    return readAttribute(kBoolAttributes, currentOrReport(status), name, status);
}

uint32_t ARKTerminalIterator::getU32Attribute(const char* name, qverr::Status* status) {
    return readAttribute(kU32Attributes, currentOrReport(status), name, status);
}

void ARKTerminalIterator::resetTerminal(const char* mode, qverr::Status* status) {
    if (status == nullptr || status->isError()) return;
    bool floating = false;
    try {
        floating = parseResetMode(mode);
    } catch (const qverr::ExceptionBase&) {
        reportBadSelector(status, "unknown reset mode");
        return;
    }
    const TerminalInfo* terminal = currentOrReport(status);
    if (terminal == nullptr) return;
    // The host's warning travels to the driver in the request's status-in.
    tStatus platform;
    if (status->code > 0) platform.setCode(status->code, qv3377hal::kComponent, "", 0);
    const int64_t sent = platform.getCode();
    session_.proxy().resetTerminal(terminal->id, floating ? 1 : 0, platform);
    if (platform.getCode() != sent) status->mergeTStatus(platform);
}

// ----------------------------------------------------------------- session

ARKRoutingAdaptorSession::ARKRoutingAdaptorSession(const char* devicePath, ReallocFunction realloc,
                                                   DemotionFunction demotion, void* context)
    : serial_(nextSerial()), realloc_(realloc) {
    if (devicePath == nullptr || realloc == nullptr ||
        strnlen(devicePath, kMaxDevicePathLength + 1) > kMaxDevicePathLength) {
        qv3377hal::throwNullArgument("qvark_debug",
                                     "null or overlong device path or null realloc function");
    }
    tStatus status;
    reader_ = std::make_unique<sdihal::nQVAPAL000::tThreadedIONotificationReader>(0, status);
    loop_.session = this;
    demotion_.function = demotion;
    demotion_.context = context;
    if (!status.isError()) thread_.start(loop_, 0, "qv3377hal", status);
    try {
        qverr::throwIfTStatusError(status);
        proxy_.open(devicePath, status);
        qverr::throwIfTStatusError(status);

        char name[128] = {};
        proxy_.getTopographyName(reinterpret_cast<uintptr_t>(name), sizeof name, status);
        qverr::throwIfTStatusError(status);
        // A driver that fills the whole buffer still names a text.
        name[sizeof name - 1] = 0;
        topography_ = &findTopography(name);
        terminals_ = &terminalIndex(*topography_);

        demotion_.registerNotification(*reader_, proxy_, kDemotionNotificationId, status);
        qverr::throwIfTStatusError(status);
    } catch (...) {
        stopReader();
        proxy_.close();
        throw;
    }
}

namespace {
constinit qv3377hal::Forgotten<ARKRoutingAdaptorSession> forgottenSessions;
}  // namespace

ARKRoutingAdaptorSession::~ARKRoutingAdaptorSession() {
    demotion_.unregisterNotification();
    proxy_.close();
    stopReader();
}

void ARKRoutingAdaptorSession::destroy(ARKRoutingAdaptorSession* session) {
    if (session == nullptr) return;
    if (session->owner_.isCurrent()) {
        delete session;
        return;
    }
    session->proxy_.close();
    forgottenSessions.keep(session, session->forgottenBefore_);
}

void ARKRoutingAdaptorSession::stopReader() {
    if (thread_.isStarted()) {
        tStatus status;
        reader_->stop(status);
        thread_.join();
    }
    reader_.reset();
}

void ARKRoutingAdaptorSession::ReaderLoop::run() {
    auto backoff = std::chrono::milliseconds(0);
    for (;;) {
        tStatus status;
        uint32_t kind = 0;
        uint32_t size = 0;
        unsigned char payload[sdihal::nQVAPAL000::kIONotificationPayloadSize];
        const uint64_t value = session->reader_->read(
            &kind, payload, &size, status, sdihal::nQVAPAL000::kIONotificationWaitForever);
        if (!status.isError()) {
            if (kind == sdihal::nQVAPAL000::kIONotificationStopped) return;
            backoff = std::chrono::milliseconds(0);
            session->handleNotification(kind, value, status);
            continue;
        }
        if (isFatalReadError(status.getCode())) return;
        // A transient failure (a lost or malformed datagram) is retried,
        // more slowly each time; a stop still ends the next read.
        backoff = std::min(std::max(backoff * 2, std::chrono::milliseconds(1)),
                           std::chrono::milliseconds(100));
        std::this_thread::sleep_for(backoff);
    }
}

void ARKRoutingAdaptorSession::handleNotification(uint32_t kind, uint64_t value,
                                                  const tStatus& readStatus) {
    if (readStatus.isError() || kind != sdihal::nQVAPAL000::kIONotificationFirstKind) return;
    // Only the value the session registered names its notification object.
    const auto* registered = static_cast<const sdihal::nQVAPAL000::tIONotification*>(&demotion_);
    if (value != reinterpret_cast<uintptr_t>(registered)) return;
    if (demotion_.function == nullptr) return;
    qverr::Status status;
    try {
        demotion_.function(demotion_.context, kDemotionEventCode, &status);
    } catch (...) {
        // A host callback that throws must not end the reader thread.
    }
}

void ARKRoutingAdaptorSession::getHandledConstraints(char** text) {
    if (text == nullptr) qv3377hal::throwNullArgument("qvark_debug", "null output pointer");
    handToHost(realloc_, text, formatHandledConstraints());
}

uint32_t ARKRoutingAdaptorSession::calculateRoute(const char* seedsText,
                                                  const char* destinationsText,
                                                  const char* modifiersText, char** result) {
    if (result == nullptr) qv3377hal::throwNullArgument("qvark_debug", "null output pointer");
    const std::vector<RouteSeed> seeds = parseSeeds(seedsText, *terminals_);
    const std::vector<uint32_t> destinations = parseDestinations(destinationsText, *terminals_);
    const RouteModifierFlags flags = parseModifiers(modifiersText);
    if (seeds.empty() || destinations.empty() || flags.unrecognisedRequired) {
        handEmptyToHost(realloc_, result);
        return 0;
    }
    uint32_t capacity = static_cast<uint32_t>(2 * destinations.size());
    std::vector<RoutePathEntry> entries(capacity);
    auto send = [&](uint32_t& count, tStatus& status) {
        count = static_cast<uint32_t>(entries.size());
        return proxy_.calculateRoute(sessionId(), reinterpret_cast<uintptr_t>(seeds.data()),
                                     static_cast<uint32_t>(seeds.size()),
                                     reinterpret_cast<uintptr_t>(destinations.data()),
                                     static_cast<uint32_t>(destinations.size()), flags.bits,
                                     reinterpret_cast<uintptr_t>(entries.data()), &count, status);
    };
    tStatus status;
    uint32_t count = 0;
    uint32_t ticket = send(count, status);
    if (!status.isError() && count > entries.size()) {
        // More legs than room: the driver kept only what fitted. Drop that
        // route and ask once more with room for all of them.
        tStatus ignored;
        proxy_.destroyRoute(ticket, ignored);
        entries.assign(count, RoutePathEntry{});
        ticket = send(count, status);
        if (!status.isError() && count > entries.size()) {
            tStatus again;
            proxy_.destroyRoute(ticket, again);
            handEmptyToHost(realloc_, result);
            QVERR_THROW_WITH_MESSAGE(qv3377hal::kComponent, qverr::qvapalerr_bufferTooSmall,
                                     "qvapalerr_bufferTooSmall", "qvark_debug",
                                     "route has more entries than the reply holds");
        }
    }
    if (status.isError()) {
        handEmptyToHost(realloc_, result);
        qverr::throwIfTStatusError(status);
    }
    entries.resize(count);
    handToHost(realloc_, result, formatRouteResult(entries, *terminals_));
    return ticket;
}

void ARKRoutingAdaptorSession::reserveRoute(uint32_t ticket, char** conflictsText) {
    if (conflictsText == nullptr)
        qv3377hal::throwNullArgument("qvark_debug", "null output pointer");
    std::vector<ReservationConflict> conflicts(kConflictCapacity);
    uint32_t count = kConflictCapacity;
    tStatus status;
    proxy_.reserveRoute(ticket, reinterpret_cast<uintptr_t>(conflicts.data()), &count, status);
    if (status.getCode() == kReservationConflictStatus) {
        // The driver fills at most the capacity: hand back only those.
        conflicts.resize(std::min(count, kConflictCapacity));
        handToHost(realloc_, conflictsText, formatConflicts(conflicts));
    }
    qverr::throwIfTStatusError(status);
}

namespace {

template <class Request>
void sendTicketRequest(Request&& request) {
    tStatus status;
    request(status);
    qverr::throwIfTStatusError(status);
}

}  // namespace

void ARKRoutingAdaptorSession::programRoute(uint32_t ticket) {
    sendTicketRequest([&](tStatus& status) { proxy_.programRoute(ticket, status); });
}

void ARKRoutingAdaptorSession::unprogramRoute(uint32_t ticket) {
    sendTicketRequest([&](tStatus& status) { proxy_.unprogramRoute(ticket, status); });
}

void ARKRoutingAdaptorSession::unreserveRoute(uint32_t ticket) {
    sendTicketRequest([&](tStatus& status) { proxy_.unreserveRoute(ticket, status); });
}

void ARKRoutingAdaptorSession::beginExceptionalRouteDestruction(uint32_t) {}

void ARKRoutingAdaptorSession::destroyRoute(uint32_t ticket) {
    sendTicketRequest([&](tStatus& status) { proxy_.destroyRoute(ticket, status); });
}

void ARKRoutingAdaptorSession::getRouteTerminalPath(uint32_t ticket, char** path) {
    if (path == nullptr) qv3377hal::throwNullArgument("qvark_debug", "null output pointer");
    std::vector<uint32_t> ids(pathCapacity());
    uint32_t count = static_cast<uint32_t>(ids.size());
    tStatus status;
    proxy_.getRouteTerminalPath(ticket, reinterpret_cast<uintptr_t>(ids.data()), &count, status);
    if (status.getCode() == qverr::qvapalerr_bufferTooSmall) {
        ids.assign(count, 0);
        raisePathCapacity(count);
        status = tStatus{};
        proxy_.getRouteTerminalPath(ticket, reinterpret_cast<uintptr_t>(ids.data()), &count,
                                    status);
    }
    qverr::throwIfTStatusError(status);
    // Never more than the driver could have written.
    ids.resize(std::min<size_t>(count, ids.size()));
    handToHost(realloc_, path, formatTerminalPath(ids, *terminals_));
}

qvroco::TerminalIteratorInterface* ARKRoutingAdaptorSession::getAllTerminals() {
    return new ARKTerminalIterator(*this);
}

uint32_t ARKRoutingAdaptorSession::calculateResetTerminal(
    qvroco::TerminalIteratorInterface& iterator, const char* mode) {
    const bool floating = parseResetMode(mode);
    auto* own = dynamic_cast<ARKTerminalIterator*>(&iterator);
    if (own == nullptr)
        qv3377hal::throwNullArgument("qvark_debug", "iterator not made by this adaptor");
    tStatus status;
    const uint32_t result =
        proxy_.calculateResetTerminal(sessionId(), own->current().id, floating ? 1 : 0, status);
    qverr::throwIfTStatusError(status);
    return result;
}

}  // namespace qvark
