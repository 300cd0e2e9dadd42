// The VISA plug-in's process-wide state: how often it was initialised and
// its open sessions, sorted by address (the handle VISA holds), under one
// plain mutex that is taken before a fork. Built with the library: no first
// use can be caught half done by a fork. Sessions are opened and closed,
// and modules walked, outside the lock, which guards only the list.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "qvvisa_pxi_plugin_apal_codegen/PluginSession.h"
#include "qvvisa_pxi_plugin_apal_codegen/VisaStatus.h"

namespace visapxipluginapalcodegen {

struct PluginState {
    static std::mutex& lock();
    uint32_t users = 0;
    std::vector<std::shared_ptr<PluginSession>> sessions;

    // The position where the session at `handle` is or would go.
    std::vector<std::shared_ptr<PluginSession>>::iterator lowerBound(uint64_t handle);
};

PluginState& pluginState();

// Raises a VISA error code as a status exception of the plug-in.
[[noreturn]] void throwVisa(ViStatus code, const char* file, int64_t line);

// Under the lock: 0xBFFF003A unless initialised.
void requireInitialized(const PluginState& state);
// The same, taking the lock.
void requireInitialized();

// The session behind `handle`, kept alive by the returned reference after
// the lock is released: 0xBFFF003A uninitialised, 0xBFFF000E unknown.
std::shared_ptr<PluginSession> findSession(uint64_t handle);

// The PCI IDs of the modules the driver publishes.
std::vector<uint64_t> deviceIds();

}  // namespace visapxipluginapalcodegen
