#include "qvxlatorlua/luaNumbers.h"

#include <cmath>
#include <lua.hpp>

namespace qvxlatorlua {

namespace {
constexpr double kTwoTo63 = 9223372036854775808.0;
constexpr double kTwoTo64 = 18446744073709551616.0;
}  // namespace

bool numberToInt64(double number, int64_t& out) {
    if (std::isnan(number)) {
        return false;
    }
    const double truncated = std::trunc(number);
    if (truncated < -kTwoTo63 || truncated >= kTwoTo63) {
        return false;
    }
    out = static_cast<int64_t>(truncated);
    return true;
}

bool numberToUInt64(double number, uint64_t& out) {
    if (std::isnan(number)) {
        return false;
    }
    const double truncated = std::trunc(number);
    if (truncated >= kTwoTo63 && truncated < kTwoTo64) {
        out = static_cast<uint64_t>(truncated - kTwoTo63) | (uint64_t{1} << 63);
        return true;
    }
    int64_t value = 0;
    if (!numberToInt64(truncated, value)) {
        return false;
    }
    out = static_cast<uint64_t>(value);
    return true;
}

int64_t checkInt64(lua_State* L, int arg) {
    const double number = luaL_checknumber(L, arg);
    int64_t value = 0;
    if (!numberToInt64(number, value)) {
        luaL_argerror(L, arg, "number has no 64-bit integer representation");
    }
    return value;
}

}  // namespace qvxlatorlua
