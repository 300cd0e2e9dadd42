#include <gtest/gtest.h>

#include <lua.hpp>
#include <string>

#include "qvxlatorlua/luaStdint.h"

namespace {

// A state with the base library and stdint; run() gives a chunk's result as
// text, or "error: " and the message.
class Stdint : public ::testing::Test {
protected:
    void SetUp() override {
        L = luaL_newstate();
        ASSERT_NE(L, nullptr);
        luaL_openlibs(L);
        lua_pushcfunction(L, qvxlatorlua::openStdint);
        ASSERT_EQ(lua_pcall(L, 0, 0, 0), 0);
    }
    void TearDown() override { lua_close(L); }

    std::string run(const std::string& chunk) {
        if (luaL_loadstring(L, ("return tostring(" + chunk + ")").c_str()) != 0 ||
            lua_pcall(L, 0, 1, 0) != 0) {
            // Without the chunk position the error carries.
            std::string message = lua_tostring(L, -1);
            lua_pop(L, 1);
            const size_t position = message.find("]:1: ");
            return "error: " +
                   (position == std::string::npos ? message : message.substr(position + 5));
        }
        std::string text = lua_tostring(L, -1);
        lua_pop(L, 1);
        return text;
    }

    lua_State* L = nullptr;
};

TEST_F(Stdint, UnsignedValuesWrapAtTheirEdges) {
    EXPECT_EQ(run("stdint.u64('18446744073709551615')"), "18446744073709551615");
    EXPECT_EQ(run("stdint.u64('18446744073709551615') + 1"), "0");
    EXPECT_EQ(run("stdint.u64(0) - 1"), "18446744073709551615");
    EXPECT_EQ(run("stdint.u64(0) - 1 > stdint.u64(1)"), "true");
    EXPECT_EQ(run("stdint.u64(2^63)"), "9223372036854775808");
    EXPECT_EQ(run("stdint.u64(2^63 + 2^62)"), "13835058055282163712");
    EXPECT_EQ(run("stdint.u64(12.9)"), "12");
    EXPECT_EQ(run("stdint.u64(-1)"), "18446744073709551615");
    EXPECT_EQ(run("stdint.u64(1) < stdint.u64(2)"), "true");
    EXPECT_EQ(run("stdint.u64(2) <= stdint.u64(2)"), "true");
    EXPECT_EQ(run("stdint.u64(7) == stdint.u64(7)"), "true");
    EXPECT_EQ(run("stdint.u64()"), "0");
    EXPECT_EQ(run("stdint.u64(1, 2)"), "0");
}

TEST_F(Stdint, SignedValuesUseTwosComplement) {
    EXPECT_EQ(run("stdint.i64(-1):hexstring()"), "ffffffffffffffff");
    EXPECT_EQ(run("stdint.u64(255):hexstring()"), "ff");
    EXPECT_EQ(run("stdint.i64(-1) < stdint.i64(0)"), "true");
    EXPECT_EQ(run("stdint.i64('-9223372036854775808')"), "-9223372036854775808");
    EXPECT_EQ(run("stdint.i64('9223372036854775807') + 1"), "-9223372036854775808");
    EXPECT_EQ(run("-stdint.i64('-9223372036854775808')"), "-9223372036854775808");
    EXPECT_EQ(run("stdint.i64('0x10')"), "16");
    EXPECT_EQ(run("-stdint.i64(5)"), "-5");
}

TEST_F(Stdint, ArithmeticTakesNumbersOnEitherSide) {
    EXPECT_EQ(run("stdint.u64(6) * 7"), "42");
    EXPECT_EQ(run("100 - stdint.u64(1)"), "99");
    EXPECT_EQ(run("stdint.i64(-7) / 2"), "-3");
    EXPECT_EQ(run("stdint.i64(-7) % 2"), "-1");
    EXPECT_EQ(run("stdint.u64('18446744073709551615') / 2"), "9223372036854775807");
    EXPECT_EQ(run("stdint.i64('-9223372036854775808') % -1"), "0");
}

TEST_F(Stdint, BadOperandsAndUndefinedOperationsAreScriptErrors) {
    EXPECT_EQ(run("stdint.u64({})"), "error: u64 constructor arg must be a number or a string");
    EXPECT_EQ(run("stdint.i64(true)"), "error: i64 constructor arg must be a number or a string");
    EXPECT_EQ(run("stdint.u64('abc')"), "error: Unable to parse a number out of \"abc\"");
    EXPECT_NE(run("stdint.u64('99999999999999999999')").find("error: "), std::string::npos);
    EXPECT_NE(run("stdint.u64(0/0)").find("error: "), std::string::npos);
    EXPECT_NE(run("stdint.i64(2^63)").find("error: "), std::string::npos);
    EXPECT_NE(run("stdint.u64(2^64)").find("error: "), std::string::npos);
    EXPECT_NE(run("stdint.u64(1) + 1/0").find("error: "), std::string::npos);
    EXPECT_EQ(run("stdint.u64(1) + {}"), "error: Can't get a u64 from argument");
    EXPECT_NE(run("stdint.u64(1) + stdint.i64(1)").find("u64 expected"), std::string::npos);
    EXPECT_EQ(run("stdint.u64(1) / 0"), "error: u64 division by zero");
    EXPECT_EQ(run("stdint.i64(1) % stdint.i64(0)"), "error: i64 division by zero");
    EXPECT_EQ(run("stdint.i64('-9223372036854775808') / -1"), "error: i64 division overflows");
}

}  // namespace
