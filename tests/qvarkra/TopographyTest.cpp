// The reference topography and the route request parse rules and response
// texts, checked against values and error details typed in from their
// descriptions; and the topography registry's bounds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "qvarkra/RouteJson.h"
#include "qvarkra/Topography.h"
#include "qverr/Codes.h"
#include "qverr/Exception.h"
#include "qverr/json.h"
#include "support/TempDir.h"

namespace {

using qvark::kTopQrxReferenceFpga;
using qvark::TerminalInfo;

const TerminalInfo* terminalNamed(const std::string& name) {
    for (uint64_t i = 0; i < kTopQrxReferenceFpga.terminalCount; ++i) {
        if (name == kTopQrxReferenceFpga.terminals[i].name)
            return &kTopQrxReferenceFpga.terminals[i];
    }
    return nullptr;
}

const TerminalInfo& at(uint64_t index) {
    return kTopQrxReferenceFpga.terminals[index];
}

TEST(Topography, HasTheDescribedTerminalsInOrder) {
    ASSERT_EQ(kTopQrxReferenceFpga.terminalCount, 370u);
    EXPECT_STREQ(kTopQrxReferenceFpga.name, "topQrxReferenceFpga");
    // Indexes 0-311 carry the dense ids 1-312.
    for (uint32_t i = 0; i < 312; ++i) EXPECT_EQ(at(i).id, i + 1) << at(i).name;
    const std::pair<uint64_t, const char*> named[] = {{0, "FLOAT"},
                                                      {9, "PXI_Star"},
                                                      {16, "ao/0/PulseIn"},
                                                      {48, "GpioSrc31"},
                                                      {190, "AppSrc45"},
                                                      {254, "GpioInputToAppDest31"},
                                                      {255, "Low"},
                                                      {311, "ao/0/TimerEvent"},
                                                      {312, "ai/0/PXI_Trig0"},
                                                      {313, "ao/0/PXI_Trig0"},
                                                      {369, "ao/0/UserDestination7"}};
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
    for (const char* name : {"topqrxreferencefpga", static_cast<const char*>(nullptr)}) {
        const auto [code, json] = qvtest::thrownStatus([&] { qvark::findTopography(name); });
        EXPECT_EQ(code, qverr::qvpalerr_badSelector);
        EXPECT_THAT(json,
                    ::testing::HasSubstr(std::string("\"qvark_debug\":\"Topography not found: ") +
                                         (name ? name : "")));
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
    EXPECT_EQ(index.idOfName(""), 0u);
    EXPECT_STREQ(index.nameOfId(273), "UserDestination7");
    EXPECT_STREQ(index.nameOfId(9999), "");
}

using namespace qvark;

const TerminalIndex& terminals() {
    return terminalIndex(kTopQrxReferenceFpga);
}

// The "qvroco_debug" member of the failure `parse` raises, as its raw JSON.
template <class Parse>
std::string debugOf(Parse&& parse) {
    try {
        parse();
    } catch (const qverr::Exception& e) {
        EXPECT_EQ(e.status.code, qverr::qvapalerr_invalidParameter);
        const char* value = qverr::json::findMember(e.status.jsonText(), "qvroco_debug");
        if (value == nullptr)
            return "<no qvroco_debug in " + std::string(e.status.jsonText()) + ">";
        qverr::json::Token token;
        const char* end = qverr::json::parseValue(value, token);
        return end ? std::string(value, end) : "<unparsable>";
    }
    return "<no error>";
}

std::string seedError(const char* seeds) {
    return debugOf([&] { parseSeeds(seeds, terminals()); });
}

TEST(RouteRequest, ReadsSeedsDestinationsAndModifiers) {
    const auto seeds = parseSeeds(
        R"([{"terminal":"pfi0","cost":7,"srcDeviceToken":"x","constraints":{"inversionNeeded":true}},
            {"terminal":"NoSuchTerminal","cost":-1,"constraints":{"other":null},"extra":[1]}])",
        terminals());
    ASSERT_EQ(seeds.size(), 2u);
    EXPECT_EQ(seeds[0].terminalId, 14u);
    EXPECT_EQ(seeds[0].cost, 7u);
    EXPECT_EQ(seeds[0].inversionNeeded, 1);
    EXPECT_EQ(seeds[1].terminalId, 0u);
    EXPECT_EQ(seeds[1].cost, 4294967295u);
    EXPECT_EQ(seeds[1].inversionNeeded, 0);

    EXPECT_EQ(parseDestinations(R"(["PXI_Trig1","ao/0/pxi_trig1","none"])", terminals()),
              (std::vector<uint32_t>{3, 3, 0}));
    // Texts of the wrong kind count as empty.
    EXPECT_TRUE(parseSeeds(R"({"terminal":"PFI0"})", terminals()).empty());
    EXPECT_TRUE(parseSeeds("[{", terminals()).empty());

    EXPECT_EQ(parseModifiers(R"({"required":{"calculateIgnoresReservations":true}})").bits, 1u);
    const auto optional = parseModifiers(R"({"optional":{"other":true,"n":5},"misc":{}})");
    EXPECT_EQ(optional.bits, 0u);
    EXPECT_FALSE(optional.unrecognisedRequired);
    EXPECT_TRUE(parseModifiers(R"({"required":{"s":"text"}})").unrecognisedRequired);
    EXPECT_EQ(parseModifiers(R"({"required":{"calculateIgnoresReservations":true},
                                 "optional":{"calculateIgnoresReservations":false}})")
                  .bits,
              0u);
}

