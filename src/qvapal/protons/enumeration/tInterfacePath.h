// The path of a device file, as the kernel driver publishes it in an
// interface entry's "interfacePath" file.
#pragma once

#include <cstdint>

namespace sdihal::nQVAPAL000 {

struct tInterfacePath {
    char path[256] = {};
    // Bytes read plus the terminating NUL.
    uint64_t length = 0;
};

}  // namespace sdihal::nQVAPAL000
