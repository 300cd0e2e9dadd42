#include <linux/netlink.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "common/Countdown.h"
#include "kerneldriver/State.h"
#include "qvapal/protons/driver/tDeviceInterfaceProxy.h"
#include "qvapal/protons/io_notification/tIONotification.h"

namespace qvsim {
namespace {

using sdihal::nQVAPAL000::kRegisterIONotification;
using sdihal::nQVAPAL000::kUnregisterIONotification;
using sdihal::nQVAPAL000::tIONotificationRegistration;
using sdihal::nQVAPAL000::tKernelRequestBlock;

// Ioctl numbering: number in bits 0-7, type in 8-15, argument size in 16-29.
constexpr uint32_t typeOf(uint32_t code) {
    return (code >> 8) & 0xFF;
}
constexpr uint32_t sizeOf(uint32_t code) {
    return (code >> 16) & 0x3FFF;
}
constexpr uint32_t kNotificationType = 0xFF;
// Blocks above this are refused, as a driver bounds its copies.
constexpr uint32_t kLargestBlock = 1u << 20;

std::atomic<uint32_t> prefixCounter{0};

size_t index(Call call) {
    return static_cast<size_t>(call);
}

int refuse(Driver::State& state, RecordedRequest record, int err) {
    record.error = err;
    state.recorded.push_back(std::move(record));
    errno = err;
    return -1;
}

int serveNotificationRequest(Driver::State& state, const Device& device, uint32_t code,
                             void* argument, RecordedRequest record) {
    if (code == kRegisterIONotification) {
        if (argument == nullptr) return refuse(state, std::move(record), EFAULT);
        tIONotificationRegistration request;
        std::memcpy(&request, argument, sizeof request);
        const auto* bytes = static_cast<const uint8_t*>(argument);
        record.input.assign(bytes, bytes + sizeof request);
        record.inSize = sizeof request;
        state.registrations.push_back({device.name, request.object, request.portId, request.id});
    } else if (code == kUnregisterIONotification) {
        const auto id = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(argument));
        std::erase_if(state.registrations,
                      [&](const Registration& r) { return r.id == id && r.device == device.name; });
    } else {
        return refuse(state, std::move(record), ENOTTY);
    }
    state.recorded.push_back(std::move(record));
    return 0;
}

bool probeKernelUnicast() {
    const int receiver = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_GENERIC);
    const int sender = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_GENERIC);
    bool works = false;
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    socklen_t length = sizeof address;
    if (receiver >= 0 && sender >= 0 &&
        ::bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(receiver, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        nlmsghdr header{sizeof(nlmsghdr), NLMSG_MIN_TYPE, 0, 0, 0};
        works = ::sendto(sender, &header, sizeof header, 0, reinterpret_cast<sockaddr*>(&address),
                         sizeof address) == static_cast<ssize_t>(sizeof header);
    }
    if (receiver >= 0) ::close(receiver);
    if (sender >= 0) ::close(sender);
    return works;
}

// The route serving `code`: its own, else the one for all other codes, if any.
const Route* routeOf(const Driver::State& state, uint32_t code) {
    auto route = state.routes.find(code);
    if (route != state.routes.end()) return &route->second;
    return state.otherRequests.handler ? &state.otherRequests : nullptr;
}

}  // namespace

int takeInjection(Driver::State& state, Call call) {
    ++state.counts[index(call)];
    return takeDue(state.injections[index(call)], &Injection::error);
}

bool simulatesNetlink(Driver::State& state) {
    if (state.forceSimulatedNetlink) return true;
    if (!state.kernelUnicast) state.kernelUnicast = probeKernelUnicast();
    return !*state.kernelUnicast;
}

