#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "qverr/json.h"

namespace {

namespace json = qverr::json;

// Copies `s` into a heap block of exactly its size, so the sanitizer sees
// any read past its NUL (or past its length when `terminate` is false).
std::unique_ptr<char[]> exactCopy(const std::string& s, bool terminate = true) {
    std::unique_ptr<char[]> bytes(new char[s.size() + (terminate ? 1 : 0) + (s.empty() ? 1 : 0)]);
    memcpy(bytes.get(), s.c_str(), s.size() + (terminate ? 1 : 0));
    return bytes;
}

// The token of `s` and, for an error, its position (-1 for none).
std::pair<json::Token, ptrdiff_t> parse(const std::string& s) {
    auto text = exactCopy(s);
    json::Token token{};
    const char* end = json::parseValue(text.get(), token);
    ptrdiff_t at = end ? end - text.get() : -1;
    if (token.type == json::kTokenError) at = token.start ? token.start - text.get() : -1;
    return {token, at};
}

TEST(JsonReader, ParsesEveryKindOfValue) {
    const struct {
        const char* text;
        int32_t type;
        uint64_t lengthOrValue;
        ptrdiff_t end;
    } cases[] = {{" \t\r\n\"a\\\"b\" rest", json::kTokenString, 4, 10},
                 {"-012.5e+3,", json::kTokenNumber, 9, 9},
                 {"7.e1", json::kTokenNumber, 1, 1},
                 {"true", json::kTokenBool, 1, 4},
                 {"false", json::kTokenBool, 0, 5},
                 {"null", json::kTokenNull, 0, 4},
                 {"[1, {\"a\": [true]} ]x", json::kTokenArray, 19, 19},
                 {"{ }", json::kTokenObject, 3, 3}};
    for (const auto& c : cases) {
        const auto [parsed, end] = parse(c.text);
        EXPECT_EQ(parsed.type, c.type) << c.text;
        EXPECT_EQ(parsed.lengthOrValue, c.lengthOrValue) << c.text;
        EXPECT_EQ(end, c.end) << c.text;
    }
    EXPECT_EQ(parse("1e5").first.isFloat, 1u);
    EXPECT_EQ(parse("15").first.isFloat, 0u);

    const char nested[] = " {\"a\":[1,2]}";
    json::Token token;
    EXPECT_EQ(json::parseValueHead(nested, token), nested + 1);
    EXPECT_EQ(token.type, json::kTokenObject);
}

TEST(JsonReader, ReportsEachErrorWithItsPosition) {
    json::Token token;
    EXPECT_EQ(json::parseValue(nullptr, token), nullptr);
    EXPECT_EQ(token.lengthOrValue, json::kErrorNoText);
    const struct {
        const char* text;
        uint64_t code;
        ptrdiff_t at;
    } cases[] = {{"\"abc", json::kErrorString, 4},
                 {"", json::kErrorString, 0},
                 {"{1:2}", json::kErrorString, 1},
                 {"{\"a\":1", json::kErrorObject, 6},
                 {"[1,", json::kErrorArray, 3},
                 {"{\"a\" 1}", json::kErrorColon, 5},
                 {"[1 2]", json::kErrorCommaOrBracket, 3},
                 {"\"a\x01\"", json::kErrorBadCharacter, 2},
                 {"\"a\\q\"", json::kErrorBadCharacter, 2},
                 {"\"\\u12g4\"", json::kErrorBadCharacter, 1},
                 {"\"\\u12", json::kErrorString, 5},
                 {"[1,2,]", json::kErrorTrailingComma, 5},
                 {"[{\"a\":[1,]}]", json::kErrorTrailingComma, 9}};
    for (const auto& c : cases) {
        const auto [parsed, at] = parse(c.text);
        EXPECT_EQ(parsed.type, json::kTokenError) << c.text;
        EXPECT_EQ(parsed.lengthOrValue, c.code) << c.text;
        EXPECT_EQ(at, c.at) << c.text;
    }
    // Cut anywhere, a text fails without reading past its end.
    const std::string whole =
        "{\"k\\u00e9\":[1,-2.5e3,true,null,\"\\ud83d\\ude00\"],\"o\":{\"x\":{}}}";
    for (size_t length = 0; length < whole.size(); ++length) {
        EXPECT_EQ(parse(whole.substr(0, length)).first.type, json::kTokenError) << length;
    }
    // Nesting too deep for the stack is refused.
    EXPECT_EQ(parse(std::string(100000, '[')).first.lengthOrValue, json::kErrorArray);
    EXPECT_EQ(parse(std::string(100, '[') + std::string(100, ']')).first.type, json::kTokenArray);
}

// White space is space, tab, line feed and carriage return, nothing else.
TEST(JsonReader, WhiteSpaceIsSpaceTabLineFeedAndCarriageReturnOnly) {
    EXPECT_EQ(parse(" \t\n\r[ \t\n\r1 \t\n\r, \t\n\r{ \t\n\r\"a\" \t\n\r: \t\n\r2 \t\n\r} \t\n\r]")
                  .first.type,
              json::kTokenArray);
    for (const char* other : {"\v", "\f", "\xa0", "\x1c", "\x85"}) {
        EXPECT_EQ(parse("[1" + std::string(other) + "]").first.type, json::kTokenError) << other;
    }
    EXPECT_EQ(json::findMember("{\v\"k\":1}", "k"), nullptr);
    const char* spaced = "{ \t\n\r\"k\" \t\n\r: \t\n\r7 \t\n\r}";
    EXPECT_EQ(json::getInt(json::findMember(spaced, "k"), -1, nullptr), 7);
}

TEST(JsonReader, FindsMembersAndWalksContainers) {
    const char text[] = "{ \"a\" : 1 , \"b\":{\"c\":[]}, \"q\\\"\":\"v\" }";
    ASSERT_NE(json::findMember(text, "b"), nullptr);
    EXPECT_EQ(*json::findMember(text, "b"), '{');
    EXPECT_NE(json::findMember(text, "q\""), nullptr);
    EXPECT_EQ(json::findMember(text, "c"), nullptr);
    EXPECT_EQ(json::findMember("{\"x\":[1,}", "y"), nullptr);

    json::Key key;
    bool found = false;
    std::string keys;
    const char* end = nullptr;
    for (const char* v = json::firstObjectMember(text, key, &found); found;) {
        keys += std::string(key.text, key.length) + ";";
        json::Token token;
        end = json::parseValue(v, token);
        v = json::nextObjectMember(end, key, &found);
        if (!found) {
            EXPECT_EQ(v, text + sizeof text - 1);
        }
    }
    EXPECT_EQ(keys, "a;b;q\\\";");
    EXPECT_EQ(json::firstObjectMember("{}", key, &found)[-1], '}');
    EXPECT_FALSE(found);

    const char array[] = "[ 1 , \"two\" ]";
    EXPECT_EQ(json::getInt(json::firstArrayElement(array), 0, &end), 1);
    uint64_t length = 0;
    const char* two = json::getString(json::nextArrayElement(end), nullptr, &length, &end);
    EXPECT_EQ(std::string(two, length), "two");
    EXPECT_EQ(json::nextArrayElement(end), nullptr);
    EXPECT_EQ(json::firstArrayElement("[ ]"), nullptr);
    EXPECT_STREQ(json::getString("12", "dflt", &length, &end), "dflt");
    EXPECT_EQ(end, nullptr);

    char container[] = "{\"a\":\"}\",\"b\":[{}]} tail";
    EXPECT_EQ(json::findContainerEnd(container), strchr(container, ' ') - 1);
    EXPECT_EQ(json::findContainerEnd(static_cast<const char*>("{\"a\":}")), nullptr);
    EXPECT_EQ(json::findContainerEnd(static_cast<const char*>("\"s\"")), nullptr);
}

TEST(JsonReader, ReadsNumbersAsDecimalWithRangeChecks) {
    const struct {
        const char* text;
        int32_t value;
    } ints[] = {{"010", 10},
                {"09", 9},
                {"2.9", 2},
                {"-2.9", -2},
                {"1e3", 1000},
                {"-2147483648", INT32_MIN},
                {"2147483647", INT32_MAX},
                {"2147483648", -1},
                {"-2147483649", -1},
                {"99999999999999999999999", -1},
                {"1e10", -1},
                {"1e999", -1},
                {"\"5\"", -1},
                {"true", -1}};
    for (const auto& c : ints) EXPECT_EQ(json::getInt(c.text, -1, nullptr), c.value) << c.text;

    const struct {
        const char* text;
        bool ok;
        uint32_t value;
    } uints[] = {
        {"4294967295", true, UINT32_MAX}, {"007", true, 7}, {"-0", true, 0},    {"-0.5", true, 0},
        {"4294967296", false, 0},         {"-1", false, 0}, {"-1.5", false, 0},
    };
    for (const auto& c : uints) {
        json::Token token;
        json::parseValue(c.text, token);
        uint32_t value = 0;
        EXPECT_EQ(json::readUInt(token, value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(JsonReader, ANumberTooSmallForADoubleReadsAsZeroAndOnlyAnOverflowIsRefused) {
    const std::string longDigits = "1" + std::string(800, '0');
    const struct {
        std::string text;
        bool ok;
    } cases[] = {{"1e-400", true},
                 {"-1e-400", true},
                 {"0.0000000001E-399", true},
                 {"1e-99999999999999999999999", true},
                 {"0." + longDigits + "e-10", true},
                 {"1e400", false},
                 {"-1e400", false},
                 {longDigits + "e-400", false},
                 {"1e99999999999999999999999", false}};
    for (const auto& c : cases) {
        const auto text = exactCopy(c.text);
        EXPECT_EQ(json::getInt(text.get(), -1, nullptr), c.ok ? 0 : -1) << c.text;
        json::Token token;
        json::parseValue(text.get(), token);
        int32_t signedValue = -1;
        uint32_t unsignedValue = 1;
        EXPECT_EQ(json::readInt(token, signedValue), c.ok) << c.text;
        EXPECT_EQ(json::readUInt(token, unsignedValue), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(signedValue, 0) << c.text;
            EXPECT_EQ(unsignedValue, 0u) << c.text;
        }
    }
}

std::string unescape(const std::string& escaped) {
    auto input = exactCopy(escaped, false);  // bounded by the length alone
    std::string out(escaped.size() + 1, '\0');
    const char* end = json::unescapeString(input.get(), escaped.size(), out.data());
    return end ? out.substr(0, static_cast<size_t>(end - out.data())) : "<bad>";
}

TEST(JsonReader, UnescapesEscapesAndSurrogatePairs) {
    EXPECT_EQ(unescape("a\\\"\\\\\\/\\b\\f\\n\\r\\t"), "a\"\\/\b\f\n\r\t");
    EXPECT_EQ(unescape("\\u0041\\u00e9\\u20AC"), "A\xc3\xa9\xe2\x82\xac");
    EXPECT_EQ(unescape("\\ud83d\\ude00"), "\xf0\x9f\x98\x80");
    for (const char* bad :
         {"\\ude00", "\\ud83d", "\\ud83dx", "\\ud83d\\u0041", "\\u00", "\\u0000", "\\x", "a\\"}) {
        EXPECT_EQ(unescape(bad), "<bad>") << bad;
    }
    EXPECT_TRUE(json::equalsUnescaped("\xf0\x9f\x98\x80!", "\\ud83d\\ude00!", 13));
    EXPECT_FALSE(json::equalsUnescaped("\xf0\x9f\x98\x80", "\\ud83d\\ude00!", 13));
    EXPECT_FALSE(json::equalsUnescaped("a", "\\q", 2));

    // Every byte survives a write and a read back, at every place in the
    // writer's several-bytes-at-a-time scan.
    for (size_t shift = 0; shift < 16; ++shift) {
        std::string original(shift, 'a');
        for (int c = 1; c < 256; ++c) original += static_cast<char>(c);
        char buffer[2048];
        json::addString(json::initBuffer(buffer, sizeof buffer, "{}"), original.c_str(),
                        original.c_str());
        uint64_t length = 0;
        const char* escaped =
            json::getString(json::findMember(buffer, original.c_str()), nullptr, &length, nullptr);
        ASSERT_NE(escaped, nullptr) << shift;
        EXPECT_EQ(length, json::escapedLength(original.c_str())) << shift;
        EXPECT_EQ(unescape(std::string(escaped, length)), original) << shift;
    }
}

}  // namespace
