// Stand-in of the route-control library, libqvrocoapi.so.1: a model of
// library sessions, routes and the terminals of devices. It refuses routes
// it cannot make and a destination that another route holds, writes its
// errors into the caller's status record through that record's own
// reallocation function, logs every call, and fails calls on request
// (qvrocosim_* controls, for tests).
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#define QVROCO_API extern "C" __attribute__((visibility("default")))

namespace {

// The caller's status record, as the library's callers lay it out.
struct StatusRecord {
    int32_t code;
    uint32_t capacity;
    bool (*reallocate)(StatusRecord* status, uint32_t size);
    char* json;
};

constexpr int32_t kErrorImpossibleRoute = -89120;
constexpr int32_t kErrorDestinationInUse = -89121;
constexpr int32_t kErrorWrongRouteState = -89122;
constexpr int32_t kErrorUnknownHandle = -89123;
constexpr int32_t kErrorUnknownAttribute = -89124;

enum class State { calculated, reserved, programmed };

struct Route {
    void* session;
    std::string source;
    std::string destination;
    State state;
};

struct Container {
    std::vector<std::string> names;
};

struct Attributes {
    uint32_t targetState = 0;
};

struct Model {
    std::set<void*> sessions;
    std::map<uint32_t, Route> routes;
    std::set<Container*> containers;
    std::set<Attributes*> attributes;
    uint32_t nextRoute = 1;
    uintptr_t nextSession = 0x5e55000;
    std::vector<std::string> terminals{"PFI0",      "PFI1",     "PFI2 ", "PXI_Trig0",
                                       "PXI_Trig1", "PXI_Star", "PFIX"};
    std::string log;
    bool logging = true;
    uint32_t calls = 0;
    uint32_t failAt = 0;
    int32_t failAtCode = 0;
    std::map<std::string, int32_t> failEntries;
};

Model& model() {
    static Model* instance = new Model;  // outlives every caller's static destructor
    return *instance;
}

std::string lower(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

void writeError(StatusRecord* st, int32_t code, const char* entry, const std::string& message) {
    if (st == nullptr) return;
    st->code = code;
    const std::string json = std::string("{\"qvrocoapi\":{\"function\":\"") + entry +
                             "\",\"message\":\"" + message + "\"}}";
    // One byte beyond the text stays the caller's: its writer keeps an end
    // marker in the buffer's last byte.
    if (st->reallocate != nullptr && st->reallocate(st, static_cast<uint32_t>(json.size() + 2)) &&
        st->json != nullptr && st->capacity > json.size() + 1) {
        std::memcpy(st->json, json.c_str(), json.size() + 1);
    }
}

// Logs the call and reports an injected failure: a negative code fails the
// call, a positive one is a warning and the call goes on.
bool enter(const char* entry, const std::string& arguments, StatusRecord* st) {
    Model& m = model();
    if (m.logging) {
        m.log += entry;
        if (!arguments.empty()) m.log += " " + arguments;
        m.log += "\n";
    }
    ++m.calls;
    int32_t code = 0;
    if (m.failAt != 0 && m.calls == m.failAt) code = m.failAtCode;
    auto found = m.failEntries.find(entry);
    if (found != m.failEntries.end()) code = found->second;
    if (code == 0) return true;
    if (code > 0) {
        if (st != nullptr) st->code = code;
        return true;
    }
    writeError(st, code, entry, "injected failure");
    return false;
}

const char* text(const char* value) {
    return value != nullptr ? value : "(null)";
}

Route* findRoute(void* session, uint32_t id, const char* entry, StatusRecord* st) {
    auto found = model().routes.find(id);
    if (found == model().routes.end() || found->second.session != session) {
        writeError(st, kErrorUnknownHandle, entry, "unknown route " + std::to_string(id));
        return nullptr;
    }
    return &found->second;
}

bool sessionKnown(void* session, const char* entry, StatusRecord* st) {
    if (model().sessions.count(session) != 0) return true;
    writeError(st, kErrorUnknownHandle, entry, "unknown session");
    return false;
}

bool reserve(uint32_t id, Route& route, const char* entry, StatusRecord* st) {
    if (route.state != State::calculated) {
        writeError(st, kErrorWrongRouteState, entry, "route is not calculated");
        return false;
    }
    const std::string key = lower(route.destination);
    for (const auto& [otherId, other] : model().routes) {
        if (otherId != id && other.state != State::calculated && lower(other.destination) == key) {
            writeError(st, kErrorDestinationInUse, entry,
                       "destination in use: " + route.destination);
            return false;
        }
    }
    route.state = State::reserved;
    return true;
}

// A terminal name the model can route: "/" + device + "/" + terminal.
bool wellFormed(const char* name) {
    return name != nullptr && name[0] == '/' && std::strlen(name) > 3 &&
           std::strchr(name + 1, '/') != nullptr;
}

}  // namespace

// --- Controls for tests ---------------------------------------------------

QVROCO_API void qvrocosim_reset() {
    Model& m = model();
    m.sessions.clear();
    m.routes.clear();
    for (Container* c : m.containers) delete c;
    m.containers.clear();
    for (Attributes* a : m.attributes) delete a;
    m.attributes.clear();
    m.log.clear();
    m.logging = true;
    m.nextRoute = 1;
    m.calls = 0;
    m.failAt = 0;
    m.failEntries.clear();
    m.terminals = {"PFI0", "PFI1", "PFI2 ", "PXI_Trig0", "PXI_Trig1", "PXI_Star", "PFIX"};
}
// The n-th logged call from now (1 = the next) fails with code; 0 clears.
QVROCO_API void qvrocosim_failCall(uint32_t n, int32_t code) {
    model().failAt = n == 0 ? 0 : model().calls + n;
    model().failAtCode = code;
}
// Every call of the entry (name without "qvrocoapi_") gets code; 0 clears.
QVROCO_API void qvrocosim_failEntry(const char* entry, int32_t code) {
    if (code == 0) {
        model().failEntries.erase(entry);
    } else {
        model().failEntries[entry] = code;
    }
}
QVROCO_API const char* qvrocosim_log() {
    return model().log.c_str();
}
QVROCO_API void qvrocosim_clearLog() {
    model().log.clear();
}
// Off for long runs (benchmarks): calls are still counted.
QVROCO_API void qvrocosim_setLogging(int on) {
    model().logging = on != 0;
}
QVROCO_API uint32_t qvrocosim_callCount() {
    return model().calls;
}
// The device's terminals, comma-separated.
QVROCO_API void qvrocosim_setTerminals(const char* list) {
    std::vector<std::string> names;
    std::string all = list;
    size_t start = 0;
    while (start <= all.size()) {
        size_t comma = all.find(',', start);
        if (comma == std::string::npos) comma = all.size();
        if (comma > start) names.push_back(all.substr(start, comma - start));
        start = comma + 1;
    }
    model().terminals = names;
}
QVROCO_API uint32_t qvrocosim_routeCount() {
    return static_cast<uint32_t>(model().routes.size());
}
QVROCO_API uint32_t qvrocosim_programmedRouteCount() {
    uint32_t count = 0;
    for (const auto& entry : model().routes) count += entry.second.state == State::programmed;
    return count;
}
QVROCO_API uint32_t qvrocosim_liveSessionCount() {
    return static_cast<uint32_t>(model().sessions.size());
}
QVROCO_API uint32_t qvrocosim_liveObjectCount() {
    return static_cast<uint32_t>(model().containers.size() + model().attributes.size());
}

// --- Sessions -----------------------------------------------------------------

QVROCO_API void* qvrocoapi_createSession(StatusRecord* st) {
    if (!enter("createSession", "", st)) return nullptr;
    void* session = reinterpret_cast<void*>(model().nextSession += 0x10);
    model().sessions.insert(session);
    return session;
}
QVROCO_API void* qvrocoapi_createRemoteSession(void*, void*) {
    return nullptr;
}
QVROCO_API void* qvrocoapi_createImmediateSession(void*) {
    return nullptr;
}
QVROCO_API void qvrocoapi_destroySession(void* session) {
    enter("destroySession", "", nullptr);
    Model& m = model();
    m.sessions.erase(session);
    for (auto it = m.routes.begin(); it != m.routes.end();) {
        it = it->second.session == session ? m.routes.erase(it) : std::next(it);
    }
}

// --- Routes -------------------------------------------------------------------

QVROCO_API uint32_t qvrocoapi_calculateRoute(void* session, const char* source,
                                             const char* destination, void* attributes,
                                             StatusRecord* st) {
    if (!enter("calculateRoute", std::string(text(source)) + " " + text(destination), st)) return 0;
    if (!sessionKnown(session, "calculateRoute", st)) return 0;
    if (!wellFormed(source) || !wellFormed(destination) || lower(source) == lower(destination)) {
        writeError(st, kErrorImpossibleRoute, "calculateRoute",
                   std::string("no route from ") + text(source) + " to " + text(destination));
        return 0;
    }
    uint32_t target = 0;
    if (attributes != nullptr) {
        auto* a = static_cast<Attributes*>(attributes);
        if (model().attributes.count(a) == 0) {
            writeError(st, kErrorUnknownHandle, "calculateRoute", "unknown route attributes");
            return 0;
        }
        target = a->targetState;
    }
    const uint32_t id = model().nextRoute++;
    Route route{session, source, destination, State::calculated};
    if (target >= 1 && !reserve(id, route, "calculateRoute", st)) return 0;
    if (target >= 2) route.state = State::programmed;
    model().routes.emplace(id, route);
    return id;
}

QVROCO_API void qvrocoapi_reserveRoute(void* session, uint32_t id, StatusRecord* st) {
    if (!enter("reserveRoute", std::to_string(id), st)) return;
    if (Route* route = findRoute(session, id, "reserveRoute", st))
        reserve(id, *route, "reserveRoute", st);
}

QVROCO_API void qvrocoapi_programRoute(void* session, uint32_t id, StatusRecord* st) {
    if (!enter("programRoute", std::to_string(id), st)) return;
    Route* route = findRoute(session, id, "programRoute", st);
    if (route == nullptr) return;
    if (route->state != State::reserved) {
        writeError(st, kErrorWrongRouteState, "programRoute", "route is not reserved");
        return;
    }
    route->state = State::programmed;
}

QVROCO_API void qvrocoapi_unprogramRoute(void* session, uint32_t id, StatusRecord* st) {
    if (!enter("unprogramRoute", std::to_string(id), st)) return;
    Route* route = findRoute(session, id, "unprogramRoute", st);
    if (route == nullptr) return;
    if (route->state != State::programmed) {
        writeError(st, kErrorWrongRouteState, "unprogramRoute", "route is not programmed");
        return;
    }
    route->state = State::reserved;
}

QVROCO_API void qvrocoapi_unreserveRoute(void* session, uint32_t id, StatusRecord* st) {
    if (!enter("unreserveRoute", std::to_string(id), st)) return;
    Route* route = findRoute(session, id, "unreserveRoute", st);
    if (route == nullptr) return;
    if (route->state != State::reserved) {
        writeError(st, kErrorWrongRouteState, "unreserveRoute", "route is not reserved");
        return;
    }
    route->state = State::calculated;
}

QVROCO_API void qvrocoapi_destroyRoute(void* session, uint32_t id, StatusRecord* st) {
    if (!enter("destroyRoute", std::to_string(id), st)) return;
    if (findRoute(session, id, "destroyRoute", st) != nullptr) model().routes.erase(id);
}

QVROCO_API void qvrocoapi_destroyImmediateRoute(void*, void*, void*, StatusRecord* st) {
    enter("destroyImmediateRoute", "", st);
}
QVROCO_API void qvrocoapi_destroyAllImmediateRoutes(void*, void*) {}
QVROCO_API void qvrocoapi_destroyImmediateRoutesOnDevice(void*, void*, void*) {}
QVROCO_API void qvrocoapi_destroyImmediateRoutesFromSource(void*, void*, void*) {}
QVROCO_API void qvrocoapi_destroyImmediateRoutesToDest(void*, void*, void*) {}
QVROCO_API void* qvrocoapi_showRoute(void*, uint32_t, void*) {
    return nullptr;
}
#ifndef QVROCOSIM_LACKING_ONE
QVROCO_API void* qvrocoapi_getRouteInfo(void*, uint32_t, void*) {
    return nullptr;
}
#endif

// --- Devices (not modelled) ---------------------------------------------------

QVROCO_API void* qvrocoapi_DeviceContainer_begin(void*) {
    return nullptr;
}
QVROCO_API void qvrocoapi_DeviceIterator_next(void*) {}
QVROCO_API void* qvrocoapi_DeviceIterator_getTerminalContainer(void*, void*) {
    return nullptr;
}
QVROCO_API void* qvrocoapi_DeviceIterator_getDeviceName(void*, void*) {
    return nullptr;
}
QVROCO_API uint8_t qvrocoapi_DeviceIterator_isEnd(void*, void*) {
    return 1;
}
QVROCO_API void qvrocoapi_DeviceContainer_destroy(void*) {}
QVROCO_API uint32_t qvrocoapi_getSystemChangeNumber(void*, void*) {
    return 0;
}
QVROCO_API uint32_t qvrocoapi_hasTerminalInformationChanged(void*, uint32_t, void*) {
    return 0;
}
QVROCO_API void* qvrocoapi_getRoutableDevices(void*, void*) {
    return nullptr;
}
QVROCO_API void qvrocoapi_destroyStringArray(void*) {}
QVROCO_API void qvrocoapi_destroyString(void*) {}

// --- Terminals ----------------------------------------------------------------

QVROCO_API void* qvrocoapi_getTerminalNamesAndAttributesForDevice(void* session, const char* device,
                                                                  const char* const* names,
                                                                  StatusRecord* st) {
    size_t count = 0;
    while (names != nullptr && names[count] != nullptr) ++count;
    if (!enter("getTerminalNamesAndAttributesForDevice",
               std::string(text(device)) + " " + std::to_string(count), st)) {
        return nullptr;
    }
    if (!sessionKnown(session, "getTerminalNamesAndAttributesForDevice", st)) return nullptr;
    auto* container = new Container{model().terminals};
    model().containers.insert(container);
    return container;
}

QVROCO_API void qvrocoapi_resetTerminal(void* session, const char* terminal, const char* state,
                                        StatusRecord* st) {
    if (!enter("resetTerminal", std::string(text(terminal)) + " " + text(state), st)) return;
    sessionKnown(session, "resetTerminal", st);
}
QVROCO_API uint32_t qvrocoapi_calculateResetTerminal(void*, void*, void*, StatusRecord* st) {
    enter("calculateResetTerminal", "", st);
    return 0;
}
QVROCO_API uint32_t qvrocoapi_validateTerminalURI(void*, const char* uri, StatusRecord* st) {
    if (!enter("validateTerminalURI", text(uri), st)) return 0;
    return wellFormed(uri) ? 1 : 0;
}
QVROCO_API uint32_t qvrocoapi_areTerminalURIsEqual(void*, const char* a, const char* b,
                                                   StatusRecord* st) {
    if (!enter("areTerminalURIsEqual", std::string(text(a)) + " " + text(b), st)) return 0;
    return a != nullptr && b != nullptr && lower(a) == lower(b) ? 1 : 0;
}

// An iterator is the index of a terminal in its container.
QVROCO_API void* qvrocoapi_TerminalContainer_begin(void*) {
    return nullptr;
}
QVROCO_API void qvrocoapi_TerminalIterator_next(void** iterator) {
    *iterator = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(*iterator) + 1);
}
QVROCO_API uint8_t qvrocoapi_TerminalIterator_isEnd(void* container, void* iterator) {
    auto* c = static_cast<Container*>(container);
    return model().containers.count(c) == 0 ||
           reinterpret_cast<uintptr_t>(iterator) >= c->names.size();
}
QVROCO_API void qvrocoapi_TerminalContainer_destroy(void* container) {
    auto* c = static_cast<Container*>(container);
    if (model().containers.erase(c) != 0) delete c;
}
QVROCO_API const char* qvrocoapi_TerminalIterator_getStringAttribute(void* container,
                                                                     void* iterator,
                                                                     const char* name,
                                                                     StatusRecord* st) {
    if (!enter("TerminalIterator_getStringAttribute", text(name), st)) return nullptr;
    auto* c = static_cast<Container*>(container);
    const uintptr_t index = reinterpret_cast<uintptr_t>(iterator);
    if (model().containers.count(c) == 0 || index >= c->names.size()) {
        writeError(st, kErrorUnknownHandle, "TerminalIterator_getStringAttribute",
                   "no terminal there");
        return nullptr;
    }
    if (name == nullptr || std::strcmp(name, "name") != 0) {
        writeError(st, kErrorUnknownAttribute, "TerminalIterator_getStringAttribute",
                   std::string("unknown attribute ") + text(name));
        return nullptr;
    }
    return c->names[index].c_str();
}
QVROCO_API uint32_t qvrocoapi_TerminalIterator_getBoolAttribute(void*, void*, const char* name,
                                                                StatusRecord* st) {
    if (!enter("TerminalIterator_getBoolAttribute", text(name), st)) return 0;
    writeError(st, kErrorUnknownAttribute, "TerminalIterator_getBoolAttribute",
               std::string("unknown attribute ") + text(name));
    return 0;
}

