// The request methods of the kernel-driver interfaces as data: for each
// method its code, parameters and the fields of its two blocks. Generated
// from the same table as the proxies; the simulated driver decodes requests
// by it and the tests check the proxies against it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace sdihal::nRequestDescriptors {

// How a parameter travels.
enum class tRole : uint8_t {
    kValue,      // input by value
    kReference,  // input by constant reference, copied into the input block
    kOutput,     // written through a pointer from the output block
    kInOut,      // sent in the input block and written back from the output block
    kStatus,     // the caller's platform status: its code goes in, the reply comes out
};

// What a field holds on the wire.
enum class tKind : uint8_t { kU8, kU16, kU32, kU64, kI32, kRecord, kValue, kFormat, kArray };

struct tParameter {
    const char* name;
    tRole role;
    tKind kind;
    uint16_t size;
};

// A field of a block: "status" is the caller's code (input block) or the
// driver's reply (output block), "return" the return value.
struct tField {
    const char* name;
    uint16_t offset;
    uint16_t size;
    tKind kind;
};

struct tMethod {
    const char* interface;
    const char* name;
    uint32_t code;
    uint16_t inSize;
    uint16_t outSize;
    uint16_t returnSize;  // 0: no return value
    std::span<const tParameter> parameters;
    std::span<const tField> in;
    std::span<const tField> out;

    const tField* inField(std::string_view field) const;
    const tField* outField(std::string_view field) const;
};

struct tInterface {
    const char* name;
    uint8_t type;
    bool single;  // also served by a single-interface proxy of its own
    std::span<const tMethod> methods;
};

// The 27 sub-interfaces of the module's kernel-driver interface, in declaration order.
std::span<const tInterface> qv3377kInterfaces();
// The seven sub-interfaces of the FPGA driver's interface.
std::span<const tInterface> atomiczekddkInterfaces();

// The method with this request code in either interface, or null.
const tMethod* findMethod(uint32_t code);
// The method named "<interface>.<method>", or null.
const tMethod* findMethod(std::string_view qualifiedName);

}  // namespace sdihal::nRequestDescriptors
