// What the golden corpus cannot show: state kept between compiles, trees
// too deep for recursion, trees built by hand, and the lexer's end.
#include <gtest/gtest.h>

#include <typeinfo>

#include "ScriptDump.h"
#include "qvWfmScriptCompiler/Lexer.h"
#include "qvWfmScriptCompiler/Parser.h"
#include "qvWfmScriptCompiler/errors.h"
#include "qvmxl/errors.h"

namespace scripttest {
namespace {

using namespace qvwfmscriptcompiler;
namespace errors = qvwfmscriptcompiler_errors;

int32_t errorOf(ScriptCompiler& compiler, std::string_view text, const MarkerTables* tables = nullptr) {
    try {
        if (tables) {
            compiler.compile(text, tables->waveformNames, tables->markerNames, tables->markerPositions);
        } else {
            compiler.compile(text);
        }
    } catch (const qverr::Exception& error) {
        return error.status.code;
    }
    return 0;
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
    EXPECT_EQ(errors::kErrorNumSampsToWaitNotGreaterThanMinWaitLengthInScript,
              errorOf(compiler_, "script f generate a clear scripttrigger1 wait 8 end script"));
    EXPECT_EQ(plain, compileAndDump(compiler_, next));
}

TEST_F(CompilerState, MarkerTablesServeOnlyTheirOwnParse) {
    const MarkerTables tables{{"w"}, {"marker1"}, {{0, 64}}};
    const std::string text = "script s generate w end script";
    EXPECT_NE(std::string::npos, compileAndDump(compiler_, text, &tables).find("[0:0x02 64:0x02]"));
    EXPECT_NE(std::string::npos, compileAndDump(compiler_, text).find("markers=[]"));

    // Also after a parse with tables failed.
    const MarkerTables unknown{{"w"}, {"nomarker"}, {{0}}};
    EXPECT_EQ(errors::kErrorMarkerIdentifierNotSupported, errorOf(compiler_, text, &unknown));
    EXPECT_EQ(0, errorOf(compiler_, text));
}

TEST_F(CompilerState, TablesOfUnequalLengthAreRefused) {
    const MarkerTables tables{{"w", "v"}, {"marker1"}, {{0}}};
    EXPECT_EQ(qverr::qvapalerr_invalidParameter,
              errorOf(compiler_, "script s generate w end script", &tables));
}

// Hostile depth is cut off while parsing, at the first repeat beyond the
// parser's bound (line 2 holds the outermost one).
TEST_F(CompilerState, DeeplyNestedTextFailsAtTheParsersBound) {
    std::string text = "script s\n";
    constexpr int kDepth = 200000;
    for (int i = 0; i < kDepth; ++i) text += "repeat 2\n";
    text += "generate a\n";
    for (int i = 0; i < kDepth; ++i) text += "end repeat\n";
    text += "end script\n";
    try {
        compiler_.compile(text);
        FAIL() << "compiled";
    } catch (const qverr::Exception& error) {
        EXPECT_EQ(errors::kErrorRepeatLoopNestingTooDeepInScript, error.status.code);
        const std::string line = std::to_string(ParserImpl::kMaximumRepeatNesting + 2);
        EXPECT_NE(std::string::npos,
                  dumpError(error).find("kUsageTypeLineNumber uint32_t " + line + "\n"));
    }
}

// A chain of repeats as deep as a caller may build it by hand.
std::unique_ptr<NamedProcedure> deepProcedure(int depth) {
    auto procedure = std::make_unique<NamedProcedure>();
    procedure->name = "deep";
    InstructionContainer* container = procedure.get();
    for (int i = 0; i < depth; ++i) {
        auto repeat = std::make_unique<RepeatInstruction>();
        repeat->type = kInstructionRepeat;
        repeat->iterations = 2;
        repeat->line = static_cast<uint32_t>(i + 1);
        InstructionContainer* body = repeat.get();
        container->instructions.push_back(std::move(repeat));
        container = body;
    }
    auto generate = std::make_unique<GenerateInstruction>();
    generate->type = kInstructionGenerate;
    generate->waveformName = "a";
    container->instructions.push_back(std::move(generate));
    return procedure;
}

TEST(DeepTrees, AreTranslatedAndFreedWithoutDeepRecursion) {
    ProcedureCollection collection;
    collection.procedures.push_back(deepProcedure(1000000));
    const ScriptCompileSettings settings = engineSettings();
    InstructionContainerNestingPolicies policies;
    InstructionValidator validator(settings);
    FetchInstructionTranslator fetch(validator);
    InstructionTranslator instructions(settings, policies, fetch, validator);
    InstructionContainerTranslator containers(settings, policies, instructions, validator);
    SequenceGenerator generator(settings, policies, containers, validator);
    std::vector<CompiledScript> scripts;
    try {
        generator.generate(collection, scripts);
        FAIL() << "translated";
    } catch (const qverr::Exception& error) {
        EXPECT_EQ(errors::kErrorRepeatLoopNestingTooDeepInScript, error.status.code);
        EXPECT_NE(std::string::npos, dumpError(error).find("kUsageTypeLineNumber uint32_t 2\n"));
    }
}  // the collection's destructor frees the million levels here

class HandBuiltTrees : public ::testing::Test {
protected:
    int32_t generateError(const iParseTree& tree) {
        std::vector<CompiledScript> scripts;
        try {
            generator_.generate(tree, scripts);
        } catch (const qverr::Exception& error) {
            return error.status.code;
        }
        return 0;
    }
    static std::unique_ptr<NamedProcedure> procedureOf(std::unique_ptr<Instruction> first) {
        auto procedure = std::make_unique<NamedProcedure>();
        auto generate = std::make_unique<GenerateInstruction>();
        generate->type = kInstructionGenerate;
        procedure->instructions.push_back(std::move(generate));
        procedure->instructions.push_back(std::move(first));
        return procedure;
    }

