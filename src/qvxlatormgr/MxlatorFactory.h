// Factory of the Lua translator of this library's own errors.
#pragma once

#include "qvxlator/Translator.h"

struct lua_State;

namespace qvmxl {

// A Lua translator set up from `registrationInfo`; null on failure (the
// status tells why) or when the status already holds an error.
qvxlator::Translator* createXlator(const char* name, const char* registrationInfo,
                                   qverr::Status* status);

// The scripts' qvmxl_unmapErrorCode(code): the integer's low 32 bits as a
// signed status code.
int unmapErrorCode(lua_State* L);

}  // namespace qvmxl
