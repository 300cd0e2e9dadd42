// The FPGA driver layer's common exits and copies: raising a bare status
// code, copying a text into a caller's buffer, reading a whole file.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "atomiczekddk/shared/Errors.h"

namespace qvjsonconfig {
class DeviceIteratorInterface;
}

namespace qvzek {

// Throws a qverr::Exception holding only the low 32 bits of code.
[[noreturn]] void throwStatus(int64_t code);
[[noreturn]] void throwStatusCode(int32_t code);

// *length (when given) receives the text's length. With a buffer, the text
// and its NUL are copied, or -63080 thrown when bufferSize cannot hold them.
void copyStringToBuffer(std::string_view text, char* buffer, uint32_t bufferSize, uint32_t* length);

// isPath false: returns text itself. Otherwise reads the regular file at
// path text into slot (NUL-terminated) and returns it; any failure throws
// failureCode.
const char* readWholeFile(bool isPath, const char* text, std::unique_ptr<char[]>& slot,
                          int32_t failureCode);

// A module's PCI address and identity, as its driver publishes them.
struct PciIdentity {
    uint32_t bus = 0;
    uint32_t device = 0;
    uint32_t function = 0;
    uint32_t vendorId = 0;
    uint32_t deviceId = 0;
    uint32_t subsystemId = 0;
};
// The bus properties of the module `device` stands on; a failing read throws.
PciIdentity readPciIdentity(qvjsonconfig::DeviceIteratorInterface& device);

}  // namespace qvzek
