// A JSON writer and reader that work in place inside a fixed buffer, without
// allocation. The buffer holds NUL-terminated JSON text, zero bytes after it
// and the byte 'J' as its last byte; the zero run is the free room.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qverr::json {

inline constexpr char kEndMarker = 'J';

// Called when an item does not fit: may move the text into a larger buffer
// and returns the cursor's position there, or null.
struct GrowCallback {
    char* (*function)(char* cursor, void* context);
    void* context;
};

// ---- writer: each returns the cursor after the item, or null when it does
// not fit (the text is then unchanged). A null key writes an array element.
char* initBuffer(char* buffer, size_t capacity, const char* text);
char* addString(char* cursor, const char* key, const char* text);
char* addBool(char* cursor, const char* key, bool value);
char* addInt(char* cursor, const char* key, int32_t value);
char* addUInt(char* cursor, const char* key, uint32_t value);
char* addUInt64(char* cursor, const char* key, uint64_t value);
char* addObject(char* cursor, const char* key);  // cursor at the new '}'
char* addArray(char* cursor, const char* key);   // cursor at the new ']'
char* addRaw(char* cursor, const char* key, const char* text);
// A member written by addMembers or addObjectOfMembers: its key and either
// a string value (escaped and quoted) or raw JSON text (copied as it is). A
// null value is the empty string, or null when raw.
struct Member {
    const char* key;
    const char* value;
    bool raw;
};
inline constexpr size_t kMaxObjectMembers = 8;
// Up to kMaxObjectMembers members written with one move of the text, all or
// nothing. addMembers writes them as consecutive items of the object at the
// cursor and returns the cursor after the last; addObjectOfMembers writes
// `"key":{members}` (the object alone for a null key) and returns the
// cursor after the object's closing brace.
char* addMembers(char* cursor, const Member* members, size_t count);
char* addObjectOfMembers(char* cursor, const char* key, const Member* members, size_t count);
char* leaveObject(char* cursor);
char* leaveArray(char* cursor);

char* addStringWithGrow(char* cursor, const char* key, const char* text, const GrowCallback& grow);
char* addIntWithGrow(char* cursor, const char* key, int32_t value, const GrowCallback& grow);
char* addUIntWithGrow(char* cursor, const char* key, uint32_t value, const GrowCallback& grow);
char* addUInt64WithGrow(char* cursor, const char* key, uint64_t value, const GrowCallback& grow);
char* addBoolWithGrow(char* cursor, const char* key, bool value, const GrowCallback& grow);
char* addStdStringWithGrow(char* cursor, const char* key, const std::string& text,
                           const GrowCallback& grow);
char* addRawWithGrow(char* cursor, const char* key, const std::string& text,
                     const GrowCallback& grow);
char* addMembersWithGrow(char* cursor, const Member* members, size_t count,
                         const GrowCallback& grow);
char* addObjectOfMembersWithGrow(char* cursor, const char* key, const Member* members, size_t count,
                                 const GrowCallback& grow);
char* addObjectWithGrow(char* cursor, const char* key, const GrowCallback& grow);
char* addArrayWithGrow(char* cursor, const char* key, const GrowCallback& grow);

// ---- reader: works on NUL-terminated text and returns pointers into it.
enum TokenType : int32_t {
    kTokenError = 0,
    kTokenNull = 1,
    kTokenBool = 2,
    kTokenNumber = 3,
    kTokenString = 4,
    kTokenArray = 5,
    kTokenObject = 6,
};

enum ReaderError : uint64_t {
    kErrorNoText = 1,
    kErrorString = 2,
    kErrorObject = 3,
    kErrorArray = 4,
    kErrorColon = 5,
    kErrorCommaOrBracket = 6,
    kErrorBadCharacter = 7,
    kErrorTrailingComma = 8,
};

struct Key {
    uint64_t length;
    const char* text;  // escaped, not NUL-terminated
};

struct Token {
    int32_t type;
    const char* start;
    uint64_t lengthOrValue;  // string/number length, bool value, error code
    uint32_t isFloat;
};

const char* parseValue(const char* text, Token& token);
const char* parseValueHead(const char* text, Token& token);
const char* findMember(const char* objectText, const char* key);
const char* firstObjectMember(const char* objectText, Key& key, bool* found);
const char* nextObjectMember(const char* previousEnd, Key& key, bool* found);
const char* firstArrayElement(const char* arrayText);
const char* nextArrayElement(const char* previousEnd);
char* findContainerEnd(char* text);
const char* findContainerEnd(const char* text);
const char* getString(const char* value, const char* defaultValue, uint64_t* length,
                      const char** end);
int32_t getInt(const char* value, int32_t defaultValue, const char** end);
bool readInt(const Token& number, int32_t& value);
bool readUInt(const Token& number, uint32_t& value);

// Decodes escaped string contents byte by byte into UTF-8.
struct UnescapeCursor {
    const char* text;
    uint64_t remaining;
    // Pending bytes of a multi-byte code point.
    unsigned char pending[4];
    uint8_t pendingCount;
    uint8_t pendingIndex;
};
void beginUnescape(UnescapeCursor& cursor, const char* escaped, uint64_t length);
// Next byte of the unescaped text; 0 at the end or on a bad escape.
unsigned char nextUnescapedByte(UnescapeCursor& cursor);
bool equalsUnescaped(const char* text, const char* escaped, uint64_t length);
char* unescapeString(const char* escaped, uint64_t length, char* output);
size_t escapedLength(const char* text);

}  // namespace qverr::json
