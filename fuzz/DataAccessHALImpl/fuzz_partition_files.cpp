// Sequence-file text and directory entry names as the file data accessor
// reads them: parsed on their own, then through the accessor on disk.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "DataAccessHALImpl/FileDataAccessor.h"
#include "qverr/Exception.h"

namespace {

const std::filesystem::path& directory() {
    static const std::filesystem::path path = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvfuzzXXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        std::atexit([] { std::filesystem::remove_all(directory()); });
        return std::filesystem::path(pattern);
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto parsed = dataaccesshal::parseSequenceNumber(text);
    if (parsed && (text.empty() || text[0] < '0' || text[0] > '9')) std::abort();
    dataaccesshal::partitionFromFileName(text);

    dataaccesshal::FileDataAccessor accessor(directory(), "fuzz");
    // The text as a stored sequence file: the number it holds, or 1 after a reset.
    std::ofstream(directory() / "seq_00000001", std::ios::binary | std::ios::trunc) << text;
    uint64_t partitionSize = 0;
    uint32_t sequence = 0;
    accessor.readPartition(1, nullptr, &partitionSize, &sequence);
    if (sequence != (parsed ? *parsed : 1u)) std::abort();

    // The text as a directory entry's name.
    std::string name;
    for (char c : text.substr(0, 200)) {
        if (c != '/' && c != '\0') name += c;
    }
    if (name.empty() || name == "." || name == ".." || name == "seq_00000001") return 0;
    const std::filesystem::path entry = directory() / name;
    std::ofstream(entry, std::ios::binary).put('x');
    uint64_t count = 0;
    accessor.getPartitionList(nullptr, &count);
    const bool listed = dataaccesshal::partitionFromFileName(name).has_value();
    if (count != (listed ? 1u : 0u)) std::abort();
    uint32_t ids[1];
    count = 1;
    accessor.getPartitionList(ids, &count);
    std::filesystem::remove(entry);
    return 0;
}
