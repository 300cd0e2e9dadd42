// The one seam between the platform layer and the operating system: the
// system calls on device files and on the notification socket, and the roots
// of the kernel driver's directory trees. The operating system and the real
// roots are the default; a simulated kernel driver linked into the process
// (never into the library) replaces them.
#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <cstddef>

namespace sdihal::nQVAPAL000 {

struct tSystemInterface {
    // sizeof the table its provider was built with. Fields are only ever
    // appended, so a table shorter than this library's is one of an older
    // revision and is not used.
    size_t size;
    int (*open)(const char* path, int flags);
    int (*close)(int fd);
    int (*ioctl)(int fd, unsigned long request, void* argument);
    ssize_t (*read)(int fd, void* buffer, size_t length);
    ssize_t (*write)(int fd, const void* buffer, size_t length);
    void* (*mmap)(void* address, size_t length, int protection, int flags, int fd, off_t offset);
    int (*munmap)(void* address, size_t length);
    // The netlink socket of the I/O notifications.
    int (*socket)(int domain, int type, int protocol);
    int (*bind)(int fd, const sockaddr* address, socklen_t length);
    int (*getsockname)(int fd, sockaddr* address, socklen_t* length);
    // "/proc/driver/qv/" (with its final slash), "/dev" and "/dev/qv". A
    // root's text stays valid for the life of the process, also after the
    // provider changes its roots.
    const char* (*driverRoot)();
    const char* (*deviceRoot)();
    const char* (*moduleDeviceRoot)();
    // Put in front of the fixed system directories of the standard paths and
    // the runtime toggles ("/var/local/...", "/etc/vorlane/...", "/usr/..."):
    // "" for the real root.
    const char* (*systemRoot)();
};

// The operating system's own calls and roots.
const tSystemInterface& operatingSystemInterface();

// The interface in force: chosen once, at the first call, never at load. A
// simulator's table is taken when it is at least as large as this library's.
const tSystemInterface& systemInterface();

}  // namespace sdihal::nQVAPAL000

// Defined only by a simulated kernel driver. The library refers to it weakly
// and never defines it, so a process without a simulator runs on the
// operating system exactly as on hardware. The table it returns must be
// complete before any constructor runs (constant-initialised): the library
// may be called during static start-up and keeps the first answer.
extern "C" __attribute__((weak, visibility("default"))) const sdihal::nQVAPAL000::tSystemInterface*
qv3377hal_simulatedSystemInterface();
