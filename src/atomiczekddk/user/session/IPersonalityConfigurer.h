// The step of opening an FPGA session that configures the device for the
// image (the personality download). The session asks its configurer once,
// under the write side of the FPGA lock.
#pragma once

namespace qvzek {

// What the FPGA layer keeps of the configuration step.
struct PersonalityRecord {
    bool configured = false;
};

class IPersonalityConfigurer {
public:
    virtual ~IPersonalityConfigurer() = default;
    // Configures the device; *result tells whether the personality changed.
    virtual void configure(bool* result) = 0;
    // By default: configure, then mark the record configured.
    virtual void configurePersonality(PersonalityRecord& record, bool* result) {
        configure(result);
        record.configured = true;
    }
};

}  // namespace qvzek
