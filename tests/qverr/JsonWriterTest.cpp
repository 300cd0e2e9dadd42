#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "qverr/json.h"

namespace {

namespace json = qverr::json;

// A buffer of exactly `capacity` bytes on the heap, so the sanitizer sees
// any write past it.
struct Buffer {
    std::vector<char> bytes;
    Buffer(size_t capacity, const char* text) : bytes(capacity) {
        cursor = json::initBuffer(bytes.data(), capacity, text);
    }
    const char* text() const { return bytes.data(); }
    char* cursor;
};

TEST(JsonBuffer, InitNeedsRoomForTextNulAndMarker) {
    char small[3];
    EXPECT_EQ(json::initBuffer(small, sizeof small, "{}"), nullptr);
    char exact[4];
    char* cursor = json::initBuffer(exact, sizeof exact, "{}");
    ASSERT_EQ(cursor, exact + 1);
    EXPECT_EQ(std::string(exact, 4), std::string("{}\0J", 4));
    // No free room: nothing fits.
    EXPECT_EQ(json::addInt(cursor, "a", 1), nullptr);
    EXPECT_EQ(std::string(exact, 4), std::string("{}\0J", 4));

    char keep[8] = "[1]";
    EXPECT_EQ(json::initBuffer(keep, sizeof keep, nullptr), keep + 2);
    EXPECT_EQ(std::string(keep, 8), std::string("[1]\0\0\0\0J", 8));
}

TEST(JsonWriter, WritesMembersWithoutWhiteSpace) {
    Buffer buffer(64, "{}");
    char* cursor = json::addInt(buffer.cursor, "a", 1);
    ASSERT_NE(cursor, nullptr);
    EXPECT_STREQ(buffer.text(), "{\"a\":1}");
    cursor = json::addBool(cursor, "b", true);
    EXPECT_STREQ(buffer.text(), "{\"a\":1,\"b\":true}");
    EXPECT_EQ(*cursor, '}');
    EXPECT_EQ(buffer.bytes.back(), 'J');
}

TEST(JsonWriter, WritesEveryKindOfValue) {
    Buffer buffer(256, "{}");
    char* c = buffer.cursor;
    c = json::addInt(c, "min", INT32_MIN);
    c = json::addUInt(c, "umax", UINT32_MAX);
    c = json::addUInt64(c, "u64", UINT64_MAX);
    c = json::addBool(c, "f", false);
    c = json::addRaw(c, "raw", "[1,2]");
    char* inner = json::addObject(c, "o");
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(*inner, '}');
    inner = json::addString(inner, "s", "x");
    c = json::leaveObject(inner);
    char* array = json::addArray(c, "a");
    array = json::addInt(array, nullptr, -1);
    array = json::addString(array, nullptr, "e");
    c = json::leaveArray(array);
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(buffer.text(),
                 "{\"min\":-2147483648,\"umax\":4294967295,\"u64\":18446744073709551615,"
                 "\"f\":false,\"raw\":[1,2],\"o\":{\"s\":\"x\"},\"a\":[-1,\"e\"]}");
    EXPECT_EQ(json::leaveObject(nullptr), nullptr);
    EXPECT_EQ(json::addInt(nullptr, "a", 1), nullptr);
}

TEST(JsonWriter, InsertsWhereTheCursorStands) {
    // Right after an opening bracket: first, with a comma after.
    Buffer front(64, "{\"b\":2}");
    char* c = json::addInt(front.bytes.data(), "a", 1);
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(front.text(), "{\"a\":1,\"b\":2}");
    json::addInt(c, "c", 3);  // at that comma: after "a"
    EXPECT_STREQ(front.text(), "{\"a\":1,\"c\":3,\"b\":2}");

    // An empty container with white space inside takes no comma.
    Buffer spaced(64, "[ \n ]");
    json::addInt(spaced.bytes.data(), nullptr, 1);
    EXPECT_STREQ(spaced.text(), "[1 \n ]");

    // At the text's end: appended.
    Buffer end(64, "");
    ASSERT_EQ(end.cursor, end.bytes.data());
    EXPECT_NE(json::addObject(end.cursor, nullptr), nullptr);
    EXPECT_STREQ(end.text(), "{}");
}

TEST(JsonWriter, EscapesStringsAndKeys) {
    Buffer buffer(256, "{}");
    json::addString(buffer.cursor, "k\"ey", "\t\x01\b\f\n\r\"\\/\x7f\xc3\xa9");
    EXPECT_STREQ(buffer.text(),
                 "{\"k\\\"ey\":\"\\t\\u0001\\b\\f\\n\\r\\\"\\\\/\\u007f\xc3\xa9\"}");
    EXPECT_EQ(json::escapedLength("\t\x01" "a"), 2u + 6u + 1u);
    EXPECT_EQ(json::escapedLength(nullptr), 0u);
}

// Every writer, at every capacity: it either fits completely or leaves the
// buffer exactly as it was.
TEST(JsonWriter, AnItemThatDoesNotFitLeavesTheBufferUnchanged) {
    using Write = std::function<char*(char*)>;
    struct Case {
        Write write;
        bool keyed;
    };
    const std::vector<Case> writers = {
        {[](char* c) { return json::addString(c, "key", "v\x01\"a"); }, true},
        {[](char* c) { return json::addString(c, nullptr, "\x7f"); }, false},
        {[](char* c) { return json::addInt(c, "i", -123); }, true},
        {[](char* c) { return json::addUInt(c, nullptr, 42); }, false},
        {[](char* c) { return json::addUInt64(c, "u", 1234567890123ull); }, true},
        {[](char* c) { return json::addBool(c, "b", false); }, true},
        {[](char* c) { return json::addObject(c, "o"); }, true},
        {[](char* c) { return json::addArray(c, nullptr); }, false},
        {[](char* c) { return json::addRaw(c, "r", "null"); }, true},
    };
    const char* objects[] = {"{}", "{\"x\":1}", "{ }"};
    const char* arrays[] = {"[]", "[1]", "[\"a\",{}]"};
    for (const auto& writer : writers) {
        for (const char* text : writer.keyed ? objects : arrays) {
            for (size_t capacity = strlen(text) + 2; capacity < 40; ++capacity) {
                for (int front = 0; front < 2; ++front) {
                    Buffer buffer(capacity, text);
                    const std::vector<char> before = buffer.bytes;
                    char* at = front ? buffer.bytes.data() : buffer.cursor;
                    if (char* after = writer.write(at)) {
                        EXPECT_EQ(buffer.bytes.back(), 'J');
                        EXPECT_LE(after, &buffer.bytes.back());
                        json::Token token;
                        EXPECT_NE(json::parseValue(buffer.text(), token), nullptr) << buffer.text();
                    } else {
                        EXPECT_EQ(buffer.bytes, before) << text << " capacity " << capacity;
                    }
                }
            }
        }
    }
}

struct Grower {
    std::vector<std::vector<char>> buffers;
    int calls = 0;
    bool enlarge = true;
    static char* grow(char* cursor, void* context) {
        auto* self = static_cast<Grower*>(context);
        ++self->calls;
        if (!self->enlarge) return cursor;  // no more room: must not loop
        const std::vector<char>& old = self->buffers.back();
        std::vector<char> bigger(old.size() * 2);
        json::initBuffer(bigger.data(), bigger.size(), old.data());
        const ptrdiff_t offset = cursor - old.data();
        self->buffers.push_back(std::move(bigger));
        return self->buffers.back().data() + offset;
    }
};

TEST(JsonWriterWithGrow, GrowsUntilTheItemFits) {
    Grower grower;
    grower.buffers.emplace_back(8);
    char* cursor = json::initBuffer(grower.buffers.back().data(), 8, "{}");
    const json::GrowCallback grow{&Grower::grow, &grower};
    cursor = json::addStringWithGrow(cursor, "name", std::string(40, 'n').c_str(), grow);
    ASSERT_NE(cursor, nullptr);
    cursor = json::addStdStringWithGrow(cursor, "nul", std::string("a\0b", 3), grow);
    cursor = json::addRawWithGrow(cursor, "raw", "{\"x\":[]}", grow);
    cursor = json::addIntWithGrow(cursor, "i", 1, grow);
    cursor = json::addUIntWithGrow(cursor, "u", 2, grow);
    cursor = json::addUInt64WithGrow(cursor, "w", 3, grow);
    cursor = json::addBoolWithGrow(cursor, "b", true, grow);
    char* object = json::addObjectWithGrow(cursor, "o", grow);
    char* array = json::addArrayWithGrow(object, "a", grow);
    ASSERT_NE(array, nullptr);
    EXPECT_STREQ(grower.buffers.back().data(),
                 ("{\"name\":\"" + std::string(40, 'n') +
                  "\",\"nul\":\"a\\u0000b\",\"raw\":{\"x\":[]},\"i\":1,\"u\":2,\"w\":3,\"b\":true,"
                  "\"o\":{\"a\":[]}}")
                     .c_str());
    EXPECT_GE(grower.calls, 4);
}

TEST(JsonWriterWithGrow, StopsWhenGrowthGivesNoRoom) {
    Grower grower;
    grower.enlarge = false;
    grower.buffers.emplace_back(8);
    char* cursor = json::initBuffer(grower.buffers.back().data(), 8, "{}");
    const json::GrowCallback grow{&Grower::grow, &grower};
    EXPECT_EQ(json::addStringWithGrow(cursor, "k", "long value", grow), nullptr);
    EXPECT_EQ(grower.calls, 1);
    EXPECT_EQ(json::addIntWithGrow(cursor, "k", 1234567, json::GrowCallback{nullptr, nullptr}),
              nullptr);
    EXPECT_EQ(json::addIntWithGrow(nullptr, "k", 1, grow), nullptr);
    EXPECT_STREQ(grower.buffers.back().data(), "{}");
}

}  // namespace
