// The bitfile parser over the corpus written for it, the decoded bitstream,
// the printed texts and the byte images handed to the driver.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "atomiczekddk/bitfile/Bitfile.h"
#include "atomiczekddk/bitfile/CompilationResultsInfo.h"
#include "atomiczekddk/bitfile/SerializedBitfile.h"
#include "atomiczekddk/shared/Errors.h"
#include "qverr/Codes.h"
#include "support/BitfileGenerator.h"
#include "support/TempDir.h"

namespace {

using namespace qvzek;

const std::string kCorpus = QV_BITFILE_CORPUS;

std::string sampleText() {
    return qvtest::readTextFile(kCorpus + "/sample.xml");
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::vector<uint32_t> words(const uint8_t* data, size_t size) {
    std::vector<uint32_t> result(size / 4);
    std::memcpy(result.data(), data, result.size() * 4);
    return result;
}

TEST(BitfileCorpus, EveryFaultVariantGivesItsCode) {
    size_t faults = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("fault_", 0) != 0) continue;
        const int32_t expected = -std::stoi(name.substr(6));
        EXPECT_EQ(
            qvtest::thrownStatus([&] { Bitfile(entry.path().string(), true, true, false); }).first,
            expected)
            << name;
        ++faults;
    }
    EXPECT_GE(faults, 60u);
}

TEST(BitfileCorpus, TheSampleGivesItsFields) {
    const Bitfile bitfile(kCorpus + "/sample.xml", true, true, false);
    EXPECT_EQ(bitfile.getVersionMajor(), 4u);
    EXPECT_EQ(bitfile.getVersionMinor(), 1u);
    EXPECT_EQ(bitfile.getSignature(), "0123456789ABCDEF00112233DEADBEEF");
    EXPECT_EQ(bitfile.getTargetClass(), "QV-3377;QV-3377R");
    EXPECT_FALSE(bitfile.getAutoRunWhenDownloaded());
    EXPECT_TRUE(bitfile.getAllowImplicitEnableRemoval());
    EXPECT_TRUE(bitfile.getResetNotSupported());
    EXPECT_FALSE(bitfile.getAbortNotSupported());
    EXPECT_TRUE(bitfile.getZynqBsEnablePatch());
    EXPECT_EQ(bitfile.getBaseAddressOnDevice(), 0x8000u);
    EXPECT_EQ(bitfile.getViSignatureOffset(), 0x0u);
    EXPECT_EQ(bitfile.getViControlOffset(), 0x4u);
    EXPECT_EQ(bitfile.getInterruptEnableOffset(), 0x100u);
    EXPECT_EQ(bitfile.getInterruptStatusOffset(), 0x10Cu);
    EXPECT_EQ(bitfile.getDiagramResetOffset(), 0x7FFCu);
    EXPECT_EQ(bitfile.getBitstreamVersion(), 3u);
    EXPECT_EQ(bitfile.getBitstreamMd5(), "e2c865db4162bed963bfaa9ef6ac18f0");
    EXPECT_EQ(bitfile.getDram2DPBaseAddress(), 0x15000u);

    // Every byte value, through line breaks.
    ASSERT_EQ(bitfile.getBitstream().size(), 256u);
    for (size_t i = 0; i < 256; ++i) ASSERT_EQ(bitfile.getBitstream()[i], i);
    EXPECT_EQ(bitfile.getBitstream().capacity(), 256u);

    struct Reg {
        const char* name;
        uint8_t kind;
        Type type;
        uint32_t identifier;
    };
    const Reg registers[] = {
        {"Gain & Offset", 1, TypeU32(), 0x80008018},
        {"Samples", 2, TypeI16(), 0x8020},
        {"Coefficient", 1, Type(ElementType::FXP, 12, 2, true, -3), 0x8040},
        {"Status word", 0, Type(ElementType::Composite, 12, 2, false, 12), 0x8044},
        {"Mode", 1, TypeU16(), 0x8048},
    };
    ASSERT_EQ(bitfile.getRegisters().size(), std::size(registers));
    for (size_t i = 0; i < std::size(registers); ++i) {
        const NamedRegister& reg = bitfile.getRegisters()[i];
        EXPECT_EQ(reg.getName(), registers[i].name);
        EXPECT_EQ(reg.getDescriptor(), RegisterDescriptor(0, registers[i].kind, registers[i].type))
            << i;
        EXPECT_EQ(reg.getIdentifier(), registers[i].identifier) << i;
    }
    EXPECT_EQ(bitfile.findRegister("Clock Select"), nullptr);

    // Written 2, 0, 1, 3, 4; read in channel order.
    struct Channel {
        const char* name;
        uint8_t kind;
        Type type;
        uint32_t base, elements;
        bool visible;
        uint32_t window, windowSize;
    };
    const Channel channels[] = {
        {"wgen.download fifo 0", 1, TypeU64(), 0x1000, 1023, true, 0xFFFFFFFF, 0},
        {"stream & reader", 2, Type(ElementType::FXP, 24, 4, true, -2), 0x1100, 511, false, 0x1180,
         0x10000},
        {"acq.fetch fifo 0", 0, TypeI16(), 0x1200, 4095, true, 0xFFFFFFFF, 0},
        {"stream writer", 3, Type(ElementType::Composite, 128, 16, false, 128), 0x1300, 255, false,
         0xFFFFFFFF, 0},
        {"debug fifo", 255, TypeU32(), 0x1400, 63, true, 0xFFFFFFFF, 0},
    };
    ASSERT_EQ(bitfile.getFifos().size(), std::size(channels));
    for (uint32_t i = 0; i < std::size(channels); ++i) {
        const NamedFifo& fifo = bitfile.getFifos()[i];
        const Channel& c = channels[i];
        EXPECT_EQ(fifo.getName(), c.name);
        EXPECT_EQ(fifo.number(), i);
        EXPECT_EQ(fifo.getDescriptor(), FifoDescriptor(1, c.kind, c.type)) << i;
        EXPECT_EQ(fifo.baseAddress(), c.base) << i;
        EXPECT_EQ(fifo.numberOfElements(), c.elements) << i;
        EXPECT_EQ(fifo.userVisible(), c.visible) << i;
        EXPECT_EQ(fifo.writeWindowAddress(), c.window) << i;
        EXPECT_EQ(fifo.writeWindowSize(), c.windowSize) << i;
    }
    EXPECT_EQ(bitfile.findFifo("acq.fetch fifo 0"), &bitfile.getFifos()[2]);

    const BitfileControlInfo control(
        std::make_shared<Bitfile>(kCorpus + "/sample.xml", true, false, false));
    EXPECT_EQ(control.signature.words,
              (std::array<uint32_t, 4>{0x01234567, 0x89ABCDEF, 0x00112233, 0xDEADBEEF}));
    EXPECT_EQ(control.viControlAddress, 0x8004u);
    EXPECT_EQ(control.interruptStatusAddress, 0x810Cu);
    EXPECT_FALSE(control.resetSupported);
    EXPECT_TRUE(control.abortSupported);
    EXPECT_TRUE(control.enableRemovalInEffect);
}

