#include "HALUtilities/ErrorHandling.h"

#include <new>
#include <stdexcept>
#include <system_error>
#include <typeinfo>

#include "HALUtilities/ContextHandle.h"
#include "qverr/DetailWriter.h"

namespace qv3377hal {
namespace {

constexpr const char* kFile = "HALUtilities/ErrorHandling.h";

}  // namespace

const qverr::SourceLocation kOutOfMemoryLocation{kFile, 105, kComponent, "qvapalerr_memoryFull"};
const qverr::SourceLocation kStdExceptionLocation{kFile, 114, kComponent,
                                                  "qvapalerr_softwareFaultAPALInternalUseOnly"};
const qverr::SourceLocation kUnknownExceptionLocation{kFile, 121, kComponent,
                                                      "qvapalerr_softwareFaultAPALInternalUseOnly"};
const qverr::SourceLocation kNullArgumentLocation{kFile, 134, kComponent,
                                                  "qvapalerr_invalidParameter"};

void throwNullArgument() {
    throw qverr::Exception(qverr::qvapalerr_invalidParameter, kNullArgumentLocation);
}

void throwNullArgument(const char* operation, const char* problem) {
    qverr::throwWithMessage(qverr::qvapalerr_invalidParameter, kNullArgumentLocation, operation,
                            problem);
}

const HandleRefusal kSessionPtrRefusal{kNullArgumentLocation, "sessionPtrFromHandle"};

void throwInvalidHandle(uint64_t handle, const HandleRefusal& refusal) {
    if (handle == 0 && refusal.nullText == nullptr)
        throw qverr::Exception(qverr::qvapalerr_invalidParameter, refusal.location);
    qverr::throwWithMessage(qverr::qvapalerr_invalidParameter, refusal.location, refusal.key,
                            handle == 0 ? refusal.nullText : "unknown handle");
}

namespace {

constexpr qverr::SourceLocation kInvalidDevice{"DeviceHALImpl/DeviceHALSession.cpp", 923,
                                               kComponent, "qvapalerr_invalidParameter"};
const HandleRefusal kDeviceRefusal{kInvalidDevice, "sessionPtrFromHandle", "null input"};

}  // namespace

DeviceSession* sessionPtrFromHandle(uint64_t handle) {
    return objectFromHandle<DeviceSession>(handle, HandleKind::deviceSession, kDeviceRefusal);
}

DeviceSession* takeSessionFromHandle(uint64_t handle) {
    DeviceSession* session =
        takeObjectFromHandle<DeviceSession>(handle, HandleKind::deviceSession, kDeviceRefusal);
    // Its contexts go with it: no family handle outlives the objects.
    dropOwnedBy(handle, HandleKind::deviceSession);
    return session;
}

namespace {

// The code of a raise; the detail the raise builds is freed at once.
int32_t raised(int32_t code, const qverr::SourceLocation& location) noexcept {
    qverr::Status local;
    local.setCode(code, location);
    return code;
}

// A status exception that reports no error would turn a failure into
// success at the boundary: it counts as a software fault.
int32_t failureCode(int32_t code) {
    return code == 0 ? qverr::qvapalerr_softwareFaultAPALInternalUseOnly : code;
}

}  // namespace

int32_t codeOfCurrentException() noexcept {
    try {
        throw;
    } catch (const qverr::ExceptionBase& e) {
        return failureCode(e.status.code);
    } catch (const std::bad_alloc&) {
        return raised(qverr::qvapalerr_memoryFull, kOutOfMemoryLocation);
    } catch (const std::exception&) {
        return raised(qverr::qvapalerr_softwareFaultAPALInternalUseOnly, kStdExceptionLocation);
    } catch (...) {
        return raised(qverr::qvapalerr_softwareFaultAPALInternalUseOnly, kUnknownExceptionLocation);
    }
}

void mergeCurrentException(qverr::Status& status) noexcept {
    try {
        throw;
    } catch (qverr::ExceptionBase& e) {
        if (e.status.code == 0) {
            status.setCodeOnly(qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
        } else {
            status.mergeMove(e.status);
        }
    } catch (const std::bad_alloc&) {
        status.setCodeOnly(qverr::qvapalerr_memoryFull);
    } catch (...) {
        status.setCodeOnly(qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    }
}

void storeCurrentException(nQVAPALS100::tStatus& status, const char* component, const char* file,
                           uint64_t line) noexcept {
    int64_t code = qverr::qvapalerr_softwareFaultAPALInternalUseOnly;
    try {
        throw;
    } catch (const qverr::ExceptionBase& e) {
        qverr::copyStatusToTStatus(e.status, status);
    } catch (const std::bad_alloc&) {
        code = qverr::qvapalerr_memoryFull;
    } catch (const std::invalid_argument&) {
        code = qverr::qvapalerr_invalidParameter;
    } catch (const std::bad_cast&) {
        code = qverr::kStatusFailedCast;
    } catch (const std::system_error&) {
        code = qverr::qvapalerr_osFault;
    } catch (...) {
    }
    // After a status exception this offer is ignored unless it held no error.
    status.setCode(code, component, file, line);
}

}  // namespace qv3377hal
