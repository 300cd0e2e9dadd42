// What the golden corpus cannot show: state kept between compiles, trees
// too deep for recursion and trees built by hand.
#include <gtest/gtest.h>

#include "ScriptDump.h"
#include "qvWfmScriptCompiler/Parser.h"
#include "qvWfmScriptCompiler/errors.h"
#include "qvmxl/errors.h"

namespace scripttest {
namespace {

using namespace qvwfmscriptcompiler;
namespace errors = qvwfmscriptcompiler_errors;

// The first line of the dump: "error <constant> <code>" for an error.
std::string headOf(const std::string& dump) {
    return dump.substr(0, dump.find('\n'));
}

class CompilerState : public ::testing::Test {
protected:
    ScriptCompileSettings settings_ = engineSettings();
    ScriptCompiler compiler_{settings_};
};

TEST_F(CompilerState, ClearsDoNotCarryIntoTheNextCompile) {
    const std::string next = "script n generate b end script";
    const std::string plain = compileAndDump(compiler_, next);
    ASSERT_EQ(plain.find("clear=0x00"), plain.find("clear="));

    // A trailing clear is dropped at the end of its script.
    compiler_.compile("script t generate a clear scripttrigger2 end script");
    EXPECT_EQ(plain, compileAndDump(compiler_, next));

    // A compile that fails between a clear and its segment leaves nothing behind.
    settings_.minimumWaitLength = 16;
    EXPECT_EQ("error kErrorNumSampsToWaitNotGreaterThanMinWaitLengthInScript -1074101549",
              headOf(compileAndDump(compiler_,
                                    "script f generate a clear scripttrigger1 wait 8 end script")));
    EXPECT_EQ(plain, compileAndDump(compiler_, next));
}

TEST_F(CompilerState, MarkerTablesServeOnlyTheirOwnParse) {
    const MarkerTables tables{{"w"}, {"marker1"}, {{0, 64}}};
    const std::string text = "script s generate w end script";
    EXPECT_NE(std::string::npos, compileAndDump(compiler_, text, &tables).find("[0:0x02 64:0x02]"));
    EXPECT_NE(std::string::npos, compileAndDump(compiler_, text).find("markers=[]"));

    // Also after a parse with tables failed.
    const MarkerTables unknown{{"w"}, {"nomarker"}, {{0}}};
    EXPECT_EQ("error kErrorMarkerIdentifierNotSupported -1074101548",
              headOf(compileAndDump(compiler_, text, &unknown)));
    EXPECT_EQ("script s", headOf(compileAndDump(compiler_, text)));
    const MarkerTables unequal{{"w", "v"}, {"marker1"}, {{0}}};
    EXPECT_EQ("error qvapalerr_invalidParameter -52005",
              headOf(compileAndDump(compiler_, text, &unequal)));
}

// Hostile depth is cut off while parsing, at the first repeat beyond the
// parser's bound of 64 levels: line 2 holds the outermost repeat, so the
// 65th, which is refused, stands on line 66.
TEST_F(CompilerState, DeeplyNestedTextFailsAtTheParsersBound) {
    std::string text = "script s\n";
    constexpr int kDepth = 200000;
    for (int i = 0; i < kDepth; ++i) text += "repeat 2\n";
    text += "generate a\n";
    for (int i = 0; i < kDepth; ++i) text += "end repeat\n";
    text += "end script\n";
    const std::string dump = compileAndDump(compiler_, text);
    EXPECT_EQ("error kErrorRepeatLoopNestingTooDeepInScript -1074101560", headOf(dump));
    EXPECT_NE(std::string::npos, dump.find("kUsageTypeLineNumber uint32_t 66\n")) << dump;
}

// A parse keeps its tree's storage with the tree: the tree outlives the
// parser that made it, and takes nodes and lists made elsewhere (which the
// sanitizer build checks are released exactly once).
TEST(ParsedTrees, OutliveTheirParserAndTakeNodesMadeElsewhere) {
    const ScriptCompileSettings settings = engineSettings();
    std::unique_ptr<iParseTree> tree;
    {
        const auto parser = ParserFactory::createParser(settings);
        tree = parser->parse("script s generate a marker1(0) generate b end script");
        EXPECT_THROW(parser->parse("script t generate c marker1(0 end script"), qverr::Exception);
    }
    auto& collection = dynamic_cast<ProcedureCollection&>(*tree);
    auto& instructions = collection.procedures.at(0)->instructions;
    auto made = std::make_unique<GenerateInstruction>();
    made->type = kInstructionGenerate;
    made->waveformName = std::string(40, 'w');
    auto marker = std::make_unique<MarkerModifier>();
    marker->marker = 2;
    marker->positions = {8, 16};
    made->markers.push_back(std::move(marker));
    instructions.push_back(std::move(made));
    // The parsed generate gets a list made here, the made one the parsed list.
    auto& parsed = dynamic_cast<GenerateInstruction&>(*instructions.at(0));
    parsed.markers.at(0)->positions = {0, 4, 24};
    std::swap(parsed.markers, dynamic_cast<GenerateInstruction&>(*instructions.back()).markers);

    InstructionContainerNestingPolicies policies;
    InstructionValidator validator(settings);
    FetchInstructionTranslator fetch(validator);
    InstructionTranslator translator(settings, policies, fetch, validator);
    InstructionContainerTranslator containers(settings, policies, translator, validator);
    SequenceGenerator generator(settings, policies, containers, validator);
    std::vector<CompiledScript> scripts;
    generator.generate(*tree, scripts);
    EXPECT_EQ(
        "script s\n"
        "  step type=0 count=1 trigger=0 clear-before=0x00\n"
        "    generate \"a\" trigger=0 offset=0 length=-1 clear=0x00 markers=[8:0x04 16:0x04]\n"
        "    generate \"b\" trigger=0 offset=0 length=-1 clear=0x00 markers=[]\n"
        "    generate \"" +
            std::string(40, 'w') +
            "\" trigger=0 offset=0 length=-1 clear=0x00 markers=[0:0x02 4:0x02 24:0x02]\n",
        dumpScripts(scripts));
}

// A node of the parse tree as a caller builds it by hand.
template <class Node>
std::unique_ptr<Node> node(uint32_t type) {
    auto made = std::make_unique<Node>();
    made->type = type;
    return made;
}

// A chain of repeats as deep as a caller may build it by hand.
std::unique_ptr<NamedProcedure> deepProcedure(int depth) {
    auto procedure = std::make_unique<NamedProcedure>();
    InstructionContainer* container = procedure.get();
    for (int i = 0; i < depth; ++i) {
        auto repeat = node<RepeatInstruction>(kInstructionRepeat);
        repeat->iterations = 2;
        repeat->line = static_cast<uint32_t>(i + 1);
        InstructionContainer* body = repeat.get();
        container->instructions.push_back(std::move(repeat));
        container = body;
    }
    container->instructions.push_back(node<GenerateInstruction>(kInstructionGenerate));
    return procedure;
}

class HandBuiltTrees : public ::testing::Test {
protected:
    int32_t generateError(const iParseTree& tree) {
        std::vector<CompiledScript> scripts;
        try {
            generator_.generate(tree, scripts);
        } catch (const qverr::Exception& error) {
            lastError_ = dumpError(error);
            return error.status.code;
        }
        return 0;
    }
    // A generate, then `second`, in a collection of one procedure.
    int32_t errorAfterGenerate(std::unique_ptr<Instruction> second) {
        auto procedure = std::make_unique<NamedProcedure>();
        procedure->instructions.push_back(node<GenerateInstruction>(kInstructionGenerate));
        procedure->instructions.push_back(std::move(second));
        ProcedureCollection collection;
        collection.procedures.push_back(std::move(procedure));
        return generateError(collection);
    }