TEST(BitfileCorpus, PrintedTextsParseAgainToTheSameNames) {
    const Bitfile bitfile(sampleText(), false, true, false);
    const std::string& stripped = bitfile.getStrippedBitfileText();
    EXPECT_EQ(stripped.find("AAAA//8="), std::string::npos);
    EXPECT_NE(stripped.find("<Bitstream></Bitstream>"), std::string::npos);

    const Bitfile again(stripped, false, true, false);
    EXPECT_TRUE(again.getBitstream().empty());
    ASSERT_EQ(again.getRegisters().size(), bitfile.getRegisters().size());
    for (size_t i = 0; i < again.getRegisters().size(); ++i) {
        EXPECT_EQ(again.getRegisters()[i].getName(), bitfile.getRegisters()[i].getName());
    }
    EXPECT_EQ(again.getFifos().size(), bitfile.getFifos().size());

    const CompilationResultsInfo info(bitfile.getChannelDescriptionText());
    const auto fifos = info.getFifos();
    ASSERT_EQ(fifos.size(), 5u);
    EXPECT_EQ(fifos[1].getName(), "stream & reader");
    EXPECT_EQ(fifos[1].writeWindowAddress(), 0x1180u);
    EXPECT_EQ(info.getDram2DPBaseAddress(7), 7u);
    EXPECT_NE(bitfile.getTargetSpecificData().find("<DesiredModuleRev>5</DesiredModuleRev>"),
              std::string::npos);
    EXPECT_EQ(
        qvtest::thrownStatus([] { CompilationResultsInfo info(std::string("no element")); }).first,
        qvzek::kErrorBitfileContent);
}

