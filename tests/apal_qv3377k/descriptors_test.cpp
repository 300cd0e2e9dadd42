// The descriptor table generated from the request table: the shape of the
// two kernel-driver interfaces. The block layouts of each shape are typed in
// with the wire bytes.
#include "apal_qv3377k/descriptors.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using namespace sdihal::nRequestDescriptors;

uint8_t direction(uint32_t code) {
    return static_cast<uint8_t>(code >> 24);
}

size_t methodCount(std::span<const tInterface> interfaces) {
    size_t count = 0;
    for (const tInterface& interface : interfaces) count += interface.methods.size();
    return count;
}

// The generator refuses codes without their type byte or size bits, repeated
// codes and overlapping fields; the numbering and direction bits are left.
TEST(Descriptors, EveryModuleCodeNumbersItsMethodAndCarriesItsDirection) {
    for (const tInterface& interface : qv3377kInterfaces()) {
        int previousNumber = -1;
        for (const tMethod& method : interface.methods) {
            SCOPED_TRACE(std::string(interface.name) + "." + method.name);
            const int number = method.code & 0xFF;
            EXPECT_GT(number, previousNumber) << "numbers follow the declaration order";
            previousNumber = number;

            // Direction bits: the configuration interfaces, five flash methods
            // of the platform interface and the VISA plug-in's requests.
            const std::string name = interface.name;
            uint8_t expected = 0x00;
            if (name == "BasecardConfigV1" || name == "IQConfigV1") expected = 0xC0;
            if (name == "rfplat" && number >= 3 && number <= 7) expected = 0xC0;
            if (name == "visapxipluginapalcodegen")
                expected = std::string(method.name) == "blockWrite" ? 0x40 : 0x80;
            EXPECT_EQ(direction(method.code), expected);
        }
    }
    // Every line of the request table made it into the descriptors.
    EXPECT_EQ(methodCount(qv3377kInterfaces()), 311u);
    EXPECT_EQ(qv3377kInterfaces().size(), 27u);
    EXPECT_EQ(qv3377kInterfaces()[1].methods[0].code, 0xC0204001u);
    EXPECT_EQ(qv3377kInterfaces()[26].methods[0].code, 0x00205A00u);
    ASSERT_NE(findMethod("IQConfigV1.sendMessage"), nullptr);
    EXPECT_EQ(findMethod("IQConfigV1.sendMessage")->code, 0xC0205001u);
    EXPECT_EQ(findMethod(0x0020420Au), findMethod("rfplat.getInterfaceVersion"));
    EXPECT_EQ(findMethod(0x00204117u), nullptr);
    // The FPGA driver's codes are typed in with the wire bytes.
    EXPECT_EQ(atomiczekddkInterfaces().size(), 7u);
    EXPECT_EQ(methodCount(atomiczekddkInterfaces()), 30u);
}

// The order is the interface's binary layout: sessions reach their
// sub-interface through it, so a reordering would send requests elsewhere.
TEST(Descriptors, ModuleInterfacesComeInDeclarationOrderWithTheirTypeBytes) {
    const std::vector<std::pair<std::string, uint8_t>> expected = {
        {"routing", 0x80},
        {"BasecardConfigV1", 0x40},
        {"trig", 0x59},
        {"equalizer", 0x58},
        {"resampler", 0x44},
        {"freqshift", 0x45},
        {"digitalgain", 0x47},
        {"impairments", 0x4B},
        {"digitaloffset", 0x48},
        {"calindsp", 0x49},
        {"caloutdsp", 0x4A},
        {"rfplat", 0x42},
        {"mra", 0x43},
        {"wgen", 0x41},
        {"datapath", 0x46},
        {"syntrasync", 0x4C},
        {"iqDataTrigger", 0x4D},
        {"p2p", 0x4E},
        {"usergen", 0x51},
        {"iqmanip", 0x4F},
        {"IQConfigV1", 0x50},
        {"listmode", 0x52},
        {"timer", 0x54},
        {"arm", 0x81},
        {"visapxipluginapalcodegen", 0x85},
        {"reservation", 0x55},
        {"ifw", 0x5A}};
    std::vector<std::pair<std::string, uint8_t>> actual;
    for (const tInterface& interface : qv3377kInterfaces())
        actual.emplace_back(interface.name, static_cast<uint8_t>(interface.type));
    EXPECT_EQ(actual, expected);
}

}  // namespace
