// Context-as-handle families: a family handle is the address of the
// sub-session that device_getContext handed out for the family's context id.
// The device session owns that object; the family's open export only binds
// it to the caller's handle slot and its close export does nothing.
//
// Each family declares its three hooks with QV_CONTEXT_HANDLE_HOOKS and
// defines its two exports, in its own source file, with one of the
// QV_CONTEXT_HANDLE_EXPORTS_* macros.
#pragma once

#include <cstdint>

#include "HALUtilities/ErrorHandling.h"
#include "qverr/DetailWriter.h"

namespace qv3377hal {

// The open export's slot check: the slot must exist and hold 0, else
// -52005 raised at `location` (the family's own source file), its detail
// naming the open export `operation`.
inline void checkEmptyHandleSlot(const uint64_t* handleOut, const qverr::SourceLocation& location,
                                 const char* operation) {
    if (handleOut == nullptr) {
        qverr::throwWithMessage(qverr::qvapalerr_invalidParameter, location, operation,
                                "null handle slot");
    }
    if (*handleOut != 0) {
        qverr::throwWithMessage(qverr::qvapalerr_invalidParameter, location, operation,
                                "handle slot already holds a handle");
    }
}

class DeviceSession;

// The device handle (device_getContext) as its session; a 0 handle throws
// -52005 with the detail "sessionPtrFromHandle": "null input", one that names
// no live session the same with "unknown handle".
DeviceSession* sessionPtrFromHandle(uint64_t handle);
// As sessionPtrFromHandle, for device_close: the handle and its contexts'
// handles are dropped, and the caller deletes the session. Of two closes of
// one handle only the first gets the session.
DeviceSession* takeSessionFromHandle(uint64_t handle);

}  // namespace qv3377hal

// openSession returns the context unchanged (the device handle is not
// examined); closeSession does nothing; sessionPtrFromHandle turns a 0 handle,
// or one that names no live context of the family's KIND (HandleKind), into
// -52005.
#define QV_CONTEXT_HANDLE_HOOKS(NS, TYPE, KIND)                                           \
    namespace NS {                                                                        \
    inline uint64_t openSession(uint64_t /*deviceHandle*/, uint64_t context) {            \
        return context;                                                                   \
    }                                                                                     \
    inline void closeSession(uint64_t /*handle*/) {}                                      \
    inline TYPE* sessionPtrFromHandle(uint64_t handle) {                                  \
        return ::qv3377hal::objectFromHandle<TYPE>(handle, ::qv3377hal::HandleKind::KIND, \
                                                   ::qv3377hal::kSessionPtrRefusal);      \
    }                                                                                     \
    }

// PREFIX_open (return-code style) and PREFIX_close; the open export's
// refusal is raised at SOURCE, LINE.
#define QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE_AT(PREFIX, NS, SOURCE, LINE)                    \
    QV_EXPORT int32_t PREFIX##_open(uint64_t deviceHandle, uint64_t context,                  \
                                    uint64_t* handleOut) {                                    \
        return ::qv3377hal::returnCodeCall(QV_CONTEXT_HANDLE_OPEN(PREFIX, NS, SOURCE, LINE)); \
    }                                                                                         \
    QV_CONTEXT_HANDLE_CLOSE_EXPORT(PREFIX, NS)

// PREFIX_open (status-last style) and PREFIX_close; the open export's
// refusal is raised at SOURCE, LINE.
#define QV_CONTEXT_HANDLE_EXPORTS_STATUS_LAST_AT(PREFIX, NS, SOURCE, LINE)                     \
    QV_EXPORT void PREFIX##_open(uint64_t deviceHandle, uint64_t context, uint64_t* handleOut, \
                                 qverr::Status* status) {                                      \
        ::qv3377hal::statusLastCall(status, QV_CONTEXT_HANDLE_OPEN(PREFIX, NS, SOURCE, LINE)); \
    }                                                                                          \
    QV_CONTEXT_HANDLE_CLOSE_EXPORT(PREFIX, NS)

// What both open styles do, as a lambda over the export's parameters: a
// filled handle slot is refused, else the session's handle is stored there.
#define QV_CONTEXT_HANDLE_OPEN(PREFIX, NS, SOURCE, LINE)                                        \
    [&] {                                                                                       \
        ::qv3377hal::checkEmptyHandleSlot(handleOut, QV_CONTEXT_HANDLE_OPEN_SITE(SOURCE, LINE), \
                                          #PREFIX "_open");                                     \
        *handleOut = NS::openSession(deviceHandle, context);                                    \
    }

#define QV_CONTEXT_HANDLE_CLOSE_EXPORT(PREFIX, NS)   \
    QV_EXPORT void PREFIX##_close(uint64_t handle) { \
        NS::closeSession(handle);                    \
    }

#define QV_CONTEXT_HANDLE_OPEN_SITE(SOURCE, LINE) \
    QVERR_FIXED_LOCATION(SOURCE, LINE, ::qv3377hal::kComponent, "qvapalerr_invalidParameter")

// The same, the refusal raised where the macro is used.
#define QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(PREFIX, NS) \
    QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE_AT(PREFIX, NS, __FILE__, __LINE__)
#define QV_CONTEXT_HANDLE_EXPORTS_STATUS_LAST(PREFIX, NS) \
    QV_CONTEXT_HANDLE_EXPORTS_STATUS_LAST_AT(PREFIX, NS, __FILE__, __LINE__)

// Declarations of the two exports, for the family's header.
#define QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(PREFIX)                                              \
    QV_EXPORT int32_t PREFIX##_open(uint64_t deviceHandle, uint64_t context, uint64_t* handleOut); \
    QV_EXPORT void PREFIX##_close(uint64_t handle);
#define QV_CONTEXT_HANDLE_DECLARE_STATUS_LAST(PREFIX)                                          \
    QV_EXPORT void PREFIX##_open(uint64_t deviceHandle, uint64_t context, uint64_t* handleOut, \
                                 qverr::Status* status);                                       \
    QV_EXPORT void PREFIX##_close(uint64_t handle);