TEST(BitfileRules, DefaultsAndOptionalElements) {
    const std::string text = sampleText();
    const auto parsed = [&](const std::string& from, const std::string& to) {
        return std::make_unique<Bitfile>(replaced(text, from, to), false, false, false);
    };
    EXPECT_EQ(parsed("<QvFpga>", "<QvFpga><BaseAddressOnDevice>0</BaseAddressOnDevice>")
                  ->getBaseAddressOnDevice(),
              0u);
    EXPECT_EQ(parsed("QV-3377;QV-3377R", "QV-7965R")->getBaseAddressOnDevice(), 0u);
    const auto withoutInterrupts = parsed("<Name>InterruptEnable</Name>", "<Name>Other</Name>");
    EXPECT_EQ(withoutInterrupts->getInterruptEnableOffset(), 0x1FFE4u);
    EXPECT_EQ(withoutInterrupts->getInterruptStatusOffset(), 0x1FFF0u);
    EXPECT_TRUE(withoutInterrupts->getBitstream().empty());

    const std::string noHostMemory = replaced(replaced(text, "<HMB>", "<HMX>"), "</HMB>", "</HMX>");
    EXPECT_EQ(Bitfile(noHostMemory, false, false, false).getDram2DPBaseAddress(),
              0x15000u);  // LLB still there
    const std::string noBlocks =
        replaced(replaced(noHostMemory, "<LLB>", "<LLX>"), "</LLB>", "</LLX>");
    EXPECT_EQ(Bitfile(noBlocks, false, false, false).getDram2DPBaseAddress(), 0xFFFFFFFFu);
    EXPECT_EQ(parsed("<HMB>", "<Dram2DPBaseAddress>0x20</Dram2DPBaseAddress><HMB>")
                  ->getDram2DPBaseAddress(),
              0x20u);
    EXPECT_EQ(parsed("<HMB>", "<Dram2DPBaseAddress>0xFFFFFFFF</Dram2DPBaseAddress><HMB>")
                  ->getDram2DPBaseAddress(),
              0x15000u);

    // Encoding is checked only when the bitstream is decoded.
    EXPECT_TRUE(parsed(">Base64<", ">base32<")->getBitstream().empty());
    EXPECT_EQ(parsed("<Bitfile>", "<Anything>")->getVersionMajor(), 4u);
}

TEST(BitfileRules, NoChannelsStillNeedTheChannelList) {
    std::string text = sampleText();
    const size_t open =
        text.find("<DmaChannelAllocationList>") + std::strlen("<DmaChannelAllocationList>");
    text.erase(open, text.find("</DmaChannelAllocationList>") - open);
    const Bitfile bitfile(text, false, true, false);
    EXPECT_TRUE(bitfile.getFifos().empty());
    const SerializedBitfile images(bitfile, 0);
    EXPECT_EQ(images.fifoData(), nullptr);
    EXPECT_EQ(images.fifoDataSize(), 0u);
}

