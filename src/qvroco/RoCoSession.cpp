#include "qvroco/RoCoSession.h"

#include "qverr/Exception.h"
#include "qverr/StatusThrowGuard.h"

namespace rocout {

RoCoSession::RoCoSession(const char* libraryName)
    : library_(libraryName, loadStatus_), table_(&library_) {}

RoCoSession::~RoCoSession() {
    if (table_->has_destroySession()) {
        if (main_ != nullptr) table_->destroySession(main_);
        main_ = nullptr;
        if (reset_ != nullptr) table_->destroySession(reset_);
        reset_ = nullptr;
    }
}

void RoCoSession::throwIfNotLoaded() const {
    if (!loadStatus_.isError()) return;
    qverr::Status copy;
    copy.assign(loadStatus_);
    qverr::throwStatus(std::move(copy));
}

void* RoCoSession::newLibrarySession() {
    throwIfNotLoaded();
    return qverr::callWithStatus([&](qverr::Status* st) { return table_->createSession(st); });
}

void* RoCoSession::mainSession() {
    if (main_ == nullptr) main_ = newLibrarySession();
    return main_;
}

uint32_t RoCoSession::calculateRoute(const char* source, const char* destination,
                                     void* attributes) {
    void* s = mainSession();
    return qverr::callWithStatus([&](qverr::Status* st) {
        return table_->calculateRoute(s, source, destination, attributes, st);
    });
}

void RoCoSession::reserveRoute(uint32_t id) {
    void* s = mainSession();
    qverr::callWithStatus([&](qverr::Status* st) { table_->reserveRoute(s, id, st); });
}

void RoCoSession::programRoute(uint32_t id) {
    void* s = mainSession();
    qverr::callWithStatus([&](qverr::Status* st) { table_->programRoute(s, id, st); });
}

void RoCoSession::unprogramRoute(uint32_t id) {
    void* s = mainSession();
    qverr::callWithStatus([&](qverr::Status* st) { table_->unprogramRoute(s, id, st); });
}

void RoCoSession::unreserveRoute(uint32_t id) {
    void* s = mainSession();
    qverr::callWithStatus([&](qverr::Status* st) { table_->unreserveRoute(s, id, st); });
}

void RoCoSession::destroyRoute(uint32_t id) {
    void* s = mainSession();
    qverr::callWithStatus([&](qverr::Status* st) { table_->destroyRoute(s, id, st); });
}

void RoCoSession::resetTerminal(const char* terminal, const char* state) {
    void* s = mainSession();
    qverr::callWithStatus(
        [&](qverr::Status* st) { table_->resetTerminal(s, terminal, state, st); });
}

uint32_t RoCoSession::calculateResetTerminal(void* a, void* b) {
    void* s = mainSession();
    return qverr::callWithStatus(
        [&](qverr::Status* st) { return table_->calculateResetTerminal(s, a, b, st); });
}

void RoCoSession::destroyImmediateRoute(void* a, void* b) {
    void* s = mainSession();
    qverr::callWithStatus([&](qverr::Status* st) { table_->destroyImmediateRoute(s, a, b, st); });
}

void RoCoSession::initiateDeviceReset(const char* device) {
    throwIfNotLoaded();
    if (reset_ != nullptr) {
        table_->destroySession(reset_);
        reset_ = nullptr;
    }
    reset_ = newLibrarySession();
    qverr::callWithStatus(
        [&](qverr::Status* st) { table_->initiateDeviceReset(reset_, device, st); });
}

void RoCoSession::completeDeviceReset(const char* device) {
    if (reset_ == nullptr) reset_ = newLibrarySession();
    qverr::callWithStatus(
        [&](qverr::Status* st) { table_->completeDeviceReset(reset_, device, st); });
}

void* RoCoSession::getTerminalNamesAndAttributesForDevice(
    const char* device, const std::vector<std::string>& attributeNames) {
    std::vector<const char*> names;
    names.reserve(attributeNames.size() + 1);
    for (const std::string& name : attributeNames) names.push_back(name.c_str());
    names.push_back(nullptr);
    void* s = mainSession();
    return qverr::callWithStatus([&](qverr::Status* st) {
        return table_->getTerminalNamesAndAttributesForDevice(s, device, names.data(), st);
    });
}

void* RoCoSession::terminalContainerBegin(void* container) {
    return table_->TerminalContainer_begin(container);
}

void RoCoSession::terminalIteratorNext(void** iterator) {
    table_->TerminalIterator_next(iterator);
}

bool RoCoSession::terminalIteratorIsEnd(void* container, void* iterator) {
    return table_->TerminalIterator_isEnd(container, iterator) != 0;
}

void RoCoSession::destroyTerminalContainer(void* container) {
    table_->TerminalContainer_destroy(container);
}

const char* RoCoSession::getTerminalStringAttribute(void* container, void* iterator,
                                                    const char* name) {
    return qverr::callWithStatus([&](qverr::Status* st) {
        return table_->TerminalIterator_getStringAttribute(container, iterator, name, st);
    });
}

uint32_t RoCoSession::getTerminalBoolAttribute(void* container, void* iterator, const char* name) {
    return qverr::callWithStatus([&](qverr::Status* st) {
        return table_->TerminalIterator_getBoolAttribute(container, iterator, name, st);
    });
}

void* RoCoSession::newRouteAttributes() {
    throwIfNotLoaded();
    return qverr::callWithStatus(
        [&](qverr::Status* st) { return table_->RouteAttributes_new(st); });
}

void RoCoSession::destroyRouteAttributes(void* attributes) {
    table_->RouteAttributes_destroy(attributes);
}

void RoCoSession::setCalculationTargetState(void* attributes, uint32_t state) {
    qverr::callWithStatus([&](qverr::Status* st) {
        table_->RouteAttributes_setCalculationTargetState(attributes, state, st);
    });
}

uint32_t RoCoSession::validateTerminalURI(const char* uri) {
    void* s = mainSession();
    return qverr::callWithStatus(
        [&](qverr::Status* st) { return table_->validateTerminalURI(s, uri, st); });
}

uint32_t RoCoSession::areTerminalURIsEqual(const char* a, const char* b) {
    void* s = mainSession();
    return qverr::callWithStatus(
        [&](qverr::Status* st) { return table_->areTerminalURIsEqual(s, a, b, st); });
}

}  // namespace rocout
