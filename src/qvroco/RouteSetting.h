// The routing of one signal: one source, the wanted destinations, and the
// library routes made from sources to destinations. Changes are staged and
// brought into the library in two steps (release what is no longer wanted,
// then program what is), reusing routes that are still calculated.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "qvroco/RoCoSession.h"

namespace rocout {

// Trims white space and prefixes "/" + qualifier + "/" unless the name is
// already qualified (longer than 3 bytes, "/" first, another "/" after it).
std::string qualifyTerminalName(std::string_view name, std::string_view qualifier);
// The name under full Unicode case folding (lenient UTF-8 decoding).
std::string foldTerminalName(std::string_view name);

// Route attributes asked of the library, destroyed with this object.
class ScopedRouteAttributes {
public:
    explicit ScopedRouteAttributes(RoCoSessionInterface& session)
        : session_(&session), handle_(session.newRouteAttributes()), owned_(true) {}
    ScopedRouteAttributes(const ScopedRouteAttributes&) = delete;
    ScopedRouteAttributes& operator=(const ScopedRouteAttributes&) = delete;
    ~ScopedRouteAttributes() {
        if (owned_) session_->destroyRouteAttributes(handle_);
    }

    void* get() const { return handle_; }
    void setCalculationTargetState(uint32_t state) {
        session_->setCalculationTargetState(handle_, state);
    }

private:
    RoCoSessionInterface* session_;
    void* handle_;
    bool owned_;
};

enum class RouteState : uint32_t { none = 0, calculated = 1, reserved = 2, programmed = 3 };

// One library route; destroyed in the library with this object.
class Route {
public:
    explicit Route(RoCoSessionInterface& session) : session_(&session) {}
    Route(const Route&) = delete;
    Route& operator=(const Route&) = delete;
    ~Route();

    // Brings a new route to `target` (calculated, reserved or programmed).
    void create(const std::string& source, const std::string& destination, RouteState target);
    void reserve();
    void program();
    void unprogram();
    void unreserve();
    void destroy();

    RouteState state() const { return state_; }
    bool programmed() const { return state_ > RouteState::reserved; }
    uint32_t id() const { return id_; }
    const std::string& destination() const { return destination_; }

private:
    void* attributes();

    RoCoSessionInterface* session_;
    RouteState state_ = RouteState::none;
    uint32_t id_ = 0;
    std::string source_;
    std::string destination_;
    std::unique_ptr<ScopedRouteAttributes> attributes_;
};

class RouteSettingInterface {
public:
    virtual ~RouteSettingInterface() = default;
    virtual void setSource(const std::string& name) = 0;
    virtual void setDestinations(const std::string& list) = 0;
    virtual void releaseAllRoutes() = 0;
    virtual void releaseStaleRoutes() = 0;
    virtual void applyRoutes() = 0;
};

class RouteSetting : public RouteSettingInterface {
public:
    RouteSetting(RoCoSessionInterface& session, std::string qualifier)
        : session_(&session), qualifier_(std::move(qualifier)) {}

    void setSource(const std::string& name) override;
    void setDestinations(const std::string& list) override;
    void releaseAllRoutes() override;
    void releaseStaleRoutes() override;
    void applyRoutes() override;

    const std::string& source() const { return source_; }
    const std::string& appliedSource() const { return appliedSource_; }
    const std::map<std::string, std::string>& destinations() const { return destinations_; }

private:
    using RouteKey = std::pair<std::string, std::string>;

    RoCoSessionInterface* session_;
    std::string qualifier_;
    std::string source_;
    std::string sourceKey_;
    std::string appliedSource_;
    std::string appliedSourceKey_;
    std::map<std::string, std::string> destinations_;
    std::map<RouteKey, std::unique_ptr<Route>> routes_;
};

}  // namespace rocout
