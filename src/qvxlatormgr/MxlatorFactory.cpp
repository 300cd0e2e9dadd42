#include "qvxlatormgr/MxlatorFactory.h"

#include <cstdlib>
#include <lua.hpp>

#include "qvxlator/StatusDetail.h"
#include "qvxlatorlua/LuaTranslator.h"
#include "qvxlatorlua/luaNumbers.h"

namespace qvmxl {

int unmapErrorCode(lua_State* L) {
    const int64_t value = qvxlatorlua::checkInt64(L, 1);
    lua_pushinteger(L, static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value))));
    return 1;
}

qvxlator::Translator* createXlator(const char* name, const char* registrationInfo,
                                   qverr::Status* status) {
    if (!status || status->isError()) {
        return nullptr;
    }
    auto* record =
        static_cast<qvxlatorlua::LuaTranslator*>(std::malloc(sizeof(qvxlatorlua::LuaTranslator)));
    if (!record) {
        qvxlator::raiseWithDebug(*status, qverr::qvapalerr_memoryFull,
                                 QVERR_LOCATION("qv3377hal", "qvapalerr_memoryFull"),
                                 "qvxlatorlua_debug", "debug", "failed to allocate translator");
        return nullptr;
    }
    qvxlatorlua::create(*record, name, registrationInfo, *status);
    if (record->state) {
        qvxlatorlua::registerFunction(*record, "qvmxl_unmapErrorCode", &unmapErrorCode, *status);
        if (!status->isError()) {
            return &record->base;
        }
        record->base.destroy(&record->base);
        return nullptr;
    }
    std::free(record);
    return nullptr;
}

}  // namespace qvmxl
