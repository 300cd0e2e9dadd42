#include "qvxlatorlua/EmbeddedModules.h"

#include <cstring>
#include <lua.hpp>

namespace qvxlatorlua {

namespace {

// The preload function of one embedded module: loads its compiled chunk
// when the module is first required and runs it with require's argument.
// Loading on first use keeps the six term tables, most of the embedded
// text, out of every translator that never renders in their language.
int loadEmbeddedModule(lua_State* L) {
    const auto* module = static_cast<const EmbeddedModule*>(lua_touserdata(L, lua_upvalueindex(1)));
    if (luaL_loadbuffer(L, reinterpret_cast<const char*>(module->text), module->length,
                        module->fileName) != 0) {
        return luaL_error(L, "Failed to load \"%s\": %s", module->fileName,
                          lua_isstring(L, -1) ? lua_tostring(L, -1) : "(no message)");
    }
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, 1);
    return 1;
}

}  // namespace

int preloadEmbeddedModules(lua_State* L) {
    lua_getglobal(L, "package");
    lua_getfield(L, -1, "preload");
    for (size_t i = 0; i < kEmbeddedModuleCount; ++i) {
        const EmbeddedModule& module = kEmbeddedModules[i];
        const char* dot = std::strrchr(module.fileName, '.');
        if (!dot || (std::strcmp(dot, ".lua") != 0 && std::strcmp(dot, ".luac") != 0)) {
            continue;
        }
        lua_pushlstring(L, module.fileName, static_cast<size_t>(dot - module.fileName));
        lua_pushlightuserdata(L, const_cast<EmbeddedModule*>(&module));
        lua_pushcclosure(L, loadEmbeddedModule, 1);
        lua_settable(L, -3);
    }
    lua_pop(L, 2);
    return 0;
}

}  // namespace qvxlatorlua
