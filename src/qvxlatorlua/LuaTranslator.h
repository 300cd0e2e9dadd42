// The Lua translator: a Lua 5.1 state in which the translation scripts run,
// and the translator operations that call into them.
#pragma once

#include <cstddef>

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

// The largest error context getDynamicDesc decodes; a longer one is refused
// with -52005 before it reaches Lua. Lua 5.1 hashes strings without a seed
// (and, from 32 bytes on, only some of their bytes), so keys crafted to share
// a hash make decoding quadratic in their number, and Lua CJSON ends the
// process when memory runs out. At this size a crafted context still renders
// within tens of milliseconds (bench_xlator), and it is 64 times the 768
// bytes that the library's own raise sites stay within unless they echo a
// caller's text.
inline constexpr size_t kMaxErrorContextBytes = 48 * 1024;

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
