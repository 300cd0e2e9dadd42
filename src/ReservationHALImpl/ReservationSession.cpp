#include "ReservationHALImpl/ReservationSession.h"

#include <utility>

#include "HALUtilities/DriverRequest.h"
#include "HALUtilities/ErrorHandling.h"
#include "qverr/DetailWriter.h"
#include "qverr/Exception.h"
#include "qvmxl/errors.h"

namespace reservationhal {

using nQVAPALS100::tStatus;
using qv3377hal::driverRequest;

namespace {

constexpr const char* kSource = "ReservationHALImpl/ReservationSession";
constexpr uint64_t kLongestDescription = 256;

// The raise sites, by the source line error descriptions know them by.
constexpr qverr::SourceLocation nullSite(int64_t line) {
    return {kSource, line, qv3377hal::kComponent, "qvmxl::kErrorNULLPtrForC_Api"};
}
constexpr qverr::SourceLocation wideSite(int64_t line) {
    return {kSource, line, qv3377hal::kComponent, "qvapalerr_softwareFaultAPALInternalUseOnly"};
}

template <int64_t Line, class T>
void requirePointer(const T* pointer) {
    static constexpr qverr::SourceLocation site = nullSite(Line);
    if (pointer == nullptr)
        qverr::throwWithMessage(qvmxl::kErrorNULLPtrForC_Api, site, "ReservationSession",
                                "null output pointer");
}

template <int64_t Line>
uint32_t narrow(uint64_t value) {
    static constexpr qverr::SourceLocation site = wideSite(Line);
    if (value > UINT32_MAX) {
        qverr::throwWithMessage(qverr::qvapalerr_softwareFaultAPALInternalUseOnly, site,
                                "ReservationSession", "value does not fit 32 bits");
    }
    return static_cast<uint32_t>(value);
}

uint64_t addressOf(const void* pointer) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(pointer));
}

}  // namespace

ReservationSession::ReservationSession(std::shared_ptr<sdihal::iInterfaceProxy_reservation> proxy,
                                       const char* description)
    : proxy_(std::move(proxy)) {
    uint32_t length = 0;
    if (description != nullptr) {
        while (length <= kLongestDescription && description[length] != '\0') ++length;
    }
    if (length > kLongestDescription) {
        static constexpr qverr::SourceLocation site{kSource, 28, qv3377hal::kComponent,
                                                    "qvapalerr_invalidParameter"};
        qverr::throwWithMessage(qverr::qvapalerr_invalidParameter, site, "ReservationSession",
                                "description longer than 256 characters");
    }
    driverRequest([&](tStatus& status) {
        proxy_->setReservationClientDescription(addressOf(description), length, status);
    });
    uint32_t id = 0;
    driverRequest([&](tStatus& status) { proxy_->getReservationClientID(&id, status); });
    clientId_ = id;
}

ReservationSession::~ReservationSession() = default;

uint32_t ReservationSession::findReservationPolicyIDDescriptor(uint32_t policyId, uint64_t buffer,
                                                               uint64_t* size) {
    requirePointer<76>(size);
    uint32_t value = narrow<81>(*size);
    driverRequest([&](tStatus& status) {
        proxy_->findReservationPolicyIDDescriptor(policyId, buffer, &value, status);
    });
    *size = value;
    return value;
}

uint32_t ReservationSession::findReservationClientIDDescriptor(uint32_t clientId, uint64_t buffer,
                                                               uint64_t* size) {
    requirePointer<95>(size);
    uint32_t value = narrow<100>(*size);
    driverRequest([&](tStatus& status) {
        proxy_->findReservationClientIDDescriptor(clientId, buffer, &value, status);
    });
    *size = value;
    return value;
}