// A block places the first channel its name fits, whatever comes later.
TEST(BitfileRules, ABlockPlacesTheFirstChannelItNames) {
    const auto channel = [](int number, const char* kind, const char* base, const char* window) {
        return "<Channel name=\"c" + std::to_string(number) + "\"><Number>" +
               std::to_string(number) +
               "</Number><NumberOfElements>1</NumberOfElements><BaseAddressTag>" + base +
               "</BaseAddressTag><Implementation>" + kind +
               "</Implementation><DataType><U32/></DataType><UserVisible>true</UserVisible>" +
               (window ? std::string("<WriteWindowAddressTag>") + window +
                             "</WriteWindowAddressTag><WriteWindowSize>16</WriteWindowSize>"
                       : std::string()) +
               "</Channel>";
    };
    const auto block = [](const char* name, int offset) {
        return std::string("<RegisterBlock name=\"") + name + "\"><Offset>" +
               std::to_string(offset) + "</Offset></RegisterBlock>";
    };
    const auto list = [](const std::string& channels, const std::string& blocks) {
        return "<CompilationResults><QvFpga><DmaChannelAllocationList>" + channels +
               "</DmaChannelAllocationList><RegisterBlockList>" + blocks +
               "</RegisterBlockList></QvFpga></CompilationResults>";
    };
    const char* reader = "qvFpgaPeerToPeerReader";
    const char* toHost = "qvFpgaTargetToHost";

    // A later block of the same name places the same channel again.
    const CompilationResultsInfo placed(list(
        channel(1, toHost, "B", "A") + channel(0, reader, "A", "W"),
        block("W", 30) + block("A", 10) + block("none", 99) + block("A", 11) + block("B", 20)));
    const auto fifos = placed.getFifos();
    EXPECT_EQ(fifos[0].baseAddress(), 11u);
    EXPECT_EQ(fifos[0].writeWindowAddress(), 30u);
    EXPECT_EQ(fifos[1].baseAddress(), 20u);
    EXPECT_EQ(fifos[1].writeWindowAddress(), 0xFFFFFFFFu) << "only a reader takes its write window";

    // An earlier channel's write window, or a channel's own base tag, comes
    // first: the channel that would have matched next stays unplaced.
    const auto refused = [&](const std::string& channels, const std::string& blocks) {
        return qvtest::thrownStatus([&] { CompilationResultsInfo info(list(channels, blocks)); })
            .first;
    };
    EXPECT_EQ(refused(channel(0, reader, "A", "W") + channel(1, toHost, "W", nullptr),
                      block("A", 1) + block("W", 2)),
              qvzek::kErrorBitfileContent);
    EXPECT_EQ(refused(channel(0, reader, "X", "X"), block("X", 1) + block("X", 2)),
              qvzek::kErrorBitfileContent);
    EXPECT_EQ(
        refused(channel(0, toHost, "A", nullptr) + channel(1, toHost, "A", nullptr), block("A", 1)),
        qvzek::kErrorBitfileContent);
}

TEST(BitfileBitstream, DecodesToTheGeneratedBytesAtEverySize) {
    const std::string text = sampleText();
    for (size_t size = 0; size <= 4096; ++size) {
        const std::vector<uint8_t> bytes = qvtest::bitstreamBytes(size);
        const Bitfile bitfile(qvtest::withBitstream(text, qvtest::base64Text(bytes)), false, true,
                              false);
        ASSERT_TRUE(std::equal(bytes.begin(), bytes.end(), bitfile.getBitstream().begin(),
                               bitfile.getBitstream().end()))
            << size;
        ASSERT_EQ(bitfile.getBitstream().capacity(), size);
    }
}

TEST(SerializedImages, CommonDataIsFortyEightBytesOfAddressesModeAndSignature) {
    // Base 0x8000, ViControl 4, default DiagramReset and InterruptEnable,
    // ViSignature 0, no Dram2DP base.
    std::string text = replaced(sampleText(), "<Name>InterruptEnable</Name>", "<Name>Other</Name>");
    text = replaced(replaced(text, "<HMB>", "<HMX>"), "</HMB>", "</HMX>");
    text = replaced(replaced(text, "<LLB>", "<LLX>"), "</LLB>", "</LLX>");
    const Bitfile bitfile(text, false, true, false);
    const SerializedBitfile images(bitfile, 0x08000001);
    ASSERT_EQ(images.commonDataSize(), 48u);
    EXPECT_EQ(words(images.commonData(), 48),
              (std::vector<uint32_t>{0x8004, 0xFFFC, 0x27FE4, 0x8000, 0x7FFF, 3, 0x08000001,
                                     static_cast<uint32_t>(qvzek::kOwnerFpgaInterface), 0x01234567,
                                     0x89ABCDEF, 0x00112233, 0xDEADBEEF}));
    ASSERT_EQ(images.fifoDataSize(), 5u * 37);
    for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(images.fifoData()[37 * i + 16], i);
    EXPECT_EQ(images.bitstreamSize(), 256u);
    EXPECT_EQ(images.bitstream(), bitfile.getBitstream().data());

    // The signature's digits are checked only when it becomes words.
    const Bitfile letters(replaced(sampleText(), "0123456789ABCDEF", "ZZ23456789ABCDEF"), false,
                          true, false);
    EXPECT_EQ(qvtest::thrownStatus([&] { SerializedBitfile images(letters, 0); }).first,
              qverr::qvapalerr_invalidParameter);
}

}  // namespace
