#include "qverr/json.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "qvhtl/utf8/encode.h"

namespace qverr::json {
namespace {

// ---------------------------------------------------------------- writer

// Bytes each byte adds when escaped: 1 for the short escapes, 5 for
// \u00XX, 0 for bytes written as they are. A table lookup per byte instead
// of a switch keeps the length pass cheap; the writer copies whole text
// that needs no escape.
struct EscapeTable {
    uint8_t extra[256];
    constexpr EscapeTable() : extra() {
        for (int c = 0; c < 0x20; ++c) extra[c] = 5;
        extra[0x7F] = 5;
        for (const char c : {'\b', '\t', '\n', '\f', '\r', '"', '\\'}) {
            extra[static_cast<unsigned char>(c)] = 1;
        }
    }
};
constexpr EscapeTable kEscape;

// Whether any byte of the text needs an escape, eight bytes at a time
// (reads stay inside the text).
bool hasSpecialByte(const char* text, size_t length) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    // Bytes below n (n <= 0x80) set their high bit here, and only they.
    const auto hasBelow = [](uint64_t x, uint64_t n) { return (x - kOnes * n) & ~x & kHigh; };
    const auto hasByte = [&](uint64_t x, uint64_t b) { return hasBelow(x ^ (kOnes * b), 1); };
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t x;
        memcpy(&x, text + i, sizeof x);
        if (hasBelow(x, 0x20) | hasByte(x, '"') | hasByte(x, '\\') | hasByte(x, 0x7F)) return true;
    }
    for (; i < length; ++i) {
        if (kEscape.extra[static_cast<unsigned char>(text[i])]) return true;
    }
    return false;
}

size_t escapedLengthOf(const char* text, size_t length) {
    // Most text needs no escape at all.
    if (!hasSpecialByte(text, length)) return length;
    size_t total = length;
    for (size_t i = 0; i < length; ++i) total += kEscape.extra[static_cast<unsigned char>(text[i])];
    return total;
}

// Writes text escaped; `escaped` is its escaped length.
char* writeEscaped(char* out, const char* text, size_t length, size_t escaped) {
    if (escaped == length) {
        memcpy(out, text, length);
        return out + length;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (kEscape.extra[c] == 0) {
            *out++ = static_cast<char>(c);
            continue;
        }
        *out++ = '\\';
        switch (c) {
            case '\b':
                *out++ = 'b';
                break;
            case '\t':
                *out++ = 't';
                break;
            case '\n':
                *out++ = 'n';
                break;
            case '\f':
                *out++ = 'f';
                break;
            case '\r':
                *out++ = 'r';
                break;
            case '"':
                *out++ = '"';
                break;
            case '\\':
                *out++ = '\\';
                break;
            default:
                *out++ = 'u';
                *out++ = '0';
                *out++ = '0';
                *out++ = kHex[c >> 4];
                *out++ = kHex[c & 0xF];
        }
    }
    return out;
}

// The value part of an item: a JSON string, or text copied as it is.
struct Value {
    Value() : Value("", 0, false) {}
    Value(const char* text, size_t length, bool quoted)
        : text(text),
          length(length),
          quoted(quoted),
          written(quoted ? escapedLengthOf(text, length) + 2 : length) {}
    const char* text;
    size_t length;
    bool quoted;
    size_t written;  // length of the value as written
    char* write(char* out) const {
        if (!quoted) {
            memcpy(out, text, length);
            return out + length;
        }
        *out++ = '"';
        out = writeEscaped(out, text, length, written - 2);
        *out++ = '"';
        return out;
    }
};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Whether `needed` zero bytes follow the text's NUL. The end marker is the
// buffer's last byte and memchr reads in order and stops at it, so the
// search never reads past the buffer; when the marker is not among the
// `needed` bytes they all lie inside the buffer and are checked a word at a
// time.
bool hasRoom(const char* textEnd, size_t needed) {
    const char* room = textEnd + 1;
    if (memchr(room, kEndMarker, needed)) return false;
    uint64_t bits = 0;
    size_t i = 0;
    for (; i + 8 <= needed; i += 8) {
        uint64_t word;
        memcpy(&word, room + i, sizeof word);
        bits |= word;
    }
    for (; i < needed; ++i) bits |= static_cast<unsigned char>(room[i]);
    return bits == 0;
}

