// The native Lua module "qvxlatorluautils": explanation-file searches, path
// variables and language directories for the translation scripts.
#pragma once

struct lua_State;

namespace qvxlatorlua {

int openUtils(lua_State* L);

}  // namespace qvxlatorlua
