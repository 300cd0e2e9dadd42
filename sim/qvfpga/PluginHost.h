// The stand-in's plug-in mode: the way the real interface library serves its
// sessions through a device's FPGA driver. The driver is the plug-in library
// named by the environment variable QVFPGASIM_PLUGIN, loaded by name from the
// search path, initialized once, and asked for its device list; a session's
// resource name picks the device whose persistent token, default name or
// alias it is.
#pragma once

#include <cstdint>
#include <string>

#include "zekhost/ZekHost.h"

namespace qvfpgasim {

// Names the plug-in library; unset or empty: the stand-in serves sessions
// from its own model.
inline constexpr const char* kPluginVariable = "QVFPGASIM_PLUGIN";

class PluginHost {
public:
    // Loads and initializes `library`; failed() tells whether that worked.
    explicit PluginHost(const std::string& library);
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;
    // Releases the device list, finalizes and unloads the plug-in.
    ~PluginHost();

    // 0, or the code every open answers because the plug-in did not start.
    int32_t failure() const { return failure_; }

    // An FPGA session of the device `resource` names, opened on `bitfile`;
    // empty with the failure in `status`.
    zekhost::FpgaSession open(const char* resource, const char* bitfile, const char* signature,
                              uint32_t attribute, zekhost::Status& status);

private:
    void* library_ = nullptr;
    zekhost::FinalizeFunction finalize_ = nullptr;
    zekhost::DeviceList list_;
    int32_t failure_ = 0;
};

}  // namespace qvfpgasim