// Zero bytes after the text's NUL up to the end marker: the free room.
size_t freeRoom(const char* textEnd) {
    const char* p = textEnd + 1;
    while (*p == 0) ++p;
    return static_cast<size_t>(p - textEnd - 1);
}

// `"key":` (nothing for a null key) before a value.
struct KeyText {
    KeyText() : KeyText(nullptr) {}
    explicit KeyText(const char* key)
        : key(key),
          length(key ? strlen(key) : 0),
          escaped(key ? escapedLengthOf(key, length) : 0),
          written(key ? escaped + 3 : 0) {}
    const char* key;
    size_t length;
    size_t escaped;
    size_t written;
    char* write(char* out) const {
        if (!key) return out;
        *out++ = '"';
        out = writeEscaped(out, key, length, escaped);
        *out++ = '"';
        *out++ = ':';
        return out;
    }
};

// One item: `"key":value`.
struct Item {
    Item(const char* key, const Value& value)
        : key(key), value(value), written(this->key.written + value.written) {}
    KeyText key;
    const Value& value;
    size_t written;
    char* write(char* out) const { return value.write(key.write(out)); }
};

// Members written as one item: `"k1":v1,...` into the container at the
// cursor, or an object of them, `"key":{"k1":v1,...}`.
struct MemberGroup {
    static constexpr size_t kMaxMembers = kMaxObjectMembers;
    MemberGroup(bool object, const char* key, const Member* members, size_t count)
        : object(object), key(key), count(count) {
        written = (object ? this->key.written + 2 : 0) + (count ? count - 1 : 0);
        for (size_t i = 0; i < count; ++i) {
            keys[i] = KeyText(members[i].key);
            const char* text = members[i].value ? members[i].value : (members[i].raw ? "null" : "");
            values[i] = Value{text, strlen(text), !members[i].raw};
            written += keys[i].written + values[i].written;
        }
    }
    bool object;
    KeyText key;
    size_t count;
    KeyText keys[kMaxMembers];
    Value values[kMaxMembers];
    size_t written;
    char* write(char* out) const {
        if (object) {
            out = key.write(out);
            *out++ = '{';
        }
        for (size_t i = 0; i < count; ++i) {
            if (i) *out++ = ',';
            out = values[i].write(keys[i].write(out));
        }
        if (object) *out++ = '}';
        return out;
    }
};

// Inserts a piece (`written` bytes, written by `write`) at the cursor (see
// the header for where), with a comma where one is needed. Returns the
// cursor after the piece, or null with the buffer untouched when the free
// room is too small. `lastChar` receives the position of the piece's last
// character.
template <typename Piece>
char* insertPiece(char* cursor, const Piece& piece, char** lastChar = nullptr) {
    if (!cursor) return nullptr;
    char* insertAt = cursor;
    bool commaBefore = false;
    bool commaAfter = false;
    const char c = *cursor;
    if (c == '}' || c == ']') {
        const char* p = cursor - 1;
        while (isSpace(*p)) --p;
        commaBefore = *p != '{' && *p != '[';
    } else if (c == '{' || c == '[') {
        insertAt = cursor + 1;
        const char* p = insertAt;
        while (isSpace(*p)) ++p;
        commaAfter = *p != '}' && *p != ']';
    } else if (c != 0) {
        commaBefore = true;
    }

    const size_t total = piece.written + (commaBefore || commaAfter ? 1 : 0);
    const size_t tail = strlen(insertAt);
    if (!hasRoom(insertAt + tail, total)) return nullptr;

    memmove(insertAt + total, insertAt, tail + 1);
    char* out = insertAt;
    if (commaBefore) *out++ = ',';
    out = piece.write(out);
    if (lastChar) *lastChar = out - 1;
    if (commaAfter) *out = ',';
    return out;
}

