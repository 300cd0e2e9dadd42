#include "qvapal/protons/driver/tDeviceInterfaceProxy.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include "qvapal/protons/system/tSystemInterface.h"
#include "qvapal/quarks/raise.h"
#include "qverr/Status.h"

namespace sdihal::nQVAPAL000 {

// Source name reported by this file's raise sites.
constexpr const char* kSource = "qvapal/protons/driver/linuxU/tDeviceInterfaceProxy";

// A proxy never leaves its descriptor behind.
tDeviceInterfaceProxy::~tDeviceInterfaceProxy() {
    tDeviceInterfaceProxy::close();
}

int32_t tDeviceInterfaceProxy::close() {
    if (!isOpen()) return 0;
    const int result = systemInterface().close(fd);
    // The descriptor is gone even when close reports an error.
    fd = -1;
    return result;
}

uint32_t tDeviceInterfaceProxy::ioctl(uint32_t request, const void* in, uint32_t inSize, void* out,
                                      uint32_t outSize, nQVAPALS100::tStatus& status) {
    if (status.isError()) return 0;
    tKernelRequestBlock block{
        reinterpret_cast<uintptr_t>(in), reinterpret_cast<uintptr_t>(out), inSize, outSize, 0, 0};
    if (systemInterface().ioctl(fd, request, &block) < 0) raiseRequestFailure(status);
    return block.bytesReturned;
}

void tDeviceInterfaceProxy::raiseRequestFailure(nQVAPALS100::tStatus& status) {
    QVAPAL_RAISE_ERRNO(status, errno, kSource, 85);
}

int64_t tDeviceInterfaceProxy::read(void* buffer, uint64_t length, nQVAPALS100::tStatus& status) {
    if (status.isError()) return 0;
    const ssize_t count = systemInterface().read(fd, buffer, length);
    if (count < 0) QVAPAL_RAISE_ERRNO(status, errno, kSource, 105);
    return count;
}

int64_t tDeviceInterfaceProxy::write(const void* buffer, uint64_t length,
                                     nQVAPALS100::tStatus& status) {
    if (status.isError()) return 0;
    const ssize_t count = systemInterface().write(fd, buffer, length);
    if (count < 0) QVAPAL_RAISE_ERRNO(status, errno, kSource, 123);
    return count;
}

void* tDeviceInterfaceProxy::mapMemory(uint16_t region, uint64_t length, int32_t access,
                                       tMemoryMapping& mapping, nQVAPALS100::tStatus& status) {
    if (status.isError()) return nullptr;
    // The driver addresses each region by its number in units of pages.
    const off_t offset = static_cast<off_t>(region) * sysconf(_SC_PAGESIZE);
    const int protection = access == kMapReadWrite ? PROT_READ | PROT_WRITE : PROT_READ;
    void* address = systemInterface().mmap(nullptr, length, protection, MAP_SHARED, fd, offset);
    if (address == MAP_FAILED) {
        QVAPAL_RAISE_ERRNO(status, errno, kSource, 148);
        mapping.address = nullptr;
        return nullptr;
    }
    mapping.address = address;
    mapping.length = length;
    return address;
}

void tDeviceInterfaceProxy::unmapMemory(tMemoryMapping& mapping) {
    if (mapping.address == nullptr) return;
    systemInterface().munmap(mapping.address, mapping.length);
    mapping.address = nullptr;
}

bool tDeviceInterfaceProxy::isOpen() const {
    return fd != -1;
}

void tDeviceInterfaceProxy::open(const tInterfacePath& path, nQVAPALS100::tStatus& status) {
    open(path.path, status);
}

void tDeviceInterfaceProxy::open(const char* path, nQVAPALS100::tStatus& status) {
    if (status.isError()) return;
    if (isOpen()) {
        // Replacing the descriptor would leak it and strand its mappings.
        QVAPAL_RAISE(status, qverr::qvapalerr_resourceBusy, kSource, 46);
        return;
    }
    fd = systemInterface().open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        QVAPAL_RAISE_ERRNO(status, errno, kSource, 46);
        fd = -1;
    }
}

}  // namespace sdihal::nQVAPAL000
