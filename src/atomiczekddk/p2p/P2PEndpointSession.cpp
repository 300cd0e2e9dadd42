#include "atomiczekddk/p2p/P2PEndpointSession.h"

#include <new>

#include "HALUtilities/ErrorHandling.h"
#include "atomiczekddk/p2p/P2PLibrary.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "qverr/StatusThrowGuard.h"

namespace qvzek {

namespace {

constexpr const char* kComponent = "qv3377hal";
constexpr const char* kSource = "P2PEndpointSession";

using RegisterFunction = int32_t (*)(nQVP2P::iEndpointSession*, uint32_t*);
using UnregisterFunction = int32_t (*)(uint32_t);

}  // namespace

P2PEndpointSession::P2PEndpointSession(
    const FifoInfo& fifo, user::IP2PInfoSource& session,
    std::shared_ptr<sdihal::nQVAPAL000::tDeviceInterfaceProxy> deviceProxy)
    : fifo_(fifo), session_(&session), deviceProxy_(std::move(deviceProxy)) {
    const auto registerEndpoint = reinterpret_cast<RegisterFunction>(
        getP2PLibrarySymbol("qvstreamuRegisterEndpointInternal"));
    const int32_t code = registerEndpoint != nullptr ? registerEndpoint(this, &endpointId_)
                                                     : kErrorP2PLibraryMissing;
    nQVAPALS100::tStatus status;
    status.setCode(code, kComponent, kSource, 29);
    if (status.isError()) throwStatus(status.code);
}

P2PEndpointSession::~P2PEndpointSession() {
    // Never leave the window mapped behind a gone endpoint.
    if (mappedAddress_ != 0) unmapWriteWindow();
    const auto unregisterEndpoint = reinterpret_cast<UnregisterFunction>(
        getP2PLibrarySymbol("qvstreamuUnregisterEndpointInternal"));
    if (unregisterEndpoint != nullptr) unregisterEndpoint(endpointId_);
}

int64_t P2PEndpointSession::getP2PInfo(uint32_t* info) {
    if (info == nullptr) return qverr::qvapalerr_invalidParameter;
    try {
        *info = session_->getP2PInfo(fifo_.number());
        return 0;
    } catch (...) {
        nQVAPALS100::tStatus status;
        qv3377hal::storeCurrentException(status, kComponent, kSource, 45);
        return status.code;
    }
}

int64_t P2PEndpointSession::getDataType(nQVP2P::tDataType* record, uint32_t* count) {
    if (count == nullptr) return qverr::qvapalerr_invalidParameter;
    if (record == nullptr) {
        *count = 1;
        return 0;
    }
    if (*count == 0) return qverr::qvapalerr_invalidParameter;
    const Type& type = fifo_.type();
    if (type.elementType == ElementType::None) return qverr::qvapalerr_invalidParameter;
    record->containerSize = type.sizeInBytes * 8;
    record->wordLength = type.wordLength;
    record->integerWordLength = type.integerWordLength;
    record->isSigned = type.isSigned ? 1 : 0;
    *count = 1;
    return 0;
}

void P2PEndpointSession::mapWriteWindow(uint64_t* size, uint64_t* address) {
    if (size == nullptr || address == nullptr) throwStatusCode(qverr::qvapalerr_invalidParameter);
    if (mappedAddress_ != 0) throwStatusCode(kErrorAlreadyMapped);
    if (fifo_.writeWindowSize() == 0) throwStatusCode(qverr::qvapalerr_invalidParameter);
    if (!deviceProxy_ || (fifo_.number() & 0xF000) != 0) {
        throwStatusCode(qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    }
    const auto region = static_cast<uint16_t>(fifo_.number() | 0x4000);
    nQVAPALS100::tStatus status;
    sdihal::nQVAPAL000::tMappedRegion mapping;
    {
        qverr::TStatusThrower thrower(status);
        mapping = sdihal::nQVAPAL000::tMappedRegion(deviceProxy_, region, fifo_.writeWindowSize(),
                                                    sdihal::nQVAPAL000::kMapReadWrite, status);
    }
    mappedAddress_ = reinterpret_cast<uint64_t>(mapping.address());
    mapping_ = std::move(mapping);
    *size = fifo_.writeWindowSize();
    *address = mappedAddress_;
}

void P2PEndpointSession::unmapWriteWindow() {
    mapping_.reset();
    mappedAddress_ = 0;
}

}  // namespace qvzek
