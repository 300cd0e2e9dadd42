#include "qvapal/protons/io_notification/tIONotification.h"

#include <linux/netlink.h>
#include <sys/socket.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "qvapal/protons/system/tSystemInterface.h"
#include "qvapal/quarks/clock.h"
#include "qvapal/quarks/raise.h"
#include "qverr/Status.h"

namespace sdihal::nQVAPAL000 {

// Source name reported by this file's raise sites.
constexpr const char* kSource = "qvapal/protons/io_notification/linuxU/tIONotification";
namespace {

// One notification datagram: a netlink header, 6 bytes the reader does not
// interpret, then kind, value, payload size and payload.
constexpr size_t kMessageSize = 72;
constexpr size_t kNetlinkHeaderSize = 16;
constexpr size_t kKindOffset = 22;
constexpr size_t kValueOffset = 24;
constexpr size_t kPayloadSizeOffset = 32;
constexpr size_t kPayloadOffset = 36;

template <typename T>
T field(const unsigned char* message, size_t offset) {
    T value;
    std::memcpy(&value, message + offset, sizeof value);
    return value;
}

}  // namespace

tIONotificationReader::tIONotificationReader(uint64_t queueLength, nQVAPALS100::tStatus& status) {
    if (status.isError()) return;
    if (const int err = stopPipe_.open(); err != 0) {
        QVAPAL_RAISE_ERRNO(status, err, kSource, 21);
        return;
    }
    openSocket(queueLength, status);
    if (status.isError()) return;
    sockaddr_nl address{};
    socklen_t length = sizeof address;
    if (systemInterface().getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) !=
        0) {
        QVAPAL_RAISE_ERRNO(status, errno, kSource, 101);
        return;
    }
    portId_ = address.nl_pid;
}

tIONotificationReader::~tIONotificationReader() {
    stopPipe_.close();
    if (socket_ != -1) systemInterface().close(socket_);
}

void tIONotificationReader::openSocket(uint64_t queueLength, nQVAPALS100::tStatus& status) {
    if (queueLength > UINT32_MAX) {
        QVAPAL_RAISE(status, qverr::qvapalerr_invalidParameter, kSource, 51);
        return;
    }
    const tSystemInterface& system = systemInterface();
    socket_ = system.socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_GENERIC);
    if (socket_ < 0) {
        socket_ = -1;
        QVAPAL_RAISE_ERRNO(status, errno, kSource, 60);
        return;
    }
    // Room for every queued notification plus one; the kernel caps the size
    // itself, but the request must not overflow the option's int.
    const uint64_t wanted = (queueLength * 9 + 9) * 8;
    const int needed = wanted > INT_MAX ? INT_MAX : static_cast<int>(wanted);
    int current = 0;
    socklen_t optionLength = sizeof current;
    if (getsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &current, &optionLength) != 0) {
        QVAPAL_RAISE_ERRNO(status, errno, kSource, 67);
    } else if (current < needed &&
               setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &needed, sizeof needed) != 0) {
        QVAPAL_RAISE_ERRNO(status, errno, kSource, 75);
    }
    if (!status.isError()) {
        sockaddr_nl address{};
        address.nl_family = AF_NETLINK;
        if (system.bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
            0) {
            QVAPAL_RAISE_ERRNO(status, errno, kSource, 84);
        }
    }
    if (status.isError()) {
        system.close(socket_);
        socket_ = -1;
    }
}

uint64_t tIONotificationReader::read(uint32_t* kind, void* payload, uint32_t* payloadSize,
                                     nQVAPALS100::tStatus& status, uint32_t timeoutMs) {
    if (status.isError()) return 0;
    const int timeout = pollTimeout(timeoutMs);
    const uint64_t start = atut::poller::Poller::nowNanoseconds();
    for (;;) {
        pollfd descriptors[2] = {{socket_, POLLIN, 0}, {stopPipe_.readEnd(), POLLIN, 0}};
        const int ready = pollRetrying(descriptors, 2, pollTimeLeft(timeout, start));
        if (ready < 0) {
            QVAPAL_RAISE(status, qverr::qvapalerr_osFault, kSource, 203);
            return 0;
        }
        if (ready == 0) {
            QVAPAL_RAISE(status, qverr::qvapalerr_operationTimedOut, kSource, 199);
            return 0;
        }
        // An error pending on the socket (netlink reports lost notifications
        // so) comes without input: the receive reports it.
        if (descriptors[0].revents != 0) {
            uint64_t value = 0;
            if (receive(kind, payload, payloadSize, value, status)) return value;
        }
        // Only the stop byte is read here: a wait on the pipe could not be
        // ended.
        if (descriptors[1].revents & POLLIN) {
            stopPipe_.consume();
            if (payloadSize != nullptr) *payloadSize = 0;
            if (kind != nullptr) *kind = kIONotificationStopped;
            return 0;
        }
    }
}

