#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "qverr/json.h"

namespace {

namespace json = qverr::json;

// The text in a heap block of exactly its size: reading past its NUL is
// caught by the sanitizer.
struct Text {
    std::unique_ptr<char[]> bytes;
    explicit Text(const std::string& s) : bytes(new char[s.size() + 1]) {
        memcpy(bytes.get(), s.c_str(), s.size() + 1);
    }
    const char* get() const { return bytes.get(); }
};

struct Parsed {
    json::Token token{};
    const char* end = nullptr;
    ptrdiff_t at = -1;  // error position in the text
};

Parsed parse(const std::string& s) {
    Text text(s);
    Parsed result;
    result.end = json::parseValue(text.get(), result.token);
    if (result.token.type == json::kTokenError && result.token.start) {
        result.at = result.token.start - text.get();
    }
    return result;
}

TEST(JsonReader, ParsesEveryKindOfValue) {
    const char text[] = " \t\r\n\"a\\\"b\" rest";
    json::Token token;
    const char* end = json::parseValue(text, token);
    EXPECT_EQ(token.type, json::kTokenString);
    EXPECT_EQ(token.start, text + 5);
    EXPECT_EQ(token.lengthOrValue, 4u);
    EXPECT_EQ(end, text + 10);

    const char number[] = "-012.5e+3,";
    end = json::parseValue(number, token);
    EXPECT_EQ(token.type, json::kTokenNumber);
    EXPECT_EQ(token.lengthOrValue, 9u);
    EXPECT_EQ(token.isFloat, 1u);
    EXPECT_EQ(*end, ',');

    json::parseValue("17", token);
    EXPECT_EQ(token.isFloat, 0u);

    EXPECT_EQ(parse("true").token.type, json::kTokenBool);
    EXPECT_EQ(parse("true").token.lengthOrValue, 1u);
    EXPECT_EQ(parse("false").token.lengthOrValue, 0u);
    EXPECT_EQ(parse("null").token.type, json::kTokenNull);
    EXPECT_EQ(parse("[1, {\"a\": [true]} ]").token.type, json::kTokenArray);
    EXPECT_EQ(parse("{ }").token.type, json::kTokenObject);

    const char nested[] = "{\"a\":[1,2]} x";
    end = json::parseValueHead(nested, token);
    EXPECT_EQ(token.type, json::kTokenObject);
    EXPECT_EQ(end, nested);
    end = json::parseValue(nested, token);
    EXPECT_EQ(end, nested + 11);
}

TEST(JsonReader, ReportsEachErrorWithItsPosition) {
    json::Token token;
    EXPECT_EQ(json::parseValue(nullptr, token), nullptr);
    EXPECT_EQ(token.type, json::kTokenError);
    EXPECT_EQ(token.lengthOrValue, json::kErrorNoText);

    const struct {
        const char* text;
        uint64_t code;
        ptrdiff_t at;
    } cases[] = {
        {"\"abc", json::kErrorString, 4},
        {"", json::kErrorString, 0},
        {"xyz", json::kErrorString, 0},
        {"{1:2}", json::kErrorString, 1},
        {"{\"a\":1", json::kErrorObject, 6},
        {"{", json::kErrorObject, 1},
        {"[1,", json::kErrorArray, 3},
        {"[", json::kErrorArray, 1},
        {"{\"a\" 1}", json::kErrorColon, 5},
        {"[1 2]", json::kErrorCommaOrBracket, 3},
        {"{\"a\":1 \"b\":2}", json::kErrorCommaOrBracket, 7},
        {"\"a\x01\"", json::kErrorBadCharacter, 2},
        {"\"a\\q\"", json::kErrorBadCharacter, 2},
        {"\"\\u12g4\"", json::kErrorBadCharacter, 1},
        {"[1,2,]", json::kErrorTrailingComma, 5},
        {"{\"a\":1, }", json::kErrorTrailingComma, 8},
        {"[{\"a\":[1,]}]", json::kErrorTrailingComma, 9},
    };
    for (const auto& c : cases) {
        const Parsed parsed = parse(c.text);
        EXPECT_EQ(parsed.end, nullptr) << c.text;
        EXPECT_EQ(parsed.token.type, json::kTokenError) << c.text;
        EXPECT_EQ(parsed.token.lengthOrValue, c.code) << c.text;
        EXPECT_EQ(parsed.at, c.at) << c.text;
    }
}

TEST(JsonReader, TextsCutAnywhereNeverReadPastTheirEnd) {
    const std::string whole =
        "{\"k\\u00e9y\":[1,-2.5e3,true,false,null,\"\\ud83d\\ude00\\n\"],\"o\":{\"x\":{}}}";
    for (size_t length = 0; length < whole.size(); ++length) {
        const Parsed parsed = parse(whole.substr(0, length));
        EXPECT_EQ(parsed.end, nullptr) << length;
    }
    EXPECT_NE(parse(whole).end, nullptr);
}

TEST(JsonReader, DeepNestingIsRefusedNotOverflowed) {
    const Parsed parsed = parse(std::string(100000, '['));
    EXPECT_EQ(parsed.token.type, json::kTokenError);
    EXPECT_EQ(parsed.token.lengthOrValue, json::kErrorArray);
    const std::string ok = std::string(100, '[') + std::string(100, ']');
    EXPECT_NE(parse(ok).end, nullptr);
}

TEST(JsonReader, FindsMembersAndWalksContainers) {
    const char text[] = "{ \"a\" : 1 , \"b\":{\"c\":[]}, \"q\\\"\":\"v\" }";
    const char* b = json::findMember(text, "b");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(*b, '{');
    EXPECT_EQ(json::findMember(text, "c"), nullptr);
    EXPECT_NE(json::findMember(text, "q\""), nullptr);
    EXPECT_EQ(json::findMember("[1]", "a"), nullptr);
    EXPECT_EQ(json::findMember("{\"a\" 1}", "a"), nullptr);
    EXPECT_EQ(json::findMember("{\"x\":[1,}", "y"), nullptr);

    json::Key key;
    bool found = false;
    const char* value = json::firstObjectMember(text, key, &found);
    EXPECT_TRUE(found);
    EXPECT_EQ(std::string(key.text, key.length), "a");
    EXPECT_EQ(json::getInt(value, 0, nullptr), 1);
    const char* end = nullptr;
    json::getInt(value, 0, &end);
    value = json::nextObjectMember(end, key, &found);
    EXPECT_EQ(std::string(key.text, key.length), "b");
    json::Token token;
    value = json::nextObjectMember(json::parseValue(value, token), key, &found);
    EXPECT_EQ(std::string(key.text, key.length), "q\\\"");
    value = json::nextObjectMember(json::parseValue(value, token), key, &found);
    EXPECT_FALSE(found);
    EXPECT_EQ(value, text + sizeof text - 1);

    const char empty[] = "{}";
    EXPECT_EQ(json::firstObjectMember(empty, key, &found), empty + 2);
    EXPECT_FALSE(found);

    const char array[] = "[ 1 , \"two\" ]";
    const char* element = json::firstArrayElement(array);
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(json::getInt(element, 0, &end), 1);
    element = json::nextArrayElement(end);
    uint64_t length = 0;
    const char* two = json::getString(element, nullptr, &length, &end);
    EXPECT_EQ(std::string(two, length), "two");
    EXPECT_EQ(json::nextArrayElement(end), nullptr);
    EXPECT_EQ(json::firstArrayElement("[ ]"), nullptr);
    EXPECT_EQ(json::firstArrayElement("{}"), nullptr);
    EXPECT_EQ(json::nextArrayElement("x"), nullptr);
}

TEST(JsonReader, FindsTheEndOfWellFormedContainersOnly) {
    char text[] = "{\"a\":\"}\",\"b\":[{}]} tail";
    EXPECT_EQ(json::findContainerEnd(text), strchr(text, ' ') - 1);
    const char pair[] = "[]";
    EXPECT_EQ(json::findContainerEnd(pair), pair + 1);
    const char array[] = "[[],[]]";
    EXPECT_EQ(json::findContainerEnd(array), array + 6);
    EXPECT_EQ(json::findContainerEnd(static_cast<const char*>("{\"a\":}")), nullptr);
    EXPECT_EQ(json::findContainerEnd(static_cast<const char*>("\"s\"")), nullptr);
    EXPECT_EQ(json::findContainerEnd(static_cast<const char*>(nullptr)), nullptr);
}

TEST(JsonNumbers, AreReadAsDecimalWithRangeChecks) {
    EXPECT_EQ(json::getInt("010", -1, nullptr), 10);
    EXPECT_EQ(json::getInt("09", -1, nullptr), 9);
    EXPECT_EQ(json::getInt("2.9", -1, nullptr), 2);
    EXPECT_EQ(json::getInt("-2.9", -1, nullptr), -2);
    EXPECT_EQ(json::getInt("1e3", -1, nullptr), 1000);
    EXPECT_EQ(json::getInt("-2147483648", -1, nullptr), INT32_MIN);
    EXPECT_EQ(json::getInt("2147483647", -1, nullptr), INT32_MAX);
    EXPECT_EQ(json::getInt("2147483648", -1, nullptr), -1);
    EXPECT_EQ(json::getInt("-2147483649", -1, nullptr), -1);
    EXPECT_EQ(json::getInt("99999999999999999999999", -1, nullptr), -1);
    EXPECT_EQ(json::getInt("1e10", -1, nullptr), -1);
    EXPECT_EQ(json::getInt("1e999", -1, nullptr), -1);
    EXPECT_EQ(json::getInt("\"5\"", -1, nullptr), -1);
    EXPECT_EQ(json::getInt(nullptr, -1, nullptr), -1);

    const char* end = reinterpret_cast<const char*>(1);
    EXPECT_EQ(json::getInt("true", 3, &end), 3);
    EXPECT_EQ(end, nullptr);

    auto readUInt = [](const char* text, uint32_t& value) {
        json::Token token;
        json::parseValue(text, token);
        return json::readUInt(token, value);
    };
    uint32_t value = 0;
    EXPECT_TRUE(readUInt("4294967295", value));
    EXPECT_EQ(value, UINT32_MAX);
    EXPECT_TRUE(readUInt("007", value));
    EXPECT_EQ(value, 7u);
    EXPECT_TRUE(readUInt("-0", value));
    EXPECT_EQ(value, 0u);
    EXPECT_TRUE(readUInt("-0.5", value));
    EXPECT_EQ(value, 0u);
    EXPECT_FALSE(readUInt("4294967296", value));
    EXPECT_FALSE(readUInt("-1", value));
    EXPECT_FALSE(readUInt("-1.5", value));

    json::Token notNumber;
    json::parseValue("\"1\"", notNumber);
    int32_t i = 0;
    EXPECT_FALSE(json::readInt(notNumber, i));
}

TEST(JsonStrings, GetStringGivesTheEscapedContents) {
    uint64_t length = 0;
    const char* end = nullptr;
    const char text[] = "\"a\\nb\",";
    const char* s = json::getString(text, "d", &length, &end);
    EXPECT_EQ(s, text + 1);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(end, text + 6);
    EXPECT_STREQ(json::getString("12", "dflt", &length, &end), "dflt");
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(end, nullptr);
    EXPECT_EQ(json::getString("12", nullptr, &length, nullptr), nullptr);
    EXPECT_EQ(length, 0u);
}

std::string unescape(const std::string& escaped) {
    // The escaped text without a NUL after it: the length alone bounds it.
    std::unique_ptr<char[]> input(new char[escaped.size() ? escaped.size() : 1]);
    memcpy(input.get(), escaped.data(), escaped.size());
    std::string out(escaped.size() + 1, '\0');
    const char* end = json::unescapeString(input.get(), escaped.size(), out.data());
    if (!end) return "<bad>";
    out.resize(static_cast<size_t>(end - out.data()));
    return out;
}

TEST(JsonStrings, UnescapeDecodesEscapesAndSurrogatePairs) {
    EXPECT_EQ(unescape("a\\\"\\\\\\/\\b\\f\\n\\r\\t"), "a\"\\/\b\f\n\r\t");
    EXPECT_EQ(unescape("\\u0041\\u00e9\\u20AC"), "A\xc3\xa9\xe2\x82\xac");
    EXPECT_EQ(unescape("\\ud83d\\ude00"), "\xf0\x9f\x98\x80");
    EXPECT_EQ(unescape(""), "");
    EXPECT_EQ(unescape("\\ude00"), "<bad>");
    EXPECT_EQ(unescape("\\ud83d"), "<bad>");
    EXPECT_EQ(unescape("\\ud83dx"), "<bad>");
    EXPECT_EQ(unescape("\\ud83d\\u0041"), "<bad>");
    EXPECT_EQ(unescape("\\u00"), "<bad>");
    EXPECT_EQ(unescape("\\u0000"), "<bad>");
    EXPECT_EQ(unescape("\\x"), "<bad>");
    EXPECT_EQ(unescape("a\\"), "<bad>");

    EXPECT_TRUE(json::equalsUnescaped("\xf0\x9f\x98\x80!", "\\ud83d\\ude00!", 13));
    EXPECT_FALSE(json::equalsUnescaped("\xf0\x9f\x98\x80", "\\ud83d\\ude00!", 13));
    EXPECT_FALSE(json::equalsUnescaped("ab", "a", 1));
    EXPECT_FALSE(json::equalsUnescaped("a", "\\q", 2));
    EXPECT_TRUE(json::equalsUnescaped("", "", 0));

    json::UnescapeCursor cursor;
    json::beginUnescape(cursor, "\\u00e9", 6);
    EXPECT_EQ(json::nextUnescapedByte(cursor), 0xC3);
    EXPECT_EQ(json::nextUnescapedByte(cursor), 0xA9);
    EXPECT_EQ(json::nextUnescapedByte(cursor), 0);
    EXPECT_EQ(cursor.remaining, 0u);
}

TEST(JsonStrings, WriterOutputReadsBack) {
    std::string original;
    for (int c = 1; c < 256; ++c) original += static_cast<char>(c);
    char buffer[2048];
    char* cursor = json::initBuffer(buffer, sizeof buffer, "{}");
    ASSERT_NE(json::addString(cursor, original.c_str(), original.c_str()), nullptr);
    const char* value = json::findMember(buffer, original.c_str());
    ASSERT_NE(value, nullptr);
    uint64_t length = 0;
    const char* escaped = json::getString(value, nullptr, &length, nullptr);
    EXPECT_EQ(length, json::escapedLength(original.c_str()));
    EXPECT_EQ(unescape(std::string(escaped, length)), original);
}

}  // namespace
