// An instruction target of the module's firmware, as the instruction
// framework host drives it: single and array reads and writes of
// instruction records whose meaning is the driver's.
#pragma once

#include <cstdint>

#include "qvapal/status/tStatus.h"

namespace qvifw {

// Two words naming what an instruction reads.
struct Location {
    uint64_t words[2];
};
// Two location words and the value an instruction writes.
struct LocationWithValue {
    uint64_t words[3];
};
static_assert(sizeof(Location) == 16 && sizeof(LocationWithValue) == 24);

class InstructionTarget {
public:
    virtual ~InstructionTarget() = default;
    virtual void read(const Location& location, uint64_t* value, uint32_t option,
                      nQVAPALS100::tStatus& status) = 0;
    virtual void readArray(void* buffer, uint32_t count, uint64_t reference, uint32_t option,
                           nQVAPALS100::tStatus& status) = 0;
    virtual void write(const LocationWithValue& location, bool flag, uint32_t option,
                       nQVAPALS100::tStatus& status) = 0;
    virtual void writeArray(const void* buffer, uint32_t count, bool flag, uint32_t option,
                            nQVAPALS100::tStatus& status) = 0;
    // Ends the target in the driver; no host call reaches it.
    virtual void finish(nQVAPALS100::tStatus& status) = 0;
};

}  // namespace qvifw
