// The one way into the route-control library: owns the loaded library and
// its two library sessions (routes and terminals; device resets), and turns
// every library error into a thrown qverr::Exception.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "qvdynlib/qvdynlib.h"
#include "qverr/Status.h"
#include "qvroco/RoCoLib.h"

namespace rocout {

inline constexpr const char* kRoCoLibraryName = "libqvrocoapi.so.1";

class RoCoSessionInterface {
public:
    virtual ~RoCoSessionInterface() = default;
    virtual uint32_t calculateRoute(const char* source, const char* destination,
                                    void* attributes) = 0;
    virtual void reserveRoute(uint32_t id) = 0;
    virtual void programRoute(uint32_t id) = 0;
    virtual void unprogramRoute(uint32_t id) = 0;
    virtual void unreserveRoute(uint32_t id) = 0;
    virtual void destroyRoute(uint32_t id) = 0;
    virtual void resetTerminal(const char* terminal, const char* state) = 0;
    virtual uint32_t calculateResetTerminal(void* a, void* b) = 0;
    virtual void destroyImmediateRoute(void* a, void* b) = 0;
    virtual void initiateDeviceReset(const char* device) = 0;
    virtual void completeDeviceReset(const char* device) = 0;
    virtual void* getTerminalNamesAndAttributesForDevice(
        const char* device, const std::vector<std::string>& attributeNames) = 0;
    virtual void* terminalContainerBegin(void* container) = 0;
    virtual void terminalIteratorNext(void** iterator) = 0;
    virtual bool terminalIteratorIsEnd(void* container, void* iterator) = 0;
    virtual void destroyTerminalContainer(void* container) = 0;
    virtual const char* getTerminalStringAttribute(void* container, void* iterator,
                                                   const char* name) = 0;
    virtual uint32_t getTerminalBoolAttribute(void* container, void* iterator,
                                              const char* name) = 0;
    virtual void* newRouteAttributes() = 0;
    virtual void destroyRouteAttributes(void* attributes) = 0;
    virtual void setCalculationTargetState(void* attributes, uint32_t state) = 0;
    virtual uint32_t validateTerminalURI(const char* uri) = 0;
    virtual uint32_t areTerminalURIsEqual(const char* a, const char* b) = 0;
};

class RoCoSession : public RoCoSessionInterface {
public:
    // Loads the library by name from the linker's search path; a missing
    // library or symbol is thrown by the first operation that needs it.
    explicit RoCoSession(const char* libraryName = kRoCoLibraryName);
    RoCoSession(const RoCoSession&) = delete;
    RoCoSession& operator=(const RoCoSession&) = delete;
    ~RoCoSession() override;

    uint32_t calculateRoute(const char* source, const char* destination, void* attributes) override;
    void reserveRoute(uint32_t id) override;
    void programRoute(uint32_t id) override;
    void unprogramRoute(uint32_t id) override;
    void unreserveRoute(uint32_t id) override;
    void destroyRoute(uint32_t id) override;
    void resetTerminal(const char* terminal, const char* state) override;
    uint32_t calculateResetTerminal(void* a, void* b) override;
    void destroyImmediateRoute(void* a, void* b) override;
    void initiateDeviceReset(const char* device) override;
    void completeDeviceReset(const char* device) override;
    void* getTerminalNamesAndAttributesForDevice(
        const char* device, const std::vector<std::string>& attributeNames) override;
    void* terminalContainerBegin(void* container) override;
    void terminalIteratorNext(void** iterator) override;
    bool terminalIteratorIsEnd(void* container, void* iterator) override;
    void destroyTerminalContainer(void* container) override;
    const char* getTerminalStringAttribute(void* container, void* iterator,
                                           const char* name) override;
    uint32_t getTerminalBoolAttribute(void* container, void* iterator, const char* name) override;
    void* newRouteAttributes() override;
    void destroyRouteAttributes(void* attributes) override;
    void setCalculationTargetState(void* attributes, uint32_t state) override;
    uint32_t validateTerminalURI(const char* uri) override;
    uint32_t areTerminalURIsEqual(const char* a, const char* b) override;

private:
    void throwIfNotLoaded() const;
    void* newLibrarySession();
    void* mainSession();

    void* main_ = nullptr;
    void* reset_ = nullptr;
    qverr::Status loadStatus_;
    qvdynlib::AutoLibWithInterface<qvrocoapi::dynlib::RoCoLib> library_;
    qvrocoapi::dynlib::RoCoLibInterface* table_;
};

// A terminal container of one device, destroyed with the holder.
class TerminalContainerHolder {
public:
    TerminalContainerHolder(RoCoSessionInterface& session, const char* device,
                            const std::vector<std::string>& attributeNames)
        : session_(&session),
          container_(session.getTerminalNamesAndAttributesForDevice(device, attributeNames)) {}
    TerminalContainerHolder(const TerminalContainerHolder&) = delete;
    TerminalContainerHolder& operator=(const TerminalContainerHolder&) = delete;
    ~TerminalContainerHolder() { session_->destroyTerminalContainer(container_); }

    void* get() const { return container_; }

private:
    RoCoSessionInterface* session_;
    void* container_;
};

// One position in a terminal container.
struct TerminalCursor {
    RoCoSessionInterface* session;
    void* container;
    void* iterator;

    std::string stringAttribute(const char* name) const {
        const char* text = session->getTerminalStringAttribute(container, iterator, name);
        return text != nullptr ? std::string(text) : std::string();
    }
    std::string name() const { return stringAttribute("name"); }
};

}  // namespace rocout
