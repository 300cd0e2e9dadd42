// The driver's routing session (context 25): routes the device's trigger and
// event signals to and from outside terminals and between terminals through
// the route-control library, commits or resets all routes with one message,
// and names each signal's terminal.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "qvroco/RoCoSession.h"
#include "qvroco/RouteSetting.h"

namespace routinghal {

inline constexpr uint32_t kMessageCommit = 2;
inline constexpr uint32_t kMessageReset = 3;
// The library's code that ends a reset quietly.
inline constexpr int32_t kResetEndedCode = -89130;

class RoutingHALInterface {
public:
    virtual ~RoutingHALInterface() = default;
    virtual void sendMessage(uint32_t message) = 0;
    virtual void deployImportSignal(uint32_t id, const char* terminals) = 0;
    virtual void deployExportSignal(uint32_t id, const char* terminals) = 0;
    virtual void deployInternalSignal(const char* source, const char* destination) = 0;
    virtual const char* getTerminalName(uint32_t id) = 0;
};

class RoutingHALSession : public RoutingHALInterface {
public:
    // subsystem is "/ai/0" or "/ao/0".
    RoutingHALSession(std::string resourceName, std::string subsystem,
                      std::unique_ptr<rocout::RoCoSessionInterface> roco);
    RoutingHALSession(const RoutingHALSession&) = delete;
    RoutingHALSession& operator=(const RoutingHALSession&) = delete;

    void sendMessage(uint32_t message) override;
    void deployImportSignal(uint32_t id, const char* terminals) override;
    void deployExportSignal(uint32_t id, const char* terminals) override;
    void deployInternalSignal(const char* source, const char* destination) override;
    const char* getTerminalName(uint32_t id) override;

    size_t internalRouteCount() const { return internalRoutes_.size(); }
    const std::vector<std::string>& pfiTerminals() const { return pfiTerminals_; }

private:
    void commit();
    void reset();
    void enumeratePfiTerminals();

    // Declared in reverse order of destruction: the route settings go
    // before the route-control session they use.
    std::string resourceName_;
    std::string subsystem_;
    std::string prefix_;
    std::unique_ptr<rocout::RoCoSessionInterface> roco_;
    std::map<uint32_t, rocout::RouteSetting> importRoutes_;
    std::map<uint32_t, rocout::RouteSetting> exportRoutes_;
    std::map<std::pair<std::string, std::string>, std::unique_ptr<rocout::RouteSetting>>
        internalRoutes_;
    std::map<uint32_t, std::string> terminalNames_;
    std::vector<std::string> pfiTerminals_;
    bool pfiTerminalsKnown_ = false;
};

}  // namespace routinghal
