// The platform codes' values, typed in from their definition: every name the
// library raises or tests compare against must hold the agreed value, so a
// wrong constant fails here rather than agreeing with itself everywhere else.
#include <gtest/gtest.h>

#include "qvapal/status/tStatus.h"
#include "qverr/Codes.h"
#include "support/NamedCodes.h"

namespace {

TEST(PlatformCodes, EveryNamedCodeHasItsAgreedValue) {
    using namespace qverr;
    using nQVAPALS100::tStatus;
    qvtest::expectAgreedValues({
        QV_NAMED_CODE(qvapalerr_memoryFull, -52000),
        QV_NAMED_CODE(qvapalerr_featureUnsupported, -52002),
        QV_NAMED_CODE(qvapalerr_softwareFaultAPALInternalUseOnly, -52003),
        QV_NAMED_CODE(kStatusFailedCast, -52004),
        QV_NAMED_CODE(qvapalerr_invalidParameter, -52005),
        QV_NAMED_CODE(qvapalerr_resourceNotFound, -52006),
        QV_NAMED_CODE(qvapalerr_operationTimedOut, -52007),
        QV_NAMED_CODE(qvapalerr_osFault, -52008),
        QV_NAMED_CODE(qvapalerr_resourceNotInitialized, -52010),
        QV_NAMED_CODE(kStatusAlreadyInProgress, -52011),
        QV_NAMED_CODE(kStatusEndOfData, -52012),
        QV_NAMED_CODE(qvapalerr_objectNameCollision, -52013),
        QV_NAMED_CODE(kStatusOwnerDied, -52014),
        QV_NAMED_CODE(kStatusDeadlock, -52015),
        QV_NAMED_CODE(kStatusAlreadyStarted, -52016),
        QV_NAMED_CODE(qvapalerr_bufferTooSmall, -52019),
        QV_NAMED_CODE(kStatusIdentifierRemoved, -52020),
        QV_NAMED_CODE(kStatusConnectionAborted, -52023),
        QV_NAMED_CODE(kStatusIOError, -52024),
        QV_NAMED_CODE(kStatusInterrupted, -52025),
        QV_NAMED_CODE(kStatusPermissionDenied, -52026),
        QV_NAMED_CODE(kStatusInvalidUTF8, -52027),
        QV_NAMED_CODE(qvapalerr_unsupportedFormat, -52029),
        QV_NAMED_CODE(qvapalerr_resourceBusy, -52031),
        QV_NAMED_CODE(qvpalerr_badSelector, -50003),
        QV_NAMED_CODE(tStatus::kMemoryFull, -52000),
        QV_NAMED_CODE(tStatus::kResourceNotFound, -52006),
        QV_NAMED_CODE(tStatus::kEndOfData, -52012),
    });
}

}  // namespace
