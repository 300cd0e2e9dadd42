// Platform status record: the size-prefixed record that the platform layer,
// the kernel-driver proxies and the plug-in interfaces fill. Its layout is
// shared with callers across the export boundary, so offsets are fixed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qverr/Codes.h"

namespace nQVAPALS100 {

struct tStatus {
    static constexpr int64_t kMemoryFull = qverr::qvapalerr_memoryFull;
    static constexpr int64_t kResourceNotFound = qverr::qvapalerr_resourceNotFound;
    static constexpr int64_t kEndOfData = qverr::kStatusEndOfData;
    static constexpr uint64_t kFullSize = 216;

    uint64_t structSize = kFullSize;
    int64_t code = 0;
    char component[10] = {};
    char file[101] = {};
    uint8_t padding = 0;
    uint64_t line = 0;
    uint64_t detail[10] = {};

    // The code as seen through a caller's record: a record too small to hold
    // the code field reads as success and is never written.
    int64_t getCode() const;
    bool isError() const { return getCode() < 0; }
    bool isFullSize() const { return structSize >= kFullSize; }

    // Stores the code by the precedence rule (0 < warning < error; the first
    // error stays); a full record also gets component, file and line.
    bool setCode(int64_t code, const char* component, const char* file, uint64_t line);
    // setCode with the other's code and location; detail words are copied up
    // to the first zero word when both records are full size.
    bool merge(const tStatus& other);
};

static_assert(sizeof(tStatus) == 216);
static_assert(offsetof(tStatus, code) == 8);
static_assert(offsetof(tStatus, component) == 16);
static_assert(offsetof(tStatus, file) == 26);
static_assert(offsetof(tStatus, line) == 128);
static_assert(offsetof(tStatus, detail) == 136);

// Status code of an errno value (unknown values: -52008).
int32_t errnoToStatusCode(int err);

// Raises the errno mapping of `err` with the platform component
// "internal_sdi_hal23u" and the given source location.
bool setErrnoStatus(tStatus& status, int err, const char* file, uint64_t line);

// Component recorded by raise sites of the platform layer.
inline constexpr const char* kPlatformComponent = "internal_sdi_hal23u";

}  // namespace nQVAPALS100
