#include "atomiczekddk/bitfile/CompilationResultsInfo.h"

#include <array>
#include <bit>
#include <map>
#include <string_view>

#include "atomiczekddk/shared/CommonUtilities.h"

namespace qvzek {

namespace {

uint8_t channelKind(std::string_view implementation) {
    if (implementation == "qvFpgaTargetToHost") return kFifoTargetToHost;
    if (implementation == "qvFpgaHostToTarget") return kFifoHostToTarget;
    if (implementation == "qvFpgaPeerToPeerReader") return kFifoPeerToPeerReader;
    if (implementation == "qvFpgaPeerToPeerWriter") return kFifoPeerToPeerWriter;
    return kFifoUnknownKind;
}

NamedFifo parseChannel(const XmlNode* channel) {
    std::string name = xmlAttributeText(getRequiredAttribute(channel, "name"));
    const uint32_t number = xmlNodeToU32(getRequiredChildElement(channel, "Number"));
    const uint32_t elements = xmlNodeToU32(getRequiredChildElement(channel, "NumberOfElements"));
    std::string baseAddressTag = xmlNodeText(getRequiredChildElement(channel, "BaseAddressTag"));
    const uint8_t kind =
        channelKind(xmlNodeText(getRequiredChildElement(channel, "Implementation")));

    const XmlNode* dataType = getRequiredChildElement(channel, "DataType");
    Type type;
    if (const XmlNode* subType = findChildElement(dataType, "SubType")) {
        type = parseType(xmlNodeText(subType), dataType, channel);
    } else {
        const XmlNode* typeElement = getRequiredChildElement(dataType, nullptr);
        type = parseType(xmlName(typeElement), typeElement, channel);
    }
    if (type.elementType == ElementType::None || type.sizeInBytes == 0) {
        throwStatusCode(kErrorBitfileContent);
    }
    if (!std::has_single_bit(type.sizeInBytes)) throwStatusCode(kErrorBitfileUnsupported);

    const bool userVisible = parseBoolean(getRequiredChildElement(channel, "UserVisible"));
    NamedFifo fifo(std::move(name), FifoDescriptor(kResourceClassFifo, kind, type), number,
                   elements, userVisible, std::move(baseAddressTag));
    if (const XmlNode* tag = findChildElement(channel, "WriteWindowAddressTag")) {
        fifo.setWriteWindowSize(xmlNodeToU32(getRequiredChildElement(channel, "WriteWindowSize")));
        fifo.setWriteWindowAddressTag(xmlNodeText(tag));
    }
    return fifo;
}

}  // namespace

bool isBaseAddressZeroTargetClass(std::string_view targetClass) {
    static constexpr std::array<std::string_view, 5> modules = {"QV-7961R", "QV-7962R", "QV-7965R",
                                                                "QV-7966R", "QV-7975R"};
    for (std::string_view module : modules) {
        if (targetClass == module) return true;
    }
    return false;
}

CompilationResultsInfo::CompilationResultsInfo(const XmlNode* compilationResults) {
    parse(compilationResults);
}

CompilationResultsInfo::CompilationResultsInfo(const std::string& text) {
    XmlDocument document(text.c_str());
    parse(document.rootElement());
}

void CompilationResultsInfo::parse(const XmlNode* compilationResults) {
    parseDmaChannels(compilationResults);
    parseBaseAddressOnDevice(compilationResults);
    parseTargetSpecificData(compilationResults);
}

void CompilationResultsInfo::parseDmaChannels(const XmlNode* compilationResults) {
    const XmlNode* fpga = getRequiredChildElement(compilationResults, "QvFpga");
    const XmlNode* list = getRequiredChildElement(fpga, "DmaChannelAllocationList");

    std::map<uint32_t, NamedFifo> byNumber;
    for (const XmlNode* channel = findChildElement(list, "Channel"); channel;
         channel = channel->next_sibling("Channel", 7)) {
        NamedFifo fifo = parseChannel(channel);
        const uint32_t number = fifo.number();
        if (!byNumber.emplace(number, std::move(fifo)).second)
            throwStatusCode(kErrorBitfileContent);
    }
    // Numbers must be exactly 0..n-1; the map is ordered, so the last key
    // tells whether one is missing.
    if (!byNumber.empty() && byNumber.rbegin()->first != byNumber.size() - 1) {
        throwStatusCode(kErrorBitfileContent);
    }
    fifos_.reserve(byNumber.size());
    for (auto& entry : byNumber) fifos_.push_back(std::move(entry.second));

    if (const XmlNode* blocks = findChildElement(fpga, "RegisterBlockList")) placeChannels(blocks);
    for (const NamedFifo& fifo : fifos_) {
        if (!fifo.isResolved()) throwStatusCode(kErrorBitfileContent);
    }
}

void CompilationResultsInfo::placeChannels(const XmlNode* blocks) {
    // A block places the first channel, in number order, whose base tag
    // names it, or whose write-window tag does for a peer-to-peer reader;
    // a channel's base tag counts before its own write-window tag. The tags
    // do not change while blocks are placed, so that first channel is found
    // once per name instead of by a scan per block, which a hostile file of
    // many channels and blocks would make quadratic. An ordered map keeps
    // the look-up at log n whatever the names are.
    struct Target {
        NamedFifo* fifo;
        bool writeWindow;
    };
    std::map<std::string_view, Target> firstByTag;
    for (NamedFifo& fifo : fifos_) {
        firstByTag.try_emplace(fifo.getBaseAddressTag(), Target{&fifo, false});
        const auto& windowTag = fifo.getWriteWindowAddressTag();
        if (fifo.kind() == kFifoPeerToPeerReader && windowTag) {
            firstByTag.try_emplace(*windowTag, Target{&fifo, true});
        }
    }
    for (const XmlNode* block = findChildElement(blocks, "RegisterBlock"); block;
         block = block->next_sibling("RegisterBlock", 13)) {
        const uint32_t offset = xmlNodeToU32(getRequiredChildElement(block, "Offset"));
        const std::string name = xmlAttributeText(getRequiredAttribute(block, "name"));
        const auto found = firstByTag.find(name);
        if (found == firstByTag.end()) continue;
        if (found->second.writeWindow) {
            found->second.fifo->setWriteWindowAddress(offset);
        } else {
            found->second.fifo->setBaseAddress(offset);
        }
    }
}

void CompilationResultsInfo::parseBaseAddressOnDevice(const XmlNode* compilationResults) {
    const XmlNode* fpga = getRequiredChildElement(compilationResults, "QvFpga");
    if (const XmlNode* base = findChildElement(fpga, "BaseAddressOnDevice")) {
        baseAddressOnDevice_ = xmlNodeToU32(base);
        hasBaseAddressOnDevice_ = true;
    }
}

void CompilationResultsInfo::parseTargetSpecificData(const XmlNode* compilationResults) {
    const XmlNode* data = findChildElement(compilationResults, "TargetSpecificData");
    if (data == nullptr) return;
    targetSpecificData_ = printElement(data);
    if (const XmlNode* dram = findChildElement(data, "Dram2DPBaseAddress")) {
        dram2DPBaseAddress_ = xmlNodeToU32(dram);
    }
    hasHostMemoryBuffer_ =
        findChildElement(data, "HMB") != nullptr || findChildElement(data, "LLB") != nullptr;
}

uint32_t CompilationResultsInfo::getBaseAddressOnDevice(std::string_view targetClass) const {
    if (hasBaseAddressOnDevice_) return baseAddressOnDevice_;
    return isBaseAddressZeroTargetClass(targetClass) ? 0 : kDefaultBaseAddressOnDevice;
}

uint32_t CompilationResultsInfo::getDram2DPBaseAddress(uint32_t fallback) const {
    if (dram2DPBaseAddress_ < 0xFFFFFFFF) return dram2DPBaseAddress_;
    return hasHostMemoryBuffer_ ? fallback : 0xFFFFFFFF;
}

}  // namespace qvzek
