// Asynchronous notifications from the module's kernel driver over a generic
// netlink socket. A reader owns the socket and reads one notification at a
// time; a notification registers itself with the driver, through a device
// file, for delivery to a reader's socket.
#pragma once

#include <cstdint>

#include "qvapal/protons/driver/tDeviceInterfaceProxy.h"
#include "qvapal/quarks/descriptors.h"
#include "qvapal/status/tStatus.h"

namespace sdihal::nQVAPAL000 {

// What a read returns in `kind`.
enum : uint32_t {
    kIONotificationFirstKind = 0,
    kIONotificationSecondKind = 1,
    kIONotificationStopped = 2,
};

inline constexpr uint32_t kIONotificationPayloadSize = 32;
inline constexpr uint32_t kIONotificationWaitForever = 0xFFFFFFFF;

class tIONotificationReader {
public:
    // A socket whose receive buffer holds `queueLength` + 1 notifications.
    tIONotificationReader(uint64_t queueLength, nQVAPALS100::tStatus& status);
    tIONotificationReader(const tIONotificationReader&) = delete;
    tIONotificationReader& operator=(const tIONotificationReader&) = delete;
    virtual ~tIONotificationReader();

    // Waits up to `timeoutMs` (kIONotificationWaitForever: no limit) for one
    // notification and returns its value, with its kind and payload
    // (`payload` holds kIONotificationPayloadSize bytes). After stop() the
    // read returns kind kIONotificationStopped, size 0 and value 0. No
    // notification in time: -52007.
    virtual uint64_t read(uint32_t* kind, void* payload, uint32_t* payloadSize,
                          nQVAPALS100::tStatus& status, uint32_t timeoutMs);
    // Ends exactly one read, the current or the next.
    virtual void stop(nQVAPALS100::tStatus& status);

    uint32_t getPortId() const { return portId_; }
    int32_t getSocket() const { return socket_; }

private:
    void openSocket(uint64_t queueLength, nQVAPALS100::tStatus& status);
    // Takes one waiting datagram; false when it was no notification (or none
    // was waiting), true when the read is over (`value` set or the status
    // raised).
    bool receive(uint32_t* kind, void* payload, uint32_t* payloadSize, uint64_t& value,
                 nQVAPALS100::tStatus& status);

    int32_t socket_ = -1;
    uint32_t portId_ = 0;
    tStopPipe stopPipe_;
};

// The reader that a notification thread runs.
class tThreadedIONotificationReader : public tIONotificationReader {
public:
    using tIONotificationReader::tIONotificationReader;
};

// The registration request of a notification (ioctl 0x4010FF00).
struct tIONotificationRegistration {
    uint64_t object;
    uint32_t portId;
    uint32_t id;
};
static_assert(sizeof(tIONotificationRegistration) == 16);

inline constexpr uint32_t kRegisterIONotification = 0x4010FF00;
inline constexpr uint32_t kUnregisterIONotification = 0xFF01;

class tIONotification {
public:
    tIONotification() = default;
    tIONotification(const tIONotification&) = delete;
    tIONotification& operator=(const tIONotification&) = delete;
    // The owner unregisters before it destroys the notification or its proxy.
    virtual ~tIONotification() = default;

    // Asks the driver to deliver notification `id` for this object to the
    // reader's socket. Failure: -52008.
    virtual void registerNotification(const tIONotificationReader& reader,
                                      tDeviceInterfaceProxy& proxy, uint32_t id,
                                      nQVAPALS100::tStatus& status);
    virtual void unregisterNotification();

    bool isRegistered() const { return registered_; }

private:
    tDeviceInterfaceProxy* proxy_ = nullptr;
    uint32_t id_ = 0;
    bool registered_ = false;
};

class tDemotionNotification : public tIONotification {};

}  // namespace sdihal::nQVAPAL000
