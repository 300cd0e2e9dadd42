// The route-control library, libqvrocoapi.so.1, bound at run time: its 57
// entry points in one table. Loading never throws; a missing library or
// symbol stays in the owner's load status until first use.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "qverr/Status.h"

namespace qvrocoapi::dynlib {

// X(name, result, parameters, arguments), in the library's table order.
// The status record is always the last argument of an entry that takes one.
#define QVROCOAPI_ENTRY_POINTS(X)                                                                 \
    X(createSession, void*, (qverr::Status * st), (st))                                           \
    X(createRemoteSession, void*, (void* a, void* b), (a, b))                                     \
    X(createImmediateSession, void*, (void* a), (a))                                              \
    X(destroySession, void, (void* session), (session))                                           \
    X(calculateRoute, uint32_t,                                                                   \
      (void* session, const char* source, const char* destination, void* attributes,              \
       qverr::Status* st),                                                                        \
      (session, source, destination, attributes, st))                                             \
    X(reserveRoute, void, (void* session, uint32_t id, qverr::Status* st), (session, id, st))     \
    X(programRoute, void, (void* session, uint32_t id, qverr::Status* st), (session, id, st))     \
    X(unprogramRoute, void, (void* session, uint32_t id, qverr::Status* st), (session, id, st))   \
    X(unreserveRoute, void, (void* session, uint32_t id, qverr::Status* st), (session, id, st))   \
    X(destroyRoute, void, (void* session, uint32_t id, qverr::Status* st), (session, id, st))     \
    X(destroyImmediateRoute, void, (void* session, void* a, void* b, qverr::Status* st),          \
      (session, a, b, st))                                                                        \
    X(destroyAllImmediateRoutes, void, (void* a, void* b), (a, b))                                \
    X(destroyImmediateRoutesOnDevice, void, (void* a, void* b, void* c), (a, b, c))               \
    X(destroyImmediateRoutesFromSource, void, (void* a, void* b, void* c), (a, b, c))             \
    X(destroyImmediateRoutesToDest, void, (void* a, void* b, void* c), (a, b, c))                 \
    X(showRoute, void*, (void* a, uint32_t b, void* c), (a, b, c))                                \
    X(getRouteInfo, void*, (void* a, uint32_t b, void* c), (a, b, c))                             \
    X(DeviceContainer_begin, void*, (void* a), (a))                                               \
    X(DeviceIterator_next, void, (void* a), (a))                                                  \
    X(DeviceIterator_getTerminalContainer, void*, (void* a, void* b), (a, b))                     \
    X(DeviceIterator_getDeviceName, void*, (void* a, void* b), (a, b))                            \
    X(DeviceIterator_isEnd, uint8_t, (void* a, void* b), (a, b))                                  \
    X(DeviceContainer_destroy, void, (void* a), (a))                                              \
    X(getSystemChangeNumber, uint32_t, (void* a, void* b), (a, b))                                \
    X(hasTerminalInformationChanged, uint32_t, (void* a, uint32_t b, void* c), (a, b, c))         \
    X(getRoutableDevices, void*, (void* a, void* b), (a, b))                                      \
    X(getTerminalNamesAndAttributesForDevice, void*,                                              \
      (void* session, const char* device, const char* const* attributeNames, qverr::Status* st),  \
      (session, device, attributeNames, st))                                                      \
    X(destroyStringArray, void, (void* a), (a))                                                   \
    X(destroyString, void, (void* a), (a))                                                        \
    X(resetTerminal, void,                                                                        \
      (void* session, const char* terminal, const char* state, qverr::Status* st),                \
      (session, terminal, state, st))                                                             \
    X(calculateResetTerminal, uint32_t, (void* session, void* a, void* b, qverr::Status* st),     \
      (session, a, b, st))                                                                        \
    X(validateTerminalURI, uint32_t, (void* session, const char* uri, qverr::Status* st),         \
      (session, uri, st))                                                                         \
    X(areTerminalURIsEqual, uint32_t,                                                             \
      (void* session, const char* a, const char* b, qverr::Status* st), (session, a, b, st))      \
    X(TerminalContainer_begin, void*, (void* container), (container))                             \
    X(TerminalIterator_next, void, (void** iterator), (iterator))                                 \
    X(TerminalIterator_isEnd, uint8_t, (void* container, void* iterator), (container, iterator))  \
    X(TerminalContainer_destroy, void, (void* container), (container))                            \
    X(TerminalIterator_getStringAttribute, const char*,                                           \
      (void* container, void* iterator, const char* name, qverr::Status* st),                     \
      (container, iterator, name, st))                                                            \
    X(TerminalIterator_getBoolAttribute, uint32_t,                                                \
      (void* container, void* iterator, const char* name, qverr::Status* st),                     \
      (container, iterator, name, st))                                                            \
    X(RouteAttributes_new, void*, (qverr::Status * st), (st))                                     \
    X(RouteAttributes_destroy, void, (void* attributes), (attributes))                            \
    X(RouteAttributes_getConstraints, void*, (void* a), (a))                                      \
    X(RouteAttributes_getSourceConstraints, void*, (void* a), (a))                                \
    X(RouteAttributes_getDestinationConstraints, void*, (void* a), (a))                           \
    X(RouteAttributes_setLifetime, void, (void* a, uint32_t b, void* c), (a, b, c))               \
    X(RouteAttributes_setCalculationTargetState, void,                                            \
      (void* attributes, uint32_t state, qverr::Status* st), (attributes, state, st))             \
    X(RouteAttributes_setForceMultiDeviceRoute, void, (void* a, uint8_t b, void* c), (a, b, c))   \
    X(RouteAttributes_setOwnerName, void, (void* a, void* b, void* c), (a, b, c))                 \
    X(RouteConstraints_setBoolConstraint, void, (void* a, void* b, uint8_t c, void* d),           \
      (a, b, c, d))                                                                               \
    X(RouteConstraints_setStringConstraint, void, (void* a, void* b, void* c, void* d),           \
      (a, b, c, d))                                                                               \
    X(RouteAttributes_getOptionalModifiers, void*, (void* a), (a))                                \
    X(RouteAttributes_getRequiredModifiers, void*, (void* a), (a))                                \
    X(RouteAttributes_getDestinationRequiredModifiers, void*, (void* a), (a))                     \
    X(RouteModifiers_setBoolModifier, void, (void* a, void* b, uint8_t c, void* d), (a, b, c, d)) \
    X(RouteModifiers_setStringModifier, void, (void* a, void* b, void* c, void* d), (a, b, c, d)) \
    X(initiateDeviceReset, void, (void* session, const char* device, qverr::Status* st),          \
      (session, device, st))                                                                      \
    X(completeDeviceReset, void, (void* session, const char* device, qverr::Status* st),          \
      (session, device, st))

class RoCoLibInterface {
public:
    virtual ~RoCoLibInterface() = default;
#define QVROCOAPI_DECLARE_SLOTS(name, result, params, args) \
    virtual bool has_##name() const = 0;                    \
    virtual result name params = 0;
    QVROCOAPI_ENTRY_POINTS(QVROCOAPI_DECLARE_SLOTS)
#undef QVROCOAPI_DECLARE_SLOTS
};

class RoCoLib : public RoCoLibInterface {
public:
#define QVROCOAPI_NAME(name, result, params, args) "qvrocoapi_" #name,
    // Full symbol names: the library's prefix is part of every name.
    static constexpr std::array kEntryPointNames{QVROCOAPI_ENTRY_POINTS(QVROCOAPI_NAME)};
#undef QVROCOAPI_NAME
    static constexpr const char* kPrefix = "";
    static constexpr const char* kSuffix = "";

    void setEntryPoint(size_t index, void* address);

#define QVROCOAPI_DEFINE_SLOTS(name, result, params, args) \
    bool has_##name() const override {                     \
        return name##_ != nullptr;                         \
    }                                                      \
    result name params override {                          \
        return name##_ args;                               \
    }
    QVROCOAPI_ENTRY_POINTS(QVROCOAPI_DEFINE_SLOTS)
#undef QVROCOAPI_DEFINE_SLOTS

private:
#define QVROCOAPI_POINTERS(name, result, params, args) result(*name##_) params = nullptr;
    QVROCOAPI_ENTRY_POINTS(QVROCOAPI_POINTERS)
#undef QVROCOAPI_POINTERS
};

}  // namespace qvrocoapi::dynlib