char* insertItem(char* cursor, const char* key, const Value& value, char** lastChar = nullptr) {
    return insertPiece(cursor, Item(key, value), lastChar);
}

char* formatUnsigned(char* end, uint64_t value) {
    do {
        *--end = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    return end;
}

char* insertNumber(char* cursor, const char* key, uint64_t magnitude, bool negative) {
    char digits[24];
    char* end = digits + sizeof digits;
    char* start = formatUnsigned(end, magnitude);
    if (negative) *--start = '-';
    return insertItem(cursor, key, Value{start, static_cast<size_t>(end - start), false});
}

char* insertContainer(char* cursor, const char* key, const char* brackets) {
    char* last = nullptr;
    return insertItem(cursor, key, Value{brackets, 2, false}, &last) ? last : nullptr;
}

// Retries a plain writer after each growth. A grow function that gives no
// more room ends the retries, so a faulty one cannot loop for ever.
template <typename Write>
char* withGrow(char* cursor, const GrowCallback& grow, Write write) {
    while (cursor) {
        if (char* next = write(cursor)) return next;
        if (!grow.function) return nullptr;
        const char* textEnd = cursor + strlen(cursor);
        const size_t before = freeRoom(textEnd);
        cursor = grow.function(cursor, grow.context);
        if (!cursor || freeRoom(cursor + strlen(cursor)) <= before) return nullptr;
    }
    return nullptr;
}

// ---------------------------------------------------------------- reader

constexpr int kMaxDepth = 512;

const char* skipSpace(const char* p) {
    while (isSpace(*p)) ++p;
    return p;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

const char* fail(Token& token, const char* at, uint64_t code) {
    token.type = kTokenError;
    token.start = at;
    token.lengthOrValue = code;
    token.isFloat = 0;
    return nullptr;
}

// The bytes that end a run of plain characters inside a string: the
// quotation mark, the backslash and the control characters (NUL included).
struct StringStopTable {
    bool stops[256];
    constexpr StringStopTable() : stops() {
        for (int c = 0; c < 0x20; ++c) stops[c] = true;
        stops[static_cast<unsigned char>('"')] = true;
        stops[static_cast<unsigned char>('\\')] = true;
    }
};
constexpr StringStopTable kStringStop;

// p at the opening quotation mark.
const char* parseString(const char* p, Token& token) {
    const char* start = p + 1;
    const char* q = start;
    for (;;) {
        // Plain characters are skipped with one lookup each.
        while (!kStringStop.stops[static_cast<unsigned char>(*q)]) ++q;
        const unsigned char c = static_cast<unsigned char>(*q);
        if (c == 0) return fail(token, q, kErrorString);
        if (c == '"') break;
        if (c < 0x20) return fail(token, q, kErrorBadCharacter);
        if (c == '\\') {
            const char e = q[1];
            if (e == 'u') {
                for (int i = 2; i < 6; ++i) {
                    // A text that ends inside the escape is an unterminated string.
                    if (q[i] == 0) return fail(token, q + i, kErrorString);
                    if (hexValue(q[i]) < 0) return fail(token, q, kErrorBadCharacter);
                }
                q += 6;
                continue;
            }
            if (e == 0) return fail(token, q + 1, kErrorString);
            if (!strchr("\"/\\bfnrt", e)) return fail(token, q, kErrorBadCharacter);
            q += 2;
            continue;
        }
        ++q;
    }
    token.type = kTokenString;
    token.start = start;
    token.lengthOrValue = static_cast<uint64_t>(q - start);
    token.isFloat = 0;
    return q + 1;
}

// Null when p holds no number; records no error of its own.
const char* parseNumber(const char* p, Token& token) {
    const char* q = p;
    if (*q == '-') ++q;
    if (!isDigit(*q)) return nullptr;
    while (isDigit(*q)) ++q;
    bool isFloat = false;
    if (*q == '.' && isDigit(q[1])) {
        q += 2;
        while (isDigit(*q)) ++q;
        isFloat = true;
    }
    if (*q == 'e' || *q == 'E') {
        const char* e = q + 1;
        if (*e == '+' || *e == '-') ++e;
        if (isDigit(*e)) {
            while (isDigit(*e)) ++e;
            q = e;
            isFloat = true;
        }
    }
    token.type = kTokenNumber;
    token.start = p;
    token.lengthOrValue = static_cast<uint64_t>(q - p);
    token.isFloat = isFloat;
    return q;
}

const char* parseAt(const char* p, Token& token, bool headOnly, int depth);

// Object and array share one loop: `close` is the closing bracket, `ended`
// the code for text ending inside the container.
const char* parseContainer(const char* p, Token& token, int depth, bool isObject) {
    const char close = isObject ? '}' : ']';
    const uint64_t ended = isObject ? kErrorObject : kErrorArray;
    if (depth >= kMaxDepth) return fail(token, p, ended);
    const char* start = p;
    const char* q = skipSpace(p + 1);
    if (*q == close) {
        ++q;
    } else {
        for (;;) {
            if (*q == 0) return fail(token, q, ended);
            if (isObject) {
                if (*q != '"') return fail(token, q, kErrorString);
                if (!(q = parseString(q, token))) return nullptr;
                q = skipSpace(q);
                if (*q == 0) return fail(token, q, ended);
                if (*q != ':') return fail(token, q, kErrorColon);
                q = skipSpace(q + 1);
                if (*q == 0) return fail(token, q, ended);
            }
            if (!(q = parseAt(q, token, false, depth + 1))) return nullptr;
            q = skipSpace(q);
            if (*q == close) {
                ++q;
                break;
            }
            if (*q == 0) return fail(token, q, ended);
            if (*q != ',') return fail(token, q, kErrorCommaOrBracket);
            q = skipSpace(q + 1);
            if (*q == close) return fail(token, q, kErrorTrailingComma);
        }
    }
    token.type = isObject ? kTokenObject : kTokenArray;
    token.start = start;
    token.lengthOrValue = static_cast<uint64_t>(q - start);
    token.isFloat = 0;
    return q;
}

bool startsWith(const char* p, const char* word) {
    while (*word) {
        if (*p++ != *word++) return false;
    }
    return true;
}

// p at the value's first character (no white space). Dispatching on that
// character gives the same result as trying every kind of value in turn and
// keeping the error of the attempt that got furthest.
const char* parseAt(const char* p, Token& token, bool headOnly, int depth) {
    switch (*p) {
        case '"':
            return parseString(p, token);
        case '{':
        case '[':
            if (headOnly) {
                token.type = *p == '{' ? kTokenObject : kTokenArray;
                token.start = p;
                token.lengthOrValue = 0;
                token.isFloat = 0;
                return p;
            }
            return parseContainer(p, token, depth, *p == '{');
        default:
            break;
    }
    if (const char* end = parseNumber(p, token)) return end;
    token.isFloat = 0;
    token.start = p;
    if (startsWith(p, "true")) {
        token.type = kTokenBool;
        token.lengthOrValue = 1;
        return p + 4;
    }
    if (startsWith(p, "false")) {
        token.type = kTokenBool;
        token.lengthOrValue = 0;
        return p + 5;
    }
    if (startsWith(p, "null")) {
        token.type = kTokenNull;
        token.lengthOrValue = 0;
        return p + 4;
    }
    return fail(token, p, kErrorString);
}

// Whole value at `value` (after white space), or null.
const char* valueEnd(const char* value) {
    Token token;
    return parseValue(value, token);
}

// A member name at p (after white space) and the colon after it; returns the
// value's position.
const char* memberValue(const char* p, Key& key) {
    Token token;
    if (*p != '"' || !(p = parseString(p, token))) return nullptr;
    key.text = token.start;
    key.length = token.lengthOrValue;
    p = skipSpace(p);
    if (*p != ':') return nullptr;
    p = skipSpace(p + 1);
    return *p ? p : nullptr;
}

// Decimal digits [p, end) into a magnitude; false on overflow of `limit`.
bool readMagnitude(const char* p, const char* end, uint64_t limit, uint64_t& magnitude) {
    uint64_t value = 0;
    for (; p < end; ++p) {
        const uint64_t digit = static_cast<uint64_t>(*p - '0');
        if (digit > limit || value > (limit - digit) / 10) return false;
        value = value * 10 + digit;
    }
    magnitude = value;
    return true;
}

// Whether the number text [p, end) is below 1 in magnitude, read from its
// digits and exponent alone: a text out of a double's range is then one
// too small to be a double, which truncates to 0, not an overflow.
bool isBelowOne(const char* p, const char* end) {
    if (p < end && *p == '-') ++p;
    // Decimal exponent of the first significant digit.
    int64_t order = 0;
    bool significant = false;
    for (; p < end && isDigit(*p); ++p) {
        if (significant) {
            ++order;
        } else if (*p != '0') {
            significant = true;
        }
    }
    if (p < end && *p == '.') {
        for (++p; p < end && isDigit(*p); ++p) {
            if (significant) continue;
            --order;
            if (*p != '0') significant = true;
        }
    }
    if (!significant) return true;
    int64_t exponent = 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool negative = p < end && *p == '-';
        if (p < end && (*p == '-' || *p == '+')) ++p;
        // Saturates far beyond any double's range.
        for (; p < end && isDigit(*p); ++p) {
            if (exponent < 1000000000) exponent = exponent * 10 + (*p - '0');
        }
        if (negative) exponent = -exponent;
    }
    return order + exponent < 0;
}

// A number token's value as a double truncated toward zero, or false. Only
// a value too large for a double is refused.
bool readTruncated(const Token& number, double low, double high, double& value) {
    double parsed = 0;
    const char* end = number.start + number.lengthOrValue;
    const auto result = std::from_chars(number.start, end, parsed);
    if (result.ptr != end) return false;
    if (result.ec == std::errc::result_out_of_range && isBelowOne(number.start, end)) {
        parsed = 0;
    } else if (result.ec != std::errc()) {
        return false;
    }
    parsed = std::trunc(parsed);
    if (!(parsed >= low && parsed <= high)) return false;
    value = parsed;
    return true;
}

}  // namespace

