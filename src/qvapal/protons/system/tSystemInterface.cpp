#include "qvapal/protons/system/tSystemInterface.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace sdihal::nQVAPAL000 {
namespace {

int systemOpen(const char* path, int flags) {
    return ::open(path, flags);
}
int systemIoctl(int fd, unsigned long request, void* argument) {
    return ::ioctl(fd, request, argument);
}

const char* realDriverRoot() {
    return "/proc/driver/qv/";
}
const char* realDeviceRoot() {
    return "/dev";
}
const char* realModuleDeviceRoot() {
    return "/dev/qv";
}
const char* realSystemRoot() {
    return "";
}

constinit const tSystemInterface kOperatingSystem{
    sizeof(tSystemInterface),
    &systemOpen,
    &::close,
    &systemIoctl,
    &::read,
    &::write,
    &::mmap,
    &::munmap,
    &::socket,
    &::bind,
    &::getsockname,
    &realDriverRoot,
    &realDeviceRoot,
    &realModuleDeviceRoot,
    &realSystemRoot,
};

const tSystemInterface& choose() {
    if (&qv3377hal_simulatedSystemInterface != nullptr) {
        const tSystemInterface* simulated = qv3377hal_simulatedSystemInterface();
        // The size is read first: it is the one field every revision has.
        if (simulated != nullptr && simulated->size >= sizeof(tSystemInterface)) return *simulated;
    }
    return kOperatingSystem;
}

}  // namespace

const tSystemInterface& operatingSystemInterface() {
    return kOperatingSystem;
}

const tSystemInterface& systemInterface() {
    static const tSystemInterface& chosen = choose();
    return chosen;
}

}  // namespace sdihal::nQVAPAL000
