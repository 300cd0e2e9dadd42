#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "qverr/json.h"

namespace {

namespace json = qverr::json;

// A buffer of exactly `capacity` bytes on the heap, so the sanitizer sees
// any access past it.
struct Buffer {
    std::vector<char> bytes;
    char* cursor;
    Buffer(size_t capacity, const char* text) : bytes(capacity) {
        cursor = json::initBuffer(bytes.data(), capacity, text);
    }
    const char* text() const { return bytes.data(); }
};

TEST(JsonWriter, WritesEveryKindOfValueWhereTheCursorStands) {
    Buffer buffer(256, "{}");
    char* c = buffer.cursor;
    c = json::addInt(c, "min", INT32_MIN);
    c = json::addUInt(c, "umax", UINT32_MAX);
    c = json::addUInt64(c, "u64", UINT64_MAX);
    c = json::addRaw(c, "raw", "[1]");
    char* inner =
        json::addString(json::addObject(c, "o"), "s\"", "\t\x01\b\f\n\r\"\\/\x7f\xc3\xa9");
    char* array = json::addArray(json::leaveObject(inner), "a");
    array = json::addString(json::addInt(array, nullptr, -1), nullptr, "e");
    ASSERT_NE(json::leaveArray(array), nullptr);
    EXPECT_STREQ(buffer.text(),
                 "{\"min\":-2147483648,\"umax\":4294967295,\"u64\":18446744073709551615,"
                 "\"raw\":[1],\"o\":{\"s\\\"\":\"\\t\\u0001\\b\\f\\n\\r\\\"\\\\/\\u007f\xc3\xa9\"},"
                 "\"a\":[-1,\"e\"]}");

    // Groups of members in one insert, as single items would write them.
    Buffer group(128, "{\"x\":0}");
    const json::Member members[] = {{"s", "q\"", false}, {"n", "12", true}, {"z", nullptr, true}};
    char* after = json::addMembers(group.cursor, members, 2);
    after = json::addObjectOfMembers(after, "o", members, 3);
    after = json::addObjectOfMembers(after, "e", nullptr, 0);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(*after, '}');
    EXPECT_STREQ(group.text(),
                 "{\"x\":0,\"s\":\"q\\\"\",\"n\":12,\"o\":{\"s\":\"q\\\"\",\"n\":12,\"z\":null},"
                 "\"e\":{}}");
    EXPECT_EQ(json::addMembers(group.cursor, members, 0), nullptr);
    EXPECT_EQ(json::addObjectOfMembers(group.cursor, nullptr, members, json::kMaxObjectMembers + 1),
              nullptr);

    // Right after an opening bracket: first, with a comma after it.
    Buffer front(64, "{\"b\":2}");
    json::addInt(json::addInt(front.bytes.data(), "a", 1), "c", 3);
    EXPECT_STREQ(front.text(), "{\"a\":1,\"c\":3,\"b\":2}");
    Buffer spaced(64, "[ \n ]");
    json::addBool(spaced.bytes.data(), nullptr, false);
    EXPECT_STREQ(spaced.text(), "[false \n ]");
    Buffer empty(8, "");
    json::addObject(empty.cursor, nullptr);
    EXPECT_STREQ(empty.text(), "{}");

    // The buffer holds the text, its NUL and the end marker.
    char small[3];
    EXPECT_EQ(json::initBuffer(small, sizeof small, "{}"), nullptr);
    Buffer exact(4, "{}");
    EXPECT_EQ(std::string(exact.text(), 4), std::string("{}\0J", 4));
}

// One writer of each shape, at every capacity: it either fits completely and
// the text stays well formed, or the buffer is left exactly as it was.
TEST(JsonWriter, AnItemThatDoesNotFitLeavesTheBufferUnchanged) {
    const std::vector<std::pair<std::function<char*(char*)>, bool>> writers = {
        {[](char* c) { return json::addString(c, "key", "v\x01\"a"); }, true},
        {[](char* c) { return json::addString(c, nullptr, "\x7f"); }, false},
        {[](char* c) { return json::addUInt(c, nullptr, 42); }, false},
        {[](char* c) { return json::addObject(c, "o"); }, true},
        {[](char* c) {
             const json::Member m[] = {{"a", "x\x01", false}, {"n", "1", true}};
             return json::addMembers(c, m, 2);
         },
         true},
        {[](char* c) {
             const json::Member m[] = {{"a", "\\", false}};
             return json::addObjectOfMembers(c, nullptr, m, 1);
         },
         false},
    };
    const char* objects[] = {"{}", "{\"x\":1}", "{ }"};
    const char* arrays[] = {"[]", "[1]", "[\"a\",{}]"};
    for (const auto& [write, keyed] : writers) {
        for (const char* text : keyed ? objects : arrays) {
            for (size_t capacity = strlen(text) + 2; capacity < 40; ++capacity) {
                for (bool front : {false, true}) {
                    Buffer buffer(capacity, text);
                    const std::vector<char> before = buffer.bytes;
                    if (write(front ? buffer.bytes.data() : buffer.cursor)) {
                        json::Token token;
                        EXPECT_NE(json::parseValue(buffer.text(), token), nullptr) << buffer.text();
                        EXPECT_EQ(buffer.bytes.back(), 'J');
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

TEST(JsonWriter, GrowingFormsRetryUntilTheItemFits) {
    Grower grower;
    grower.buffers.emplace_back(8);
    char* c = json::initBuffer(grower.buffers.back().data(), 8, "{}");
    const json::GrowCallback grow{&Grower::grow, &grower};
    c = json::addStringWithGrow(c, "name", std::string(40, 'n').c_str(), grow);
    c = json::addStdStringWithGrow(c, "nul", std::string("a\0b", 3), grow);
    c = json::addRawWithGrow(c, "raw", "{\"x\":[]}", grow);
    c = json::addUIntWithGrow(json::addIntWithGrow(c, "i", 1, grow), "u", 2, grow);
    c = json::addBoolWithGrow(json::addUInt64WithGrow(c, "w", 3, grow), "b", true, grow);
    c = json::addArrayWithGrow(json::addObjectWithGrow(c, "o", grow), "a", grow);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(std::string(grower.buffers.back().data()),
              "{\"name\":\"" + std::string(40, 'n') +
                  "\",\"nul\":\"a\\u0000b\",\"raw\":{\"x\":[]},\"i\":1,\"u\":2,\"w\":3,\"b\":true,"
                  "\"o\":{\"a\":[]}}");

    // A grower that finds no more room is asked once, not for ever.
    Grower stuck;
    stuck.enlarge = false;
    stuck.buffers.emplace_back(8);
    c = json::initBuffer(stuck.buffers.back().data(), 8, "{}");
    EXPECT_EQ(json::addStringWithGrow(c, "k", "long", {&Grower::grow, &stuck}), nullptr);
    EXPECT_EQ(stuck.calls, 1);
    EXPECT_EQ(json::addIntWithGrow(c, "k", 1234567, {nullptr, nullptr}), nullptr);
}

}  // namespace