// ------------------------------------------------------------- writer API

char* initBuffer(char* buffer, size_t capacity, const char* text) {
    if (!buffer) return nullptr;
    const size_t length = text ? strlen(text) : strnlen(buffer, capacity);
    if (capacity < length + 2) return nullptr;
    if (text) memmove(buffer, text, length);
    memset(buffer + length, 0, capacity - length - 1);
    buffer[capacity - 1] = kEndMarker;
    return length ? buffer + length - 1 : buffer;
}

char* addString(char* cursor, const char* key, const char* text) {
    if (!text) text = "";
    return insertItem(cursor, key, Value{text, strlen(text), true});
}

char* addBool(char* cursor, const char* key, bool value) {
    return insertItem(cursor, key, value ? Value{"true", 4, false} : Value{"false", 5, false});
}

char* addInt(char* cursor, const char* key, int32_t value) {
    const bool negative = value < 0;
    const uint64_t magnitude = negative ? static_cast<uint64_t>(-static_cast<int64_t>(value))
                                        : static_cast<uint64_t>(value);
    return insertNumber(cursor, key, magnitude, negative);
}

char* addUInt(char* cursor, const char* key, uint32_t value) {
    return insertNumber(cursor, key, value, false);
}

char* addUInt64(char* cursor, const char* key, uint64_t value) {
    return insertNumber(cursor, key, value, false);
}

