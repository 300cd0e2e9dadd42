// The instruction-target host's open text as arbitrary bytes: it is either
// a device path with a type and instance, or -52005; a path always has text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "IFWHALImpl/InstructionTargetKernelProxy.h"
#include "qverr/Exception.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const qvifw::OpenRequest request = qvifw::parseOpenRequest(text.c_str());
        if (request.deviceInterfacePath.empty()) std::abort();
    } catch (const qverr::Exception& error) {
        if (error.status.code != -52005) std::abort();
    }
    return 0;
}
