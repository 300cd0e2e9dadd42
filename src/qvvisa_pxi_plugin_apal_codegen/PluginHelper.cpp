#include "qvvisa_pxi_plugin_apal_codegen/PluginHelper.h"

#include <algorithm>

#include "HALUtilities/ForkSafety.h"
#include "qverr/Exception.h"

namespace visapxipluginapalcodegen {

std::vector<std::shared_ptr<PluginSession>>::iterator PluginState::lowerBound(uint64_t handle) {
    return std::lower_bound(sessions.begin(), sessions.end(), handle,
                            [](const std::shared_ptr<PluginSession>& session, uint64_t wanted) {
                                return reinterpret_cast<uintptr_t>(session.get()) < wanted;
                            });
}

namespace {
constinit PluginState processState;
}  // namespace

std::mutex& PluginState::lock() {
    return qv3377hal::forkHeldLock(qv3377hal::ForkHeldLock::visaPluginState);
}

PluginState& pluginState() {
    return processState;
}

void throwVisa(ViStatus code, const char* file, int64_t line) {
    // Raise sites are recorded with their own source name and line.
    const qverr::SourceLocation location{file, line, kComponent, "ViStatus"};
    throw qverr::Exception(code, location);
}

void requireInitialized(const PluginState& state) {
    if (state.users == 0) throwVisa(kViErrorNotInitialized, "PluginHelper", 78);
}

void requireInitialized() {
    std::lock_guard lock(PluginState::lock());
    requireInitialized(processState);
}

std::shared_ptr<PluginSession> findSession(uint64_t handle) {
    PluginState& state = pluginState();
    std::lock_guard lock(state.lock());
    requireInitialized(state);
    const auto found = state.lowerBound(handle);
    if (found == state.sessions.end() || reinterpret_cast<uintptr_t>(found->get()) != handle) {
        throwVisa(kViErrorInvalidObject, "PluginHelper", 86);
    }
    return *found;
}

std::vector<uint64_t> deviceIds() {
    std::vector<uint64_t> ids;
    walkModules([&](const auto&, uint32_t bus, uint32_t device, uint32_t function) {
        ids.push_back(deviceId(bus, device, function));
        return false;
    });
    return ids;
}

}  // namespace visapxipluginapalcodegen
