#include "qvapal/protons/enumeration/tDeviceInterfaceIterator.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "qvapal/protons/enumeration/linuxU/linuxDevEnumHelper.h"
#include "qvapal/protons/system/tSystemInterface.h"
#include "qvapal/quarks/raise.h"
#include "qverr/Status.h"

namespace sdihal::nQVAPAL000 {

// Source name reported by this file's raise sites.
constexpr const char* kSource = "qvapal/protons/enumeration/linuxU/tDeviceInterfaceIterator";
constexpr const char* kReaderSource = "qvapal/protons/enumeration/linuxU/linuxDevEnumHelper";
constexpr const char* kStringSource = "qvapal/protons/containers/tBasicString";

namespace {

constexpr size_t kPathBufferSize = 4096;

// Length of `path` without its last `count` components (as dirname would
// leave it, trailing slashes ignored).
size_t parentLength(const char* path, int count) {
    size_t length = std::strlen(path);
    for (int i = 0; i < count; ++i) {
        while (length > 1 && path[length - 1] == '/') --length;
        while (length > 0 && path[length - 1] != '/') --length;
        while (length > 1 && path[length - 1] == '/') --length;
        if (length == 0) return 0;
    }
    return length;
}

// Reads the file whose path `format` makes into `content` (which holds
// kMaximumFileContent + 1 bytes); the byte count, 0 with the status raised.
__attribute__((format(printf, 3, 4))) size_t readFile(char* content, nQVAPALS100::tStatus& status,
                                                      const char* format, ...) {
    char path[kPathBufferSize];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(path, sizeof path, format, arguments);
    va_end(arguments);
    if (length < 0 || static_cast<size_t>(length) >= sizeof path) {
        QVAPAL_RAISE(status, qverr::qvapalerr_resourceNotFound, kReaderSource, 87);
        return 0;
    }
    return readWholeFile(path, content, status);
}

}  // namespace

tDeviceInterfaceIterator::tDeviceInterfaceIterator(const char* interfaceName,
                                                   nQVAPALS100::tStatus& status) {
    if (status.isError()) return;
    if (interfaceName == nullptr) {
        QVAPAL_RAISE(status, qverr::qvapalerr_invalidParameter, kSource, 44);
        return;
    }
    // The doubled backslash makes glob match one literal backslash, so only
    // entries named after the interface followed by '\' match.
    char pattern[kPathBufferSize];
    const int length = std::snprintf(pattern, sizeof pattern, "%s*/deviceInterfaces/%s\\\\*",
                                     systemInterface().driverRoot(), interfaceName);
    if (length < 0 || static_cast<size_t>(length) >= sizeof pattern) {
        QVAPAL_RAISE(status, qverr::qvapalerr_invalidParameter, kSource, 44);
        return;
    }
    const int result = glob(pattern, GLOB_ONLYDIR, nullptr, &entries_);
    if (result == 0) {
        cursor_ = entries_.gl_pathv;
    } else if (result != GLOB_NOMATCH) {
        QVAPAL_RAISE(status, qverr::qvapalerr_softwareFaultAPALInternalUseOnly, kSource, 44);
    }
}

tDeviceInterfaceIterator::~tDeviceInterfaceIterator() {
    globfree(&entries_);
}

bool tDeviceInterfaceIterator::isEnd() const {
    return cursor_ == nullptr || *cursor_ == nullptr;
}

void tDeviceInterfaceIterator::next() {
    if (!isEnd()) ++cursor_;
}

void tDeviceInterfaceIterator::getInterfacePath(tInterfacePath& path,
                                                nQVAPALS100::tStatus& status) const {
    if (status.isError()) return;
    if (isEnd()) {
        QVAPAL_RAISE(status, qverr::qvapalerr_resourceNotFound, kSource, 171);
        return;
    }
    char content[kMaximumFileContent + 1];
    const size_t count = readFile(content, status, "%s/interfacePath", *cursor_);
    if (status.isError()) return;
    if (count >= sizeof path.path) {
        QVAPAL_RAISE(status, qverr::qvapalerr_bufferTooSmall, kSource, 123);
        return;
    }
    std::memcpy(path.path, content, count);
    path.path[count] = '\0';
    path.length = count + 1;
}

void tDeviceInterfaceIterator::getBusProperty(const char* name, void* buffer, uint64_t bufferSize,
                                              uint64_t* size, nQVAPALS100::tStatus& status) const {
    readPropertyFile("busProperties", name, buffer, bufferSize, size, status);
}

void tDeviceInterfaceIterator::getDeviceProperty(const char* name, void* buffer,
                                                 uint64_t bufferSize, uint64_t* size,
                                                 nQVAPALS100::tStatus& status) const {
    readPropertyFile("deviceProperties", name, buffer, bufferSize, size, status);
}

void tDeviceInterfaceIterator::readPropertyFile(const char* category, const char* name,
                                                void* buffer, uint64_t bufferSize, uint64_t* size,
                                                nQVAPALS100::tStatus& status) const {
    if (status.isError()) return;
    if (isEnd()) {
        QVAPAL_RAISE(status, qverr::qvapalerr_resourceNotFound, kSource, 171);
        return;
    }
    if (name == nullptr) {
        QVAPAL_RAISE(status, qverr::qvapalerr_invalidParameter, kSource, 171);
        return;
    }
    // The property directories lie beside "deviceInterfaces", in the
    // driver's own directory.
    const char* entry = *cursor_;
    char content[kMaximumFileContent + 1];
    const size_t count = readFile(content, status, "%.*s/%s/%s",
                                  static_cast<int>(parentLength(entry, 2)), entry, category, name);
    if (status.isError()) return;
    if (count > kMaximumFileContent) {
        // Never hand out a silently cut property.
        QVAPAL_RAISE(status, qverr::qvapalerr_bufferTooSmall, kReaderSource, 72);
        return;
    }
    if (size != nullptr) *size = count;
    if (buffer == nullptr || bufferSize < count) {
        QVAPAL_RAISE(status, qverr::qvapalerr_bufferTooSmall, kReaderSource, 72);
        return;
    }
    std::memcpy(buffer, content, count);
}

void tDeviceInterfaceIterator::getDriverName(tBasicString& out,
                                             nQVAPALS100::tStatus& status) const {
    if (status.isError()) return;
    out.clear();
    if (isEnd()) return;
    const char* text = *cursor_;
    const char* root = systemInterface().driverRoot();
    const size_t rootLength = std::strlen(root);
    if (std::strncmp(text, root, rootLength) == 0) text += rootLength;
    const char* end = std::strstr(text, "/deviceInterfaces/");
    const size_t count = end != nullptr ? static_cast<size_t>(end - text) : std::strlen(text);
    out.assign(text, count);
    // A failed assignment leaves the string cleared.
    if (out.length() != count)
        QVAPAL_RAISE(status, qverr::qvapalerr_memoryFull, kStringSource, 1641);
}

}  // namespace sdihal::nQVAPAL000
