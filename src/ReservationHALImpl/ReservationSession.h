// The reservation session: the kernel driver's arbitration of the module's
// resources between clients, reached one request per operation. The session
// keeps no reservation state; the driver does.
#pragma once

#include <cstdint>
#include <memory>

#include "apal_qv3377k/iInterfaceProxy_qv3377k.h"

namespace reservationhal {

class ReservationHALInterface {
public:
    virtual ~ReservationHALInterface() = default;
    virtual uint32_t findReservationPolicyIDDescriptor(uint32_t policyId, uint64_t buffer,
                                                       uint64_t* size) = 0;
    virtual uint32_t findReservationClientIDDescriptor(uint32_t clientId, uint64_t buffer,
                                                       uint64_t* size) = 0;
    virtual void findReservationPolicyID(uint64_t descriptor, uint64_t size,
                                         uint32_t* policyId) = 0;
    virtual void findDeviceActivityContextID(uint64_t descriptor, uint64_t size,
                                             uint32_t* contextId) = 0;
    virtual void getReservationClientID(uint32_t* clientId) = 0;
    virtual uint32_t getNumOfReservableChildIDs(uint32_t parent, uint64_t* count) = 0;
    virtual uint32_t findReservableChildIDs(uint32_t parent, uint64_t* size, uint64_t buffer) = 0;
    virtual void reserve(uint64_t first, uint64_t second, uint64_t third, uint64_t* result) = 0;
    virtual void release(uint64_t first, uint64_t second) = 0;
    virtual void deferReleaseUntilIdle(uint32_t first, uint64_t second, uint64_t third) = 0;
    virtual void setReservationCache(uint64_t first, uint64_t second) = 0;
    virtual void reserveCache(uint32_t* first, uint64_t* second) = 0;
    virtual void releaseCache() = 0;
    virtual void deferReleaseCacheUntilIdle(uint32_t value) = 0;
    virtual void setIsListModeActive(uint32_t flag) = 0;
    virtual void releaseIdleResources() = 0;
};

// Null output pointers throw -1074097937 and values that must fit 32 bits
// but don't throw -52003, both before any request.
class ReservationSession : public ReservationHALInterface {
public:
    // Describes the client to the driver (at most 256 characters, else
    // -52005) and learns its client id.
    ReservationSession(std::shared_ptr<sdihal::iInterfaceProxy_reservation> proxy,
                       const char* description);
    ~ReservationSession() override;

    uint32_t clientId() const { return clientId_; }

    uint32_t findReservationPolicyIDDescriptor(uint32_t policyId, uint64_t buffer,
                                               uint64_t* size) override;
    uint32_t findReservationClientIDDescriptor(uint32_t clientId, uint64_t buffer,
                                               uint64_t* size) override;
    void findReservationPolicyID(uint64_t descriptor, uint64_t size, uint32_t* policyId) override;
    void findDeviceActivityContextID(uint64_t descriptor, uint64_t size,
                                     uint32_t* contextId) override;
    void getReservationClientID(uint32_t* clientId) override;
    uint32_t getNumOfReservableChildIDs(uint32_t parent, uint64_t* count) override;
    uint32_t findReservableChildIDs(uint32_t parent, uint64_t* size, uint64_t buffer) override;
    void reserve(uint64_t first, uint64_t second, uint64_t third, uint64_t* result) override;
    void release(uint64_t first, uint64_t second) override;
    void deferReleaseUntilIdle(uint32_t first, uint64_t second, uint64_t third) override;
    void setReservationCache(uint64_t first, uint64_t second) override;
    void reserveCache(uint32_t* first, uint64_t* second) override;
    void releaseCache() override;
    void deferReleaseCacheUntilIdle(uint32_t value) override;
    void setIsListModeActive(uint32_t flag) override;
    void releaseIdleResources() override;

private:
    std::shared_ptr<sdihal::iInterfaceProxy_reservation> proxy_;
    uint32_t clientId_ = 0;
};

}  // namespace reservationhal
