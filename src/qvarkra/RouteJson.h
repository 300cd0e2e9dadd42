// The route texts a routing host and the adaptor exchange, and the binary
// records the kernel driver reads and writes for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "qvarkra/Topography.h"

namespace qvroco {

struct HandledConstraint {
    const char* name;
    uint32_t id;
    int32_t type;  // JSON type as the reader numbers it
};

inline constexpr uint32_t kConstraintInversionNeeded = 1;
extern const HandledConstraint kHandledConstraints[1];

}  // namespace qvroco

namespace qvark {

struct RouteSeed {
    uint32_t terminalId;
    uint32_t cost;
    uint8_t inversionNeeded;
    uint8_t padding[3];
};
static_assert(sizeof(RouteSeed) == 12);

struct RoutePathEntry {
    uint32_t ticket;
    uint32_t destinationTerminalId;
    uint32_t cost;
    uint32_t indexOfStartingSeed;
    uint8_t inversionNeeded;
    uint8_t padding[3];
};
static_assert(sizeof(RoutePathEntry) == 20);

struct ReservationConflict {
    uint64_t sessionId;
    uint32_t ticket;
    uint32_t padding;
};
static_assert(sizeof(ReservationConflict) == 16);

inline constexpr uint32_t kCalculateIgnoresReservations = 1;

struct RouteModifierFlags {
    uint32_t bits = 0;
    bool unrecognisedRequired = false;
};

// The parse rules of a route request. Each throws qverr::Exception -52005
// with a "qvroco_debug" detail on a malformed request; a text that is not
// one JSON array (object for the modifiers) counts as empty.
std::vector<RouteSeed> parseSeeds(const char* text, const TerminalIndex& terminals);
std::vector<uint32_t> parseDestinations(const char* text, const TerminalIndex& terminals);
RouteModifierFlags parseModifiers(const char* text);

// An output text, built in a buffer of 256 bytes or more that doubles as it
// fills; the host is handed the whole buffer.
class RouteText {
public:
    RouteText();
    const char* text() const { return buffer_.data(); }
    size_t bufferSize() const { return buffer_.size(); }
    // The grow callback of the JSON writer for this buffer.
    static char* grow(char* cursor, void* self);
    char* begin() { return cursor_; }

private:
    std::vector<char> buffer_;
    char* cursor_;
};

RouteText formatRouteResult(std::span<const RoutePathEntry> entries,
                            const TerminalIndex& terminals);
RouteText formatConflicts(std::span<const ReservationConflict> conflicts);
RouteText formatTerminalPath(std::span<const uint32_t> ids, const TerminalIndex& terminals);
RouteText formatHandledConstraints();

// The host's reallocation function for the texts it is handed.
using ReallocFunction = void* (*)(void* current, size_t size);

// Moves `size` bytes of `text` into host memory obtained through `realloc`
// and stores the pointer in *hostText. A null reallocation result throws
// `outOfMemoryCode` (-52000).
void handToHost(ReallocFunction realloc, char** hostText, const char* text, size_t size);
inline void handToHost(ReallocFunction realloc, char** hostText, const RouteText& text) {
    handToHost(realloc, hostText, text.text(), text.bufferSize());
}
// The short text of "no route".
void handEmptyToHost(ReallocFunction realloc, char** hostText);

}  // namespace qvark
