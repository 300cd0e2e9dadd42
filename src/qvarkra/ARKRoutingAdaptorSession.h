// The routing adaptor a routing host drives: one session per module device
// file, with its own routing proxy, the module's topography and a thread
// that reads the driver's demotion notifications.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "HALUtilities/OwningProcess.h"
#include "apal_qv3377k/DriverCodes.h"
#include "apal_qv3377k/tInterfaceProxy_routing.h"
#include "qvapal/protons/io_notification/tIONotification.h"
#include "qvapal/protons/thread/tThreadController.h"
#include "qvarkra/RouteJson.h"
#include "qvarkra/Topography.h"
#include "qverr/Status.h"

namespace qvroco {

class TerminalIteratorInterface {
public:
    virtual ~TerminalIteratorInterface() = default;
    virtual void next(qverr::Status* status) = 0;
    virtual bool isEnd() = 0;
    virtual const char* getStringAttribute(const char* name, qverr::Status* status) = 0;
    virtual bool getBoolAttribute(const char* name, qverr::Status* status) = 0;
    virtual uint32_t getU32Attribute(const char* name, qverr::Status* status) = 0;
    virtual void resetTerminal(const char* mode, qverr::Status* status) = 0;
};

class RoutingAdaptorSessionInterface {
public:
    virtual ~RoutingAdaptorSessionInterface() = default;
    virtual void getHandledConstraints(char** text) = 0;
    virtual uint32_t calculateRoute(const char* seeds, const char* destinations,
                                    const char* modifiers, char** result) = 0;
    virtual void reserveRoute(uint32_t ticket, char** conflicts) = 0;
    virtual void programRoute(uint32_t ticket) = 0;
    virtual void unprogramRoute(uint32_t ticket) = 0;
    virtual void unreserveRoute(uint32_t ticket) = 0;
    virtual void beginExceptionalRouteDestruction(uint32_t ticket) = 0;
    virtual void destroyRoute(uint32_t ticket) = 0;
    virtual void getRouteTerminalPath(uint32_t ticket, char** path) = 0;
    virtual TerminalIteratorInterface* getAllTerminals() = 0;
    virtual uint32_t calculateResetTerminal(TerminalIteratorInterface& iterator,
                                            const char* mode) = 0;
};

}  // namespace qvroco

namespace qvark {

// The host's demotion callback: context, event code (always 101), a fresh
// status it may fill.
using DemotionFunction = void (*)(void* context, int32_t eventCode, qverr::Status* status);

inline constexpr int32_t kDemotionEventCode = 101;
inline constexpr uint32_t kDemotionNotificationId = 0x80000000;
inline constexpr size_t kMaxDevicePathLength = 255;
inline constexpr uint32_t kConflictCapacity = 8;
// The driver's status for a route that other reservations block.
inline constexpr int32_t kReservationConflictStatus = sdihal::kDriverErrorReservationConflict;

class ARKRoutingAdaptorSession;

class ARKTerminalIterator final : public qvroco::TerminalIteratorInterface {
public:
    explicit ARKTerminalIterator(ARKRoutingAdaptorSession& session);

    // At the end, next does nothing and the getters report -50003.
    void next(qverr::Status* status) override;
    bool isEnd() override;
    const char* getStringAttribute(const char* name, qverr::Status* status) override;
    bool getBoolAttribute(const char* name, qverr::Status* status) override;
    uint32_t getU32Attribute(const char* name, qverr::Status* status) override;
    void resetTerminal(const char* mode, qverr::Status* status) override;

    // The terminal at the current index; throws -50003 at the end.
    const TerminalInfo& current() const;
    // True when `session` is the very session that made this iterator, not
    // a later one at its address.
    bool madeBy(const ARKRoutingAdaptorSession& session) const;

private:
    const TerminalInfo* currentOrReport(qverr::Status* status) const;

    uint64_t index_ = 0;
    ARKRoutingAdaptorSession& session_;
    const uint64_t sessionSerial_;
};

class ARKRoutingAdaptorSession final : public qvroco::RoutingAdaptorSessionInterface {
public:
    // Throws qverr::Exception; nothing is left running or open then.
    ARKRoutingAdaptorSession(const char* devicePath, ReallocFunction realloc,
                             DemotionFunction demotion, void* context);
    ~ARKRoutingAdaptorSession() override;
    ARKRoutingAdaptorSession(const ARKRoutingAdaptorSession&) = delete;
    // Deletes a session of this process. A forked child's copy of its
    // parent's only closes the child's descriptor and is kept, reachable and
    // never destroyed: stopping its reader or dropping its notice
    // registration would reach the parent's through the shared device file,
    // and joining would wait for a thread the child lacks.
    static void destroy(ARKRoutingAdaptorSession* session);
    ARKRoutingAdaptorSession& operator=(const ARKRoutingAdaptorSession&) = delete;

    void getHandledConstraints(char** text) override;
    uint32_t calculateRoute(const char* seeds, const char* destinations, const char* modifiers,
                            char** result) override;
    void reserveRoute(uint32_t ticket, char** conflicts) override;
    void programRoute(uint32_t ticket) override;
    void unprogramRoute(uint32_t ticket) override;
    void unreserveRoute(uint32_t ticket) override;
    void beginExceptionalRouteDestruction(uint32_t ticket) override;
    void destroyRoute(uint32_t ticket) override;
    void getRouteTerminalPath(uint32_t ticket, char** path) override;
    qvroco::TerminalIteratorInterface* getAllTerminals() override;
    uint32_t calculateResetTerminal(qvroco::TerminalIteratorInterface& iterator,
                                    const char* mode) override;

    const TopographyInfo& topography() const { return *topography_; }
    const TerminalIndex& terminals() const { return *terminals_; }
    sdihal::tInterfaceProxy_routing& proxy() { return proxy_; }
    uint64_t sessionId() const { return reinterpret_cast<uintptr_t>(this); }
    // Unique among the sessions this process ever made, unlike the address.
    uint64_t serial() const { return serial_; }

    // The process-wide capacity of the first path request; only grows.
    static uint32_t pathCapacity();

private:
    struct Demotion : sdihal::nQVAPAL000::tDemotionNotification {
        DemotionFunction function = nullptr;
        void* context = nullptr;
    };
    // Runs the notification loop on the reader thread.
    struct ReaderLoop : sdihal::nQVAPAL000::iThread {
        ARKRoutingAdaptorSession* session = nullptr;
        void run() override;
    };

    void handleNotification(uint32_t kind, uint64_t value, const nQVAPALS100::tStatus& readStatus);
    void stopReader();

    const uint64_t serial_;
    sdihal::tInterfaceProxy_routing proxy_;
    // The reader thread and the notice registration are this process's.
    const qv3377hal::OwningProcess owner_;
    ReallocFunction realloc_;
    const TopographyInfo* topography_ = nullptr;
    const TerminalIndex* terminals_ = nullptr;
    std::unique_ptr<sdihal::nQVAPAL000::tThreadedIONotificationReader> reader_;
    sdihal::nQVAPAL000::tThreadController thread_;
    ReaderLoop loop_;
    Demotion demotion_;
    // The forked child's copy destroyed before this one.
    ARKRoutingAdaptorSession* forgottenBefore_ = nullptr;
};

// Parses a terminal reset mode: false for "default", true for "floating";
// anything else throws -50003.
bool parseResetMode(const char* mode);

}  // namespace qvark