char* addObject(char* cursor, const char* key) {
    return insertContainer(cursor, key, "{}");
}

char* addArray(char* cursor, const char* key) {
    return insertContainer(cursor, key, "[]");
}

char* addRaw(char* cursor, const char* key, const char* text) {
    if (!text) text = "null";
    return insertItem(cursor, key, Value{text, strlen(text), false});
}

char* leaveObject(char* cursor) {
    return cursor ? cursor + 1 : nullptr;
}

char* leaveArray(char* cursor) {
    return cursor ? cursor + 1 : nullptr;
}

char* addStringWithGrow(char* cursor, const char* key, const char* text, const GrowCallback& grow) {
    return withGrow(cursor, grow, [&](char* c) { return addString(c, key, text); });
}

char* addIntWithGrow(char* cursor, const char* key, int32_t value, const GrowCallback& grow) {
    return withGrow(cursor, grow, [&](char* c) { return addInt(c, key, value); });
}

char* addUIntWithGrow(char* cursor, const char* key, uint32_t value, const GrowCallback& grow) {
    return withGrow(cursor, grow, [&](char* c) { return addUInt(c, key, value); });
}

char* addUInt64WithGrow(char* cursor, const char* key, uint64_t value, const GrowCallback& grow) {
    return withGrow(cursor, grow, [&](char* c) { return addUInt64(c, key, value); });
}

