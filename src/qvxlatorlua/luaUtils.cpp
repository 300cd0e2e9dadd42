#include "qvxlatorlua/luaUtils.h"

#include <cstdint>
#include <lua.hpp>
#include <new>
#include <string>

#include "qvxlator/PathVariables.h"
#include "qvxlator/kxErrorsParser.h"
#include "qvxlatorlua/luaNumbers.h"

namespace qvxlatorlua {

namespace {

// Runs `body` with a fresh status. It returns the number of results it
// pushed; a status left holding an error becomes a Lua error whose message
// is the status's JSON text. lua_error runs only after every C++ object of
// the body is gone.
template <typename Body>
int withStatus(lua_State* L, Body body) {
    bool failed = false;
    int results = 0;
    {
        qverr::Status status;
        try {
            results = body(status);
        } catch (const std::bad_alloc&) {
            status.setCode(qverr::qvapalerr_memoryFull,
                           QVERR_LOCATION("qv3377hal", "qvapalerr_memoryFull"));
        }
        if (status.isError()) {
            lua_settop(L, 0);
            lua_pushstring(L, status.jsonText());
            failed = true;
        }
    }
    return failed ? lua_error(L) : results;
}

uint32_t checkCode(lua_State* L, int arg) {
    return static_cast<uint32_t>(static_cast<uint64_t>(checkInt64(L, arg)));
}

uint32_t checkLanguage(lua_State* L, int arg) {
    const int64_t lang = checkInt64(L, arg);
    // Anything outside the table is refused by the search as an invalid language.
    return (lang < 0 || lang > UINT32_MAX) ? UINT32_MAX : static_cast<uint32_t>(lang);
}

void pushTextOrNil(lua_State* L, const std::string& text) {
    if (text.empty()) {
        lua_pushnil(L);
    } else {
        lua_pushlstring(L, text.data(), text.size());
    }
}

int mbsToUtf8(lua_State* L) {
    luaL_checkstring(L, 2);
    lua_pushvalue(L, 2);
    return 1;
}

int lookupVariable(lua_State* L) {
    luaL_checkstring(L, 1);
    const char* name = luaL_checkstring(L, 2);
    return withStatus(L, [&](qverr::Status& status) {
        const std::string value = qvxlator::lookupVariable(name, status);
        lua_pushlstring(L, value.data(), value.size());
        return 1;
    });
}

int expandPath(lua_State* L) {
    luaL_checkstring(L, 1);
    const char* path = luaL_checkstring(L, 2);
    return withStatus(L, [&](qverr::Status& status) {
        const std::string expanded = qvxlator::expandPath(path, status);
        lua_pushlstring(L, expanded.data(), expanded.size());
        return 1;
    });
}

int convertLangToDir(lua_State* L) {
    const uint32_t lang = checkLanguage(L, 1);
    return withStatus(L, [&](qverr::Status& status) {
        lua_pushstring(L, kxErrorsParser::languageDirectory(lang, status));
        return 1;
    });
}

int findErrorDescriptionFromErrorsDir(lua_State* L) {
    const char* dir = luaL_checkstring(L, 1);
    const uint32_t code = checkCode(L, 2);
    const uint32_t lang = checkLanguage(L, 3);
    return withStatus(L, [&](qverr::Status& status) {
        std::string text;
        kxErrorsParser::searchErrorsDirectory(dir, code, lang, text, status);
        pushTextOrNil(L, text);
        return 1;
    });
}

// Also serves findErrorDescriptionFromFile: its path is searched as a
// directory too.
int findErrorDescriptionFromDir(lua_State* L) {
    const char* dir = luaL_checkstring(L, 1);
    const uint32_t code = checkCode(L, 2);
    return withStatus(L, [&](qverr::Status& status) {
        std::string text;
        kxErrorsParser::searchDirectory(dir, code, text, status);
        pushTextOrNil(L, text);
        return 1;
    });
}

}  // namespace

int openUtils(lua_State* L) {
    const luaL_Reg functions[] = {
        {"mbsToUtf8", mbsToUtf8},
        {"lookupVariable", lookupVariable},
        {"expandPath", expandPath},
        {"convertLangToDir", convertLangToDir},
        {"findErrorDescriptionFromErrorsDir", findErrorDescriptionFromErrorsDir},
        {"findErrorDescriptionFromDir", findErrorDescriptionFromDir},
        {"findErrorDescriptionFromFile", findErrorDescriptionFromDir},
        {nullptr, nullptr},
    };
    luaL_register(L, "qvxlatorluautils", functions);
    return 1;
}

}  // namespace qvxlatorlua