TEST(RouteRequest, ReportsEachMalformedPartWithItsDebugValue) {
    EXPECT_EQ(seedError("[1]"), R"("seed must be an object")");
    EXPECT_EQ(
        seedError(R"([{"terminal":1,"cost":1,"constraints":{}}])"),
        R"({"msg":"terminal name must be a string","json":"{\"terminal\":1,\"cost\":1,\"constraints\":{}}]"})");
    EXPECT_EQ(
        seedError(R"([{"terminal":"PFI0","srcDeviceToken":2,"cost":1,"constraints":{}}])"),
        R"({"msg":"srcDeviceToken name must be a string","json":"{\"terminal\":\"PFI0\",\"srcDeviceToken\":2,\"cost\":1,\"constraints\":{}}]"})");
    EXPECT_EQ(
        seedError(R"([{"terminal":"PFI0","cost":"1","constraints":{}}])"),
        R"({"msg":"cost must be a number","json":"{\"terminal\":\"PFI0\",\"cost\":\"1\",\"constraints\":{}}]"})");
    EXPECT_EQ(seedError("[{}]"), R"({"msg":"terminal field missing","json":"{}]"})");
    EXPECT_EQ(
        seedError(R"([{"terminal":"PFI0","constraints":{}}])"),
        R"({"msg":"cost field missing or invalid","json":"{\"terminal\":\"PFI0\",\"constraints\":{}}]"})");
    EXPECT_EQ(
        seedError(R"([{"terminal":"PFI0","cost":1}])"),
        R"({"msg":"constraints field missing","json":"{\"terminal\":\"PFI0\",\"cost\":1}]"})");
    EXPECT_EQ(
        seedError(R"([{"terminal":"PFI0","cost":1,"constraints":{"inversionNeeded":1}}])"),
        R"({"msg":"Unexpected constraint type","constraint":"inversionNeeded","expected_type":2,"actual_type":3})");
    // The json of the second seed starts at that seed.
    EXPECT_EQ(seedError(R"([{"terminal":"PFI0","cost":1,"constraints":{}},{"cost":2}])"),
              R"({"msg":"terminal field missing","json":"{\"cost\":2}]"})");
    EXPECT_EQ(debugOf([] { parseDestinations(R"(["PFI0",3])", terminals()); }),
              R"({"msg":"Terminals must be strings","json":"[\"PFI0\",3]"})");
    EXPECT_EQ(debugOf([] { parseModifiers(R"({"required":true})"); }),
              R"({"msg":"modifiers type must be object","json":"{\"required\":true}"})");
    EXPECT_EQ(debugOf([] { parseModifiers(R"({"required":{"x":5}})"); }),
              R"("Required route modifier has unrecognized type")");
}

TEST(RouteRequest, ErrorDetailStaysJsonForQuotesAndControlCharacters) {
    const std::string json =
        qvtest::thrownStatus([] { parseDestinations("[\"a\\\"b\",\t\n7]", terminals()); }).second;
    qverr::json::Token token;
    ASSERT_NE(qverr::json::parseValue(json.c_str(), token), nullptr) << json;
    EXPECT_EQ(token.type, qverr::json::kTokenObject);
}

// The route results and handled constraints are read whole by the routing
// adaptor's tests; here the 64-bit session ids, unknown ids and the buffer.
TEST(RouteResponse, WritesCompactTexts) {
    const ReservationConflict conflicts[] = {{0x123456789ABCull, 7, 0}};
    EXPECT_STREQ(formatConflicts(conflicts).text(), R"([{"sessionId":20015998343868,"ticket":7}])");
    const uint32_t path[] = {2, 273, 0};
    EXPECT_STREQ(formatTerminalPath(path, terminals()).text(),
                 R"(["PXI_Trig0","UserDestination7",""])");
    EXPECT_EQ(formatHandledConstraints().bufferSize(), 256u);

    // Long texts double the buffer.
    std::vector<uint32_t> many(100, 273);
    const RouteText long_ = formatTerminalPath(many, terminals());
    EXPECT_EQ(long_.bufferSize(), 2048u);
    EXPECT_EQ(std::string(long_.text()).size(), 100 * 19 + 1u);
}

TEST(RouteResponse, HandsTheWholeBufferToTheHost) {
    char* text = nullptr;
    handToHost(&std::realloc, &text, formatHandledConstraints());
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, R"(["inversionNeeded"])");
    handEmptyToHost(&std::realloc, &text);
    EXPECT_STREQ(text, "[]");
    std::free(text);

    auto refuse = [](void*, size_t) -> void* { return nullptr; };
    char* untouched = nullptr;
    EXPECT_EQ(qvtest::thrownStatus([&] { handEmptyToHost(refuse, &untouched); }).first,
              qverr::qvapalerr_memoryFull);
    EXPECT_EQ(untouched, nullptr);
    EXPECT_EQ(qvtest::thrownStatus([] { handEmptyToHost(&std::realloc, nullptr); }).first,
              qverr::qvapalerr_invalidParameter);
}

}  // namespace