char* addBoolWithGrow(char* cursor, const char* key, bool value, const GrowCallback& grow) {
    return withGrow(cursor, grow, [&](char* c) { return addBool(c, key, value); });
}

char* addStdStringWithGrow(char* cursor, const char* key, const std::string& text,
                           const GrowCallback& grow) {
    const Value value{text.data(), text.size(), true};
    return withGrow(cursor, grow, [&](char* c) { return insertItem(c, key, value); });
}

char* addRawWithGrow(char* cursor, const char* key, const std::string& text,
                     const GrowCallback& grow) {
    const Value value{text.data(), text.size(), false};
    return withGrow(cursor, grow, [&](char* c) { return insertItem(c, key, value); });
}

namespace {

bool validGroup(const Member* members, size_t count) {
    return count <= MemberGroup::kMaxMembers && (count == 0 || members != nullptr);
}

}  // namespace

char* addMembers(char* cursor, const Member* members, size_t count) {
    if (count == 0 || !validGroup(members, count)) return nullptr;
    return insertPiece(cursor, MemberGroup(false, nullptr, members, count));
}

char* addObjectOfMembers(char* cursor, const char* key, const Member* members, size_t count) {
    if (!validGroup(members, count)) return nullptr;
    return insertPiece(cursor, MemberGroup(true, key, members, count));
}

char* addMembersWithGrow(char* cursor, const Member* members, size_t count,
                         const GrowCallback& grow) {
    // A bad group is no lack of room: growing would not help.
    if (count == 0 || !validGroup(members, count)) return nullptr;
    const MemberGroup group(false, nullptr, members, count);
    return withGrow(cursor, grow, [&](char* c) { return insertPiece(c, group); });
}

char* addObjectOfMembersWithGrow(char* cursor, const char* key, const Member* members, size_t count,
                                 const GrowCallback& grow) {
    if (!validGroup(members, count)) return nullptr;
    const MemberGroup group(true, key, members, count);
    return withGrow(cursor, grow, [&](char* c) { return insertPiece(c, group); });
}

char* addObjectWithGrow(char* cursor, const char* key, const GrowCallback& grow) {
    return withGrow(cursor, grow, [&](char* c) { return addObject(c, key); });
}

char* addArrayWithGrow(char* cursor, const char* key, const GrowCallback& grow) {
    return withGrow(cursor, grow, [&](char* c) { return addArray(c, key); });
}

// ------------------------------------------------------------- reader API

const char* parseValue(const char* text, Token& token) {
    if (!text) return fail(token, nullptr, kErrorNoText);
    return parseAt(skipSpace(text), token, false, 0);
}

const char* parseValueHead(const char* text, Token& token) {
    if (!text) return fail(token, nullptr, kErrorNoText);
    return parseAt(skipSpace(text), token, true, 0);
}

const char* findMember(const char* objectText, const char* key) {
    if (!key) return nullptr;
    Key name;
    bool found = false;
    const char* value = firstObjectMember(objectText, name, &found);
    while (value && found) {
        if (equalsUnescaped(key, name.text, name.length)) return value;
        const char* end = valueEnd(value);
        if (!end) return nullptr;
        value = nextObjectMember(end, name, &found);
    }
    return nullptr;
}