int serveIoctl(Driver::State& state, const std::shared_ptr<Device>& device, uint32_t code,
               void* argument, std::unique_lock<std::mutex>& lock) {
    RecordedRequest record;
    record.device = device->name;
    record.code = code;
    {
        char event[64];
        std::snprintf(event, sizeof event, "request 0x%08X ", code);
        reportEvent(state, event + device->name);
    }
    if (const int err = takeInjection(state, Call::ioctl)) return refuse(state, record, err);
    if (typeOf(code) == kNotificationType) {
        return serveNotificationRequest(state, *device, code, argument, std::move(record));
    }
    // Every other request carries the 32-byte request block.
    if (sizeOf(code) != sizeof(tKernelRequestBlock)) return refuse(state, record, ENOTTY);
    if (argument == nullptr) return refuse(state, record, EFAULT);
    tKernelRequestBlock block;
    std::memcpy(&block, argument, sizeof block);
    record.inSize = block.inSize;
    record.outSize = block.outSize;
    if (block.reserved != 0 || block.bytesReturned != 0 || block.inSize > kLargestBlock ||
        block.outSize > kLargestBlock) {
        return refuse(state, record, EINVAL);
    }
    if ((block.inSize != 0 && block.inBuffer == 0) ||
        (block.outSize != 0 && block.outBuffer == 0)) {
        return refuse(state, record, EFAULT);
    }
    const auto* inBytes = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(block.inBuffer));
    auto* outBytes = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(block.outBuffer));
    if (block.inSize != 0) record.input.assign(inBytes, inBytes + block.inSize);

    std::vector<uint8_t> output(block.outSize, 0);
    uint32_t bytesReturned = block.outSize;
    auto scripted = state.scripted.find(code);
    if (scripted != state.scripted.end() && !scripted->second.empty()) {
        ScriptedReply reply = std::move(scripted->second.front());
        scripted->second.pop_front();
        if (reply.error != 0) return refuse(state, record, reply.error);
        std::memcpy(output.data(), reply.output.data(),
                    std::min(output.size(), reply.output.size()));
        bytesReturned = reply.bytesReturned.value_or(
            static_cast<uint32_t>(std::min(output.size(), reply.output.size())));
    } else if (const Route* route = routeOf(state, code)) {
        if ((route->inSize && *route->inSize != block.inSize) ||
            (route->outSize && *route->outSize != block.outSize)) {
            return refuse(state, record, EINVAL);
        }
        if (block.outSize != 0) std::memcpy(output.data(), outBytes, block.outSize);
        Handler handler = route->handler;
        Request request{device->name, code, record.input, output, block.outSize};
        // Handlers may call back into the driver.
        lock.unlock();
        const int err = handler(request);
        lock.lock();
        if (err != 0) return refuse(state, record, err);
        bytesReturned = request.bytesReturned;
    }
    if (block.outSize != 0) std::memcpy(outBytes, output.data(), block.outSize);
    block.bytesReturned = bytesReturned;
    std::memcpy(argument, &block, sizeof block);
    record.bytesReturned = bytesReturned;
    state.recorded.push_back(std::move(record));
    return 0;
}

Driver::Driver() : state_(std::make_shared<State>()) {
    state_->prefix = "/qvsim/" + std::to_string(getpid()) + "." +
                     std::to_string(prefixCounter.fetch_add(1)) + "/";
    std::lock_guard lock(simulatorMutex());
    if (activeState() != nullptr) throw std::logic_error("a simulated driver is already active");
    setActiveState(state_.get());
}

Driver::~Driver() {
    std::lock_guard lock(simulatorMutex());
    setActiveState(nullptr);
    // Descriptors the library still holds become plain descriptors of the
    // memory; the sockets keep working for their owner.
    for (auto& [fd, socket] : state_->sockets) ::close(socket.peer);
    for (auto& [name, device] : state_->devices) {
        if (device->mapped != nullptr)
            munmap(device->mapped, device->pages * sysconf(_SC_PAGESIZE));
        ::close(device->memory);
    }
    if (state_->sender >= 0) ::close(state_->sender);
}

std::string Driver::addDevice(const std::string& name, size_t pages) {
    auto device = std::make_shared<Device>();
    device->name = name;
    device->path = state_->prefix + name;
    device->pages = pages;
    const size_t size = pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
    device->memory = memfd_create(name.c_str(), MFD_CLOEXEC);
    if (device->memory < 0 || ftruncate(device->memory, static_cast<off_t>(size)) != 0) {
        throw std::runtime_error("cannot make the device's memory");
    }
    void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, device->memory, 0);
    if (mapped == MAP_FAILED) throw std::runtime_error("cannot map the device's memory");
    device->mapped = static_cast<uint8_t*>(mapped);
    std::lock_guard lock(simulatorMutex());
    state_->devices[name] = device;
    return device->path;
}

void Driver::removeDevice(const std::string& name) {
    std::lock_guard lock(simulatorMutex());
    // Open descriptors keep the device alive, as a driver keeps a removed
    // device until its last file is closed.
    state_->devices.erase(name);
}

std::string Driver::devicePath(const std::string& name) const {
    return state_->prefix + name;
}

const std::string& Driver::prefix() const {
    return state_->prefix;
}

uint8_t* Driver::regionMemory(const std::string& device, uint16_t region) {
    std::lock_guard lock(simulatorMutex());
    auto found = state_->devices.find(device);
    if (found == state_->devices.end() || region >= found->second->pages) return nullptr;
    return found->second->mapped + static_cast<size_t>(region) * sysconf(_SC_PAGESIZE);
}

size_t Driver::openDescriptors() const {
    std::lock_guard lock(simulatorMutex());
    return state_->descriptors.size();
}

void Driver::queueRead(const std::string& device, std::vector<uint8_t> bytes) {
    std::lock_guard lock(simulatorMutex());
    auto found = state_->devices.find(device);
    if (found != state_->devices.end()) {
        found->second->readQueue.insert(found->second->readQueue.end(), bytes.begin(), bytes.end());
    }
}

std::vector<uint8_t> Driver::written(const std::string& device) const {
    std::lock_guard lock(simulatorMutex());
    auto found = state_->devices.find(device);
    return found != state_->devices.end() ? found->second->written : std::vector<uint8_t>{};
}

