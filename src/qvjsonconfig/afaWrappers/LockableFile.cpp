#include "qvjsonconfig/afaWrappers/LockableFile.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <new>

#include "qverr/DetailWriter.h"
#include "qvapal/status/tStatus.h"
#include "qverr/Exception.h"
#include "qvmxl/qvmxl.h"

namespace qvjsonconfig {

namespace {

constexpr const char* kComponent = "internal_sdi_hal23u";
// Source name reported by this file's raise sites.
constexpr const char* kSource = "LockableFile";
constexpr int kOpenAttempts = 6;
constexpr long kRetryDelayNs = 10000000;
constexpr size_t kReadBlock = 128;

void sleepRetryDelay() {
    timespec delay{0, kRetryDelayNs};
    timespec remaining{};
    while (nanosleep(&delay, &remaining) != 0 && errno == EINTR) delay = remaining;
}

// Raises code with the file-failure context: a comment, the path when
// given, and the errno record when err is not 0.
[[noreturn]] void throwWithContext(int32_t code, const qverr::SourceLocation& location,
                                   const char* comment, const char* path, int err) {
    qverr::Status status;
    status.setCode(code, location);
    qvmxl::Writer writer = qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status);
    writer = qvmxl::writeComment(writer, comment);
    if (path != nullptr) {
        writer = qvmxl::writeUsageParam(writer,
                                        qvmxl::UsageParam<const char*>{"kUsageTypeFilePath", path});
    }
    if (err != 0) qverr::DetailWriter(status).errnoRecord(err);
    qverr::throwStatus(std::move(status));
}

}  // namespace

FILE* LockableFile::open(const char* path, bool createIfMissing) {
    if (path == nullptr) {
        qverr::throwError(
            qverr::qvapalerr_invalidParameter,
            QVERR_FIXED_LOCATION(kSource, 91, kComponent, "qvapalerr_invalidParameter"));
    }
    FILE* stream = fopen(path, "r+be");
    if (stream != nullptr) return stream;
    if (!createIfMissing) {
        throwWithContext(nQVAPALS100::tStatus::kResourceNotFound,
                         QVERR_FIXED_LOCATION(kSource, 91, kComponent,
                                              "nQVAPALS100::tStatus::kResourceNotFound"),
                         "Failed to open file", path, 0);
    }
    int err = errno;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        LockableFile::createIfMissing(path);
        stream = fopen(path, "r+be");
        if (stream != nullptr) return stream;
        err = errno;
        sleepRetryDelay();
    }
    throwWithContext(
        nQVAPALS100::tStatus::kResourceNotFound,
        QVERR_FIXED_LOCATION(kSource, 116, kComponent, "nQVAPALS100::tStatus::kResourceNotFound"),
        "Failed to open file", path, err);
}

LockableFile::LockableFile(const char* path, bool createIfMissing)
    : stream_(open(path, createIfMissing), &fclose), mutex_(), fileLock_(stream_.get()) {}

LockableFile::~LockableFile() = default;

void LockableFile::createIfMissing(const char* path) {
    const int fd = ::open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return;
    // The process umask must not narrow the mode: every user's process
    // shares this file.
    (void)fchmod(fd, 0666);
    (void)fsync(fd);
    close(fd);
}

void LockableFile::lock() {
    mutex_.lock();
    try {
        fileLock_.lock();
    } catch (...) {
        mutex_.unlock();
        throw;
    }
}

void LockableFile::unlock() {
    fileLock_.unlock();
    mutex_.unlock();
}

void LockableFile::read(std::string& out) {
    out.clear();
    rewind(stream_.get());
    char block[kReadBlock];
    for (;;) {
        const size_t got = fread(block, 1, sizeof block, stream_.get());
        out.append(block, got);
        if (got < sizeof block) break;
    }
    if (ferror(stream_.get())) {
        throwWithContext(
            nQVAPALS100::tStatus::kEndOfData,
            QVERR_FIXED_LOCATION(kSource, 239, kComponent, "nQVAPALS100::tStatus::kEndOfData"),
            "Failed to read file", nullptr, errno);
    }
}

void LockableFile::throwFileError(const char* comment, int err,
                                  const qverr::SourceLocation& location) {
    // Bytes still buffered must not reach the file later, at close.
    __fpurge(stream_.get());
    clearerr(stream_.get());
    throwWithContext(nQVAPALS100::tStatus::kEndOfData, location, comment, nullptr, err);
}

void LockableFile::write(const char* begin, const char* end) {
    const size_t count = (begin != nullptr && end > begin) ? static_cast<size_t>(end - begin) : 0;
    const int fd = fileno(stream_.get());
    rewind(stream_.get());

    // Claim the room for the new content before any old byte is
    // overwritten: a full disk or a file-size limit then fails here, with
    // the old content still whole.
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        throwFileError(
            "Failed to write file", errno,
            QVERR_FIXED_LOCATION(kSource, 185, kComponent, "nQVAPALS100::tStatus::kEndOfData"));
    }
    const off_t oldSize = info.st_size;
    if (static_cast<off_t>(count) > oldSize) {
        const int err = posix_fallocate(fd, 0, static_cast<off_t>(count));
        if (err != 0) {
            struct stat after {};
            if (fstat(fd, &after) == 0 && after.st_size != oldSize) (void)ftruncate(fd, oldSize);
            throwFileError(
                "Failed to write file", err,
                QVERR_FIXED_LOCATION(kSource, 185, kComponent, "nQVAPALS100::tStatus::kEndOfData"));
        }
    }

    if (count > 0 && fwrite(begin, 1, count, stream_.get()) != count) {
        throwFileError(
            "Failed to write file", errno,
            QVERR_FIXED_LOCATION(kSource, 185, kComponent, "nQVAPALS100::tStatus::kEndOfData"));
    }
    if (fflush(stream_.get()) != 0) {
        throwFileError(
            "Failed to flush file", errno,
            QVERR_FIXED_LOCATION(kSource, 212, kComponent, "nQVAPALS100::tStatus::kEndOfData"));
    }
    if (ftruncate(fd, static_cast<off_t>(count)) != 0) {
        throwFileError(
            "Failed to truncate file", errno,
            QVERR_FIXED_LOCATION(kSource, 200, kComponent, "nQVAPALS100::tStatus::kEndOfData"));
    }
    if (fsync(fd) != 0) {
        throwFileError(
            "Failed to fsync file", errno,
            QVERR_FIXED_LOCATION(kSource, 206, kComponent, "nQVAPALS100::tStatus::kEndOfData"));
    }
    if (ferror(stream_.get())) {
        throwFileError(
            "Failed to flush file", errno,
            QVERR_FIXED_LOCATION(kSource, 212, kComponent, "nQVAPALS100::tStatus::kEndOfData"));
    }
}

}  // namespace qvjsonconfig
