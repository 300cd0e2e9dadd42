// The Lua modules built into the library, compiled at build time, in the
// order they are preloaded.
#pragma once

#include <cstddef>

struct lua_State;

namespace qvxlatorlua {

struct EmbeddedModule {
    const char* fileName;       // "mxlator.luac"; preloaded as "mxlator"
    const unsigned char* text;  // the compiled chunk
    size_t length;
};

// Generated at build time from the compiled .lua files.
extern const EmbeddedModule kEmbeddedModules[];
extern const size_t kEmbeddedModuleCount;

// Enters every module whose file name ends in ".lua" or ".luac" into
// package.preload under the name without its extension; its chunk is loaded
// when it is first required (a chunk that cannot be loaded fails that
// require with "Failed to load"). Returns 0. Runs unprotected: call it
// inside a protected call.
int preloadEmbeddedModules(lua_State* L);

}  // namespace qvxlatorlua