bool tIONotificationReader::receive(uint32_t* kind, void* payload, uint32_t* payloadSize,
                                    uint64_t& value, nQVAPALS100::tStatus& status) {
    alignas(8) unsigned char message[kMessageSize];
    iovec part{message, sizeof message};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    // Never blocks: after a datagram that is no notification the read waits
    // again in poll(), where its time-out and a stop still count.
    ssize_t received;
    do {
        received = recvmsg(socket_, &header, MSG_DONTWAIT);
    } while (received < 0 && errno == EINTR);
    if (received < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) return false;
        QVAPAL_RAISE(status, qverr::kStatusIOError, kSource, 128);
        return true;
    }
    const size_t count = static_cast<size_t>(received);
    if (count < kNetlinkHeaderSize) return false;
    const auto length = field<uint32_t>(message, 0);
    const auto type = field<uint16_t>(message, 4);
    if (length < kNetlinkHeaderSize || length > count ||
        (type >= NLMSG_NOOP && type <= NLMSG_OVERRUN)) {
        return false;
    }
    // A message that ends before its fields would be read from bytes of an
    // earlier datagram: drop it.
    if (length < kPayloadOffset) return false;
    const auto messageKind = field<uint16_t>(message, kKindOffset);
    if (messageKind != 1 && messageKind != 2) {
        QVAPAL_RAISE(status, qverr::qvapalerr_featureUnsupported, kSource, 154);
        return true;
    }
    const auto size = field<uint32_t>(message, kPayloadSizeOffset);
    if (size > kIONotificationPayloadSize) {
        QVAPAL_RAISE(status, qverr::kStatusIOError, kSource, 160);
        return true;
    }
    if (length < kPayloadOffset + size) return false;
    if (payload != nullptr) std::memcpy(payload, message + kPayloadOffset, size);
    if (payloadSize != nullptr) *payloadSize = size;
    if (kind != nullptr) {
        *kind = messageKind == 1 ? kIONotificationFirstKind : kIONotificationSecondKind;
    }
    value = field<uint64_t>(message, kValueOffset);
    return true;
}

void tIONotificationReader::stop(nQVAPALS100::tStatus& status) {
    if (status.isError()) return;
    if (!stopPipe_.signal()) QVAPAL_RAISE(status, qverr::kStatusIOError, kSource, 216);
}

void tIONotification::registerNotification(const tIONotificationReader& reader,
                                           tDeviceInterfaceProxy& proxy, uint32_t id,
                                           nQVAPALS100::tStatus& status) {
    if (status.isError()) return;
    proxy_ = &proxy;
    id_ = id;
    // The driver may deliver as soon as it has the request: the fields are
    // stored before the system call that hands it over, which orders them
    // before any delivery the reading thread can see.
    tIONotificationRegistration request{reinterpret_cast<uintptr_t>(this), reader.getPortId(), id};
    if (systemInterface().ioctl(proxy.descriptor(), kRegisterIONotification, &request) < 0) {
        QVAPAL_RAISE(status, qverr::qvapalerr_osFault, kSource, 245);
        return;
    }
    registered_ = true;
}

void tIONotification::unregisterNotification() {
    if (registered_ && proxy_ != nullptr && proxy_->isOpen()) {
        systemInterface().ioctl(proxy_->descriptor(), kUnregisterIONotification,
                                reinterpret_cast<void*>(static_cast<uintptr_t>(id_)));
    }
    registered_ = false;
}

}  // namespace sdihal::nQVAPAL000
