// Dynamic descriptions pinned byte for byte: member order included, which
// follows the Lua tables the scripts build, so a change in how the scripts
// build them shows here.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "qvxlator/XlatorTestSupport.h"
#include "qvxlatormgr/Registry.h"

namespace {

using xlatortest::hostAlloc;
using xlatortest::take;

// Contexts whose renderings are pinned byte for byte: every item kind, the
// attribute and enum paths, values of every JSON type and a rest of nested
// members, whose order follows the decoder's tables.
const char* const kGoldenContexts[] = {
    R"({"error_constant":"qvapalerr_invalidParameter","file":"qvwgen/Waveform.cpp","line":42,)"
    R"("component":"qv3377hal","translator":"mxlator_qv3377HAL","translator_info":{"is_debug":"0",)"
    R"("version":1,"ordered_data":[)"
    R"({"type":"usage","usage":"kUsageTypeWaveformName","value":"wfm0","value_type":"string"},)"
    R"({"type":"usage","usage":"kUsageTypeToken","value":7,"value_type":"uint32_t"},)"
    R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":255,"value_type":"uint32_t"},)"
    R"({"type":"usage","usage":"kUsageTypeAttributeId","value":[4294967296,-1,"x",null,1e300],"value_type":"int64_t"},)"
    R"({"type":"usage","usage":"kUsageTypePossibleValues","value":[1,"two",true,2.5],"value_type":"string"},)"
    R"({"type":"usage","usage":"kUsageTypeBadValue","value":3,"value_type":{"type":"enum","id":1}},)"
    R"({"type":"usage","usage":"kUsageTypeBadValue","value":[3,4],"value_type":{"type":"enum","id":"7"}},)"
    R"({"type":"usage","usage":"kUsageTypeBadValue","value":3,"value_type":{"type":"other"}},)"
    R"({"type":"usage","usage":"kUsageTypeMinValue"},)"
    R"({"type":"usage","usage":"kUsageTypeMaxValue","value":null,"value_type":"double"},)"
    R"({"type":"elaboration","usage":"kAuxTermNone"},)"
    R"({"type":"elaboration","usage":"kAuxTermItemSeparator"},)"
    R"({"type":"header","usage":"kUsageTypeNoSuchKey"},)"
    R"({"type":"header","usage":"kUsageTypeFilePath"},)"
    R"({"type":"empty"},{"type":"comment","comment":"not shown"},5,"text",[1]]},)"
    R"("qvwgen_debug":{"debug":"kept","n":[1,2,{"deep":null}]}})",

    R"({"file":"qvwgen/WaveformTable.cpp","line":321,"component":"qv3377hal",)"
    R"("error_constant":"qvapalerr_invalidParameter","translator":"mxlator_qv3377HAL",)"
    R"("translator_info":{"is_debug":"0","version":1,"ordered_data":[)"
    R"({"type":"usage","usage":"kUsageTypeWaveformName","value":"wfm \"A\"","value_type":"string"},)"
    R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":305441741,"value_type":"uint32_t"},)"
    R"({"type":"usage","usage":"kUsageTypeMinValue","value":-5,"value_type":"int32_t"},)"
    R"({"type":"usage","usage":"kUsageTypeMaxValue","value":"18446744073709551615","value_type":"uint64_t"},)"
    R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":"1.500000e3","value_type":"float"},)"
    R"({"type":"comment","comment":"a comment is not shown"}]}})",

    R"({"other":1,"nested":{"a":[1,2.5,-0,1e300,-1e-300,true,false,"x\u00e9\n\"\\/"],"b":{},"c":[]},)"
    R"("big":18446744073709551615,"neg":-52005,"text":"\u65e5\u672c\ud83d\ude00","line":"7",)"
    R"("file":null,"translator_info":{"ordered_data":{"type":"empty"}},"z":0.1,"y":100000000000000,)"
    R"("x":123456789012345678})",

    R"({"translator_info":{"ordered_data":[{"type":"usage","usage":"kUsageTypeChannelName",)"
    R"("value":"ch0"},{"type":"usage","usage":"kUsageTypeChannelName","value":["a","b"]},)"
    R"({"type":"header","usage":"kUsageTypeInvalidString"},{"type":"usage",)"
    R"("usage":"kUsageTypeConflictingAttr","value":"0x10"},{"type":"usage",)"
    R"("usage":"kUsageTypeUnspecifiedProperty","value":-1},{"type":"usage",)"
    R"("usage":"kUsageTypeAffectedAttribute","value":[0,65535,4294967295]},)"
    R"({"type":"usage","usage":"kUsageTypeConflictingProperty","value":2.9}]},)"
    R"("component":"c","line":1.5})",
};

struct Golden {
    size_t context;
    uint32_t flags;
    std::string text;
};

// data/dynamicDescGolden.txt: one line per rendering, "<context> <flags in
// hex> <text>".
std::vector<Golden> readGoldens() {
    std::ifstream file(QV_GOLDEN_DIR "/dynamicDescGolden.txt");
    std::vector<Golden> goldens;
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        Golden golden;
        fields >> golden.context >> std::hex >> golden.flags;
        fields.get();
        std::getline(fields, golden.text);
        goldens.push_back(golden);
    }
    return goldens;
}

TEST(DynamicDescGolden, RenderingsAreByteIdenticalOnEveryCall) {
    const std::vector<Golden> goldens = readGoldens();
    ASSERT_EQ(goldens.size(), 18u);
    qverr::Status status;
    qvxlator::Translator* translator = qvxlator_exported_create(
        "mxlator_qv3377HAL", qvxlatormgr::kMxlatorRegistrationInfo, &status);
    ASSERT_NE(translator, nullptr) << status.jsonText();
    // Twice over, languages interleaved: what a first call looks up and
    // keeps must not change a later one.
    for (int round = 0; round < 2; ++round) {
        for (const Golden& golden : goldens) {
            ASSERT_LT(golden.context, std::size(kGoldenContexts));
            qverr::Status call;
            const std::string text =
                take(translator->getDynamicDesc(translator, kGoldenContexts[golden.context],
                                                golden.flags, "json1", hostAlloc, nullptr, &call));
            EXPECT_EQ(call.code, 0) << call.jsonText();
            EXPECT_EQ(text, golden.text) << "context " << golden.context << ", flags " << std::hex
                                         << golden.flags << ", round " << round;
        }
    }
    translator->destroy(translator);
}

}  // namespace
