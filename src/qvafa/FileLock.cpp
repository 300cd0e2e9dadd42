#include "qvafa/FileLock.h"

#include <sys/file.h>

#include <cerrno>
#include <exception>

#include "qverr/DetailWriter.h"
#include "qverr/Exception.h"

namespace qvafa {

namespace {
constexpr const char* kComponent = "internal_sdi_hal23u";

int32_t descriptorOf(FILE* stream) {
    return stream != nullptr ? fileno(stream) : -1;
}
}  // namespace

namespace internal {

void FileLockImpl::lock(qverr::Status& status) {
    if (status.isError()) return;
    if (depth_.load(std::memory_order_relaxed) > 0) {
        depth_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    int result;
    do {
        result = flock(fd_, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int err = errno;
        if (status.setCode(qverr::qvapalerr_osFault,
                           QVERR_LOCATION(kComponent, "qvapalerr_osFault"))) {
            qverr::DetailWriter(status).errnoRecord(err);
        }
        return;
    }
    depth_.store(1, std::memory_order_relaxed);
}

void FileLockImpl::unlock() {
    const uint32_t depth = depth_.load(std::memory_order_relaxed);
    if (depth == 0) return;
    depth_.store(depth - 1, std::memory_order_relaxed);
    if (depth > 1) return;
    while (flock(fd_, LOCK_UN) != 0 && errno == EINTR) {
    }
}

}  // namespace internal

FileLock::FileLock(FILE* stream) : impl_(descriptorOf(stream)) {
    if (stream == nullptr || descriptorOf(stream) < 0) {
        QVERR_THROW(kComponent, qverr::qvapalerr_invalidParameter, "qvapalerr_invalidParameter");
    }
}

void FileLock::lock() {
    qverr::Status status;
    impl_.lock(status);
    if (status.isError() && std::uncaught_exceptions() == 0) {
        qverr::throwStatus(std::move(status));
    }
}

void FileLock::unlock() {
    impl_.unlock();
}

}  // namespace qvafa
