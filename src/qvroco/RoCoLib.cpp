#include "qvroco/RoCoLib.h"

namespace qvrocoapi::dynlib {

void RoCoLib::setEntryPoint(size_t index, void* address) {
    size_t slot = 0;
#define QVROCOAPI_STORE(name, result, params, args)            \
    if (slot++ == index) {                                     \
        name##_ = reinterpret_cast<result(*) params>(address); \
        return;                                                \
    }
    QVROCOAPI_ENTRY_POINTS(QVROCOAPI_STORE)
#undef QVROCOAPI_STORE
}

}  // namespace qvrocoapi::dynlib
