// The Lua translator: a Lua 5.1 state in which the translation scripts run,
// and the translator operations that call into them.
#pragma once

#include "qvxlator/Translator.h"

struct lua_State;

namespace qvxlatorlua {

// The host sees the first four words; the state follows them. Records are
// allocated with std::malloc: their destroy operation frees them.
struct LuaTranslator {
    qvxlator::Translator base;
    lua_State* state;
};
static_assert(sizeof(LuaTranslator) == 40);

// Fills the record: opens the libraries, preloads the embedded modules and
// runs the environment set-up with `name` and `registrationInfo` (JSON:
// "qvxlatorlua_xlator" the translator module, optional
// "qvxlatorlua_settings" and "qvxlatorlua_path"). On success the record's
// state is set; on failure it stays null and the status tells why.
void create(LuaTranslator& record, const char* name, const char* registrationInfo,
            qverr::Status& status);

// Makes a global function available to the scripts of a created record.
void registerFunction(LuaTranslator& record, const char* name, int (*function)(lua_State*),
                      qverr::Status& status);

}  // namespace qvxlatorlua