    ScriptCompileSettings settings_ = engineSettings();
    InstructionContainerNestingPolicies policies_;
    InstructionValidator validator_{settings_};
    FetchInstructionTranslator fetch_{validator_};
    InstructionTranslator instructions_{settings_, policies_, fetch_, validator_};
    InstructionContainerTranslator containers_{settings_, policies_, instructions_, validator_};
    SequenceGenerator generator_{settings_, policies_, containers_, validator_};
};

TEST_F(HandBuiltTrees, OnlyAProcedureCollectionCanBeGenerated) {
    NamedProcedure procedure;
    std::vector<CompiledScript> scripts;
    EXPECT_THROW(generator_.generate(procedure, scripts), std::bad_cast);
}

TEST_F(HandBuiltTrees, ImpossibleNodesAreSoftwareFaults) {
    auto clear = std::make_unique<ClearInstruction>();
    clear->type = kInstructionClear;
    clear->scriptTriggers = {8};
    ProcedureCollection badTrigger;
    badTrigger.procedures.push_back(procedureOf(std::move(clear)));
    EXPECT_EQ(qvmxl::kErrorSoftwareFault, generateError(badTrigger));

    auto repeat = std::make_unique<RepeatInstruction>();
    repeat->type = kInstructionRepeat;
    repeat->loopKind = 9;
    auto body = std::make_unique<GenerateInstruction>();
    body->type = kInstructionGenerate;
    repeat->instructions.push_back(std::move(body));
    ProcedureCollection badLoop;
    badLoop.procedures.push_back(procedureOf(std::move(repeat)));
    EXPECT_EQ(qvmxl::kErrorSoftwareFault, generateError(badLoop));

    auto mislabelled = std::make_unique<ClearInstruction>();
    mislabelled->type = kInstructionGenerate;
    ProcedureCollection badType;
    badType.procedures.push_back(procedureOf(std::move(mislabelled)));
    EXPECT_EQ(qvmxl::kErrorSoftwareFault, generateError(badType));

    auto wait = std::make_unique<WaitInstruction>();
    wait->type = kInstructionWait;
    auto marker = std::make_unique<MarkerModifier>();
    marker->marker = 8;
    marker->positions = {0};
    wait->markers.push_back(std::move(marker));
    ProcedureCollection badMarker;
    badMarker.procedures.push_back(procedureOf(std::move(wait)));
    EXPECT_EQ(qvmxl::kErrorSoftwareFault, generateError(badMarker));
}

TEST(ParserTree, NodesCarryTheirPositionsAndTableMarkersNone) {
    const ScriptCompileSettings settings = engineSettings();
    auto parser = ParserFactory::createParser(settings);
    const auto tree = parser->parse("script s\n  generate w subset(0, 8) marker0(0)\nend script",
                                    {"w"}, {"marker2"}, {{4}});
    const auto& collection = dynamic_cast<const ProcedureCollection&>(*tree);
    ASSERT_EQ(1u, collection.procedures.size());
    const NamedProcedure& procedure = *collection.procedures[0];
    EXPECT_EQ("s", procedure.name);
    EXPECT_EQ(1u, procedure.line);
    ASSERT_EQ(1u, procedure.instructions.size());
    const auto& generate = dynamic_cast<const GenerateInstruction&>(*procedure.instructions[0]);
    EXPECT_EQ(2u, generate.line);
    EXPECT_EQ(3u, generate.positionInLine);
    ASSERT_TRUE(generate.subset);
    EXPECT_EQ(14u, generate.subset->positionInLine);
    ASSERT_EQ(2u, generate.markers.size());
    EXPECT_EQ(27u, generate.markers[0]->positionInLine);
    EXPECT_EQ(2u, generate.markers[1]->marker);
    EXPECT_EQ(0u, generate.markers[1]->line);
    EXPECT_EQ(0u, generate.markers[1]->positionInLine);
    EXPECT_EQ(std::vector<uint32_t>{4}, generate.markers[1]->positions);
}

TEST(LexerEnd, EndOfInputRepeatsForEver) {
    const ScriptCompileSettings settings = engineSettings();
    Lexer lexer(settings);
    lexer.setScript("end\n");
    EXPECT_EQ(kTokenEnd, lexer.nextToken().kind);
    for (int i = 0; i < 3; ++i) {
        const Token token = lexer.nextToken();
        EXPECT_EQ(kTokenEndOfInput, token.kind);
        EXPECT_EQ(2u, token.line);
        EXPECT_EQ(1u, token.column);
    }
    lexer.setScript("x");  // starts over
    const Token token = lexer.nextToken();
    EXPECT_EQ(kTokenWord, token.kind);
    EXPECT_EQ(1u, token.line);
}

}  // namespace
}  // namespace scripttest