    std::string lastError_;
    ScriptCompileSettings settings_ = engineSettings();
    InstructionContainerNestingPolicies policies_;
    InstructionValidator validator_{settings_};
    FetchInstructionTranslator fetch_{validator_};
    InstructionTranslator instructions_{settings_, policies_, fetch_, validator_};
    InstructionContainerTranslator containers_{settings_, policies_, instructions_, validator_};
    SequenceGenerator generator_{settings_, policies_, containers_, validator_};
};

TEST_F(HandBuiltTrees, DeepTreesAreTranslatedAndFreedWithoutDeepRecursion) {
    ProcedureCollection collection;
    collection.procedures.push_back(deepProcedure(1000000));
    EXPECT_EQ(errors::kErrorRepeatLoopNestingTooDeepInScript, generateError(collection));
    EXPECT_NE(std::string::npos, lastError_.find("kUsageTypeLineNumber uint32_t 2\n"));
}  // the collection's destructor frees the million levels here

TEST_F(HandBuiltTrees, ImpossibleNodesAreSoftwareFaults) {
    auto clear = node<ClearInstruction>(kInstructionClear);
    clear->scriptTriggers = {8};
    EXPECT_EQ(qvmxl::kErrorSoftwareFault, errorAfterGenerate(std::move(clear)));

    auto repeat = node<RepeatInstruction>(kInstructionRepeat);
    repeat->loopKind = 9;
    repeat->instructions.push_back(node<GenerateInstruction>(kInstructionGenerate));
    EXPECT_EQ(qvmxl::kErrorSoftwareFault, errorAfterGenerate(std::move(repeat)));

    EXPECT_EQ(qvmxl::kErrorSoftwareFault,
              errorAfterGenerate(node<ClearInstruction>(kInstructionGenerate)));  // mislabelled

    auto wait = node<WaitInstruction>(kInstructionWait);
    auto marker = std::make_unique<MarkerModifier>();
    marker->marker = 8;
    marker->positions = {0};
    wait->markers.push_back(std::move(marker));
    EXPECT_EQ(qvmxl::kErrorSoftwareFault, errorAfterGenerate(std::move(wait)));
}

}  // namespace
}  // namespace scripttest
