// The simulated driver's state, shared by the Driver object and the system
// calls that the library makes through its seam. Guarded by simulatorMutex().
#pragma once

#include <array>
#include <deque>
#include <map>
#include <mutex>

#include "kerneldriver/Driver.h"

namespace qvsim {

struct Device {
    std::string name;
    std::string path;
    int memory = -1;  // memfd behind the regions
    size_t pages = 0;
    uint8_t* mapped = nullptr;
    std::deque<uint8_t> readQueue;
    std::vector<uint8_t> written;
};

struct Route {
    Handler handler;
    std::optional<uint32_t> inSize;
    std::optional<uint32_t> outSize;
};

struct ScriptedReply {
    std::vector<uint8_t> output;
    std::optional<uint32_t> bytesReturned;
    int error = 0;
};

struct Injection {
    uint32_t countdown;
    int error;
};

// A netlink socket of the library simulated by a datagram socket pair.
struct SimulatedSocket {
    int peer = -1;
    uint32_t portId = 0;
};

inline constexpr size_t kCallKinds = 6;

struct Driver::State {
    std::string prefix;
    std::map<std::string, std::shared_ptr<Device>> devices;
    std::map<int, std::shared_ptr<Device>> descriptors;
    std::map<uint32_t, Route> routes;
    Route otherRequests;  // for codes without a route, when it has a handler
    std::map<uint32_t, std::deque<ScriptedReply>> scripted;
    std::vector<RecordedRequest> recorded;
    std::array<std::vector<Injection>, kCallKinds> injections;
    std::array<uint64_t, kCallKinds> counts{};
    std::vector<Registration> registrations;
    bool forceSimulatedNetlink = false;
    std::optional<bool> kernelUnicast;
    std::map<int, SimulatedSocket> sockets;
    uint32_t nextPortId = 0x51000001;
    int sender = -1;  // netlink socket the driver sends from
    std::function<void(const std::string&)> events;
};

// Tells the event sink, if any, of one open, request or close.
void reportEvent(Driver::State& state, const std::string& event);

std::mutex& simulatorMutex();
// The driver in force, or null; set by Driver's constructor and destructor.
Driver::State* activeState();
void setActiveState(Driver::State* state);

// Counts a call and returns the errno injected into it, or 0.
int takeInjection(Driver::State& state, Call call);
// Whether the library's netlink sockets are simulated (probes once).
bool simulatesNetlink(Driver::State& state);
// Serves an ioctl on one of the driver's descriptors; the lock is released
// while a handler runs.
int serveIoctl(Driver::State& state, const std::shared_ptr<Device>& device, uint32_t code,
               void* argument, std::unique_lock<std::mutex>& lock);

}  // namespace qvsim

namespace qvsim {

// Points the library's driver, device and fixed system roots into a fixture
// tree; empty strings restore the real roots.
void setRoots(const std::string& driverRoot, const std::string& deviceRoot,
              const std::string& moduleDeviceRoot, const std::string& systemRoot);

}  // namespace qvsim
