#include "qvapal/status/tStatus.h"

#include <cerrno>
#include <cstring>

namespace nQVAPALS100 {
namespace {

// Bytes of a caller's record needed to hold the code field.
constexpr uint64_t kCodeEnd = offsetof(tStatus, code) + sizeof(int64_t);

// The one precedence rule: 0 < warning < error, and the first error stays.
bool accepts(int64_t current, int64_t incoming) {
    if (incoming == 0 || current < 0) return false;
    if (current > 0) return incoming < 0;
    return true;
}

// Copies at most `limit` characters of `text` into field[limit + 1] and
// zeroes the rest of the field.
void copyField(char* field, size_t fieldSize, const char* text) {
    size_t length = text ? strnlen(text, fieldSize - 1) : 0;
    memcpy(field, text ? text : "", length);
    memset(field + length, 0, fieldSize - length);
}

// A path too long for the field keeps its head and its tail, which name the
// tree and the file.
void copyFile(char* field, size_t fieldSize, const char* file) {
    const size_t limit = fieldSize - 1;
    const size_t length = file ? strlen(file) : 0;
    if (length <= limit) {
        copyField(field, fieldSize, file);
        return;
    }
    const size_t half = (limit - 2) / 2;
    memcpy(field, file, half);
    memcpy(field + half, "..", 2);
    memcpy(field + half + 2, file + length - half, half);
    memset(field + 2 * half + 2, 0, fieldSize - (2 * half + 2));
}

}  // namespace

int64_t tStatus::getCode() const {
    return structSize >= kCodeEnd ? code : 0;
}

bool tStatus::setCode(int64_t newCode, const char* newComponent, const char* newFile,
                      uint64_t newLine) {
    // A record too small for the code is never written.
    if (structSize < kCodeEnd || !accepts(code, newCode)) return false;
    code = newCode;
    if (!isFullSize()) return true;
    copyField(component, sizeof component, newComponent);
    copyFile(file, sizeof file, newFile);
    line = newLine;
    detail[0] = 0;
    return true;
}

bool tStatus::merge(const tStatus& other) {
    if (&other == this) return false;
    const bool otherFull = other.isFullSize();
    // The other's text fields may fill their whole width without a NUL.
    char otherComponent[sizeof component + 1] = {};
    char otherFile[sizeof file + 1] = {};
    if (otherFull) {
        memcpy(otherComponent, other.component, sizeof component);
        memcpy(otherFile, other.file, sizeof file);
    }
    if (!setCode(other.getCode(), otherComponent, otherFile, otherFull ? other.line : 0)) {
        return false;
    }
    if (otherFull && isFullSize()) {
        for (size_t i = 0; i < sizeof detail / sizeof detail[0]; ++i) {
            detail[i] = other.detail[i];
            if (other.detail[i] == 0) break;
        }
    }
    return true;
}

int32_t errnoToStatusCode(int err) {
    switch (err) {
        case 0:
            return 0;
        case EPERM:
        case EACCES:
        case EROFS:
            return qverr::kStatusPermissionDenied;
        case ENOENT:
        case ESRCH:
        case ENXIO:
        case EBADF:
        case ENODEV:
            return qverr::qvapalerr_resourceNotFound;
        case EINTR:
        case ECONNRESET:
            return qverr::kStatusInterrupted;
        case EIO:
        case EPIPE:
        case EBADMSG:
            return qverr::kStatusIOError;
        case ENOMEM:
        case ENFILE:
        case EMFILE:
            return qverr::qvapalerr_memoryFull;
        case EBUSY:
            return qverr::qvapalerr_resourceBusy;
        case EEXIST:
        case EADDRINUSE:
            return qverr::qvapalerr_objectNameCollision;
        case EINVAL:
            return qverr::qvapalerr_invalidParameter;
        case ENOTTY:
        case ENOTSUP:
            return qverr::qvapalerr_featureUnsupported;
        case ENOSPC:
        case EOVERFLOW:
            return qverr::kStatusEndOfData;
        case EDEADLK:
        case ENOLCK:
            return qverr::kStatusDeadlock;
        case EIDRM:
            return qverr::kStatusIdentifierRemoved;
        case ECONNABORTED:
            return qverr::kStatusConnectionAborted;
        case ENOBUFS:
            return qverr::qvapalerr_bufferTooSmall;
        case ETIMEDOUT:
            return qverr::qvapalerr_operationTimedOut;
        case EALREADY:
        case EINPROGRESS:
            return qverr::kStatusAlreadyInProgress;
        case EOWNERDEAD:
            return qverr::kStatusOwnerDied;
        default:
            return qverr::qvapalerr_osFault;
    }
}

bool setErrnoStatus(tStatus& status, int err, const char* file, uint64_t line) {
    return status.setCode(errnoToStatusCode(err), kPlatformComponent, file, line);
}

}  // namespace nQVAPALS100
