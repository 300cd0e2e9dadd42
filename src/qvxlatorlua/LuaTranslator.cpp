#include "qvxlatorlua/LuaTranslator.h"

#include <lfs.h>

#include <cstdlib>
#include <cstring>
#include <lua.hpp>

#include "qverr/DetailWriter.h"
#include "qvxlator/StatusDetail.h"
#include "qvxlatorlua/EmbeddedModules.h"
#include "qvxlatorlua/luaNumbers.h"
#include "qvxlatorlua/luaStdint.h"
#include "qvxlatorlua/luaUtils.h"

extern "C" int luaopen_cjson(lua_State* L);

namespace qvxlatorlua {

namespace {

// The states are built without dynamically loaded modules and without
// popen: no loadlib, no C search path.
int openPackage(lua_State* L) {
    luaopen_package(L);
    lua_pushnil(L);
    lua_setfield(L, -2, "loadlib");
    lua_pushliteral(L, "");
    lua_setfield(L, -2, "cpath");
    return 1;
}

int openIo(lua_State* L) {
    luaopen_io(L);
    lua_pushnil(L);
    lua_setfield(L, -2, "popen");
    return 1;
}

// The module's opener returns its table without recording it as loaded.
void markLoaded(lua_State* L, const char* name) {
    lua_getglobal(L, "package");
    lua_getfield(L, -1, "loaded");
    lua_pushvalue(L, -3);
    lua_setfield(L, -2, name);
    lua_pop(L, 2);
}

int openRecorded(lua_State* L, lua_CFunction open, const char* name) {
    lua_settop(L, 0);
    lua_pushnil(L);
    open(L);  // its result is the top value
    lua_replace(L, 1);
    lua_settop(L, 1);
    markLoaded(L, name);
    return 1;
}

int openLfs(lua_State* L) {
    return openRecorded(L, luaopen_lfs, "lfs");
}
int openCjson(lua_State* L) {
    return openRecorded(L, luaopen_cjson, "cjson");
}

struct Library {
    const char* name;
    lua_CFunction open;
};

const Library kLibraries[] = {
    {"", luaopen_base},
    {LUA_LOADLIBNAME, openPackage},
    {LUA_TABLIBNAME, luaopen_table},
    {LUA_IOLIBNAME, openIo},
    {LUA_OSLIBNAME, luaopen_os},
    {LUA_STRLIBNAME, luaopen_string},
    {LUA_MATHLIBNAME, luaopen_math},
    {LUA_DBLIBNAME, luaopen_debug},
    {"lfs", openLfs},
    {"stdint", openStdint},
    {"cjson", openCjson},
    {"qvxlatorluautils", openUtils},
};

int openLibrary(lua_State* L) {
    const auto* library = static_cast<const Library*>(lua_touserdata(L, 1));
    lua_pushcfunction(L, library->open);
    lua_pushstring(L, library->name);
    lua_call(L, 1, 0);
    return 0;
}

int preload(lua_State* L) {
    *static_cast<int*>(lua_touserdata(L, 1)) = preloadEmbeddedModules(L);
    return 0;
}

struct SetupArgs {
    const char* name;
    const char* registrationInfo;
};

int setupEnvironment(lua_State* L) {
    const auto* args = static_cast<const SetupArgs*>(lua_touserdata(L, 1));
    lua_getglobal(L, "require");
    lua_pushliteral(L, "qvxlatorlua");
    lua_call(L, 1, 0);
    lua_getglobal(L, "qvxlatorlua_setupEnv");
    lua_pushstring(L, args->name);
    lua_pushstring(L, args->registrationInfo);
    lua_call(L, 2, 0);
    return 0;
}

const char* errorMessage(lua_State* L) {
    return lua_isstring(L, -1) ? lua_tostring(L, -1) : nullptr;
}

// "internal_error" for a failed Lua call whose message is on the stack.
void addLuaError(qverr::DetailWriter& detail, lua_State* L, int luaStatus) {
    detail.beginObject("internal_error")
        .add("api", "lua")
        .add("code", static_cast<int32_t>(luaStatus))
        .add("string", errorMessage(L))
        .endObject();
}

bool raiseFault(qverr::Status& status) {
    return qvxlator::raise(
        status, qverr::qvapalerr_softwareFaultAPALInternalUseOnly,
        QVERR_LOCATION("qv3377hal", "qvapalerr_softwareFaultAPALInternalUseOnly"));
}

// ---- calling a translator function

struct Call {
    // arguments
    const char* function;  // "getStaticDesc" or "getDynamicDesc"
    int32_t code;
    const char* errorContextJson;
    const char* format;
    uint32_t lang;
    uint32_t ade;
    qvxlator::AllocFn allocFn;
    void* allocContext;
    qverr::Status* status;
    // result slot
    char* result;
};

// Runs inside a protected call: calls the script function under the
// message handler qvxlatorlua_errHandler (when there is one) and hands its
// result to the host.
int callBody(lua_State* L) {
    auto* call = static_cast<Call*>(lua_touserdata(L, 1));
    lua_settop(L, 0);
    lua_getglobal(L, "qvxlatorlua_xlator");
    lua_getfield(L, -1, call->function);
    lua_remove(L, -2);
    int argumentCount = 0;
    if (call->errorContextJson || call->format) {
        lua_pushstring(L, call->errorContextJson);
        lua_pushinteger(L, static_cast<lua_Integer>(call->lang));
        lua_pushinteger(L, static_cast<lua_Integer>(call->ade));
        lua_pushstring(L, call->format);
        argumentCount = 4;
    } else {
        lua_pushinteger(L, static_cast<lua_Integer>(call->code));
        lua_pushinteger(L, static_cast<lua_Integer>(call->lang));
        lua_pushinteger(L, static_cast<lua_Integer>(call->ade));
        argumentCount = 3;
    }
    int handler = 0;
    lua_getglobal(L, "qvxlatorlua_errHandler");
    if (lua_isfunction(L, -1)) {
        handler = 1;
        lua_insert(L, handler);
    } else {
        lua_pop(L, 1);
    }
    if (lua_pcall(L, argumentCount, 1, handler) != 0) {
        lua_error(L);
    }
    if (handler) {
        lua_remove(L, handler);
    }
    qverr::Status& status = *call->status;
    if (call->format && lua_type(L, -1) == LUA_TNUMBER) {
        int64_t number = 0;
        if (!numberToInt64(lua_tonumber(L, -1), number)) {
            number = qverr::qvapalerr_softwareFaultAPALInternalUseOnly;
        }
        const auto code = static_cast<int32_t>(static_cast<uint32_t>(number));
        if (code != 0 &&
            status.setCode(code, QVERR_LOCATION("qv3377hal", "(int32_t)lua_tointeger(L, -1)"))) {
            qverr::DetailWriter(status)
                .beginObject("qvxlatorlua_debug")
                .add("debug", "failed to get dynamic desc")
                .endObject();
        }
        return 0;
    }
    size_t length = 0;
    const char* text = lua_tolstring(L, -1, &length);
    if (!text) {
        text = "";
        length = 0;
    }
    call->result = qvxlator::copyToHost(text, length, call->allocFn, call->allocContext, &status);
    return 0;
}

char* callTranslator(qvxlator::Translator* translator, Call& call, const char* failure) {
    lua_State* L = reinterpret_cast<LuaTranslator*>(translator)->state;
    const int luaStatus = lua_cpcall(L, callBody, &call);
    if (luaStatus != 0) {
        if (raiseFault(*call.status)) {
            qverr::DetailWriter detail(*call.status);
            addLuaError(detail, L, luaStatus);
            detail.beginObject("qvxlatorlua_debug").add("debug", failure).endObject();
        }
        lua_pop(L, 1);
        return nullptr;
    }
    return call.result;
}

char* getStaticDesc(qvxlator::Translator* translator, int32_t code, uint32_t flags,
                    qvxlator::AllocFn allocFn, void* allocContext, qverr::Status* status) {
    if (!translator || !status) {
        return nullptr;
    }
    Call call{"getStaticDesc",        code,    nullptr,      nullptr, qvxlator::languageOf(flags),
              qvxlator::adeOf(flags), allocFn, allocContext, status,  nullptr};
    return callTranslator(translator, call, "failed to get static desc");
}

char* getDynamicDesc(qvxlator::Translator* translator, const char* errorContextJson, uint32_t flags,
                     const char* format, qvxlator::AllocFn allocFn, void* allocContext,
                     qverr::Status* status) {
    if (!translator || !status || status->isError()) {
        return nullptr;
    }
    if (errorContextJson &&
        strnlen(errorContextJson, kMaxErrorContextBytes + 1) > kMaxErrorContextBytes) {
        if (qvxlator::raise(*status, qverr::qvapalerr_invalidParameter,
                            QVERR_LOCATION("qv3377hal", "qvapalerr_invalidParameter"))) {
            qverr::DetailWriter(*status)
                .beginObject("qvxlatorlua_debug")
                .add("debug", "error context too large")
                .add("maxBytes", static_cast<uint64_t>(kMaxErrorContextBytes))
                .endObject();
        }
        return nullptr;
    }
    // A missing format must still select the dynamic call (and be refused by it).
    Call call{"getDynamicDesc",
              0,
              errorContextJson,
              format ? format : "",
              qvxlator::languageOf(flags),
              qvxlator::adeOf(flags),
              allocFn,
              allocContext,
              status,
              nullptr};
    return callTranslator(translator, call, "failed to get dynamic desc");
}

void destroy(qvxlator::Translator* translator) {
    if (!translator) {
        return;
    }
    auto* record = reinterpret_cast<LuaTranslator*>(translator);
    if (record->state) {
        lua_close(record->state);
    }
    std::free(record);
}

}  // namespace

void create(LuaTranslator& record, const char* name, const char* registrationInfo,
            qverr::Status& status) {
    record.base = {qvxlator::kPublicSize, &destroy, &getStaticDesc, &getDynamicDesc};
    record.state = nullptr;

    lua_State* L = luaL_newstate();
    if (!L) {
        qvxlator::raiseWithDebug(status, qverr::qvapalerr_memoryFull,
                                 QVERR_LOCATION("qv3377hal", "qvapalerr_memoryFull"),
                                 "qvxlatorlua_debug", "debug", "failed to create lua state");
        return;
    }
    if (status.isError()) {
        lua_close(L);
        return;
    }
    for (const Library& library : kLibraries) {
        const int luaStatus = lua_cpcall(L, openLibrary, const_cast<Library*>(&library));
        if (luaStatus != 0) {
            if (raiseFault(status)) {
                qverr::DetailWriter detail(status);
                addLuaError(detail, L, luaStatus);
                detail.beginObject("qvxlatorlua_debug")
                    .add("debug", "failed to load lua lib")
                    .add("lib", library.name)
                    .endObject();
            }
            lua_close(L);
            return;
        }
    }
    int preloadResult = 0;
    const int preloadStatus = lua_cpcall(L, preload, &preloadResult);
    if (preloadStatus != 0 || preloadResult != 0) {
        if (raiseFault(status)) {
            qverr::DetailWriter detail(status);
            detail.beginObject("internal_error")
                .add("api", "lua")
                .add("code",
                     static_cast<int32_t>(preloadStatus != 0 ? preloadStatus : preloadResult))
                .add("string", preloadStatus != 0 ? errorMessage(L) : "")
                .endObject();
            detail.beginObject("qvxlatorlua_debug")
                .add("debug", "failed to add embedded modules to preload table")
                .endObject();
        }
        lua_close(L);
        return;
    }
    SetupArgs args{name, registrationInfo};
    const int setupStatus = lua_cpcall(L, setupEnvironment, &args);
    if (setupStatus != 0) {
        if (raiseFault(status)) {
            qverr::DetailWriter detail(status);
            addLuaError(detail, L, setupStatus);
            detail.beginObject("qvxlatorlua_debug")
                .add("debug", "lua setupEnv failed")
                .add("name", name)
                .add("registrationInfo", registrationInfo)
                .endObject();
        }
        lua_close(L);
        return;
    }
    record.state = L;
}

namespace {
struct GlobalFunction {
    const char* name;
    lua_CFunction function;
};

int setGlobalFunction(lua_State* L) {
    const auto* global = static_cast<const GlobalFunction*>(lua_touserdata(L, 1));
    lua_pushcfunction(L, global->function);
    lua_setglobal(L, global->name);
    return 0;
}
}  // namespace

void registerFunction(LuaTranslator& record, const char* name, int (*function)(lua_State*),
                      qverr::Status& status) {
    GlobalFunction global{name, function};
    const int luaStatus = lua_cpcall(record.state, setGlobalFunction, &global);
    if (luaStatus != 0) {
        if (raiseFault(status)) {
            qverr::DetailWriter detail(status);
            addLuaError(detail, record.state, luaStatus);
            detail.beginObject("qvxlatorlua_debug")
                .add("debug", "failed to register function")
                .add("name", name)
                .endObject();
        }
        lua_pop(record.state, 1);
    }
}

}  // namespace qvxlatorlua
