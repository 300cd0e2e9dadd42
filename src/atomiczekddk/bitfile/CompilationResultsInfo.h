// The FPGA interface description of a bitfile's CompilationResults element:
// the DMA channels in channel-number order, placed by the register blocks,
// the register space's base address and the target-specific data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "atomiczekddk/bitfile/Types.h"
#include "atomiczekddk/bitfile/Xml.h"

namespace qvzek {

// Base address of the register space when the bitfile names none: 0 for
// the FPGA modules of this list (whole target class compared), else 0x8000.
inline constexpr uint32_t kDefaultBaseAddressOnDevice = 0x8000;
bool isBaseAddressZeroTargetClass(std::string_view targetClass);

class CompilationResultsInfo {
public:
    // From the CompilationResults element of a parsed bitfile.
    explicit CompilationResultsInfo(const XmlNode* compilationResults);
    // From a printed CompilationResults element (its first element).
    explicit CompilationResultsInfo(const std::string& text);

    std::vector<NamedFifo> getFifos() const { return fifos_; }
    const std::string& getTargetSpecificData() const { return targetSpecificData_; }
    uint32_t getBaseAddressOnDevice(std::string_view targetClass) const;
    // The Dram2DP base the bitfile gives; else fallback when the target has a
    // host memory buffer or link-layer block; else 0xFFFFFFFF.
    uint32_t getDram2DPBaseAddress(uint32_t fallback) const;

private:
    void parse(const XmlNode* compilationResults);
    void parseDmaChannels(const XmlNode* compilationResults);
    // Gives each channel the offsets of the register blocks that name it.
    void placeChannels(const XmlNode* blocks);
    void parseBaseAddressOnDevice(const XmlNode* compilationResults);
    void parseTargetSpecificData(const XmlNode* compilationResults);

    std::vector<NamedFifo> fifos_;
    std::string targetSpecificData_;
    uint32_t baseAddressOnDevice_ = 0;
    bool hasBaseAddressOnDevice_ = false;
    uint32_t dram2DPBaseAddress_ = 0xFFFFFFFF;
    bool hasHostMemoryBuffer_ = false;
};

}  // namespace qvzek
