// The route request parse rules and the response texts, with the error
// details and outputs typed in from the route JSON description.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "qvarkra/RouteJson.h"
#include "qverr/Exception.h"
#include "qverr/json.h"

namespace {

using namespace qvark;

const TerminalIndex& terminals() { return terminalIndex(kTopQrxReferenceFpga); }

// The "qvroco_debug" member of the failure `parse` raises, as its raw JSON.
template <class Parse>
std::string debugOf(Parse&& parse) {
    try {
        parse();
    } catch (const qverr::Exception& e) {
        EXPECT_EQ(e.status.code, -52005);
        const char* value = qverr::json::findMember(e.status.jsonText(), "qvroco_debug");
        if (value == nullptr) return "<no qvroco_debug in " + std::string(e.status.jsonText()) + ">";
        qverr::json::Token token;
        const char* end = qverr::json::parseValue(value, token);
        return end ? std::string(value, end) : "<unparsable>";
    }
    return "<no error>";
}

template <class Call>
int32_t codeOf(Call&& call) {
    try {
        call();
    } catch (const qverr::Exception& e) {
        return e.status.code;
    }
    return 0;
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
    EXPECT_TRUE(parseSeeds(nullptr, terminals()).empty());
    EXPECT_TRUE(parseDestinations("[]", terminals()).empty());

    EXPECT_EQ(parseModifiers(R"({"required":{"calculateIgnoresReservations":true}})").bits, 1u);
    const auto optional = parseModifiers(R"({"optional":{"other":true,"n":5},"misc":{}})");
    EXPECT_EQ(optional.bits, 0u);
    EXPECT_FALSE(optional.unrecognisedRequired);
    EXPECT_TRUE(parseModifiers(R"({"required":{"other":true}})").unrecognisedRequired);
    EXPECT_TRUE(parseModifiers(R"({"required":{"s":"text"}})").unrecognisedRequired);
    EXPECT_EQ(parseModifiers(R"({"required":{"calculateIgnoresReservations":true},
                                 "optional":{"calculateIgnoresReservations":false}})")
                  .bits,
              0u);
    EXPECT_EQ(parseModifiers("[1]").bits, 0u);
}

TEST(RouteRequest, ReportsEachMalformedPartWithItsDebugValue) {
    EXPECT_EQ(seedError("[1]"), R"("seed must be an object")");
    EXPECT_EQ(seedError(R"([{"terminal":1,"cost":1,"constraints":{}}])"),
              R"({"msg":"terminal name must be a string","json":"{\"terminal\":1,\"cost\":1,\"constraints\":{}}]"})");
    EXPECT_EQ(seedError(R"([{"terminal":"PFI0","srcDeviceToken":2,"cost":1,"constraints":{}}])"),
              R"({"msg":"srcDeviceToken name must be a string","json":"{\"terminal\":\"PFI0\",\"srcDeviceToken\":2,\"cost\":1,\"constraints\":{}}]"})");
    EXPECT_EQ(seedError(R"([{"terminal":"PFI0","cost":"1","constraints":{}}])"),
              R"({"msg":"cost must be a number","json":"{\"terminal\":\"PFI0\",\"cost\":\"1\",\"constraints\":{}}]"})");
    EXPECT_EQ(seedError("[{}]"), R"({"msg":"terminal field missing","json":"{}]"})");
    EXPECT_EQ(seedError(R"([{"terminal":"PFI0","constraints":{}}])"),
              R"({"msg":"cost field missing or invalid","json":"{\"terminal\":\"PFI0\",\"constraints\":{}}]"})");
    EXPECT_EQ(seedError(R"([{"terminal":"PFI0","cost":1}])"),
              R"({"msg":"constraints field missing","json":"{\"terminal\":\"PFI0\",\"cost\":1}]"})");
    EXPECT_EQ(seedError(R"([{"terminal":"PFI0","cost":1,"constraints":{"inversionNeeded":1}}])"),
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
    try {
        parseDestinations("[\"a\\\"b\",\t\n7]", terminals());
        ADD_FAILURE();
    } catch (const qverr::Exception& e) {
        qverr::json::Token token;
        ASSERT_NE(qverr::json::parseValue(e.status.jsonText(), token), nullptr) << e.status.jsonText();
        EXPECT_EQ(token.type, qverr::json::kTokenObject);
    }
}

TEST(RouteResponse, WritesCompactTexts) {
    const RoutePathEntry entries[] = {
        {5, 14, 2, 0, 0, {}},
        {5, 9999, 3, 1, 1, {}},
    };
    EXPECT_STREQ(formatRouteResult(entries, terminals()).text(),
                 R"([{"ticket":5,"destination":"PFI0","cost":2,"indexOfStartingSeed":0,"constraints":{}},)"
                 R"({"ticket":5,"destination":"","cost":3,"indexOfStartingSeed":1,"constraints":{"inversionNeeded":true}}])");
    EXPECT_STREQ(formatRouteResult({}, terminals()).text(), "[]");
    EXPECT_STREQ(formatHandledConstraints().text(), R"(["inversionNeeded"])");
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
    EXPECT_EQ(codeOf([&] { handEmptyToHost(refuse, &untouched); }), -52000);
    EXPECT_EQ(untouched, nullptr);
    EXPECT_EQ(codeOf([] { handEmptyToHost(&std::realloc, nullptr); }), -52005);
}

}  // namespace
