// The platform status codes, in one place: the status record, the platform
// status record, the library and the simulated platform raise them, and
// tests compare against these names. Header only and without dependencies,
// so the lowest layer can include it too.
#pragma once

#include <cstdint>

namespace qverr {

// Platform status codes.
inline constexpr int32_t qvapalerr_memoryFull = -52000;
inline constexpr int32_t qvapalerr_featureUnsupported = -52002;
inline constexpr int32_t qvapalerr_softwareFaultAPALInternalUseOnly = -52003;
inline constexpr int32_t kStatusFailedCast = -52004;
inline constexpr int32_t qvapalerr_invalidParameter = -52005;
inline constexpr int32_t qvapalerr_resourceNotFound = -52006;
inline constexpr int32_t qvapalerr_operationTimedOut = -52007;
inline constexpr int32_t qvapalerr_osFault = -52008;
inline constexpr int32_t qvapalerr_resourceNotInitialized = -52010;
inline constexpr int32_t kStatusAlreadyInProgress = -52011;
inline constexpr int32_t kStatusEndOfData = -52012;
inline constexpr int32_t qvapalerr_objectNameCollision = -52013;
inline constexpr int32_t kStatusOwnerDied = -52014;
inline constexpr int32_t kStatusDeadlock = -52015;
inline constexpr int32_t kStatusAlreadyStarted = -52016;
inline constexpr int32_t qvapalerr_bufferTooSmall = -52019;
inline constexpr int32_t kStatusIdentifierRemoved = -52020;
inline constexpr int32_t kStatusConnectionAborted = -52023;
inline constexpr int32_t kStatusIOError = -52024;
inline constexpr int32_t kStatusInterrupted = -52025;
inline constexpr int32_t kStatusPermissionDenied = -52026;
inline constexpr int32_t kStatusInvalidUTF8 = -52027;
inline constexpr int32_t qvapalerr_unsupportedFormat = -52029;
inline constexpr int32_t qvapalerr_resourceBusy = -52031;
// Selector outside the values an operation knows.
inline constexpr int32_t qvpalerr_badSelector = -50003;

}  // namespace qverr
