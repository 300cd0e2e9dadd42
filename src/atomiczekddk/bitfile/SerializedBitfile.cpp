#include "atomiczekddk/bitfile/SerializedBitfile.h"

#include "atomiczekddk/bitfile/OwnerCodes.h"
#include "qvapal/status/tStatus.h"
#include "qverr/Exception.h"

namespace qvzek {

void CommonDataSerializer::serialize(qvhtl::apal::Vector& out, nQVAPALS100::tStatus& status) const {
    const uint32_t base = bitfile_->getBaseAddressOnDevice();
    // Sums wrap in 32 bits: an absent Dram2DP base (0xFFFFFFFF) gives base - 1.
    const CommonRegisterSet registers(
        base + bitfile_->getViControlOffset(), base + bitfile_->getDiagramResetOffset(),
        base + bitfile_->getInterruptEnableOffset(), base + bitfile_->getViSignatureOffset(),
        base + bitfile_->getDram2DPBaseAddress());
    registers.serialize(out, status);
    serializeU32(out, bitfile_->getBitstreamVersion(), status);
    serializeU32(out, mode_, status);
    serializeU32(out, static_cast<uint32_t>(modeFieldToCode(mode_)), status);
    FpgaSignature::fromText(bitfile_->getSignature()).serialize(out, status);
}

void FifosSerializer::serialize(qvhtl::apal::Vector& out, nQVAPALS100::tStatus& status) const {
    for (const NamedFifo& fifo : bitfile_->getFifos()) fifo.serialize(out, status);
}

SerializedBitfile::SerializedBitfile(const Bitfile& bitfile, uint32_t mode) : bitfile_(&bitfile) {
    nQVAPALS100::tStatus status;
    CommonDataSerializer(&bitfile, mode).serialize(commonData_, status);
    qverr::throwIfTStatusError(status);
    FifosSerializer(&bitfile).serialize(fifoData_, status);
    qverr::throwIfTStatusError(status);
}

const uint8_t* SerializedBitfile::bitstream() const {
    const ByteBuffer& bytes = bitfile_->getBitstream();
    return bytes.empty() ? nullptr : bytes.data();
}

}  // namespace qvzek
