// Conversions from Lua numbers (doubles) to 64-bit integers that never hit
// the undefined cases of a plain cast (NaN, values outside the range).
#pragma once

#include <cstdint>

struct lua_State;

namespace qvxlatorlua {

// Truncates toward zero; false for NaN and values outside [-2^63, 2^63).
bool numberToInt64(double number, int64_t& out);
// Truncates toward zero; values from -2^63 up to 2^63 keep their two's
// complement bits, values in [2^63, 2^64) their own; false otherwise.
bool numberToUInt64(double number, uint64_t& out);
// luaL_checkinteger without undefined conversions: a non-number raises the
// standard argument error, a number outside the 64-bit range another one.
int64_t checkInt64(lua_State* L, int arg);

}  // namespace qvxlatorlua
