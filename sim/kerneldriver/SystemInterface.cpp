// The system calls the library makes through its seam while this simulator
// is linked into the process: calls on the simulated driver's device files
// and sockets are served here, all others go to the operating system.
#include <fcntl.h>
#include <linux/netlink.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kerneldriver/State.h"
#include "qvapal/protons/system/tSystemInterface.h"

namespace qvsim {
namespace {

constinit std::atomic<uint64_t> lookups{0};
Driver::State* active = nullptr;

// The roots in force: an immutable snapshot, replaced as a whole. Library
// threads may hold a root's text while a test changes the roots, so every
// snapshot lives as long as the process (a test makes a handful).
struct Roots {
    std::string driver, device, moduleDevice, system;
};
constinit std::atomic<const Roots*> roots{nullptr};  // null: the real roots

// One root of the snapshot in force, or its real value.
template <std::string Roots::*root>
const char* rootText(const char* real) {
    const Roots* current = roots.load(std::memory_order_acquire);
    return current != nullptr ? (current->*root).c_str() : real;
}
const char* simDriverRoot() {
    return rootText<&Roots::driver>("/proc/driver/qv/");
}
const char* simDeviceRoot() {
    return rootText<&Roots::device>("/dev");
}
const char* simModuleDeviceRoot() {
    return rootText<&Roots::moduleDevice>("/dev/qv");
}
const char* simSystemRoot() {
    return rootText<&Roots::system>("");
}

// The active driver's device behind `fd`, or null (the lock stays held only
// when a device was found).
std::shared_ptr<Device> deviceOf(int fd, std::unique_lock<std::mutex>& lock) {
    if (active != nullptr) {
        auto found = active->descriptors.find(fd);
        if (found != active->descriptors.end()) return found->second;
    }
    lock.unlock();
    return nullptr;
}

SimulatedSocket* simulatedSocket(int fd) {
    if (active == nullptr) return nullptr;
    auto found = active->sockets.find(fd);
    return found != active->sockets.end() ? &found->second : nullptr;
}

int fail(int err) {
    errno = err;
    return -1;
}

int simOpen(const char* path, int flags) {
    std::unique_lock lock(simulatorMutex());
    if (active == nullptr || path == nullptr ||
        std::string_view(path).substr(0, active->prefix.size()) != active->prefix) {
        lock.unlock();
        return ::open(path, flags);
    }
    if (const int err = takeInjection(*active, Call::open)) return fail(err);
    auto found = active->devices.find(std::string(path + active->prefix.size()));
    if (found == active->devices.end()) return fail(ENOENT);
    const int fd = fcntl(found->second->memory, (flags & O_CLOEXEC) ? F_DUPFD_CLOEXEC : F_DUPFD, 0);
    if (fd < 0) return -1;
    active->descriptors[fd] = found->second;
    reportEvent(*active, "open " + found->second->name);
    return fd;
}

int simClose(int fd) {
    int injected = 0;
    {
        std::lock_guard lock(simulatorMutex());
        if (active != nullptr) {
            auto open = active->descriptors.find(fd);
            if (open != active->descriptors.end()) {
                reportEvent(*active, "close " + open->second->name);
                active->descriptors.erase(open);
                injected = takeInjection(*active, Call::close);
            }
            if (SimulatedSocket* socket = simulatedSocket(fd)) {
                ::close(socket->peer);
                active->sockets.erase(fd);
            }
        }
    }
    const int result = ::close(fd);
    return injected != 0 ? fail(injected) : result;
}

int simIoctl(int fd, unsigned long request, void* argument) {
    std::unique_lock lock(simulatorMutex());
    std::shared_ptr<Device> device = deviceOf(fd, lock);
    if (device == nullptr) return ::ioctl(fd, request, argument);
    return serveIoctl(*active, device, static_cast<uint32_t>(request), argument, lock);
}

ssize_t simRead(int fd, void* buffer, size_t length) {
    std::unique_lock lock(simulatorMutex());
    std::shared_ptr<Device> device = deviceOf(fd, lock);
    if (device == nullptr) return ::read(fd, buffer, length);
    if (const int err = takeInjection(*active, Call::read)) return fail(err);
    size_t count = 0;
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (count < length && !device->readQueue.empty()) {
        bytes[count++] = device->readQueue.front();
        device->readQueue.pop_front();
    }
    return static_cast<ssize_t>(count);
}

ssize_t simWrite(int fd, const void* buffer, size_t length) {
    std::unique_lock lock(simulatorMutex());
    std::shared_ptr<Device> device = deviceOf(fd, lock);
    if (device == nullptr) return ::write(fd, buffer, length);
    if (const int err = takeInjection(*active, Call::write)) return fail(err);
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    device->written.insert(device->written.end(), bytes, bytes + length);
    return static_cast<ssize_t>(length);
}

void* simMmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
    std::unique_lock lock(simulatorMutex());
    std::shared_ptr<Device> device = deviceOf(fd, lock);
    if (device != nullptr) {
        if (const int err = takeInjection(*active, Call::mmap)) {
            errno = err;
            return MAP_FAILED;
        }
        // Like a driver, refuse a mapping beyond the regions' memory instead
        // of handing out pages that fault when touched.
        const auto size = static_cast<uint64_t>(device->pages) * sysconf(_SC_PAGESIZE);
        if (offset < 0 || length > size || static_cast<uint64_t>(offset) > size - length) {
            errno = EINVAL;
            return MAP_FAILED;
        }
    }
    return ::mmap(address, length, protection, flags, fd, offset);
}

int simSocket(int domain, int type, int protocol) {
    std::unique_lock lock(simulatorMutex());
    if (active == nullptr || domain != AF_NETLINK || !simulatesNetlink(*active)) {
        lock.unlock();
        return ::socket(domain, type, protocol);
    }
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_DGRAM | (type & SOCK_CLOEXEC), 0, ends) != 0) return -1;
    active->sockets[ends[0]] = SimulatedSocket{ends[1], 0};
    return ends[0];
}

