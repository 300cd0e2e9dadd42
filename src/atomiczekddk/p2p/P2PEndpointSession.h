// One peer-to-peer FIFO of an opened FPGA image as the streaming library
// sees it: registered with the library for its lifetime, it answers the
// library's questions about the FIFO and maps the FIFO's write window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "atomiczekddk/bitfile/Types.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "atomiczekddk/shared/Errors.h"
#include "qvapal/protons/driver/tDeviceInterfaceProxy.h"

namespace nQVP2P {

// Exchanged with the streaming library: 13 bytes of content.
struct tDataType {
    uint32_t containerSize;  // bits: the element's byte size x 8
    uint32_t wordLength;
    int32_t integerWordLength;
    uint8_t isSigned;
};
static_assert(offsetof(tDataType, wordLength) == 4);
static_assert(offsetof(tDataType, integerWordLength) == 8);
static_assert(offsetof(tDataType, isSigned) == 12);

// The streaming library's view of an endpoint; the order of the operations
// is the library's binary interface, the destructors last.
class iEndpointSession {
public:
    virtual int64_t getP2PInfo(uint32_t* info) = 0;
    virtual int64_t getDataType(tDataType* record, uint32_t* count) = 0;
    virtual int64_t unsupported2() = 0;
    virtual int64_t unsupported3() = 0;
    virtual int64_t unsupported4() = 0;
    virtual ~iEndpointSession() = default;
};

}  // namespace nQVP2P

namespace qvzek {

namespace user {
// The user session's peer-to-peer information request for one FIFO.
class IP2PInfoSource {
public:
    virtual ~IP2PInfoSource() = default;
    virtual uint32_t getP2PInfo(uint32_t fifoNumber) = 0;
};
}  // namespace user

class P2PEndpointSession : public nQVP2P::iEndpointSession {
public:
    // Registers with the streaming library: its refusal, or -308001 without
    // the library, is thrown.
    P2PEndpointSession(const FifoInfo& fifo, user::IP2PInfoSource& session,
                       std::shared_ptr<sdihal::nQVAPAL000::tDeviceInterfaceProxy> deviceProxy);
    P2PEndpointSession(const P2PEndpointSession&) = delete;
    P2PEndpointSession& operator=(const P2PEndpointSession&) = delete;
    // Unmaps a window still mapped and unregisters (when the library is
    // there).
    ~P2PEndpointSession() override;

    // Failures come back as codes, never as exceptions.
    int64_t getP2PInfo(uint32_t* info) override;
    int64_t getDataType(nQVP2P::tDataType* record, uint32_t* count) override;
    int64_t unsupported2() override { return kErrorNotSupported; }
    int64_t unsupported3() override { return kErrorNotSupported; }
    int64_t unsupported4() override { return kErrorNotSupported; }

    uint32_t getEndpointId() const { return endpointId_; }
    uint32_t getFifoNumber() const { return fifo_.number(); }

    // Maps the FIFO's write window (region = FIFO number | 0x4000); one
    // mapping at a time (-63082).
    void mapWriteWindow(uint64_t* size, uint64_t* address);
    void unmapWriteWindow();

private:
    FifoInfo fifo_;
    user::IP2PInfoSource* session_;
    uint32_t endpointId_ = 0;
    std::shared_ptr<sdihal::nQVAPAL000::tDeviceInterfaceProxy> deviceProxy_;
    uint64_t mappedAddress_ = 0;
    sdihal::nQVAPAL000::tMappedRegion mapping_;
};

}  // namespace qvzek
