// Element types, resource descriptors and the register and FIFO
// descriptions of a bitfile. Everything the kernel driver receives about
// them is one of these records appended to a status-carrying byte vector:
// each field in declaration order with its own width, little-endian, no
// padding. A field is appended as fill bytes first and written only while
// the status holds no error, so a failed growth (-52000) ends the record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "atomiczekddk/bitfile/Xml.h"

namespace nQVAPALS100 {
struct tStatus;
}
namespace qvhtl::apal {
class Vector;
}

namespace qvzek {

class ISerializable {
public:
    virtual ~ISerializable() = default;
    virtual void serialize(qvhtl::apal::Vector& out, nQVAPALS100::tStatus& status) const = 0;
};

// Appends one field by the rule above.
void serializeU8(qvhtl::apal::Vector& out, uint8_t value, nQVAPALS100::tStatus& status);
void serializeU32(qvhtl::apal::Vector& out, uint32_t value, nQVAPALS100::tStatus& status);

enum class ElementType : uint8_t {
    None = 0,
    Bool = 1,
    I8 = 2,
    U8 = 3,
    I16 = 4,
    U16 = 5,
    I32 = 6,
    U32 = 7,
    I64 = 8,
    U64 = 9,
    FXP = 10,
    SGL = 11,
    DBL = 12,
    Composite = 13,
};

// 14-byte record: elementType u8, wordLength u32, sizeInBytes u32,
// isSigned u8, integerWordLength i32. Element type 0 is no type (all zero).
class Type : public ISerializable {
public:
    ElementType elementType = ElementType::None;
    uint32_t wordLength = 0;
    uint32_t sizeInBytes = 0;
    bool isSigned = false;
    int32_t integerWordLength = 0;

    Type() = default;
    Type(ElementType type, uint32_t bits, uint32_t bytes, bool isSigned, int32_t integerWordLength)
        : elementType(type),
          wordLength(bits),
          sizeInBytes(bytes),
          isSigned(isSigned),
          integerWordLength(integerWordLength) {}

    void serialize(qvhtl::apal::Vector& out, nQVAPALS100::tStatus& status) const override;
    bool operator==(const Type& other) const;
};

// The constant types of the scalar element types; Value is the host type of
// one element.
template <ElementType E, class Value, bool Signed, uint32_t Bits, uint32_t Bytes,
          int32_t IntegerBits>
class TypeTemplate : public Type {
public:
    using ValueType = Value;
    TypeTemplate() : Type(E, Bits, Bytes, Signed, IntegerBits) {}
};

using TypeBool = TypeTemplate<ElementType::Bool, uint8_t, false, 1, 1, 1>;
using TypeI8 = TypeTemplate<ElementType::I8, int8_t, true, 8, 1, 8>;
using TypeU8 = TypeTemplate<ElementType::U8, uint8_t, false, 8, 1, 8>;
using TypeI16 = TypeTemplate<ElementType::I16, int16_t, true, 16, 2, 16>;
using TypeU16 = TypeTemplate<ElementType::U16, uint16_t, false, 16, 2, 16>;
using TypeI32 = TypeTemplate<ElementType::I32, int32_t, true, 32, 4, 32>;
using TypeU32 = TypeTemplate<ElementType::U32, uint32_t, false, 32, 4, 32>;
using TypeI64 = TypeTemplate<ElementType::I64, int64_t, true, 64, 8, 64>;
using TypeU64 = TypeTemplate<ElementType::U64, uint64_t, false, 64, 8, 64>;
using TypeSGL = TypeTemplate<ElementType::SGL, float, true, 32, 4, 32>;
using TypeDBL = TypeTemplate<ElementType::DBL, double, true, 64, 8, 64>;

// A composite element (cluster, array, complex fixed point) of a byte size.
class Composite : public Type {
public:
    // n bytes: n x 8 bits (modulo 2^32), n with its top three bits cleared.
    explicit Composite(uint32_t bytes);
    // A size in bits: bytes rounded up. Computed in 64 bits.
    static Composite fromBits(uint32_t bits);

private:
    Composite() = default;
};

// Register or FIFO: resourceClass (0 register, 1 FIFO), kind, type;
// a 16-byte record.
class ResourceDescriptor : public ISerializable {
public:
    uint8_t resourceClass = 0;
    uint8_t kind = 0;
    Type type;

    ResourceDescriptor() = default;
    ResourceDescriptor(uint8_t resourceClass, uint8_t kind, const Type& type)
        : resourceClass(resourceClass), kind(kind), type(type) {}
    void serialize(qvhtl::apal::Vector& out, nQVAPALS100::tStatus& status) const override;
    bool operator==(const ResourceDescriptor& other) const;
};

class RegisterDescriptor : public ResourceDescriptor {
public:
    using ResourceDescriptor::ResourceDescriptor;
};

class FifoDescriptor : public ResourceDescriptor {
public:
    using ResourceDescriptor::ResourceDescriptor;
};

inline constexpr uint8_t kResourceClassRegister = 0;
inline constexpr uint8_t kResourceClassFifo = 1;

// Register kinds.
inline constexpr uint8_t kRegisterIndicator = 0;
inline constexpr uint8_t kRegisterControl = 1;
inline constexpr uint8_t kRegisterIndicatorArray = 2;
inline constexpr uint8_t kRegisterControlArray = 3;

// FIFO (DMA channel) kinds.
inline constexpr uint8_t kFifoTargetToHost = 0;
inline constexpr uint8_t kFifoHostToTarget = 1;
inline constexpr uint8_t kFifoPeerToPeerReader = 2;
inline constexpr uint8_t kFifoPeerToPeerWriter = 3;
inline constexpr uint8_t kFifoUnknownKind = 0xFF;

inline constexpr uint32_t kUnresolvedAddress = 0xFFFFFFFF;

class NamedResource {
public:
    explicit NamedResource(std::string name) : name_(std::move(name)) {}
    virtual ~NamedResource() = default;
    virtual const ResourceDescriptor& getDescriptor() const = 0;
    virtual uint32_t getIdentifier() const = 0;