void ReservationSession::findReservationPolicyID(uint64_t descriptor, uint64_t size,
                                                 uint32_t* policyId) {
    requirePointer<112>(policyId);
    const uint32_t narrowSize = narrow<117>(size);
    uint32_t id = *policyId;
    driverRequest([&](tStatus& status) {
        proxy_->findReservationPolicyID(descriptor, narrowSize, &id, status);
    });
    *policyId = id;
}

void ReservationSession::findDeviceActivityContextID(uint64_t descriptor, uint64_t size,
                                                     uint32_t* contextId) {
    requirePointer<127>(contextId);
    const uint32_t narrowSize = narrow<132>(size);
    uint32_t id = *contextId;
    driverRequest([&](tStatus& status) {
        proxy_->findDeviceActivityContextID(descriptor, narrowSize, &id, status);
    });
    *contextId = id;
}

void ReservationSession::getReservationClientID(uint32_t* clientId) {
    requirePointer<142>(clientId);
    uint32_t id = *clientId;
    driverRequest([&](tStatus& status) { proxy_->getReservationClientID(&id, status); });
    *clientId = id;
}

uint32_t ReservationSession::getNumOfReservableChildIDs(uint32_t parent, uint64_t* count) {
    requirePointer<152>(count);
    uint32_t value = 0;
    driverRequest(
        [&](tStatus& status) { proxy_->getNumOfReservableChildIDs(parent, &value, status); });
    *count = value;
    return value;
}

uint32_t ReservationSession::findReservableChildIDs(uint32_t parent, uint64_t* size,
                                                    uint64_t buffer) {
    requirePointer<164>(size);
    uint32_t value = narrow<169>(*size);
    driverRequest(
        [&](tStatus& status) { proxy_->findReservableChildIDs(parent, &value, buffer, status); });
    *size = value;
    return value;
}

void ReservationSession::reserve(uint64_t first, uint64_t second, uint64_t third,
                                 uint64_t* result) {
    requirePointer<181>(result);
    const uint32_t narrowFirst = narrow<186>(first);
    uint64_t value = *result;
    driverRequest(
        [&](tStatus& status) { proxy_->reserve(narrowFirst, second, third, &value, status); });
    *result = value;
}

void ReservationSession::release(uint64_t first, uint64_t second) {
    const uint32_t narrowFirst = narrow<211>(first);
    driverRequest([&](tStatus& status) { proxy_->release(narrowFirst, second, status); });
}

void ReservationSession::deferReleaseUntilIdle(uint32_t first, uint64_t second, uint64_t third) {
    const uint32_t narrowSecond = narrow<234>(second);
    driverRequest([&](tStatus& status) {
        proxy_->deferReleaseUntilIdle(first, narrowSecond, third, status);
    });
}

void ReservationSession::setReservationCache(uint64_t first, uint64_t second) {
    const uint32_t narrowFirst = narrow<258>(first);
    driverRequest(
        [&](tStatus& status) { proxy_->setReservationCache(narrowFirst, second, status); });
}

void ReservationSession::reserveCache(uint32_t* first, uint64_t* second) {
    requirePointer<272>(second);
    requirePointer<277>(first);
    uint32_t a = *first;
    uint64_t b = *second;
    driverRequest([&](tStatus& status) { proxy_->reserveCache(&a, &b, status); });
    *first = a;
    *second = b;
}

void ReservationSession::releaseCache() {
    driverRequest([&](tStatus& status) { proxy_->releaseCache(status); });
}

void ReservationSession::deferReleaseCacheUntilIdle(uint32_t value) {
    driverRequest([&](tStatus& status) { proxy_->deferReleaseCacheUntilIdle(value, status); });
}

void ReservationSession::setIsListModeActive(uint32_t flag) {
    const bool active = static_cast<uint8_t>(flag) != 0;
    driverRequest([&](tStatus& status) { proxy_->setIsListModeActive(active ? 1 : 0, status); });
}

void ReservationSession::releaseIdleResources() {
    driverRequest([&](tStatus& status) { proxy_->releaseIdleResources(status); });
}

}  // namespace reservationhal
