#include "atomiczekddk/bitfile/Types.h"

#include <array>
#include <cstring>

#include "atomiczekddk/shared/CommonUtilities.h"
#include "qvapal/status/tStatus.h"
#include "qvhtl/apal/Vector.h"

namespace qvzek {

namespace {

template <class T>
void serializeField(qvhtl::apal::Vector& out, T value, nQVAPALS100::tStatus& status) {
    out.insertRange(out.size(), sizeof(T), 0xFF, status);
    if (status.isError()) return;
    std::memcpy(out.data() + out.size() - sizeof(T), &value, sizeof(T));
}

struct Keyword {
    std::string_view name;
    Type type;
};

const std::array<Keyword, 15>& scalarKeywords() {
    static const std::array<Keyword, 15> keywords = {{
        {"Boolean", TypeBool()},
        {"I8", TypeI8()},
        {"U8", TypeU8()},
        {"EnumU8", TypeU8()},
        {"I16", TypeI16()},
        {"U16", TypeU16()},
        {"EnumU16", TypeU16()},
        {"I32", TypeI32()},
        {"U32", TypeU32()},
        {"EnumU32", TypeU32()},
        {"I64", TypeI64()},
        {"U64", TypeU64()},
        {"EnumU64", TypeU64()},
        {"SGL", TypeSGL()},
        {"DBL", TypeDBL()},
    }};
    return keywords;
}

Type parseFixedPoint(const XmlNode* typeElement) {
    const XmlNode* wordLength = findChildElement(typeElement, "WordLength");
    const XmlNode* integerWordLength = findChildElement(typeElement, "IntegerWordLength");
    const XmlNode* isSigned = findChildElement(typeElement, "Signed");
    if (!wordLength || !integerWordLength || !isSigned) return Type();
    const uint32_t bits = xmlNodeToU32(wordLength);
    if (bits < 1 || bits > 64) throwStatusCode(kErrorBitfileContent);
    const int32_t integerBits = xmlNodeToI32(integerWordLength);
    if (integerBits < -2048 || integerBits > 2047) throwStatusCode(kErrorBitfileContent);
    const bool signedFlag = parseBoolean(isSigned);
    const uint32_t bytes = bits <= 8 ? 1 : bits <= 16 ? 2 : bits <= 32 ? 4 : 8;
    return Type(ElementType::FXP, bits, bytes, signedFlag, integerBits);
}

Type parseComposite(const XmlNode* owner) {
    if (const XmlNode* sizeInBits = findChildElement(owner, "SizeInBits")) {
        return Composite::fromBits(xmlNodeToU32(sizeInBits));
    }
    const uint64_t bytes = xmlNodeToU32(getRequiredChildElement(owner, "TransferSizeBytes"));
    // The size in bits must stay a 32-bit number, or the byte size it gives
    // back would silently lose its top bits.
    if (bytes * 8 > UINT32_MAX) throwStatusCode(kErrorBitfileContent);
    return Composite(static_cast<uint32_t>(bytes));
}

}  // namespace

void serializeU8(qvhtl::apal::Vector& out, uint8_t value, nQVAPALS100::tStatus& status) {
    serializeField(out, value, status);
}

void serializeU32(qvhtl::apal::Vector& out, uint32_t value, nQVAPALS100::tStatus& status) {
    serializeField(out, value, status);
}

void Type::serialize(qvhtl::apal::Vector& out, nQVAPALS100::tStatus& status) const {
    serializeU8(out, static_cast<uint8_t>(elementType), status);
    serializeU32(out, wordLength, status);
    serializeU32(out, sizeInBytes, status);
    serializeU8(out, isSigned ? 1 : 0, status);
    serializeU32(out, static_cast<uint32_t>(integerWordLength), status);
}

bool Type::operator==(const Type& other) const {
    return elementType == other.elementType && wordLength == other.wordLength &&
           sizeInBytes == other.sizeInBytes && isSigned == other.isSigned &&
           integerWordLength == other.integerWordLength;
}

Composite::Composite(uint32_t bytes)
    : Type(ElementType::Composite, bytes * 8, bytes & 0x1FFFFFFFu, false,
           static_cast<int32_t>(bytes * 8)) {}

Composite Composite::fromBits(uint32_t bits) {
    Composite composite;
    composite.elementType = ElementType::Composite;
    composite.wordLength = bits;
    composite.sizeInBytes = static_cast<uint32_t>((static_cast<uint64_t>(bits) + 7) / 8);
    composite.integerWordLength = static_cast<int32_t>(bits);
    return composite;
}

void ResourceDescriptor::serialize(qvhtl::apal::Vector& out, nQVAPALS100::tStatus& status) const {
    serializeU8(out, resourceClass, status);
    serializeU8(out, kind, status);
    type.serialize(out, status);
}

bool ResourceDescriptor::operator==(const ResourceDescriptor& other) const {
    return resourceClass == other.resourceClass && kind == other.kind && type == other.type;
}

bool NamedResource::matches(std::string_view name, const ResourceDescriptor* descriptor) const {
    if (name != name_) return false;
    return descriptor == nullptr || *descriptor == getDescriptor();
}

uint32_t NamedRegister::getIdentifier() const {
    const uint32_t address = baseAddress + offset;
    return accessMayTimeout ? (address | 0x80000000u) : address;
}

void FifoInfo::serialize(qvhtl::apal::Vector& out, nQVAPALS100::tStatus& status) const {
    descriptor_.serialize(out, status);
    serializeU32(out, number_, status);
    serializeU32(out, baseAddress_, status);
    serializeU32(out, numberOfElements_, status);
    serializeU8(out, userVisible_ ? 1 : 0, status);
    serializeU32(out, writeWindowAddress_, status);
    serializeU32(out, writeWindowSize_, status);
}

bool FifoInfo::isResolved() const {
    if (baseAddress_ == kUnresolvedAddress) return false;
    return descriptor_.kind != kFifoPeerToPeerReader || writeWindowAddress_ != kUnresolvedAddress;
}

Type parseType(std::string_view keyword, const XmlNode* typeElement, const XmlNode* owner) {
    for (const Keyword& scalar : scalarKeywords()) {
        if (scalar.name == keyword) return scalar.type;
    }
    if (keyword == "FXP") return parseFixedPoint(typeElement);
    if (keyword == "Cluster" || keyword == "Array" || keyword == "CFXP")
        return parseComposite(owner);
    return Type();
}

Type parseDatatype(const XmlNode* registerElement, bool& isArray) {
    const XmlNode* datatype = getRequiredChildElement(registerElement, "Datatype");
    const XmlNode* typeElement = getRequiredChildElement(datatype, nullptr);
    isArray = false;
    if (xmlName(typeElement) == "Array") {
        isArray = true;
        typeElement =
            getRequiredChildElement(getRequiredChildElement(typeElement, "Type"), nullptr);
    }
    return parseType(xmlName(typeElement), typeElement, registerElement);
}

void CommonRegisterSet::serialize(qvhtl::apal::Vector& out, nQVAPALS100::tStatus& status) const {
    for (uint32_t address : {viControl, diagramReset, interruptEnable, viSignature, dram2DP}) {
        serializeU32(out, address, status);
    }
}

}  // namespace qvzek
