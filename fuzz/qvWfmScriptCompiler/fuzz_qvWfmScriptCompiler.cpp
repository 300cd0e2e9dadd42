// Script text plus settings bytes through lexer, parser, validator and
// translators: every input ends in compiled scripts that keep their
// invariants or in a qverr::Exception with a known code and its context.
//
// Input: byte 0 alignment quantum (0..31), byte 1 minimum wait length,
// byte 2 flags (1 marker id 8, 2 script trigger 7, 4 marker tables,
// 8 no script triggers, 16 script trigger 9), byte 3 a table position,
// then the script text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string_view>

#include "ScriptSupport.h"
#include "qvWfmScriptCompiler/ScriptCompiler.h"
#include "qvWfmScriptCompiler/errors.h"
#include "qverr/Exception.h"
#include "qvmxl/errors.h"

namespace {

using namespace qvwfmscriptcompiler;
namespace errors = qvwfmscriptcompiler_errors;

const std::set<int32_t> kKnownCodes = {
    errors::kErrorKeywordExpectedInScript,
    errors::kErrorScriptHasInvalidIdentifier,
    errors::kErrorIntegerExpectedInScript,
    errors::kErrorInvalidSubsetLengthInScript,
    errors::kErrorInvalidLoopIterationsInScript,
    errors::kErrorScriptHasInvalidCharacter,
    errors::kErrorRepeatLoopNestingTooDeepInScript,
    errors::kErrorMarkerPositionOutsideSubsetInScript,
    errors::kErrorLoopOrProcedureWithNoSamplesGenerated,
    errors::kErrorClearIsLastInstructionOfLoopInScript,
    errors::kErrorMarkerNotSupportedInWait,
    errors::kErrorMarkerPositionNotMultipleOfQuantum,
    errors::kErrorSubsetLengthNotMultipleOfQuantum,
    errors::kErrorStartOffsetNotMultipleOfQuantum,
    errors::kErrorNumSamplesToWaitNotMultipleOfQuantum,
    errors::kErrorNumSampsToWaitNotGreaterThanMinWaitLengthInScript,
    errors::kErrorMarkerIdentifierNotSupported,
    qvmxl::kErrorSoftwareFault,         // script trigger id 9
    qverr::qvapalerr_invalidParameter,  // quantum 0
};

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) {
        return 0;
    }
    ScriptCompileSettings settings = scripttest::engineSettings();
    settings.alignmentQuantum = data[0] & 0x1F;
    settings.minimumWaitLength = data[1];
    const uint8_t flags = data[2];
    if (flags & 1) settings.markerDictionary["marker8"] = 8;
    if (flags & 2) settings.scriptTriggerDictionary["scripttrigger7"] = 7;
    if (flags & 8) settings.scriptTriggerDictionary.clear();
    if (flags & 16) settings.scriptTriggerDictionary["scripttrigger9"] = 9;
    const std::string_view text(reinterpret_cast<const char*>(data + 4), size - 4);

    ScriptCompiler compiler(settings);
    try {
        std::vector<CompiledScript> scripts;
        if (flags & 4) {
            scripts = compiler.compile(text, {"a", "w", "b", "w"},
                                       {"marker1", "marker0", "MARKER2", "marker8"},
                                       {{0, data[3]}, {8, 16}, {4294967295u}, {data[3]}});
        } else {
            scripts = compiler.compile(text);
        }
        const std::string broken = scripttest::checkInvariants(scripts, settings);
        if (!broken.empty()) {
            fail("invariant", broken);
        }
    } catch (const qverr::Exception& error) {
        if (kKnownCodes.count(error.status.code) == 0) {
            fail("unknown code", std::to_string(error.status.code));
        }
        if (std::strstr(error.what(), "ordered_data") == nullptr) {
            fail("no error context", error.what());
        }
    }
    // Nothing of this input reaches the next compile.
    if (settings.alignmentQuantum != 0) {
        const auto next = compiler.compile("script z generate a end script");
        if (next.size() != 1 || next[0].steps[0].segments[0].clearMask != 0) {
            fail("state", "a clear outlived its compile");
        }
    }
    return 0;
}