    const std::string& getName() const { return name_; }
    // Same name byte for byte and, when a descriptor is given, the same
    // class, kind and type fields.
    bool matches(std::string_view name, const ResourceDescriptor* descriptor = nullptr) const;

private:
    std::string name_;
};

class RegisterInfo {
public:
    RegisterInfo(const RegisterDescriptor& descriptor, uint32_t baseAddress, uint32_t offset,
                 bool accessMayTimeout)
        : descriptor(descriptor),
          baseAddress(baseAddress),
          offset(offset),
          accessMayTimeout(accessMayTimeout) {}
    virtual ~RegisterInfo() = default;

    RegisterDescriptor descriptor;
    uint32_t baseAddress;
    uint32_t offset;
    bool accessMayTimeout;
};

class NamedRegister : public RegisterInfo, public NamedResource {
public:
    NamedRegister(std::string name, const RegisterDescriptor& descriptor, uint32_t baseAddress,
                  uint32_t offset, bool accessMayTimeout)
        : RegisterInfo(descriptor, baseAddress, offset, accessMayTimeout),
          NamedResource(std::move(name)) {}
    const ResourceDescriptor& getDescriptor() const override { return descriptor; }
    // The register's address: base + offset (32-bit), bit 31 set when an
    // access may time out.
    uint32_t getIdentifier() const override;
};

// What the kernel driver learns of one DMA channel: a 37-byte record, the
// descriptor's 16 bytes followed by number, baseAddress, numberOfElements,
// userVisible (u8), writeWindowAddress and writeWindowSize.
class FifoInfo : public ISerializable {
public:
    FifoInfo(const FifoDescriptor& descriptor, uint32_t number, uint32_t numberOfElements,
             bool userVisible)
        : descriptor_(descriptor),
          number_(number),
          numberOfElements_(numberOfElements),
          userVisible_(userVisible) {}

    void serialize(qvhtl::apal::Vector& out, nQVAPALS100::tStatus& status) const override;

    const FifoDescriptor& descriptor() const { return descriptor_; }
    uint8_t kind() const { return descriptor_.kind; }
    const Type& type() const { return descriptor_.type; }
    uint32_t number() const { return number_; }
    uint32_t baseAddress() const { return baseAddress_; }
    uint32_t numberOfElements() const { return numberOfElements_; }
    bool userVisible() const { return userVisible_; }
    uint32_t writeWindowAddress() const { return writeWindowAddress_; }
    uint32_t writeWindowSize() const { return writeWindowSize_; }
    void setBaseAddress(uint32_t address) { baseAddress_ = address; }
    void setWriteWindowAddress(uint32_t address) { writeWindowAddress_ = address; }
    void setWriteWindowSize(uint32_t size) { writeWindowSize_ = size; }
    // Placed: a base address, and for a peer-to-peer reader a write window.
    bool isResolved() const;

private:
    FifoDescriptor descriptor_;
    uint32_t number_;
    uint32_t baseAddress_ = kUnresolvedAddress;
    uint32_t numberOfElements_;
    bool userVisible_;
    uint32_t writeWindowAddress_ = kUnresolvedAddress;
    uint32_t writeWindowSize_ = 0;
};

class NamedFifo : public FifoInfo, public NamedResource {
public:
    NamedFifo(std::string name, const FifoDescriptor& descriptor, uint32_t number,
              uint32_t numberOfElements, bool userVisible, std::string baseAddressTag)
        : FifoInfo(descriptor, number, numberOfElements, userVisible),
          NamedResource(std::move(name)),
          baseAddressTag_(std::move(baseAddressTag)) {}
    const ResourceDescriptor& getDescriptor() const override { return descriptor(); }
    uint32_t getIdentifier() const override { return number(); }

    const std::string& getBaseAddressTag() const { return baseAddressTag_; }
    // A channel without the tag has none: no block, not even one whose name
    // is empty, is its write window.
    const std::optional<std::string>& getWriteWindowAddressTag() const {
        return writeWindowAddressTag_;
    }
    void setWriteWindowAddressTag(std::string tag) { writeWindowAddressTag_ = std::move(tag); }

private:
    std::string baseAddressTag_;
    std::optional<std::string> writeWindowAddressTag_;
};

// The type a bitfile keyword names. typeElement holds FXP parameters; the
// owner (Register or Channel element) holds the size of a composite.
Type parseType(std::string_view keyword, const XmlNode* typeElement, const XmlNode* owner);
// A register's Datatype; isArray tells whether it is an array register.
Type parseDatatype(const XmlNode* registerElement, bool& isArray);

// The five register addresses of the common data, in this order.
class CommonRegisterSet : public ISerializable {
public:
    CommonRegisterSet(uint32_t viControl, uint32_t diagramReset, uint32_t interruptEnable,
                      uint32_t viSignature, uint32_t dram2DP)
        : viControl(viControl),
          diagramReset(diagramReset),
          interruptEnable(interruptEnable),
          viSignature(viSignature),
          dram2DP(dram2DP) {}
    void serialize(qvhtl::apal::Vector& out, nQVAPALS100::tStatus& status) const override;

    uint32_t viControl;
    uint32_t diagramReset;
    uint32_t interruptEnable;
    uint32_t viSignature;
    uint32_t dram2DP;
};

}  // namespace qvzek
