#include "AtomicZEKHALImpl/PersonalityConfigurerQrx.h"

#include <limits>

#include "apal_qv3377k/tInterfaceProxy_atomiczekddkqrx.h"
#include "atomiczekddk/bitfile/SerializedBitfile.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "qvapal/status/tStatus.h"
#include "qverr/Exception.h"

namespace atomiczekhal {

namespace {

uint64_t address(const uint8_t* data) {
    return reinterpret_cast<uintptr_t>(data);
}

// The request carries 32-bit lengths; a longer piece must not go out cut.
uint32_t length(uint64_t size) {
    if (size > std::numeric_limits<uint32_t>::max()) {
        qvzek::throwStatusCode(qverr::qvapalerr_invalidParameter);
    }
    return static_cast<uint32_t>(size);
}

}  // namespace

PersonalityConfigurerQrx::PersonalityConfigurerQrx(
    std::shared_ptr<sdihal::tInterfaceProxy_atomiczekddkqrx> proxy, const BitfileQrx& bitfile,
    uint32_t attributes)
    : proxy_(std::move(proxy)), bitfile_(bitfile), attributes_(attributes) {}

void PersonalityConfigurerQrx::configure(bool*) {
    qvzek::throwStatusCode(qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
}

void PersonalityConfigurerQrx::configurePersonality(qvzek::PersonalityRecord& record,
                                                    bool* result) {
    const qvzek::SerializedBitfile pieces(bitfile_, attributes_);
    const ModuleRevisions revisions = bitfile_.getModuleRevisions();
    nQVAPALS100::tStatus status;
    uint8_t changed = 0;
    proxy_->configurePersonality(
        address(pieces.commonData()), length(pieces.commonDataSize()), address(pieces.fifoData()),
        length(pieces.fifoDataSize()), address(pieces.bitstream()), length(pieces.bitstreamSize()),
        revisions.desired, revisions.minimum, revisions.valid ? 1 : 0, &changed, status);
    qverr::throwIfTStatusError(status);
    if (result != nullptr) *result = changed != 0;
    record.configured = true;
}

}  // namespace atomiczekhal