const char* firstObjectMember(const char* objectText, Key& key, bool* found) {
    if (found) *found = false;
    if (!objectText) return nullptr;
    const char* p = skipSpace(objectText);
    if (*p != '{') return nullptr;
    p = skipSpace(p + 1);
    if (*p == '}') return p + 1;
    const char* value = memberValue(p, key);
    if (value && found) *found = true;
    return value;
}

const char* nextObjectMember(const char* previousEnd, Key& key, bool* found) {
    if (found) *found = false;
    if (!previousEnd) return nullptr;
    const char* p = skipSpace(previousEnd);
    if (*p == '}') return p + 1;
    if (*p != ',') return nullptr;
    const char* value = memberValue(skipSpace(p + 1), key);
    if (value && found) *found = true;
    return value;
}

const char* firstArrayElement(const char* arrayText) {
    if (!arrayText) return nullptr;
    const char* p = skipSpace(arrayText);
    if (*p != '[') return nullptr;
    p = skipSpace(p + 1);
    return *p == ']' || *p == 0 ? nullptr : p;
}

const char* nextArrayElement(const char* previousEnd) {
    if (!previousEnd) return nullptr;
    const char* p = skipSpace(previousEnd);
    if (*p != ',') return nullptr;
    p = skipSpace(p + 1);
    return *p == ']' || *p == 0 ? nullptr : p;
}

const char* findContainerEnd(const char* text) {
    if (!text || (*text != '{' && *text != '[')) return nullptr;
    Token token;
    const char* end = parseContainer(text, token, 0, *text == '{');
    return end ? end - 1 : nullptr;
}

char* findContainerEnd(char* text) {
    return const_cast<char*>(findContainerEnd(static_cast<const char*>(text)));
}

const char* getString(const char* value, const char* defaultValue, uint64_t* length,
                      const char** end) {
    Token token;
    const char* after = value ? parseValueHead(value, token) : nullptr;
    if (after && token.type == kTokenString) {
        if (length) *length = token.lengthOrValue;
        if (end) *end = after;
        return token.start;
    }
    if (length) *length = defaultValue ? strlen(defaultValue) : 0;
    if (end) *end = nullptr;
    return defaultValue;
}

int32_t getInt(const char* value, int32_t defaultValue, const char** end) {
    Token token;
    const char* after = value ? parseValueHead(value, token) : nullptr;
    int32_t result = 0;
    if (after && token.type == kTokenNumber && readInt(token, result)) {
        if (end) *end = after;
        return result;
    }
    if (end) *end = nullptr;
    return defaultValue;
}

