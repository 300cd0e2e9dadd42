// Error codes of the waveform script compiler.
#pragma once

#include <cstdint>

namespace qvwfmscriptcompiler_errors {

inline constexpr int32_t kErrorKeywordExpectedInScript = -1074101568;
inline constexpr int32_t kErrorScriptHasInvalidIdentifier = -1074101567;
inline constexpr int32_t kErrorIntegerExpectedInScript = -1074101566;
inline constexpr int32_t kErrorInvalidSubsetLengthInScript = -1074101564;
inline constexpr int32_t kErrorInvalidLoopIterationsInScript = -1074101563;
inline constexpr int32_t kErrorScriptHasInvalidCharacter = -1074101561;
inline constexpr int32_t kErrorRepeatLoopNestingTooDeepInScript = -1074101560;
inline constexpr int32_t kErrorMarkerPositionOutsideSubsetInScript = -1074101559;
inline constexpr int32_t kErrorLoopOrProcedureWithNoSamplesGenerated = -1074101557;
inline constexpr int32_t kErrorClearIsLastInstructionOfLoopInScript = -1074101555;
inline constexpr int32_t kErrorMarkerNotSupportedInWait = -1074101554;
inline constexpr int32_t kErrorMarkerPositionNotMultipleOfQuantum = -1074101553;
inline constexpr int32_t kErrorSubsetLengthNotMultipleOfQuantum = -1074101552;
inline constexpr int32_t kErrorStartOffsetNotMultipleOfQuantum = -1074101551;
inline constexpr int32_t kErrorNumSamplesToWaitNotMultipleOfQuantum = -1074101550;
inline constexpr int32_t kErrorNumSampsToWaitNotGreaterThanMinWaitLengthInScript = -1074101549;
inline constexpr int32_t kErrorMarkerIdentifierNotSupported = -1074101548;

}  // namespace qvwfmscriptcompiler_errors
