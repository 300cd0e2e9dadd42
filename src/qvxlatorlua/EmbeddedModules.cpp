#include "qvxlatorlua/EmbeddedModules.h"

#include <cstdio>
#include <cstring>
#include <lua.hpp>

namespace qvxlatorlua {

int preloadEmbeddedModules(lua_State* L) {
    int result = 0;
    lua_getglobal(L, "package");
    lua_getfield(L, -1, "preload");
    for (size_t i = 0; i < kEmbeddedModuleCount; ++i) {
        const EmbeddedModule& module = kEmbeddedModules[i];
        const char* dot = std::strrchr(module.fileName, '.');
        if (!dot || (std::strcmp(dot, ".lua") != 0 && std::strcmp(dot, ".luac") != 0)) {
            continue;
        }
        if (luaL_loadbuffer(L, reinterpret_cast<const char*>(module.text), module.length,
                            module.fileName) != 0) {
            std::fprintf(stderr, "ERROR: Failed to load \"%s\": %s\n", module.fileName,
                         lua_isstring(L, -1) ? lua_tostring(L, -1) : "(no message)");
            lua_pop(L, 1);
            result = 1;
            continue;
        }
        lua_pushlstring(L, module.fileName, static_cast<size_t>(dot - module.fileName));
        lua_insert(L, -2);
        lua_settable(L, -3);
    }
    lua_pop(L, 2);
    return result;
}

}  // namespace qvxlatorlua
