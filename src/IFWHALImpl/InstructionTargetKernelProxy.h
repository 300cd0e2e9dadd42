// The instruction target served by the module's kernel driver: every call is
// one request of the driver's instruction-target sub-interface on a device
// file of its own.
#pragma once

#include <string>

#include "IFWHALImpl/InstructionTarget.h"
#include "apal_qv3377k/tInterfaceProxy_ifw.h"

namespace qvifw {

// What the host's open text asks for.
struct OpenRequest {
    std::string deviceInterfacePath;
    uint32_t type = 0;
    uint32_t instance = 0;
};

// Reads {"deviceInterfacePath": text, "type": number, "instance": number}
// (keys in any letter case; a missing or non-number type or instance is 0).
// Text that is not JSON, or without a non-empty path text: -52005.
OpenRequest parseOpenRequest(const char* json);

class InstructionTargetKernelProxy : public InstructionTarget {
public:
    InstructionTargetKernelProxy() = default;
    // Closes the device file; nothing is sent to the driver.
    ~InstructionTargetKernelProxy() override = default;

    // Opens the device file, then selects target `type`/`instance` in the driver.
    void open(const char* deviceInterfacePath, uint32_t type, uint32_t instance,
              nQVAPALS100::tStatus& status);

    void read(const Location& location, uint64_t* value, uint32_t option,
              nQVAPALS100::tStatus& status) override;
    void readArray(void* buffer, uint32_t count, uint64_t reference, uint32_t option,
                   nQVAPALS100::tStatus& status) override;
    void write(const LocationWithValue& location, bool flag, uint32_t option,
               nQVAPALS100::tStatus& status) override;
    void writeArray(const void* buffer, uint32_t count, bool flag, uint32_t option,
                    nQVAPALS100::tStatus& status) override;
    void finish(nQVAPALS100::tStatus& status) override;

private:
    sdihal::tInterfaceProxy_ifw proxy_;
};

}  // namespace qvifw
