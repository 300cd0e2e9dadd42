// The byte images of a parsed bitfile that the kernel driver receives with
// a personality: the common data (48 bytes: the five register addresses,
// bitstream version, attribute word, the code of its programming-mode field
// and the signature's four words), the FIFO records (37 bytes each, in
// channel order) and the decoded bitstream.
#pragma once

#include <cstdint>

#include "atomiczekddk/bitfile/Bitfile.h"
#include "atomiczekddk/bitfile/Types.h"
#include "qvhtl/apal/Vector.h"

namespace qvzek {

inline constexpr uint32_t kCommonDataSize = 48;
inline constexpr uint32_t kFifoRecordSize = 37;

class CommonDataSerializer : public ISerializable {
public:
    // mode: the attribute word of the FPGA session open.
    CommonDataSerializer(const Bitfile* bitfile, uint32_t mode) : bitfile_(bitfile), mode_(mode) {}
    // A signature that is not hexadecimal throws -52005.
    void serialize(qvhtl::apal::Vector& out, nQVAPALS100::tStatus& status) const override;

private:
    const Bitfile* bitfile_;
    uint32_t mode_;
};

class FifosSerializer : public ISerializable {
public:
    explicit FifosSerializer(const Bitfile* bitfile) : bitfile_(bitfile) {}
    void serialize(qvhtl::apal::Vector& out, nQVAPALS100::tStatus& status) const override;

private:
    const Bitfile* bitfile_;
};

class SerializedBitfile {
public:
    // Any failure throws qverr::Exception; nothing half-built is kept.
    SerializedBitfile(const Bitfile& bitfile, uint32_t mode);

    // Null when the image is empty.
    const uint8_t* commonData() const { return commonData_.empty() ? nullptr : commonData_.data(); }
    uint64_t commonDataSize() const { return commonData_.size(); }
    const uint8_t* fifoData() const { return fifoData_.empty() ? nullptr : fifoData_.data(); }
    uint64_t fifoDataSize() const { return fifoData_.size(); }
    const uint8_t* bitstream() const;
    uint64_t bitstreamSize() const { return bitfile_->getBitstream().size(); }

private:
    qvhtl::apal::Vector commonData_;
    qvhtl::apal::Vector fifoData_;
    const Bitfile* bitfile_;
};

}  // namespace qvzek