int simBind(int fd, const sockaddr* address, socklen_t length) {
    std::unique_lock lock(simulatorMutex());
    SimulatedSocket* socket = simulatedSocket(fd);
    if (socket == nullptr) {
        lock.unlock();
        return ::bind(fd, address, length);
    }
    if (address == nullptr || length < sizeof(sockaddr_nl) || address->sa_family != AF_NETLINK) {
        return fail(EINVAL);
    }
    socket->portId = active->nextPortId++;
    return 0;
}

int simGetsockname(int fd, sockaddr* address, socklen_t* length) {
    std::unique_lock lock(simulatorMutex());
    SimulatedSocket* socket = simulatedSocket(fd);
    if (socket == nullptr) {
        lock.unlock();
        return ::getsockname(fd, address, length);
    }
    if (address == nullptr || length == nullptr || *length < sizeof(sockaddr_nl)) {
        return fail(EINVAL);
    }
    sockaddr_nl netlink{};
    netlink.nl_family = AF_NETLINK;
    netlink.nl_pid = socket->portId;
    std::memcpy(address, &netlink, sizeof netlink);
    *length = sizeof netlink;
    return 0;
}

// Complete before any constructor runs: the library may make its first
// system call, and so take this table for good, during static start-up.
constinit const sdihal::nQVAPAL000::tSystemInterface table{
    sizeof(sdihal::nQVAPAL000::tSystemInterface),
    &simOpen,
    &simClose,
    &simIoctl,
    &simRead,
    &simWrite,
    &simMmap,
    &::munmap,
    &simSocket,
    &simBind,
    &simGetsockname,
    &simDriverRoot,
    &simDeviceRoot,
    &simModuleDeviceRoot,
    &simSystemRoot,
};

}  // namespace

namespace {

// A kernel's locks are never left held in a forked child by a thread the
// child lacks: neither is the simulated driver's. The lock and its fork
// handlers exist from load on, so no fork can catch their first use.
constinit std::mutex simulator;
[[maybe_unused]] const int heldAcrossFork = pthread_atfork(
    [] { simulator.lock(); }, [] { simulator.unlock(); }, [] { simulator.unlock(); });

}  // namespace

std::mutex& simulatorMutex() {
    return simulator;
}

Driver::State* activeState() {
    return active;
}

void setActiveState(Driver::State* state) {
    active = state;
}

void setRoots(const std::string& driverRoot, const std::string& deviceRoot,
              const std::string& moduleDeviceRoot, const std::string& systemRoot) {
    static std::mutex keptMutex;
    // Never destroyed: a thread may still read a root while the process exits.
    static auto* kept = new std::vector<std::unique_ptr<const Roots>>;
    auto next = std::make_unique<const Roots>(
        Roots{driverRoot.empty() ? "/proc/driver/qv/" : driverRoot,
              deviceRoot.empty() ? "/dev" : deviceRoot,
              moduleDeviceRoot.empty() ? "/dev/qv" : moduleDeviceRoot, systemRoot});
    std::lock_guard lock(keptMutex);
    roots.store(next.get(), std::memory_order_release);
    kept->push_back(std::move(next));
}

uint64_t systemInterfaceLookups() {
    return lookups.load();
}

}  // namespace qvsim

extern "C" __attribute__((visibility("default"))) const sdihal::nQVAPAL000::tSystemInterface*
qv3377hal_simulatedSystemInterface() {
    qvsim::lookups.fetch_add(1);
    return &qvsim::table;
}
