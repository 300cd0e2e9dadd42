#include "module/InstructionTargetBlock.h"

#include <array>

namespace qvsim {

InstructionTargetBlock::InstructionTargetBlock(GuardedDecoder& decoder) {
    decoder.on("ifw.read", [this](const DecodedRequest& request, Reply& reply) {
        const auto location = request.get<std::array<uint64_t, 2>>("location");
        reply.set("value", value(location[0], location[1]));
        return 0;
    });
    decoder.on("ifw.write", [this](const DecodedRequest& request, Reply&) {
        const auto location = request.get<std::array<uint64_t, 3>>("location");
        setValue(location[0], location[1], location[2]);
        return 0;
    });
    // The driver fills or reads the caller's array in place.
    decoder.on("ifw.readArray", [this](const DecodedRequest& request, Reply&) {
        auto* out = reinterpret_cast<uint64_t*>(static_cast<uintptr_t>(request.value("buffer")));
        const auto count = static_cast<uint32_t>(request.value("count"));
        std::lock_guard lock(mutex_);
        for (uint32_t i = 0; i < count; ++i) out[i] = i < array_.size() ? array_[i] : 0;
        return 0;
    });
    decoder.on("ifw.writeArray", [this](const DecodedRequest& request, Reply&) {
        const auto* in =
            reinterpret_cast<const uint64_t*>(static_cast<uintptr_t>(request.value("buffer")));
        const auto count = static_cast<uint32_t>(request.value("count"));
        std::lock_guard lock(mutex_);
        array_.assign(in, in + count);
        return 0;
    });
}

uint64_t InstructionTargetBlock::value(uint64_t word0, uint64_t word1) const {
    std::lock_guard lock(mutex_);
    const auto found = values_.find({word0, word1});
    return found != values_.end() ? found->second : 0;
}

void InstructionTargetBlock::setValue(uint64_t word0, uint64_t word1, uint64_t value) {
    std::lock_guard lock(mutex_);
    values_[{word0, word1}] = value;
}

std::vector<uint64_t> InstructionTargetBlock::array() const {
    std::lock_guard lock(mutex_);
    return array_;
}

void InstructionTargetBlock::setArray(std::vector<uint64_t> elements) {
    std::lock_guard lock(mutex_);
    array_ = std::move(elements);
}

}  // namespace qvsim
