#include "qvxlatorlua/luaStdint.h"

#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <lua.hpp>
#include <type_traits>

#include "qvxlatorlua/luaNumbers.h"

namespace qvxlatorlua {

namespace {

// What differs between the unsigned and the signed type.
struct U64 {
    using Value = uint64_t;
    static constexpr const char* kName = "u64";
    static bool fromNumber(double number, Value& out) { return numberToUInt64(number, out); }
    static bool fromString(const char* text, Value& out, bool& overflow) {
        char* end = nullptr;
        errno = 0;
        out = std::strtoull(text, &end, 10);
        overflow = errno == ERANGE;
        return end != text;
    }
    static int format(char* buffer, size_t size, Value value) {
        return std::snprintf(buffer, size, "%" PRIu64, value);
    }
    static int formatHex(char* buffer, size_t size, Value value) {
        return std::snprintf(buffer, size, "%" PRIx64, value);
    }
};

struct I64 {
    using Value = int64_t;
    static constexpr const char* kName = "i64";
    static bool fromNumber(double number, Value& out) { return numberToInt64(number, out); }
    static bool fromString(const char* text, Value& out, bool& overflow) {
        char* end = nullptr;
        errno = 0;
        out = std::strtoll(text, &end, 0);  // decimal, 0x hexadecimal or 0 octal
        overflow = errno == ERANGE;
        return end != text;
    }
    static int format(char* buffer, size_t size, Value value) {
        return std::snprintf(buffer, size, "%" PRIi64, value);
    }
    static int formatHex(char* buffer, size_t size, Value value) {
        return std::snprintf(buffer, size, "%" PRIx64, static_cast<uint64_t>(value));
    }
};

template <typename T>
typename T::Value numberOrRaise(lua_State* L, double number) {
    typename T::Value value{};
    if (!T::fromNumber(number, value)) {
        luaL_error(L, "Number %f is out of the %s range", number, T::kName);
    }
    return value;
}

template <typename T>
typename T::Value stringOrRaise(lua_State* L, const char* text) {
    typename T::Value value{};
    bool overflow = false;
    if (!T::fromString(text, value, overflow)) {
        luaL_error(L, "Unable to parse a number out of \"%s\"", text);
    }
    if (overflow) {
        luaL_error(L, "Number \"%s\" is out of the %s range", text, T::kName);
    }
    return value;
}

template <typename T>
void pushValue(lua_State* L, typename T::Value value) {
    auto* slot = static_cast<typename T::Value*>(lua_newuserdata(L, sizeof(value)));
    *slot = value;
    luaL_getmetatable(L, T::kName);
    lua_setmetatable(L, -2);
}

// Both operands of every metamethod: a number, or a value of the same type.
template <typename T>
typename T::Value operand(lua_State* L, int index) {
    switch (lua_type(L, index)) {
        case LUA_TNUMBER:
            return numberOrRaise<T>(L, lua_tonumber(L, index));
        case LUA_TUSERDATA:
            return *static_cast<typename T::Value*>(luaL_checkudata(L, index, T::kName));
        default:
            luaL_error(L, "Can't get a %s from argument", T::kName);
            return 0;
    }
}

template <typename T>
int construct(lua_State* L) {
    typename T::Value value{};
    if (lua_gettop(L) == 1) {
        switch (lua_type(L, 1)) {
            case LUA_TNUMBER:
                value = numberOrRaise<T>(L, lua_tonumber(L, 1));
                break;
            case LUA_TSTRING:
                value = stringOrRaise<T>(L, lua_tostring(L, 1));
                break;
            default:
                return luaL_error(L, "%s constructor arg must be a number or a string", T::kName);
        }
    }
    pushValue<T>(L, value);
    return 1;
}

// Arithmetic wraps modulo 2^64: it is done on the unsigned bits.
template <typename T>
uint64_t bits(typename T::Value value) {
    return static_cast<uint64_t>(value);
}

template <typename T>
int add(lua_State* L) {
    pushValue<T>(
        L, static_cast<typename T::Value>(bits<T>(operand<T>(L, 1)) + bits<T>(operand<T>(L, 2))));
    return 1;
}

template <typename T>
int subtract(lua_State* L) {
    pushValue<T>(
        L, static_cast<typename T::Value>(bits<T>(operand<T>(L, 1)) - bits<T>(operand<T>(L, 2))));
    return 1;
}

template <typename T>
int multiply(lua_State* L) {
    pushValue<T>(
        L, static_cast<typename T::Value>(bits<T>(operand<T>(L, 1)) * bits<T>(operand<T>(L, 2))));
    return 1;
}

template <typename T>
int negate(lua_State* L) {
    pushValue<T>(L, static_cast<typename T::Value>(uint64_t{0} - bits<T>(operand<T>(L, 1))));
    return 1;
}

// Division and remainder truncate toward zero. A zero divisor and the one
// signed quotient that does not fit (minimum / -1) are script errors.
template <typename T>
int divide(lua_State* L, bool remainder) {
    const typename T::Value dividend = operand<T>(L, 1);
    const typename T::Value divisor = operand<T>(L, 2);
    if (divisor == 0) {
        return luaL_error(L, "%s division by zero", T::kName);
    }
    if constexpr (std::is_signed_v<typename T::Value>) {
        if (divisor == -1) {
            if (remainder) {
                pushValue<T>(L, 0);
                return 1;
            }
            if (dividend == INT64_MIN) {
                return luaL_error(L, "%s division overflows", T::kName);
            }
        }
    }
    pushValue<T>(L, remainder ? dividend % divisor : dividend / divisor);
    return 1;
}

template <typename T>
int quotient(lua_State* L) {
    return divide<T>(L, false);
}

template <typename T>
int modulo(lua_State* L) {
    return divide<T>(L, true);
}

template <typename T>
int equal(lua_State* L) {
    lua_pushboolean(L, operand<T>(L, 1) == operand<T>(L, 2));
    return 1;
}

template <typename T>
int less(lua_State* L) {
    lua_pushboolean(L, operand<T>(L, 1) < operand<T>(L, 2));
    return 1;
}

template <typename T>
int pushFormatted(lua_State* L, int (*format)(char*, size_t, typename T::Value),
                  const char* failure) {
    char text[32];
    const int length = format(text, sizeof text, operand<T>(L, 1));
    if (length < 0 || static_cast<size_t>(length) >= sizeof text) {
        return luaL_error(L, failure, T::kName);
    }
    lua_pushlstring(L, text, static_cast<size_t>(length));
    return 1;
}

template <typename T>
int toString(lua_State* L) {
    return pushFormatted<T>(L, T::format, "Failed to convert %s to string");
}

template <typename T>
int hexString(lua_State* L) {
    return pushFormatted<T>(L, T::formatHex, "Failed to print hex value of %s");
}

template <typename T>
void registerMetatable(lua_State* L) {
    if (luaL_newmetatable(L, T::kName) == 0) {
        lua_pop(L, 1);  // already made by an earlier opening
        return;
    }
    const luaL_Reg metamethods[] = {
        {"__tostring", toString<T>}, {"__add", add<T>},      {"__sub", subtract<T>},
        {"__mul", multiply<T>},      {"__div", quotient<T>}, {"__mod", modulo<T>},
        {"__unm", negate<T>},        {"__eq", equal<T>},     {"__lt", less<T>},
        {nullptr, nullptr},
    };
    luaL_register(L, nullptr, metamethods);
    lua_newtable(L);
    lua_pushcfunction(L, hexString<T>);
    lua_setfield(L, -2, "hexstring");
    lua_setfield(L, -2, "__index");
    lua_pop(L, 1);
}

}  // namespace

int openStdint(lua_State* L) {
    registerMetatable<U64>(L);
    registerMetatable<I64>(L);
    const luaL_Reg functions[] = {
        {"u64", construct<U64>},
        {"i64", construct<I64>},
        {nullptr, nullptr},
    };
    luaL_register(L, "stdint", functions);
    return 1;
}

}  // namespace qvxlatorlua
