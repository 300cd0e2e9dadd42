#include "qvapal/protons/enumeration/linuxU/linuxDevEnumHelper.h"

#include <cstdio>

#include "qvapal/quarks/raise.h"
#include "qverr/Status.h"

namespace sdihal::nQVAPAL000 {

// Source name reported by this file's raise sites.
constexpr const char* kSource = "qvapal/protons/enumeration/linuxU/linuxDevEnumHelper";

size_t readWholeFile(const char* path, char* buffer, nQVAPALS100::tStatus& status) {
    if (status.isError()) return 0;
    // The driver may be rewriting the entry at this moment: try again at once.
    FILE* file = nullptr;
    for (int attempt = 0; attempt < 10 && file == nullptr; ++attempt) {
        file = std::fopen(path, "re");
    }
    if (file == nullptr) {
        QVAPAL_RAISE(status, qverr::qvapalerr_resourceNotFound, kSource, 87);
        return 0;
    }
    size_t count = std::fread(buffer, 1, kMaximumFileContent + 1, file);
    if (std::ferror(file)) {
        QVAPAL_RAISE(status, qverr::kStatusIOError, kSource, 78);
        count = 0;
    }
    std::fclose(file);
    return count;
}

}  // namespace sdihal::nQVAPAL000
