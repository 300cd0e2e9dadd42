// The parsed description of one FPGA image. Immutable once constructed:
// every value is copied out of the text, which the caller may release.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "atomiczekddk/bitfile/Types.h"
#include "atomiczekddk/bitfile/Xml.h"

namespace qvzek {

// The decoded bitstream: capacity equals size once decoded.
class ByteBuffer {
public:
    ByteBuffer() = default;
    ByteBuffer(ByteBuffer&& other) noexcept { swap(other); }
    ByteBuffer& operator=(ByteBuffer&& other) noexcept {
        ByteBuffer(std::move(other)).swap(*this);
        return *this;
    }
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ~ByteBuffer() { std::free(data_); }

    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    size_t capacity() const { return capacity_; }
    bool empty() const { return size_ == 0; }
    const uint8_t* begin() const { return data_; }
    const uint8_t* end() const { return data_ + size_; }
    uint8_t operator[](size_t index) const { return data_[index]; }

    // Base64 text decoded with a fresh libb64 decoder (characters outside
    // the alphabet skipped).
    static ByteBuffer decodeBase64(std::string_view text);

private:
    void swap(ByteBuffer& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
    }

    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

class Bitfile {
public:
    // Parses text, or the file at source when sourceIsPath (-63101 when it
    // cannot be read). The bitstream is decoded only when asked for.
    // readOption is carried for the file reader and has no effect.
    Bitfile(const std::string& source, bool sourceIsPath, bool decodeBitstream, bool readOption);
    virtual ~Bitfile();

    uint32_t getVersionMajor() const { return versionMajor_; }
    uint32_t getVersionMinor() const { return versionMinor_; }
    const std::string& getSignature() const { return signature_; }
    const std::string& getTargetClass() const { return targetClass_; }
    bool getAutoRunWhenDownloaded() const { return autoRunWhenDownloaded_; }
    bool getAllowImplicitEnableRemoval() const { return allowImplicitEnableRemoval_; }
    bool getResetNotSupported() const { return resetNotSupported_; }
    bool getAbortNotSupported() const { return abortNotSupported_; }
    bool getZynqBsEnablePatch() const { return zynqBsEnablePatch_; }
    uint32_t getBaseAddressOnDevice() const { return baseAddressOnDevice_; }
    uint32_t getViSignatureOffset() const { return viSignatureOffset_; }
    uint32_t getViControlOffset() const { return viControlOffset_; }
    uint32_t getDiagramResetOffset() const { return diagramResetOffset_; }
    uint32_t getInterruptEnableOffset() const { return interruptEnableOffset_; }
    uint32_t getInterruptStatusOffset() const { return interruptStatusOffset_; }
    const std::vector<NamedRegister>& getRegisters() const { return registers_; }
    const std::vector<NamedFifo>& getFifos() const { return fifos_; }
    // The single register (FIFO) of that name; null for none or several.
    const NamedRegister* findRegister(std::string_view name) const;
    const NamedFifo* findFifo(std::string_view name) const;
    uint32_t getBitstreamVersion() const { return bitstreamVersion_; }
    const std::string& getBitstreamMd5() const { return bitstreamMd5_; }
    const ByteBuffer& getBitstream() const { return bitstream_; }
    // The CompilationResults element printed as XML.
    const std::string& getChannelDescriptionText() const { return compilationResultsText_; }
    // The whole root element printed without icon data and bitstream.
    const std::string& getStrippedBitfileText() const { return strippedBitfileText_; }
    uint32_t getDram2DPBaseAddress() const { return dram2DPBaseAddress_; }
    std::string getTargetSpecificData() const { return targetSpecificData_; }

private:
    void parseFile(const std::string& path, bool decodeBitstream);
    void parse(const char* text, bool decodeBitstream);
    void parseRegisters(const XmlNode* root);

    uint32_t versionMajor_ = 0;
    uint32_t versionMinor_ = 0;
    std::string signature_;
    std::string targetClass_;
    bool autoRunWhenDownloaded_ = false;
    bool allowImplicitEnableRemoval_ = false;
    bool resetNotSupported_ = false;
    bool abortNotSupported_ = false;
    bool zynqBsEnablePatch_ = false;
    uint32_t baseAddressOnDevice_ = 0xFFFFFFFF;
    uint32_t viSignatureOffset_ = 0xFFFFFFFF;
    uint32_t viControlOffset_ = 0xFFFFFFFF;
    uint32_t diagramResetOffset_ = 0xFFFFFFFF;
    uint32_t interruptEnableOffset_ = 0xFFFFFFFF;
    uint32_t interruptStatusOffset_ = 0xFFFFFFFF;
    std::vector<NamedRegister> registers_;
    std::vector<NamedFifo> fifos_;
    uint32_t bitstreamVersion_ = 0;
    std::string bitstreamMd5_;
    ByteBuffer bitstream_;
    std::string targetSpecificData_;
    std::string compilationResultsText_;
    std::string strippedBitfileText_;
    uint32_t dram2DPBaseAddress_ = 0xFFFFFFFF;
};

// Defaults of the special registers a bitfile may leave out.
inline constexpr uint32_t kDefaultInterruptEnableOffset = 0x1FFE4;
inline constexpr uint32_t kInterruptStatusAfterEnable = 12;
inline constexpr uint32_t kDefaultDiagramResetOffset = 0x7FFC;
inline constexpr uint32_t kHostMemoryDram2DPBaseAddress = 0x15000;
inline constexpr uint32_t kMaxOldestCompatibleMajorVersion = 7;

// The image signature as four words; word i from hexadecimal digits
// 8i..8i+7 of the text. -52005 when the text does not give four numbers.
struct FpgaSignature : ISerializable {
    std::array<uint32_t, 4> words{};
    // 32 hexadecimal digits, word 0 first; anything else is -52005.
    static FpgaSignature fromText(const std::string& text);
    // The four words as little-endian u32, word 0 first: 16 bytes.
    void serialize(qvhtl::apal::Vector& out, nQVAPALS100::tStatus& status) const override;
};

// What the FPGA object keeps of an attached bitfile.
struct BitfileControlInfo {
    explicit BitfileControlInfo(std::shared_ptr<const Bitfile> bitfile);

    std::shared_ptr<const Bitfile> bitfile;
    FpgaSignature signature;
    uint32_t viControlAddress;
    uint32_t interruptStatusAddress;
    bool allowImplicitEnableRemoval;
    bool resetSupported;
    bool abortSupported;
    bool enableRemovalInEffect;
    bool autoRunWhenDownloaded;
};

}  // namespace qvzek
