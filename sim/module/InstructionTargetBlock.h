// The module's firmware instruction target: the values its instructions
// write and read back, and one array of 64-bit elements that array writes
// replace and array reads return.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "module/Replies.h"

namespace qvsim {

class InstructionTargetBlock {
public:
    explicit InstructionTargetBlock(GuardedDecoder& decoder);

    // The value an instruction at location {word0, word1} reads (0 until written).
    uint64_t value(uint64_t word0, uint64_t word1) const;
    void setValue(uint64_t word0, uint64_t word1, uint64_t value);
    std::vector<uint64_t> array() const;
    void setArray(std::vector<uint64_t> elements);

private:
    mutable std::mutex mutex_;
    std::map<std::pair<uint64_t, uint64_t>, uint64_t> values_;
    std::vector<uint64_t> array_;
};

}  // namespace qvsim
