// The reference topography, checked against values typed in from its
// description, and the registry's bounds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "qvarkra/Topography.h"
#include "qverr/Exception.h"

namespace {

using qvark::kTopQrxReferenceFpga;
using qvark::TerminalInfo;

const TerminalInfo* terminalNamed(const std::string& name) {
    for (uint64_t i = 0; i < kTopQrxReferenceFpga.terminalCount; ++i) {
        if (name == kTopQrxReferenceFpga.terminals[i].name) return &kTopQrxReferenceFpga.terminals[i];
    }
    return nullptr;
}

const TerminalInfo& at(uint64_t index) { return kTopQrxReferenceFpga.terminals[index]; }

TEST(Topography, HasTheDescribedTerminalsInOrder) {
    ASSERT_EQ(kTopQrxReferenceFpga.terminalCount, 370u);
    EXPECT_STREQ(kTopQrxReferenceFpga.name, "topQrxReferenceFpga");
    // Indexes 0-311 carry the dense ids 1-312.
    for (uint32_t i = 0; i < 312; ++i) EXPECT_EQ(at(i).id, i + 1) << at(i).name;
    const std::pair<uint64_t, const char*> named[] = {
        {0, "FLOAT"},        {9, "PXI_Star"},          {16, "ao/0/PulseIn"},
        {48, "GpioSrc31"},   {190, "AppSrc45"},        {254, "GpioInputToAppDest31"},
        {255, "Low"},        {311, "ao/0/TimerEvent"}, {312, "ai/0/PXI_Trig0"},
        {313, "ao/0/PXI_Trig0"}, {369, "ao/0/UserDestination7"}};
    for (const auto& [index, name] : named) EXPECT_STREQ(at(index).name, name) << index;

    std::set<std::string> names;
    for (uint64_t i = 0; i < 370; ++i) {
        const TerminalInfo& t = at(i);
        EXPECT_TRUE(names.insert(t.name).second) << t.name;
        EXPECT_EQ(t.busName, nullptr);
        EXPECT_FALSE(t.isMaskedOut);
        EXPECT_EQ(t.isAlias, std::string(t.canonicalName) != t.name) << t.name;
        EXPECT_NE(terminalNamed(t.canonicalName), nullptr) << t.canonicalName;
    }
}

TEST(Topography, AliasesCopyTheirCanonicalTerminal) {
    struct Expected {
        const char* name;
        uint32_t id;
        const char* canonical;
        const char* busType;
        uint32_t busLine;
        bool external;
        const char* visibility;
    };
    const Expected cases[] = {
        {"PXI_Trig3", 5, "PXI_Trig3", "PXI_Trig", 3, true, "public"},
        {"PXIe_DStarC", 13, "PXIe_DStarC", "PXIe_DStar", 2, true, "advanced"},
        {"PFI0", 14, "PFI0", nullptr, 0xFFFFFFFF, false, "public"},
        {"GpioSrc11", 29, "PXIe_DStarB", "PXIe_DStar", 1, true, "private"},
        {"GpioSrc8", 26, "GpioSrc8", nullptr, 0xFFFFFFFF, false, "private"},
        {"GpioDest10", 60, "PXIe_DStarC", "PXIe_DStar", 2, true, "private"},
        {"HighResGpioSrc1", 83, "ao/0/PulseIn", nullptr, 0xFFFFFFFF, false, "private"},
        {"AppDest7", 199, "AppSrc3", nullptr, 0xFFFFFFFF, false, "private"},
        {"UserSource3", 261, "AppSrc23", nullptr, 0xFFFFFFFF, false, "public"},
        {"AppSrc23", 169, "AppSrc23", nullptr, 0xFFFFFFFF, false, "private"},
        {"ao/0/ReadyForStartEvent", 284, "ao/0/ReadyForStartEvent", nullptr, 0xFFFFFFFF, false,
         "public"},
        {"ai/0/TimerStartTrigger", 305, "AppDest21", nullptr, 0xFFFFFFFF, false, "advanced"},
        {"ai/0/PXI_Trig7", 9, "PXI_Trig7", "PXI_Trig", 7, true, "private"},
        {"ao/0/PXI_Star", 10, "PXI_Star", "PXI_Star", 0, true, "private"},
        {"ai/0/PFI0", 14, "PFI0", nullptr, 0xFFFFFFFF, false, "private"},
        {"ao/0/UserDestination7", 273, "UserDestination7", nullptr, 0xFFFFFFFF, false, "private"},
    };
    for (const Expected& e : cases) {
        const TerminalInfo* t = terminalNamed(e.name);
        ASSERT_NE(t, nullptr) << e.name;
        EXPECT_EQ(t->id, e.id) << e.name;
        EXPECT_STREQ(t->canonicalName, e.canonical) << e.name;
        EXPECT_STREQ(t->busType, e.busType) << e.name;  // both null, or equal texts
        EXPECT_EQ(t->busLine, e.busLine) << e.name;
        EXPECT_EQ(t->isExternal, e.external) << e.name;
        EXPECT_EQ(t->isOwned, !e.external) << e.name;
        EXPECT_STREQ(t->visibility, e.visibility) << e.name;
    }
    // The prefixed copies: an "ai/0/" and an "ao/0/" copy of each of 29
    // terminals, with the canonical terminal's id, bus and ownership.
    for (uint64_t i = 312; i < 370; ++i) {
        const TerminalInfo& copy = at(i);
        const std::string prefix = (i - 312) % 2 == 0 ? "ai/0/" : "ao/0/";
        EXPECT_EQ(std::string(copy.name), prefix + copy.canonicalName);
        const TerminalInfo* canonical = terminalNamed(copy.canonicalName);
        ASSERT_NE(canonical, nullptr);
        EXPECT_EQ(copy.id, canonical->id);
        EXPECT_EQ(copy.isOwned, canonical->isOwned);
        EXPECT_EQ(copy.isExternal, canonical->isExternal);
        EXPECT_EQ(copy.busLine, canonical->busLine);
        EXPECT_STREQ(copy.visibility, "private");
    }
}

TEST(Topography, RegistryFindsByExactNameAndIsBounded) {
    EXPECT_EQ(&qvark::findTopography("topQrxReferenceFpga"), &kTopQrxReferenceFpga);
    for (const char* name : {"topqrxreferencefpga", "", static_cast<const char*>(nullptr)}) {
        try {
            qvark::findTopography(name);
            ADD_FAILURE() << "found";
        } catch (const qverr::Exception& e) {
            EXPECT_EQ(e.status.code, -50003);
            EXPECT_THAT(e.status.jsonText(), ::testing::HasSubstr(std::string("\"qvark_debug\":\"Topography not found: ") +
                                                                  (name ? name : "")));
        }
    }
    // The load-time registration took one slot; the 33rd is refused.
    static const qvark::TopographyInfo extra{"extra", 0, nullptr};
    int32_t last = -1;
    for (int i = 1; i < 32; ++i) last = qvark::registerTopography(&extra);
    EXPECT_EQ(last, 31);
    EXPECT_EQ(qvark::registerTopography(&extra), -1);
    EXPECT_EQ(&qvark::findTopography("topQrxReferenceFpga"), &kTopQrxReferenceFpga);
}

TEST(TerminalIndex, ResolvesNamesCaselessAndIdsToTheFirstTerminal) {
    const qvark::TerminalIndex& index = qvark::terminalIndex(kTopQrxReferenceFpga);
    EXPECT_EQ(index.idOfName("pfi0"), 14u);
    EXPECT_EQ(index.idOfName("AO/0/USERDESTINATION7"), 273u);
    EXPECT_EQ(index.idOfName("nothing"), 0u);
    EXPECT_EQ(index.idOfName(""), 0u);
    EXPECT_STREQ(index.nameOfId(2), "PXI_Trig0");
    EXPECT_STREQ(index.nameOfId(273), "UserDestination7");
    EXPECT_STREQ(index.nameOfId(9999), "");
}

}  // namespace
