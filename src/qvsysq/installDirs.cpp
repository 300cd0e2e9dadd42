#include <cstring>

#include "qvdynlib/qvdynlib.h"
#include "qverr/DetailWriter.h"
#include "qvsysq/sysq.h"

namespace qvsysq::internal {

namespace {

constexpr const char* kComponent = "internal_sdi_hal23u";

struct Default {
    const char* name;
    const char* path;
};

constexpr Default kDefaults[] = {
    {"prefixdir", "/usr"},
    {"execprefixdir", "/usr"},
    {"bindir", "/usr/bin"},
    {"sbindir", "/usr/sbin"},
    {"libdir", "/usr/lib"},
    {"lib32dir", "/usr/lib"},
    {"lib64dir", "/usr/lib64"},
    {"nativelibdir", "/usr/lib64"},
    {"multiarchlibdir", "/usr/lib/x86_64-linux-gnu"},
    {"libexecdir", "/usr/libexec"},
    {"sharedstatedir", "/var/lib"},
    {"datarootdir", "/usr/share"},
    {"datadir", "/usr/share"},
    {"sysconfdir", "/etc"},
    {"localstatedir", "/var"},
    {"runstatedir", "/var/run"},
    {"includedir", "/usr/include"},
    {"docdir", "/usr/share/doc"},
    {"initddir", "/etc/init.d"},
};

using RelocateFunction = int (*)(const char* name, char* buffer, int size);
constexpr int kRelocationBufferSize = 255;

}  // namespace

void buildInstallDirs(const char* libraryPath, std::vector<InstallDir>& table,
                      qverr::Status& creationStatus) {
    table.clear();
    for (const Default& entry : kDefaults) table.push_back({entry.name, entry.path, false});

    // The relocation library is optional: without it (or its function)
    // every directory keeps its default.
    qverr::Status loadStatus;
    qvdynlib::AutoLib library(qvdynlib_load(libraryPath, kQvdynlibDefaultFlags, loadStatus));
    auto relocate = reinterpret_cast<RelocateFunction>(
        qvdynlib_symbol(library.get(), "get_relocated_dir", loadStatus));
    if (relocate == nullptr) return;

    for (const Default& entry : kDefaults) {
        // One byte more than the function may fill, always NUL: a function
        // that fills the whole buffer still yields a terminated path.
        char buffer[kRelocationBufferSize + 1] = {};
        const int result = relocate(entry.name, buffer, kRelocationBufferSize);
        buffer[kRelocationBufferSize] = '\0';
        if (result == 0) continue;
        if (result < 0) {
            if (creationStatus.setCode(qverr::qvapalerr_resourceNotFound,
                                       QVERR_LOCATION(kComponent, "qvapalerr_resourceNotFound"))) {
                qverr::DetailWriter(creationStatus)
                    .beginObject("qvsysq_debug")
                    .add("desc", "get_relocated_dir failed")
                    .add("name", entry.name)
                    .add("result", result)
                    .endObject();
            }
            continue;
        }
        bool found = false;
        for (InstallDir& dir : table) {
            if (dir.name == entry.name) {
                dir.path = buffer;
                dir.relocated = true;
                found = true;
            }
        }
        if (!found) table.push_back({entry.name, buffer, true});
    }
}

}  // namespace qvsysq::internal
