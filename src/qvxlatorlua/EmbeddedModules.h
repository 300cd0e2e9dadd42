// The Lua sources built into the library, in the order they are preloaded.
#pragma once

#include <cstddef>

struct lua_State;

namespace qvxlatorlua {

struct EmbeddedModule {
    const char* fileName;  // "mxlator.lua"; preloaded as "mxlator"
    const unsigned char* text;
    size_t length;
};

// Generated at build time from the .lua files.
extern const EmbeddedModule kEmbeddedModules[];
extern const size_t kEmbeddedModuleCount;

// Compiles every module whose file name ends in ".lua" or ".luac" into
// package.preload under the name without its extension. Returns 0 when all
// compiled, 1 otherwise (each failure is reported on standard error). Runs
// unprotected: call it inside a protected call.
int preloadEmbeddedModules(lua_State* L);

}  // namespace qvxlatorlua
