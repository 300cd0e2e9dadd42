#include "atomiczekddk/bitfile/Bitfile.h"

// libb64 declares its C functions without C linkage.
extern "C" {
#include <b64/cdecode.h>
}

#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "atomiczekddk/bitfile/CompilationResultsInfo.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "qverr/Status.h"
#include "qvhtl/utf8/utf8.h"

namespace qvzek {

namespace {

constexpr std::array<std::string_view, 5> kSpecialRegisters = {
    "ViSignature", "ViControl", "DiagramReset", "InterruptEnable", "InterruptStatus"};

void parseBitfileVersion(const XmlNode* element, uint32_t& major, uint32_t& minor) {
    const std::string text = xmlNodeText(element);
    unsigned first = 0;
    unsigned second = 0;
    if (std::sscanf(text.c_str(), "%u.%u", &first, &second) != 2)
        throwStatusCode(kErrorBitfileContent);
    major = first;
    minor = second;
}

}  // namespace

ByteBuffer ByteBuffer::decodeBase64(std::string_view text) {
    ByteBuffer buffer;
    if (text.empty()) return buffer;
    // Never more bytes than characters.
    auto* data = static_cast<uint8_t*>(std::malloc(text.size()));
    if (data == nullptr) throw std::bad_alloc();
    buffer.data_ = data;
    buffer.capacity_ = text.size();

    base64_decodestate state;
    base64_init_decodestate(&state);
    // The decoder counts in int; a longer text goes through in pieces with
    // the same state.
    constexpr size_t kPiece = size_t{1} << 30;
    size_t decoded = 0;
    for (size_t start = 0; start < text.size(); start += kPiece) {
        const size_t length = std::min(kPiece, text.size() - start);
        decoded += static_cast<size_t>(
            base64_decode_block(text.data() + start, static_cast<int>(length),
                                reinterpret_cast<char*>(data + decoded), &state));
    }
    buffer.size_ = decoded;
    if (decoded == 0) {
        std::free(buffer.data_);
        buffer.data_ = nullptr;
        buffer.capacity_ = 0;
    } else if (decoded < buffer.capacity_) {
        // Shrinking gives the spare pages back without copying the image.
        if (auto* shrunk = static_cast<uint8_t*>(std::realloc(buffer.data_, decoded))) {
            buffer.data_ = shrunk;
            buffer.capacity_ = decoded;
        }
    }
    return buffer;
}

Bitfile::Bitfile(const std::string& source, bool sourceIsPath, bool decodeBitstream,
                 bool readOption) {
    (void)readOption;
    if (sourceIsPath) {
        parseFile(source, decodeBitstream);
    } else {
        parse(source.c_str(), decodeBitstream);
    }
}

Bitfile::~Bitfile() = default;

void Bitfile::parseFile(const std::string& path, bool decodeBitstream) {
    std::unique_ptr<char[]> contents;
    parse(readWholeFile(true, path.c_str(), contents, kErrorBitfileUnreadable), decodeBitstream);
}

void Bitfile::parse(const char* text, bool decodeBitstream) {
    XmlDocument document(text);
    XmlNode* root = document.rootElement();

    if (const XmlNode* oldest = findChildElement(root, "OldestCompatibleMajorBitfileVersion")) {
        if (xmlNodeToU32(oldest) > kMaxOldestCompatibleMajorVersion) {
            throwStatusCode(kErrorBitfileUnsupported);
        }
    }
    parseBitfileVersion(getRequiredChildElement(root, "BitfileVersion"), versionMajor_,
                        versionMinor_);
    signature_ = xmlNodeText(getRequiredChildElement(root, "SignatureRegister"));
    if (signature_.size() != 32) throwStatusCode(kErrorBitfileContent);

    const XmlNode* project = getRequiredChildElement(root, "Project");
    targetClass_ = xmlNodeText(getRequiredChildElement(project, "TargetClass"));
    autoRunWhenDownloaded_ =
        parseBoolean(getRequiredChildElement(project, "AutoRunWhenDownloaded"));
    if (const XmlNode* allow = findChildElement(project, "AllowImplicitEnableRemoval")) {
        allowImplicitEnableRemoval_ = parseBoolean(allow);
    }
    resetNotSupported_ = findChildElement(project, "ResetNotSupported") != nullptr;
    abortNotSupported_ = findChildElement(project, "AbortNotSupported") != nullptr;

    const XmlNode* tree = getRequiredChildElement(project, "CompilationResultsTree");
    const XmlNode* results = getRequiredChildElement(tree, "CompilationResults");
    if (const XmlNode* patch =
            findChildElement(findChildElement(results, "QvZek"), "ZynqBsEnablePatch")) {
        zynqBsEnablePatch_ = parseBoolean(patch);
    }
    compilationResultsText_ = printElement(results);
    const CompilationResultsInfo info(results);
    baseAddressOnDevice_ = info.getBaseAddressOnDevice(targetClass_);

    parseRegisters(root);
    if (viSignatureOffset_ == 0xFFFFFFFF || viControlOffset_ == 0xFFFFFFFF) {
        throwStatusCode(kErrorBitfileContent);
    }
    if (interruptEnableOffset_ == 0xFFFFFFFF)
        interruptEnableOffset_ = kDefaultInterruptEnableOffset;
    if (interruptStatusOffset_ == 0xFFFFFFFF) {
        interruptStatusOffset_ = interruptEnableOffset_ + kInterruptStatusAfterEnable;
    }
    if (diagramResetOffset_ == 0xFFFFFFFF) diagramResetOffset_ = kDefaultDiagramResetOffset;

    bitstreamVersion_ = xmlNodeToU32(getRequiredChildElement(root, "BitstreamVersion"));
    fifos_ = info.getFifos();
    targetSpecificData_ = info.getTargetSpecificData();
    dram2DPBaseAddress_ = info.getDram2DPBaseAddress(kHostMemoryDram2DPBaseAddress);
    if (const XmlNode* md5 = findChildElement(root, "BitstreamMD5"))
        bitstreamMd5_ = xmlNodeText(md5);

    if (decodeBitstream) {
        if (const XmlNode* encoding = findChildElement(root, "BitstreamEncoding")) {
            if (compareCaseFolded(xmlNodeText(encoding), "base64") != 0) {
                throwStatusCode(kErrorBitfileUnsupported);
            }
        }
        const XmlNode* bitstream = getRequiredChildElement(root, "Bitstream");
        const std::string_view raw(bitstream->value(), bitstream->value_size());
        // Base64 holds no entities; copying a large image to decode them
        // would cost as much as decoding it.
        if (raw.find('&') == std::string_view::npos) {
            bitstream_ = ByteBuffer::decodeBase64(raw);
        } else {
            bitstream_ = ByteBuffer::decodeBase64(xmlNodeText(bitstream));
        }
    }

    XmlNode* icon = getRequiredChildElement(getRequiredChildElement(root, "VI"), "Icon");
    for (const char* part : {"Image", "Mask", "Colors"}) {
        clearElementValue(getRequiredChildElement(icon, part));
    }
    clearElementValue(getRequiredChildElement(root, "Bitstream"));
    strippedBitfileText_ = printElement(root);
}

void Bitfile::parseRegisters(const XmlNode* root) {
    const XmlNode* list =
        getRequiredChildElement(getRequiredChildElement(root, "VI"), "RegisterList");
    for (const XmlNode* reg = findChildElement(list, "Register"); reg;
         reg = reg->next_sibling("Register", 8)) {
        std::string name = xmlNodeText(getRequiredChildElement(reg, "Name"));
        const uint32_t offset = xmlNodeToU32(getRequiredChildElement(reg, "Offset"));
        if (parseBoolean(getRequiredChildElement(reg, "Internal"))) {
            uint32_t* special[] = {&viSignatureOffset_, &viControlOffset_, &diagramResetOffset_,
                                   &interruptEnableOffset_, &interruptStatusOffset_};
            for (size_t i = 0; i < kSpecialRegisters.size(); ++i) {
                if (name == kSpecialRegisters[i]) *special[i] = offset;
            }
            continue;
        }
        const bool indicator = parseBoolean(getRequiredChildElement(reg, "Indicator"));
        const bool mayTimeout = parseBoolean(getRequiredChildElement(reg, "AccessMayTimeout"));
        bool isArray = false;
        const Type type = parseDatatype(reg, isArray);
        const uint8_t kind = isArray ? (indicator ? kRegisterIndicatorArray : kRegisterControlArray)
                                     : (indicator ? kRegisterIndicator : kRegisterControl);
        registers_.emplace_back(std::move(name),
                                RegisterDescriptor(kResourceClassRegister, kind, type),
                                baseAddressOnDevice_, offset, mayTimeout);
    }
}

namespace {

template <class Resource>
const Resource* findSingle(const std::vector<Resource>& resources, std::string_view name) {
    const Resource* found = nullptr;
    for (const Resource& resource : resources) {
        if (!resource.matches(name)) continue;
        if (found != nullptr) return nullptr;
        found = &resource;
    }
    return found;
}

}  // namespace

const NamedRegister* Bitfile::findRegister(std::string_view name) const {
    return findSingle(registers_, name);
}

const NamedFifo* Bitfile::findFifo(std::string_view name) const {
    return findSingle(fifos_, name);
}

FpgaSignature FpgaSignature::fromText(const std::string& text) {
    FpgaSignature signature;
    unsigned words[4] = {};
    if (std::sscanf(text.c_str(), "%08x%08x%08x%08x", &words[0], &words[1], &words[2], &words[3]) !=
        4) {
        throwStatusCode(qverr::qvapalerr_invalidParameter);
    }
    for (size_t i = 0; i < 4; ++i) signature.words[i] = words[i];
    return signature;
}

void FpgaSignature::serialize(qvhtl::apal::Vector& out, nQVAPALS100::tStatus& status) const {
    for (uint32_t word : words) serializeU32(out, word, status);
}

BitfileControlInfo::BitfileControlInfo(std::shared_ptr<const Bitfile> owner)
    : bitfile(std::move(owner)),
      signature(FpgaSignature::fromText(bitfile->getSignature())),
      viControlAddress(bitfile->getBaseAddressOnDevice() + bitfile->getViControlOffset()),
      interruptStatusAddress(bitfile->getBaseAddressOnDevice() +
                             bitfile->getInterruptStatusOffset()),
      allowImplicitEnableRemoval(bitfile->getAllowImplicitEnableRemoval()),
      resetSupported(!bitfile->getResetNotSupported()),
      abortSupported(!bitfile->getAbortNotSupported()),
      enableRemovalInEffect(allowImplicitEnableRemoval || !(resetSupported && abortSupported)),
      autoRunWhenDownloaded(bitfile->getAutoRunWhenDownloaded()) {}

}  // namespace qvzek