// --- Route attributes ---------------------------------------------------------

QVROCO_API void* qvrocoapi_RouteAttributes_new(StatusRecord* st) {
    if (!enter("RouteAttributes_new", "", st)) return nullptr;
    auto* attributes = new Attributes;
    model().attributes.insert(attributes);
    return attributes;
}
QVROCO_API void qvrocoapi_RouteAttributes_destroy(void* attributes) {
    enter("RouteAttributes_destroy", "", nullptr);
    auto* a = static_cast<Attributes*>(attributes);
    if (model().attributes.erase(a) != 0) delete a;
}
QVROCO_API void* qvrocoapi_RouteAttributes_getConstraints(void*) {
    return nullptr;
}
QVROCO_API void* qvrocoapi_RouteAttributes_getSourceConstraints(void*) {
    return nullptr;
}
QVROCO_API void* qvrocoapi_RouteAttributes_getDestinationConstraints(void*) {
    return nullptr;
}
QVROCO_API void qvrocoapi_RouteAttributes_setLifetime(void*, uint32_t, void*) {}
QVROCO_API void qvrocoapi_RouteAttributes_setCalculationTargetState(void* attributes,
                                                                    uint32_t state,
                                                                    StatusRecord* st) {
    if (!enter("RouteAttributes_setCalculationTargetState", std::to_string(state), st)) return;
    auto* a = static_cast<Attributes*>(attributes);
    if (model().attributes.count(a) == 0 || state > 2) {
        writeError(st, kErrorUnknownHandle, "RouteAttributes_setCalculationTargetState",
                   "unknown route attributes or state");
        return;
    }
    a->targetState = state;
}
QVROCO_API void qvrocoapi_RouteAttributes_setForceMultiDeviceRoute(void*, uint8_t, void*) {}
QVROCO_API void qvrocoapi_RouteAttributes_setOwnerName(void*, void*, void*) {}
QVROCO_API void qvrocoapi_RouteConstraints_setBoolConstraint(void*, void*, uint8_t, void*) {}
QVROCO_API void qvrocoapi_RouteConstraints_setStringConstraint(void*, void*, void*, void*) {}
QVROCO_API void* qvrocoapi_RouteAttributes_getOptionalModifiers(void*) {
    return nullptr;
}
QVROCO_API void* qvrocoapi_RouteAttributes_getRequiredModifiers(void*) {
    return nullptr;
}
QVROCO_API void* qvrocoapi_RouteAttributes_getDestinationRequiredModifiers(void*) {
    return nullptr;
}
QVROCO_API void qvrocoapi_RouteModifiers_setBoolModifier(void*, void*, uint8_t, void*) {}
QVROCO_API void qvrocoapi_RouteModifiers_setStringModifier(void*, void*, void*, void*) {}

// --- Device reset -------------------------------------------------------------

QVROCO_API void qvrocoapi_initiateDeviceReset(void* session, const char* device, StatusRecord* st) {
    if (!enter("initiateDeviceReset", text(device), st)) return;
    sessionKnown(session, "initiateDeviceReset", st);
}
QVROCO_API void qvrocoapi_completeDeviceReset(void* session, const char* device, StatusRecord* st) {
    if (!enter("completeDeviceReset", text(device), st)) return;
    sessionKnown(session, "completeDeviceReset", st);
}
