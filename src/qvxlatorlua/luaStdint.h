// The native Lua module "stdint": exact 64-bit integers (u64, i64) for the
// translation scripts, whose own numbers are doubles.
#pragma once

struct lua_State;

namespace qvxlatorlua {

// Opener of the module (registers "stdint" and its metatables).
int openStdint(lua_State* L);

}  // namespace qvxlatorlua
