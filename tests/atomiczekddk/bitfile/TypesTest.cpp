// Owner codes, element types and the byte records handed to the driver.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "atomiczekddk/bitfile/Bitfile.h"
#include "atomiczekddk/bitfile/OwnerCodes.h"
#include "atomiczekddk/bitfile/Types.h"
#include "atomiczekddk/shared/Errors.h"
#include "qvapal/status/tStatus.h"
#include "qvhtl/apal/Vector.h"
#include "support/TempDir.h"

namespace {

using namespace qvzek;
using Bytes = std::vector<uint8_t>;

Bytes serialized(const ISerializable& object) {
    qvhtl::apal::Vector out;
    nQVAPALS100::tStatus status;
    object.serialize(out, status);
    EXPECT_EQ(status.code, 0);
    return Bytes(out.data(), out.data() + out.size());
}

TEST(OwnerCodes, TextsAndModeFieldsMapToTheTableCodes) {
    const std::pair<const char*, int32_t> texts[] = {
        {"FPGAInterface", qvzek::kOwnerFpgaInterface},
        {"FPGAInterface\n", qvzek::kOwnerOther},
        {"interactive", qvzek::kOwnerInteractive},
        {"emulation", qvzek::kOwnerEmulation},
        {"Emulation", qvzek::kOwnerOther},
        {"other;ZEK Device Setup", qvzek::kOwnerConfiguration},
        {"other;configuration", qvzek::kOwnerConfiguration},
        {"other;FpgaInterfaceCApi", qvzek::kOwnerCApi},
        {"other;FpgaInterfaceCApiGenericError", qvzek::kOwnerCApiGenericError},
        {"other", qvzek::kOwnerOther},
    };
    for (const auto& [text, code] : texts) EXPECT_EQ(ownerTextToCode(text), code) << text;
    const std::pair<int32_t, const char*> codes[] = {
        {qvzek::kOwnerFpgaInterface, "FPGAInterface\n"},
        {qvzek::kOwnerConfiguration, "other;configuration\n"},
        {qvzek::kOwnerCApiGenericError, "other;FpgaInterfaceCApiGenericError\n"},
        {0, "other\n"},
        {qvzek::kOwnerOther, "other\n"}};
    for (const auto& [code, text] : codes) EXPECT_EQ(codeToOwnerText(code), text) << code;
    // The chassis-mode sentence goes both ways.
    const std::string chassis = codeToOwnerText(qvzek::kOwnerChassisMode);
    EXPECT_EQ(chassis.rfind("other;", 0), 0u);
    EXPECT_EQ(chassis.size(), 177u);
    EXPECT_EQ(ownerTextToCode(chassis.substr(0, chassis.size() - 1)), qvzek::kOwnerChassisMode);

    const int32_t modes[] = {qvzek::kOwnerCApi,
                             qvzek::kOwnerChassisMode,
                             qvzek::kOwnerFpgaInterface,
                             qvzek::kOwnerInteractive,
                             qvzek::kOwnerEmulation,
                             qvzek::kOwnerConfiguration,
                             qvzek::kOwnerCApiGenericError,
                             qvzek::kOwnerOther};
    for (uint32_t field = 0; field < 8; ++field)
        EXPECT_EQ(modeFieldToCode(field << 26), modes[field]);
    EXPECT_EQ(modeFieldToCode(0xFFFFFFFF), qvzek::kOwnerOther);
    EXPECT_EQ(modeFieldToCode(0x23FFFFFF), qvzek::kOwnerCApi);
}

TEST(TypeRecords, AreFourteenBytesInFieldOrder) {
    EXPECT_EQ(serialized(TypeU32()),
              (Bytes{0x07, 0x20, 0, 0, 0, 0x04, 0, 0, 0, 0x00, 0x20, 0, 0, 0}));
    EXPECT_EQ(serialized(Composite(3)),
              (Bytes{0x0D, 0x18, 0, 0, 0, 0x03, 0, 0, 0, 0x00, 0x18, 0, 0, 0}));
    EXPECT_EQ(serialized(TypeI64()),
              (Bytes{0x08, 0x40, 0, 0, 0, 0x08, 0, 0, 0, 0x01, 0x40, 0, 0, 0}));
    // A Boolean is one bit held in one unsigned byte.
    EXPECT_EQ(serialized(TypeBool()),
              (Bytes{0x01, 0x01, 0, 0, 0, 0x01, 0, 0, 0, 0x00, 0x01, 0, 0, 0}));
    EXPECT_EQ(Composite::fromBits(0xFFFFFFFF).sizeInBytes, 0x20000000u);
}

TEST(TypeRecords, AppendAfterExistingBytesAndStoreNothingAfterAnError) {
    qvhtl::apal::Vector out;
    nQVAPALS100::tStatus status;
    ResourceDescriptor(1, 2, TypeI8()).serialize(out, status);
    TypeU8().serialize(out, status);
    ASSERT_EQ(out.size(), 30u);
    EXPECT_EQ(out.data()[16], 0x03);

    status.code = -50000;
    TypeU8().serialize(out, status);
    EXPECT_EQ(out.size(), 30u);
}

TEST(FifoRecords, AreThirtySevenBytesWithTheDescriptorFirst) {
    NamedFifo fifo("f", FifoDescriptor(kResourceClassFifo, kFifoPeerToPeerReader, TypeU16()), 7,
                   0x1234, true, "block");
    EXPECT_FALSE(fifo.isResolved());
    fifo.setBaseAddress(0xA0B0C0D0);
    EXPECT_FALSE(fifo.isResolved());
    fifo.setWriteWindowAddress(0x11223344);
    fifo.setWriteWindowSize(0x100);
    EXPECT_TRUE(fifo.isResolved());
    const Bytes expected = {0x01, 0x02,  // class, kind
                            0x05, 0x10, 0,    0,    0, 0x02, 0, 0, 0, 0x00, 0x10, 0, 0, 0,  // type
                            0x07, 0,    0,    0,     // number
                            0xD0, 0xC0, 0xB0, 0xA0,  // base address
                            0x34, 0x12, 0,    0,     // elements
                            0x01,                    // user visible
                            0x44, 0x33, 0x22, 0x11,  // write window
                            0x00, 0x01, 0,    0};    // its size
    EXPECT_EQ(serialized(fifo), expected);
    EXPECT_EQ(fifo.getIdentifier(), 7u);
}

TEST(SignatureRecords, AreTheFourWordsLittleEndianWordZeroFirst) {
    const FpgaSignature signature = FpgaSignature::fromText("0123456789ABCDEF00112233DEADBEEF");
    EXPECT_EQ(serialized(signature), (Bytes{0x67, 0x45, 0x23, 0x01, 0xEF, 0xCD, 0xAB, 0x89, 0x33,
                                            0x22, 0x11, 0x00, 0xEF, 0xBE, 0xAD, 0xDE}));
}

TEST(NamedResources, MatchByNameAndOptionallyByDescriptor) {
    const NamedRegister reg("Gain", RegisterDescriptor(0, kRegisterControl, TypeU32()), 0x8000,
                            0x18, true);
    EXPECT_EQ(reg.getIdentifier(), 0x80008018u);
    EXPECT_TRUE(reg.matches("Gain"));
    EXPECT_FALSE(reg.matches("gain"));
    const RegisterDescriptor same(0, kRegisterControl, TypeU32());
    EXPECT_TRUE(reg.matches("Gain", &same));
    RegisterDescriptor wider = same;
    wider.type.wordLength = 31;
    EXPECT_FALSE(reg.matches("Gain", &wider));
}

// Keyword table: element type, word length, byte size, signed, integer word length.
TEST(TypeKeywords, NameTheTableTypes) {
    struct Row {
        const char* keyword;
        uint8_t type, bits, bytes;
        bool isSigned;
        int32_t integerBits;
    };
    const Row rows[] = {
        {"Boolean", 1, 1, 1, false, 1},   {"I8", 2, 8, 1, true, 8},
        {"U8", 3, 8, 1, false, 8},        {"EnumU8", 3, 8, 1, false, 8},
        {"I16", 4, 16, 2, true, 16},      {"U16", 5, 16, 2, false, 16},
        {"EnumU16", 5, 16, 2, false, 16}, {"I32", 6, 32, 4, true, 32},
        {"U32", 7, 32, 4, false, 32},     {"EnumU32", 7, 32, 4, false, 32},
        {"I64", 8, 64, 8, true, 64},      {"U64", 9, 64, 8, false, 64},
        {"EnumU64", 9, 64, 8, false, 64}, {"SGL", 11, 32, 4, true, 32},
        {"DBL", 12, 64, 8, true, 64},     {"u16", 0, 0, 0, false, 0},
    };
    for (const Row& row : rows) {
        const Type type = parseType(row.keyword, nullptr, nullptr);
        EXPECT_EQ(type, Type(static_cast<ElementType>(row.type), row.bits, row.bytes, row.isSigned,
                             row.integerBits))
            << row.keyword;
    }
}

TEST(TypeKeywords, FixedPointAndCompositesTakeTheirParameters) {
    auto parse = [](const std::string& keyword, const std::string& owner) {
        XmlDocument document(owner.c_str());
        const XmlNode* root = document.rootElement();
        return parseType(keyword, findChildElement(root, "T"), root);
    };
    const auto fxp = [&](const char* word, const char* integer) {
        return parse("FXP", std::string("<R><T><WordLength>") + word +
                                "</WordLength><IntegerWordLength>" + integer +
                                "</IntegerWordLength><Signed>true</Signed></T></R>");
    };
    EXPECT_EQ(fxp("12", "-3"), Type(ElementType::FXP, 12, 2, true, -3));
    EXPECT_EQ(fxp("33", "0").sizeInBytes, 8u);
    // Lengths out of range (and an array without its type) are corpus faults;
    // only the negative bound has none.
    EXPECT_EQ(qvtest::thrownStatus([&] { fxp("8", "-2049"); }).first, qvzek::kErrorBitfileContent);
    EXPECT_EQ(
        parse("FXP",
              "<R><T><WordLength>8</WordLength><IntegerWordLength>1</IntegerWordLength></T></R>"),
        Type());
    EXPECT_EQ(parse("Cluster",
                    "<R><SizeInBits>12</SizeInBits><TransferSizeBytes>9</TransferSizeBytes></R>"),
              Type(ElementType::Composite, 12, 2, false, 12));
    EXPECT_EQ(parse("CFXP", "<R><TransferSizeBytes>6</TransferSizeBytes></R>"),
              Type(ElementType::Composite, 48, 6, false, 48));
}

}  // namespace
