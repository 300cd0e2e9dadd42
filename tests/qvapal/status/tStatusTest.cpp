#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "qvapal/status/tStatus.h"
#include "qverr/Codes.h"

namespace {

using nQVAPALS100::tStatus;

TEST(PlatformStatus, KeepsTheFirstErrorAndCutsItsFields) {
    tStatus status;
    EXPECT_FALSE(status.setCode(0, "c", "f.cpp", 1));
    EXPECT_TRUE(status.setCode(5, "warn", "a.cpp", 10));
    EXPECT_FALSE(status.setCode(6, "warn2", "b.cpp", 11));
    EXPECT_EQ(status.getCode(), 5);
    status.detail[1] = 8;
    const std::string file = std::string(60, 'h') + std::string(60, 't');
    EXPECT_TRUE(
        status.setCode(qverr::qvapalerr_invalidParameter, "internal_sdi_hal23u", file.c_str(), 12));
    EXPECT_FALSE(status.setCode(qverr::qvapalerr_resourceNotFound, "second", "d.cpp", 13));
    EXPECT_FALSE(status.setCode(7, "warn3", "e.cpp", 14));
    EXPECT_EQ(status.getCode(), qverr::qvapalerr_invalidParameter);
    EXPECT_STREQ(status.component, "internal_");
    EXPECT_EQ(std::string(status.file), std::string(49, 'h') + ".." + std::string(49, 't'));
    EXPECT_EQ(status.line, 12u);
    EXPECT_EQ(status.detail[0], 0u);
    EXPECT_EQ(status.detail[1], 8u);
}

// A caller's record is only as large as its structSize says: the bytes
// behind a short record must stay untouched.
struct CallerRecord {
    uint64_t structSize;
    int64_t code;
    unsigned char guard[200];
    explicit CallerRecord(uint64_t size) : structSize(size), code(0) {
        memset(guard, 0xAB, sizeof guard);
    }
    tStatus& status() { return *reinterpret_cast<tStatus*>(this); }
    bool guardIntact() const {
        for (unsigned char byte : guard)
            if (byte != 0xAB) return false;
        return true;
    }
};

TEST(PlatformStatus, ShortRecordsReceiveOnlyTheCode) {
    CallerRecord record(16);
    EXPECT_TRUE(
        record.status().setCode(qverr::qvapalerr_resourceNotFound, "component", "file.cpp", 42));
    EXPECT_EQ(record.code, qverr::qvapalerr_resourceNotFound);
    EXPECT_TRUE(record.guardIntact());

    tStatus full;
    full.setCode(qverr::qvapalerr_invalidParameter, "c", "f", 1);
    CallerRecord target(16);
    EXPECT_TRUE(target.status().merge(full));
    EXPECT_EQ(target.code, qverr::qvapalerr_invalidParameter);
    EXPECT_TRUE(target.guardIntact());

    // Too small even for the code: never read nor written.
    CallerRecord tiny(8);
    tiny.code = 0x1234;
    EXPECT_EQ(tiny.status().getCode(), 0);
    EXPECT_FALSE(nQVAPALS100::setErrnoStatus(tiny.status(), ENOENT, "f", 1));
    EXPECT_EQ(tiny.code, 0x1234);

    // A short source gives its code with no location.
    tStatus fromShort;
    EXPECT_TRUE(fromShort.merge(record.status()));
    EXPECT_EQ(fromShort.getCode(), qverr::qvapalerr_resourceNotFound);
    EXPECT_STREQ(fromShort.file, "");
}

TEST(PlatformStatus, MergeCopiesDetailWordsUpToTheFirstZero) {
    tStatus source;
    source.setCode(qverr::kStatusIOError, "comp", "src.cpp", 77);
    const uint64_t words[] = {1, 2, 0, 99};
    memcpy(source.detail, words, sizeof words);
    tStatus target;
    for (auto& word : target.detail) word = 5;
    EXPECT_TRUE(target.merge(source));
    EXPECT_EQ(target.getCode(), qverr::kStatusIOError);
    EXPECT_STREQ(target.component, "comp");
    EXPECT_EQ(target.line, 77u);
    const uint64_t expected[] = {1, 2, 0, 5};
    EXPECT_EQ(memcmp(target.detail, expected, sizeof expected), 0);

    // Success merges nothing, detail words included.
    tStatus untouched;
    untouched.detail[0] = 3;
    EXPECT_FALSE(untouched.merge(tStatus{}));
    EXPECT_EQ(untouched.detail[0], 3u);

    // Text fields that fill their width without a NUL are read no further.
    tStatus unterminated;
    unterminated.code = -1;
    memset(unterminated.component, 'c', sizeof unterminated.component);
    tStatus bounded;
    bounded.merge(unterminated);
    EXPECT_EQ(std::string(bounded.component), std::string(9, 'c'));
}

// Every row of the mapping, and every other number from 0 to 130 an
// operating-system fault.
TEST(ErrnoMapping, EveryRowOfTheTable) {
    const std::pair<int, int32_t> rows[] = {
        {0, 0},
        {EPERM, qverr::kStatusPermissionDenied},
        {EACCES, qverr::kStatusPermissionDenied},
        {EROFS, qverr::kStatusPermissionDenied},
        {ENOENT, qverr::qvapalerr_resourceNotFound},
        {ESRCH, qverr::qvapalerr_resourceNotFound},
        {ENXIO, qverr::qvapalerr_resourceNotFound},
        {EBADF, qverr::qvapalerr_resourceNotFound},
        {ENODEV, qverr::qvapalerr_resourceNotFound},
        {EINTR, qverr::kStatusInterrupted},
        {ECONNRESET, qverr::kStatusInterrupted},
        {EIO, qverr::kStatusIOError},
        {EPIPE, qverr::kStatusIOError},
        {EBADMSG, qverr::kStatusIOError},
        {ENOMEM, qverr::qvapalerr_memoryFull},
        {ENFILE, qverr::qvapalerr_memoryFull},
        {EMFILE, qverr::qvapalerr_memoryFull},
        {EBUSY, qverr::qvapalerr_resourceBusy},
        {EEXIST, qverr::qvapalerr_objectNameCollision},
        {EADDRINUSE, qverr::qvapalerr_objectNameCollision},
        {EINVAL, qverr::qvapalerr_invalidParameter},
        {ENOTTY, qverr::qvapalerr_featureUnsupported},
        {ENOTSUP, qverr::qvapalerr_featureUnsupported},
        {ENOSPC, qverr::kStatusEndOfData},
        {EOVERFLOW, qverr::kStatusEndOfData},
        {EDEADLK, qverr::kStatusDeadlock},
        {ENOLCK, qverr::kStatusDeadlock},
        {EIDRM, qverr::kStatusIdentifierRemoved},
        {ECONNABORTED, qverr::kStatusConnectionAborted},
        {ENOBUFS, qverr::qvapalerr_bufferTooSmall},
        {ETIMEDOUT, qverr::qvapalerr_operationTimedOut},
        {EALREADY, qverr::kStatusAlreadyInProgress},
        {EINPROGRESS, qverr::kStatusAlreadyInProgress},
        {EOWNERDEAD, qverr::kStatusOwnerDied},
    };
    for (int err = -1; err <= 131; ++err) {
        int32_t expected = qverr::qvapalerr_osFault;
        for (const auto& [listed, code] : rows)
            if (listed == err) expected = code;
        EXPECT_EQ(nQVAPALS100::errnoToStatusCode(err), expected) << "errno " << err;
    }
    for (int err : {EAGAIN, EFAULT, ENOSYS, ERANGE, 200, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(nQVAPALS100::errnoToStatusCode(err), qverr::qvapalerr_osFault) << "errno " << err;
    }
    tStatus status;
    EXPECT_TRUE(nQVAPALS100::setErrnoStatus(status, ENOENT, "qvapal/open.cpp", 31));
    EXPECT_EQ(status.getCode(), qverr::qvapalerr_resourceNotFound);
    EXPECT_STREQ(status.component, "internal_");
    EXPECT_STREQ(status.file, "qvapal/open.cpp");
}

}  // namespace
