// A simulated kernel driver of the module, for tests. While a Driver exists
// it serves device files under a path prefix of its own: the library's device
// proxy opens them, sends its 32-byte request blocks, reads, writes and maps
// their regions exactly as on hardware. Requests are decoded, checked,
// recorded and answered by a handler registered for their request code (by
// default: zeroed output, status 0). Tests script replies and inject errors.
//
// One Driver at a time per process. Descriptors and paths that are not the
// Driver's pass through to the operating system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qvsim {

// The calls into which an error can be injected. A failed close still
// releases the descriptor, as the kernel does.
enum class Call { open, ioctl, read, write, mmap, close };

// One request as the driver sees it. The output block starts as the caller's
// output block (so fields a handler leaves alone keep what the caller put
// there); what it holds after the handler is copied back to the caller.
struct Request {
    std::string device;
    uint32_t code = 0;
    std::span<const uint8_t> input;
    std::span<uint8_t> output;
    // Reported back in the request block; the output size unless set.
    uint32_t bytesReturned = 0;

    // A field of the input block; zero when it lies outside the block.
    template <typename T>
    T in(size_t offset) const {
        T value{};
        if (offset + sizeof(T) <= input.size())
            std::memcpy(&value, input.data() + offset, sizeof(T));
        return value;
    }
    // Writes a field of the output block; false when it lies outside.
    template <typename T>
    bool out(size_t offset, const T& value) {
        if (offset + sizeof(T) > output.size()) return false;
        std::memcpy(output.data() + offset, &value, sizeof(T));
        return true;
    }
};

// Answers a request: 0, or an errno that fails the ioctl.
using Handler = std::function<int(Request& request)>;

struct RecordedRequest {
    std::string device;
    uint32_t code = 0;
    std::vector<uint8_t> input;
    uint32_t inSize = 0;
    uint32_t outSize = 0;
    uint32_t bytesReturned = 0;
    // 0, or the errno the ioctl failed with.
    int error = 0;
};

// A notification registration as the driver received it.
struct Registration {
    std::string device;
    uint64_t object = 0;
    uint32_t portId = 0;
    uint32_t id = 0;
};

class Driver {
public:
    Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;
    ~Driver();

    // ---- device files
    // A device file backed by `pages` pages of memory; returns its path.
    std::string addDevice(const std::string& name, size_t pages = 16);
    void removeDevice(const std::string& name);
    std::string devicePath(const std::string& name) const;
    const std::string& prefix() const;
    // The memory behind `device`'s region `region` (at region x page size).
    uint8_t* regionMemory(const std::string& device, uint16_t region);
    // Descriptors of this driver's device files open now.
    size_t openDescriptors() const;
    // Bytes the next reads of `device` return; written bytes are kept.
    void queueRead(const std::string& device, std::vector<uint8_t> bytes);
    std::vector<uint8_t> written(const std::string& device) const;

    // ---- requests
    // Serves `code`; when sizes are given, other block sizes fail with EINVAL.
    void onRequest(uint32_t code, Handler handler, std::optional<uint32_t> inSize = {},
                   std::optional<uint32_t> outSize = {});
    // Serves every code that has no handler of its own (without one, such a
    // request is answered with a zeroed output and status 0).
    void onOtherRequest(Handler handler);
    // One-time answers to the next request of `code`, in the order scripted;
    // they take precedence over the handler.
    void scriptReply(uint32_t code, std::vector<uint8_t> output,
                     std::optional<uint32_t> bytesReturned = {});
    void scriptError(uint32_t code, int err);
    std::vector<RecordedRequest> requests() const;
    void clearRequests();

    // Tells `sink` of every open, request and close of this driver's device
    // files, in order ("open <device>", "request 0x<code> <device>",
    // "close <device>"), so a test can merge them with another log.
    void onEvent(std::function<void(const std::string& event)> sink);

    // ---- faults
    // The `nth` next call of `call` on this driver's devices fails with `err`
    // (counting from now; 1 is the next one).
    void failCall(Call call, int err, uint32_t nth = 1);
    // How often `call` reached this driver.
    uint64_t callCount(Call call) const;

    // ---- notifications
    std::vector<Registration> registrations() const;
    // Notifications go through real netlink unicast when the process may send
    // to another socket's port; otherwise, or when forced, the library's
    // netlink sockets are simulated. Decide before the reader is created.
    bool netlinkThroughKernel() const;
    void simulateNetlink(bool simulate);
    // Sends one notification datagram (kind 1 or 2, value, payload).
    bool notify(uint32_t portId, uint16_t kind, uint64_t value, const void* payload,
                uint32_t payloadSize);
    // Sends notification `id` to the reader it was registered for, with the
    // registering object's address as its value.
    bool deliver(uint32_t id, uint16_t kind, const void* payload, uint32_t payloadSize);
    // Sends raw bytes as one datagram.
    bool sendDatagram(uint32_t portId, const void* bytes, size_t length);

    struct State;

private:
    std::shared_ptr<State> state_;
};

// How often the library looked the simulator up (it does so once, at its
// first system call, never when it is loaded).
uint64_t systemInterfaceLookups();

// Descriptors open in this process now (entries of /proc/self/fd).
size_t processDescriptors();
// Threads of this process now (entries of /proc/self/task).
size_t processThreads();
// The same once the sanitizers' own helper threads, which start with the
// first thread the process starts, are there: the count a test compares
// later counts with.
size_t processThreadsBaseline();
// The thread count once it is at most `limit`, or what it is after a few
// seconds: a joined thread may still be listed for a moment while the kernel
// reaps it. (A thread that was there before may have ended meanwhile, so
// callers compare with <=.)
size_t processThreadsSettlingAtMost(size_t limit);

// Encodes a notification datagram as the driver sends it.
std::vector<uint8_t> notificationDatagram(uint16_t messageType, uint16_t kind, uint64_t value,
                                          const void* payload, uint32_t payloadSize);

}  // namespace qvsim