namespace {

// Integers are read as decimal (leading zeros do not make them octal) with
// range checks; anything outside [low, high] is refused rather than wrapped.
// Numbers with a fraction or exponent are truncated toward zero.
bool readInteger(const Token& number, int64_t low, int64_t high, int64_t& value) {
    if (number.type != kTokenNumber || !number.start || number.lengthOrValue == 0) return false;
    if (number.isFloat) {
        double truncated = 0;
        if (!readTruncated(number, static_cast<double>(low), static_cast<double>(high),
                           truncated)) {
            return false;
        }
        value = static_cast<int64_t>(truncated);
        return true;
    }
    const char* p = number.start;
    const char* end = p + number.lengthOrValue;
    const bool negative = *p == '-';
    if (negative) ++p;
    if (p == end) return false;
    uint64_t magnitude = 0;
    const uint64_t limit = negative ? static_cast<uint64_t>(-low) : static_cast<uint64_t>(high);
    if (!readMagnitude(p, end, limit, magnitude)) return false;
    value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

}  // namespace

bool readInt(const Token& number, int32_t& value) {
    int64_t wide = 0;
    if (!readInteger(number, std::numeric_limits<int32_t>::min(),
                     std::numeric_limits<int32_t>::max(), wide)) {
        return false;
    }
    value = static_cast<int32_t>(wide);
    return true;
}

bool readUInt(const Token& number, uint32_t& value) {
    int64_t wide = 0;
    if (!readInteger(number, 0, std::numeric_limits<uint32_t>::max(), wide)) return false;
    value = static_cast<uint32_t>(wide);
    return true;
}

// ------------------------------------------------------------- unescaping

void beginUnescape(UnescapeCursor& cursor, const char* escaped, uint64_t length) {
    cursor.text = escaped;
    cursor.remaining = escaped ? length : 0;
    cursor.pendingCount = 0;
    cursor.pendingIndex = 0;
}

namespace {

// Four hexadecimal digits after "\u" at text[0..1]; -1 when malformed.
int32_t readEscapedUnit(const char* text, uint64_t remaining) {
    if (remaining < 6 || text[0] != '\\' || text[1] != 'u') return -1;
    int32_t unit = 0;
    for (int i = 2; i < 6; ++i) {
        const int digit = hexValue(text[i]);
        if (digit < 0) return -1;
        unit = unit * 16 + digit;
    }
    return unit;
}

}  // namespace

// A bad escape returns 0 and leaves `remaining` above 0, which is how
// callers tell it from the end.
unsigned char nextUnescapedByte(UnescapeCursor& cursor) {
    if (cursor.pendingIndex < cursor.pendingCount) return cursor.pending[cursor.pendingIndex++];
    if (cursor.remaining == 0) return 0;
    const char c = cursor.text[0];
    if (c != '\\') {
        ++cursor.text;
        --cursor.remaining;
        return static_cast<unsigned char>(c);
    }
    if (cursor.remaining < 2) return 0;
    char simple = 0;
    switch (cursor.text[1]) {
        case '"':
            simple = '"';
            break;
        case '\\':
            simple = '\\';
            break;
        case '/':
            simple = '/';
            break;
        case 'b':
            simple = '\b';
            break;
        case 'f':
            simple = '\f';
            break;
        case 'n':
            simple = '\n';
            break;
        case 'r':
            simple = '\r';
            break;
        case 't':
            simple = '\t';
            break;
        case 'u':
            break;
        default:
            return 0;
    }
    if (simple) {
        cursor.text += 2;
        cursor.remaining -= 2;
        return static_cast<unsigned char>(simple);
    }
    int32_t unit = readEscapedUnit(cursor.text, cursor.remaining);
    uint64_t consumed = 6;
    if (unit <= 0 || (unit >= 0xDC00 && unit <= 0xDFFF)) return 0;  // NUL or a lone low half
    uint32_t codePoint = static_cast<uint32_t>(unit);
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        const int32_t low = readEscapedUnit(cursor.text + 6, cursor.remaining - 6);
        if (low < 0xDC00 || low > 0xDFFF) return 0;
        codePoint = 0x10000 + ((static_cast<uint32_t>(unit) - 0xD800) << 10) +
                    (static_cast<uint32_t>(low) - 0xDC00);
        consumed = 12;
    }
    cursor.text += consumed;
    cursor.remaining -= consumed;
    unsigned char* out = cursor.pending;
    cursor.pendingCount = qvsstutf8::encodeCodePoint(codePoint, out);
    cursor.pendingIndex = 1;
    return out[0];
}

bool equalsUnescaped(const char* text, const char* escaped, uint64_t length) {
    if (!text) return false;
    UnescapeCursor cursor;
    beginUnescape(cursor, escaped, length);
    for (;;) {
        const unsigned char byte = nextUnescapedByte(cursor);
        if (byte == 0) return cursor.remaining == 0 && *text == 0;
        if (static_cast<unsigned char>(*text++) != byte) return false;
    }
}

char* unescapeString(const char* escaped, uint64_t length, char* output) {
    if (!output) return nullptr;
    UnescapeCursor cursor;
    beginUnescape(cursor, escaped, length);
    for (;;) {
        const unsigned char byte = nextUnescapedByte(cursor);
        if (byte == 0) {
            *output = 0;
            return cursor.remaining == 0 ? output : nullptr;
        }
        *output++ = static_cast<char>(byte);
    }
}

size_t escapedLength(const char* text) {
    return text ? escapedLengthOf(text, strlen(text)) : 0;
}

}  // namespace qverr::json
