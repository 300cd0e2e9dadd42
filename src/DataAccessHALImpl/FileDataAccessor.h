// Partitions kept as files in one directory: "<8 hex digits>.bin" holds the
// bytes, "seq_<8 hex digits>" the sequence number as 10 decimal digits and
// a zero byte. Every read, write and delete runs under the exclusive lock of
// the partition's sequence file, between threads and processes alike.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "DataAccessHALImpl/DataAccessorInterface.h"

namespace dataaccesshal {

// The stored text of a sequence file as a number: leading decimal digits,
// kept as uint32; none (or more than 64 bits' worth) does not parse.
std::optional<uint32_t> parseSequenceNumber(std::string_view text);
// The partition a directory entry's name stands for: names whose extension
// (after the last ".") is "bin" in any case, the leading hexadecimal digits
// of the name (none gives 0). Other names, and values beyond 32 bits, give
// nothing.
std::optional<uint32_t> partitionFromFileName(std::string_view name);

class FileDataAccessor : public DataAccessorInterface {
public:
    FileDataAccessor(std::filesystem::path directory, std::string name);

    QV_DATA_ACCESSOR_OVERRIDES

    std::filesystem::path sequenceFilePath(uint32_t partition) const;
    std::filesystem::path partitionFilePath(uint32_t partition) const;

private:
    std::filesystem::path directory_;
    std::string name_;
};

}  // namespace dataaccesshal
