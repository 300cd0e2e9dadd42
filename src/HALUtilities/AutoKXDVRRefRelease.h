// Scope guard over an external data value reference of the Korvex run-time:
// unless dismissed, it releases the reference and clears the caller's copy,
// so every failure path leaves the caller holding 0.
#pragma once

#include <cstdint>

namespace qv3377hal {

class AutoKXDVRRefRelease {
public:
    explicit AutoKXDVRRefRelease(uint32_t* reference) : reference_(reference) {}
    AutoKXDVRRefRelease(const AutoKXDVRRefRelease&) = delete;
    AutoKXDVRRefRelease& operator=(const AutoKXDVRRefRelease&) = delete;
    // Releases through KXDVR_ReleaseRef when the process has it.
    ~AutoKXDVRRefRelease();

    uint32_t* get() const { return reference_; }
    void dismiss() { dismissed_ = true; }

private:
    uint32_t* reference_;
    bool dismissed_ = false;
};

}  // namespace qv3377hal
