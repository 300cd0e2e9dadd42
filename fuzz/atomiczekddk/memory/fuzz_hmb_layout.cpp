// Feeds arbitrary compilation-results text to the host-memory layout
// reader: refused with a bitfile or parameter status, or every block it
// keeps lies inside the region it sizes, with at most four region blocks.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "atomiczekddk/memory/HMBVirtualMemoryManager.h"
#include "qverr/Exception.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // No device: the layout is only read, never mapped.
    auto manager = std::make_shared<qvzek::HMBVirtualMemoryManager>(nullptr);
    try {
        const bool hasMemory = manager->configure(text, "0123456789abcdef0123456789abcdef");
        const uint64_t regionBytes = uint64_t{manager->entryCount()} * 8;
        if (hasMemory != (regionBytes > 0) || regionBytes > 0x400000) abort();
        size_t regionBlocks = 0;
        for (const auto& [name, block] : manager->blocks()) {
            if (block.fixedAddr != 0 && block.size == 0) continue;
            ++regionBlocks;
            if (uint64_t{block.offset} + block.size > regionBytes) abort();
        }
        if (regionBlocks > 4) abort();
    } catch (const qverr::Exception& e) {
        const int32_t code = e.status.code;
        if (code != qvzek::kErrorBitfileContent && code != qvzek::kErrorBitfileUnsupported &&
            code != -52005) {
            abort();
        }
    }
    return 0;
}
