#include "qvapal/protons/system/tSystemInterface.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace sdihal::nQVAPAL000 {
namespace {

int systemOpen(const char* path, int flags) { return ::open(path, flags); }
int systemIoctl(int fd, unsigned long request, void* argument) {
    return ::ioctl(fd, request, argument);
}

const tSystemInterface kOperatingSystem{
    &systemOpen,  &::close,       &systemIoctl,  &::read,     &::write,
    &::mmap,      &::munmap,      &::socket,     &::bind,     &::getsockname,
    "/proc/driver/qv/", "/dev",   "/dev/qv",      "",
};

const tSystemInterface& choose() {
    if (&qv3377hal_simulatedSystemInterface != nullptr) {
        if (const tSystemInterface* simulated = qv3377hal_simulatedSystemInterface()) {
            return *simulated;
        }
    }
    return kOperatingSystem;
}

}  // namespace

const tSystemInterface& operatingSystemInterface() { return kOperatingSystem; }

const tSystemInterface& systemInterface() {
    static const tSystemInterface& chosen = choose();
    return chosen;
}

}  // namespace sdihal::nQVAPAL000
