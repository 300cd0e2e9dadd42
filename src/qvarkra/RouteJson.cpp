#include "qvarkra/RouteJson.h"

#include <cstring>
#include <string>
#include <string_view>

#include "HALUtilities/ErrorHandling.h"
#include "qverr/DetailWriter.h"
#include "qverr/Exception.h"
#include "qverr/json.h"

namespace qvroco {

const HandledConstraint kHandledConstraints[1] = {
    {"inversionNeeded", kConstraintInversionNeeded, qverr::json::kTokenBool},
};

}  // namespace qvroco

namespace qvark {

namespace json = qverr::json;

namespace {

constexpr size_t kInitialTextSize = 256;
// Far beyond any route text; a writer that would pass it reports no room.
constexpr size_t kLargestTextSize = size_t{1} << 30;

[[noreturn]] void throwMemoryFull() {
    QVERR_THROW_WITH_MESSAGE(qv3377hal::kComponent, qverr::qvapalerr_memoryFull, "kMemoryFull",
                             "qvark_debug", "out of memory for a route text");
}

qverr::Exception parseError() {
    return qverr::Exception(qverr::qvapalerr_invalidParameter,
                            QVERR_LOCATION(qv3377hal::kComponent, "qvapalerr_invalidParameter"));
}

[[noreturn]] void throwParseError(const char* message) {
    qverr::Exception error = parseError();
    qverr::DetailWriter(error.status).add("qvroco_debug", message);
    throw error;
}

[[noreturn]] void throwParseError(const char* message, const char* json) {
    qverr::Exception error = parseError();
    qverr::DetailWriter(error.status)
        .beginObject("qvroco_debug")
        .add("msg", message)
        .add("json", json)
        .endObject();
    throw error;
}

bool keyIs(const json::Key& key, const char* name) {
    return json::equalsUnescaped(name, key.text, key.length);
}

// The text parses as one value of `type` (the whole container checked, so
// the walks below never meet malformed text).
bool isWhole(const char* text, int32_t type) {
    if (text == nullptr) return false;
    json::Token token;
    return json::parseValue(text, token) != nullptr && token.type == type;
}

// Walks the members of the object at `object`; `visit` gets each key, the
// value's token and its text.
template <class Visit>
void forEachMember(const char* object, Visit&& visit) {
    json::Key key;
    bool found = false;
    const char* value = json::firstObjectMember(object, key, &found);
    while (value != nullptr && found) {
        json::Token token;
        const char* end = json::parseValue(value, token);
        if (end == nullptr) return;
        visit(key, token);
        value = json::nextObjectMember(end, key, &found);
    }
}

template <class Visit>
void forEachElement(const char* array, Visit&& visit) {
    const char* element = json::firstArrayElement(array);
    while (element != nullptr) {
        json::Token token;
        const char* end = json::parseValue(element, token);
        if (end == nullptr) return;
        visit(element, token);
        element = json::nextArrayElement(end);
    }
}

const qvroco::HandledConstraint* findConstraint(const json::Key& key) {
    for (const auto& row : qvroco::kHandledConstraints) {
        if (keyIs(key, row.name)) return &row;
    }
    return nullptr;
}

void readConstraints(const char* object, RouteSeed& seed) {
    forEachMember(object, [&](const json::Key& key, const json::Token& value) {
        if (value.type != json::kTokenBool && value.type != json::kTokenNumber &&
            value.type != json::kTokenString) {
            return;
        }
        const std::string name(key.text, key.length);
        const qvroco::HandledConstraint* row = findConstraint(key);
        if (row == nullptr) {
            // The host asks only for what getHandledConstraints names: any
            // other constraint would be silently dropped from the route.
            qverr::Exception error = parseError();
            qverr::DetailWriter(error.status)
                .beginObject("qvroco_debug")
                .add("msg", "Unknown constraint")
                .add("constraint", name)
                .endObject();
            throw error;
        }
        if (value.type != row->type) {
            qverr::Exception error = parseError();
            qverr::DetailWriter(error.status)
                .beginObject("qvroco_debug")
                .add("msg", "Unexpected constraint type")
                .add("constraint", name)
                .add("expected_type", row->type)
                .add("actual_type", value.type)
                .endObject();
            throw error;
        }
        if (row->id == qvroco::kConstraintInversionNeeded) {
            seed.inversionNeeded = value.lengthOrValue != 0 ? 1 : 0;
        }
    });
}

RouteSeed readSeed(const char* object, const TerminalIndex& terminals) {
    RouteSeed seed{};
    bool hasTerminal = false;
    bool hasCost = false;
    bool hasConstraints = false;
    forEachMember(object, [&](const json::Key& key, const json::Token& value) {
        if (keyIs(key, "terminal")) {
            if (value.type != json::kTokenString)
                throwParseError("terminal name must be a string", object);
            seed.terminalId =
                terminals.idOfName(std::string_view(value.start, value.lengthOrValue));
            hasTerminal = true;
        } else if (keyIs(key, "srcDeviceToken")) {
            if (value.type != json::kTokenString)
                throwParseError("srcDeviceToken name must be a string", object);
        } else if (keyIs(key, "cost")) {
            if (value.type != json::kTokenNumber) throwParseError("cost must be a number", object);
            // A cost beyond 32 bits is still a route, the dearest one: hosts
            // rank seeds by cost, so it saturates rather than wraps or fails.
            if (!json::readUInt(value, seed.cost)) seed.cost = 0xFFFFFFFF;
            hasCost = true;
        } else if (keyIs(key, "constraints")) {
            // Anything but an object is no constraints object at all.
            if (value.type != json::kTokenObject) return;
            readConstraints(value.start, seed);
            hasConstraints = true;
        }
    });
    if (!hasTerminal) throwParseError("terminal field missing", object);
    if (!hasCost) throwParseError("cost field missing or invalid", object);
    if (!hasConstraints) throwParseError("constraints field missing", object);
    return seed;
}

void readModifierGroup(const char* group, bool required, RouteModifierFlags& flags) {
    forEachMember(group, [&](const json::Key& key, const json::Token& value) {
        if (value.type == json::kTokenBool) {
            if (keyIs(key, "calculateIgnoresReservations")) {
                if (value.lengthOrValue != 0) {
                    flags.bits |= kCalculateIgnoresReservations;
                } else {
                    flags.bits &= ~kCalculateIgnoresReservations;
                }
            } else if (required) {
                flags.unrecognisedRequired = true;
            }
        } else if (value.type == json::kTokenString) {
            if (required) flags.unrecognisedRequired = true;
        } else if (required) {
            throwParseError("Required route modifier has unrecognized type");
        }
    });
}

}  // namespace

std::vector<RouteSeed> parseSeeds(const char* text, const TerminalIndex& terminals) {
    std::vector<RouteSeed> seeds;
    seeds.reserve(16);
    // Hosts rely on a missing or unparsable part counting as empty rather
    // than failing the calculation; only a whole array is walked, and what
    // is wrong inside it is still refused.
    if (!isWhole(text, json::kTokenArray)) return seeds;
    forEachElement(text, [&](const char* element, const json::Token& token) {
        if (token.type != json::kTokenObject) throwParseError("seed must be an object");
        seeds.push_back(readSeed(element, terminals));
    });
    return seeds;
}

std::vector<uint32_t> parseDestinations(const char* text, const TerminalIndex& terminals) {
    std::vector<uint32_t> ids;
    // As for the seeds: no whole array, nothing asked.
    if (!isWhole(text, json::kTokenArray)) return ids;
    forEachElement(text, [&](const char*, const json::Token& token) {
        if (token.type != json::kTokenString) throwParseError("Terminals must be strings", text);
        ids.push_back(terminals.idOfName(std::string_view(token.start, token.lengthOrValue)));
    });
    return ids;
}

RouteModifierFlags parseModifiers(const char* text) {
    RouteModifierFlags flags;
    // As for the seeds: no whole object, no modifiers.
    if (!isWhole(text, json::kTokenObject)) return flags;
    // Every member must be an object, whatever its name.
    forEachMember(text, [&](const json::Key&, const json::Token& value) {
        if (value.type != json::kTokenObject)
            throwParseError("modifiers type must be object", text);
    });
    forEachMember(text, [&](const json::Key& key, const json::Token& value) {
        if (keyIs(key, "required")) {
            readModifierGroup(value.start, true, flags);
        } else if (keyIs(key, "optional")) {
            readModifierGroup(value.start, false, flags);
        }
    });
    return flags;
}

RouteText::RouteText() : buffer_(kInitialTextSize) {
    cursor_ = json::initBuffer(buffer_.data(), buffer_.size(), "[]");
}

char* RouteText::grow(char* cursor, void* self) {
    auto& text = *static_cast<RouteText*>(self);
    if (cursor == nullptr || text.buffer_.size() >= kLargestTextSize) return nullptr;
    const ptrdiff_t offset = cursor - text.buffer_.data();
    text.buffer_.resize(text.buffer_.size() * 2);
    json::initBuffer(text.buffer_.data(), text.buffer_.size(), nullptr);
    return text.buffer_.data() + offset;
}

namespace {

// Writes one array element per item; `write` adds it at the cursor.
template <class Items, class Write>
RouteText formatArray(const Items& items, Write&& write) {
    RouteText text;
    const json::GrowCallback grow{&RouteText::grow, &text};
    char* cursor = text.begin();
    for (const auto& item : items) {
        cursor = write(cursor, item, grow);
        if (cursor == nullptr) throwMemoryFull();
    }
    return text;
}

}  // namespace

RouteText formatRouteResult(std::span<const RoutePathEntry> entries,
                            const TerminalIndex& terminals) {
    return formatArray(
        entries, [&](char* cursor, const RoutePathEntry& entry, const json::GrowCallback& grow) {
            cursor = json::addObjectWithGrow(cursor, nullptr, grow);
            cursor = json::addUIntWithGrow(cursor, "ticket", entry.ticket, grow);
            cursor = json::addStringWithGrow(cursor, "destination",
                                             terminals.nameOfId(entry.destinationTerminalId), grow);
            cursor = json::addUIntWithGrow(cursor, "cost", entry.cost, grow);
            cursor = json::addUIntWithGrow(cursor, "indexOfStartingSeed", entry.indexOfStartingSeed,
                                           grow);
            cursor = json::addObjectWithGrow(cursor, "constraints", grow);
            if (entry.inversionNeeded != 0)
                cursor = json::addBoolWithGrow(cursor, "inversionNeeded", true, grow);
            cursor = json::leaveObject(cursor);
            return json::leaveObject(cursor);
        });
}

RouteText formatConflicts(std::span<const ReservationConflict> conflicts) {
    return formatArray(conflicts, [](char* cursor, const ReservationConflict& conflict,
                                     const json::GrowCallback& grow) {
        cursor = json::addObjectWithGrow(cursor, nullptr, grow);
        cursor = json::addUInt64WithGrow(cursor, "sessionId", conflict.sessionId, grow);
        cursor = json::addUIntWithGrow(cursor, "ticket", conflict.ticket, grow);
        return json::leaveObject(cursor);
    });
}

RouteText formatTerminalPath(std::span<const uint32_t> ids, const TerminalIndex& terminals) {
    return formatArray(ids, [&](char* cursor, uint32_t id, const json::GrowCallback& grow) {
        return json::addStringWithGrow(cursor, nullptr, terminals.nameOfId(id), grow);
    });
}

RouteText formatHandledConstraints() {
    return formatArray(
        qvroco::kHandledConstraints,
        [](char* cursor, const qvroco::HandledConstraint& row, const json::GrowCallback& grow) {
            return json::addStringWithGrow(cursor, nullptr, row.name, grow);
        });
}

void handToHost(ReallocFunction realloc, char** hostText, const char* text, size_t size) {
    if (realloc == nullptr || hostText == nullptr) {
        qv3377hal::throwNullArgument("qvark_debug", "null realloc function or output pointer");
    }
    void* memory = realloc(*hostText, size);
    if (memory == nullptr) throwMemoryFull();
    *hostText = static_cast<char*>(memory);
    // The buffer holds the text, its zero and the writer's free room.
    const size_t length = strnlen(text, size);
    std::memcpy(memory, text, length);
    std::memset(static_cast<char*>(memory) + length, 0, size - length);
}

void handEmptyToHost(ReallocFunction realloc, char** hostText) {
    handToHost(realloc, hostText, "[]", 3);
}

}  // namespace qvark