void Driver::onRequest(uint32_t code, Handler handler, std::optional<uint32_t> inSize,
                       std::optional<uint32_t> outSize) {
    std::lock_guard lock(simulatorMutex());
    state_->routes[code] = Route{std::move(handler), inSize, outSize};
}

void reportEvent(Driver::State& state, const std::string& event) {
    if (state.events) state.events(event);
}

void Driver::onEvent(std::function<void(const std::string& event)> sink) {
    std::lock_guard lock(simulatorMutex());
    state_->events = std::move(sink);
}

void Driver::onOtherRequest(Handler handler) {
    std::lock_guard lock(simulatorMutex());
    state_->otherRequests = Route{std::move(handler), {}, {}};
}

void Driver::scriptReply(uint32_t code, std::vector<uint8_t> output,
                         std::optional<uint32_t> bytesReturned) {
    std::lock_guard lock(simulatorMutex());
    state_->scripted[code].push_back(ScriptedReply{std::move(output), bytesReturned, 0});
}

void Driver::scriptError(uint32_t code, int err) {
    std::lock_guard lock(simulatorMutex());
    state_->scripted[code].push_back(ScriptedReply{{}, {}, err});
}

std::vector<RecordedRequest> Driver::requests() const {
    std::lock_guard lock(simulatorMutex());
    return state_->recorded;
}

void Driver::clearRequests() {
    std::lock_guard lock(simulatorMutex());
    state_->recorded.clear();
}

void Driver::failCall(Call call, int err, uint32_t nth) {
    std::lock_guard lock(simulatorMutex());
    state_->injections[index(call)].push_back(Injection{nth == 0 ? 1 : nth, err});
}

uint64_t Driver::callCount(Call call) const {
    std::lock_guard lock(simulatorMutex());
    return state_->counts[index(call)];
}

std::vector<Registration> Driver::registrations() const {
    std::lock_guard lock(simulatorMutex());
    return state_->registrations;
}

bool Driver::netlinkThroughKernel() const {
    std::lock_guard lock(simulatorMutex());
    return !simulatesNetlink(*state_);
}

void Driver::simulateNetlink(bool simulate) {
    std::lock_guard lock(simulatorMutex());
    state_->forceSimulatedNetlink = simulate;
}

bool Driver::sendDatagram(uint32_t portId, const void* bytes, size_t length) {
    std::lock_guard lock(simulatorMutex());
    for (const auto& [fd, socket] : state_->sockets) {
        if (socket.portId == portId) {
            return ::send(socket.peer, bytes, length, MSG_DONTWAIT) == static_cast<ssize_t>(length);
        }
    }
    if (state_->sender < 0) {
        state_->sender = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_GENERIC);
        if (state_->sender < 0) return false;
    }
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_pid = portId;
    return ::sendto(state_->sender, bytes, length, MSG_DONTWAIT,
                    reinterpret_cast<const sockaddr*>(&address),
                    sizeof address) == static_cast<ssize_t>(length);
}

bool Driver::notify(uint32_t portId, uint16_t kind, uint64_t value, const void* payload,
                    uint32_t payloadSize) {
    const std::vector<uint8_t> datagram =
        notificationDatagram(NLMSG_MIN_TYPE, kind, value, payload, payloadSize);
    return sendDatagram(portId, datagram.data(), datagram.size());
}

bool Driver::deliver(uint32_t id, uint16_t kind, const void* payload, uint32_t payloadSize) {
    std::optional<Registration> target;
    {
        std::lock_guard lock(simulatorMutex());
        for (const Registration& registration : state_->registrations) {
            if (registration.id == id) target = registration;
        }
    }
    return target && notify(target->portId, kind, target->object, payload, payloadSize);
}

size_t processDescriptors() {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    // The iterator's own descriptor was among them.
    return count - 1;
}

size_t processThreads() {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        (void)entry;
        ++count;
    }
    return count;
}

size_t processThreadsBaseline() {
    std::thread([] {}).join();
    return processThreads();
}

size_t processThreadsSettlingAtMost(size_t limit) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    size_t count = processThreads();
    while (count > limit && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        count = processThreads();
    }
    return count;
}

std::vector<uint8_t> notificationDatagram(uint16_t messageType, uint16_t kind, uint64_t value,
                                          const void* payload, uint32_t payloadSize) {
    // Netlink header, 6 bytes of the driver's own, kind, value, payload size
    // and a payload area of 32 bytes.
    std::vector<uint8_t> datagram(72, 0);
    const uint32_t length = static_cast<uint32_t>(datagram.size());
    const uint32_t sender = 0;
    std::memcpy(&datagram[0], &length, 4);
    std::memcpy(&datagram[4], &messageType, 2);
    std::memcpy(&datagram[12], &sender, 4);
    std::memcpy(&datagram[22], &kind, 2);
    std::memcpy(&datagram[24], &value, 8);
    std::memcpy(&datagram[32], &payloadSize, 4);
    if (payload != nullptr)
        std::memcpy(&datagram[36], payload, std::min<uint32_t>(payloadSize, 32));
    return datagram;
}

}  // namespace qvsim
