#include "qvapal/status/tStatus.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

using nQVAPALS100::tStatus;

TEST(PlatformStatus, PrecedenceKeepsTheFirstError) {
    tStatus status;
    EXPECT_FALSE(status.setCode(0, "c", "f.cpp", 1));
    EXPECT_EQ(status.getCode(), 0);

    EXPECT_TRUE(status.setCode(5, "warn", "a.cpp", 10));
    EXPECT_FALSE(status.setCode(6, "warn2", "b.cpp", 11));
    EXPECT_EQ(status.getCode(), 5);
    EXPECT_STREQ(status.file, "a.cpp");

    EXPECT_TRUE(status.setCode(-52005, "first", "c.cpp", 12));
    EXPECT_FALSE(status.setCode(-52006, "second", "d.cpp", 13));
    EXPECT_FALSE(status.setCode(7, "warn3", "e.cpp", 14));
    EXPECT_EQ(status.getCode(), -52005);
    EXPECT_STREQ(status.component, "first");
    EXPECT_STREQ(status.file, "c.cpp");
    EXPECT_EQ(status.line, 12u);
    EXPECT_TRUE(status.isError());
}

TEST(PlatformStatus, FieldsAreCutToTheirWidths) {
    tStatus status;
    const std::string head(60, 'h');
    const std::string tail(60, 't');
    status.detail[0] = 9;
    status.detail[1] = 8;
    ASSERT_TRUE(status.setCode(-1, "internal_sdi_hal23u", (head + tail).c_str(), 3));
    EXPECT_STREQ(status.component, "internal_");
    EXPECT_EQ(std::string(status.file), std::string(49, 'h') + ".." + std::string(49, 't'));
    EXPECT_EQ(status.file[100], 0);
    EXPECT_EQ(status.detail[0], 0u);
    EXPECT_EQ(status.detail[1], 8u);

    tStatus exact;
    const std::string hundred(100, 'x');
    ASSERT_TRUE(exact.setCode(-1, nullptr, hundred.c_str(), 1));
    EXPECT_EQ(std::string(exact.file), hundred);
    EXPECT_STREQ(exact.component, "");
}

// A caller's record is only as large as its structSize says: the guard bytes
// behind a short record must stay untouched.
struct ShortRecord {
    uint64_t structSize;
    int64_t code;
    unsigned char guard[200];
};

TEST(PlatformStatus, ShortRecordsReceiveOnlyTheCode) {
    ShortRecord record{16, 0, {}};
    memset(record.guard, 0xAB, sizeof record.guard);
    auto& status = *reinterpret_cast<tStatus*>(&record);
    EXPECT_TRUE(status.setCode(-52006, "component", "file.cpp", 42));
    EXPECT_EQ(record.code, -52006);
    for (unsigned char byte : record.guard) ASSERT_EQ(byte, 0xAB);

    tStatus full;
    full.setCode(-52005, "c", "f", 1);
    ShortRecord target{16, 0, {}};
    memset(target.guard, 0xAB, sizeof target.guard);
    EXPECT_TRUE(reinterpret_cast<tStatus*>(&target)->merge(full));
    EXPECT_EQ(target.code, -52005);
    for (unsigned char byte : target.guard) ASSERT_EQ(byte, 0xAB);
}

TEST(PlatformStatus, RecordTooSmallForTheCodeIsNeverTouched) {
    struct Tiny {
        uint64_t structSize;
        int64_t outside;
    } tiny{8, 0x1234};
    auto& status = *reinterpret_cast<tStatus*>(&tiny);
    EXPECT_EQ(status.getCode(), 0);
    EXPECT_FALSE(status.setCode(-52000, "c", "f", 1));
    EXPECT_EQ(tiny.outside, 0x1234);
    EXPECT_FALSE(nQVAPALS100::setErrnoStatus(status, ENOENT, "f", 1));
    EXPECT_EQ(tiny.outside, 0x1234);
}

TEST(PlatformStatus, MergeCopiesDetailWordsUpToTheFirstZero) {
    tStatus source;
    source.setCode(-52024, "comp", "src.cpp", 77);
    source.detail[0] = 1;
    source.detail[1] = 2;
    source.detail[2] = 0;
    source.detail[3] = 99;

    tStatus target;
    for (auto& word : target.detail) word = 5;
    EXPECT_TRUE(target.merge(source));
    EXPECT_EQ(target.getCode(), -52024);
    EXPECT_STREQ(target.component, "comp");
    EXPECT_STREQ(target.file, "src.cpp");
    EXPECT_EQ(target.line, 77u);
    EXPECT_EQ(target.detail[0], 1u);
    EXPECT_EQ(target.detail[1], 2u);
    EXPECT_EQ(target.detail[2], 0u);
    EXPECT_EQ(target.detail[3], 5u);

    // Success merges nothing, detail words included.
    tStatus empty;
    tStatus untouched;
    untouched.detail[0] = 3;
    EXPECT_FALSE(untouched.merge(empty));
    EXPECT_EQ(untouched.detail[0], 3u);
}

TEST(PlatformStatus, MergeOfAShortRecordBringsOnlyTheCode) {
    tStatus shortSource;
    shortSource.structSize = 16;
    shortSource.code = -52007;
    strcpy(shortSource.file, "ignored.cpp");
    tStatus target;
    EXPECT_TRUE(target.merge(shortSource));
    EXPECT_EQ(target.getCode(), -52007);
    EXPECT_STREQ(target.file, "");
    EXPECT_EQ(target.line, 0u);
}

TEST(PlatformStatus, UnterminatedFieldsOfTheOtherRecordAreBounded) {
    tStatus source;
    source.code = -52008;
    memset(source.component, 'c', sizeof source.component);
    memset(source.file, 'f', sizeof source.file);
    tStatus target;
    EXPECT_TRUE(target.merge(source));
    EXPECT_EQ(std::string(target.component), std::string(9, 'c'));
    // 101 characters without a NUL read as a 101-character path.
    EXPECT_EQ(std::string(target.file), std::string(49, 'f') + ".." + std::string(49, 'f'));
}

TEST(ErrnoMapping, FollowsTheTable) {
    using nQVAPALS100::errnoToStatusCode;
    const struct {
        int err;
        int32_t code;
    } cases[] = {
        {0, 0},           {EPERM, -52026},        {EACCES, -52026},     {EROFS, -52026},
        {ENOENT, -52006}, {ESRCH, -52006},        {ENXIO, -52006},      {EBADF, -52006},
        {ENODEV, -52006}, {EINTR, -52025},        {ECONNRESET, -52025}, {EIO, -52024},
        {EPIPE, -52024},  {EBADMSG, -52024},      {ENOMEM, -52000},     {ENFILE, -52000},
        {EMFILE, -52000}, {EBUSY, -52031},        {EEXIST, -52013},     {EADDRINUSE, -52013},
        {EINVAL, -52005}, {ENOTTY, -52002},       {ENOTSUP, -52002},    {ENOSPC, -52012},
        {EOVERFLOW, -52012}, {EDEADLK, -52015},   {ENOLCK, -52015},     {EIDRM, -52020},
        {ECONNABORTED, -52023}, {ENOBUFS, -52019}, {ETIMEDOUT, -52007}, {EALREADY, -52011},
        {EINPROGRESS, -52011}, {EOWNERDEAD, -52014}, {EAGAIN, -52008},  {EFAULT, -52008},
        {ENOSYS, -52008}, {ERANGE, -52008},       {200, -52008},        {-1, -52008},
    };
    for (const auto& c : cases) EXPECT_EQ(errnoToStatusCode(c.err), c.code) << "errno " << c.err;
}

TEST(ErrnoMapping, RaisesWithThePlatformComponent) {
    tStatus status;
    EXPECT_TRUE(nQVAPALS100::setErrnoStatus(status, ENOENT, "qvapal/open.cpp", 31));
    EXPECT_EQ(status.getCode(), -52006);
    EXPECT_STREQ(status.component, "internal_");
    EXPECT_STREQ(status.file, "qvapal/open.cpp");
    EXPECT_EQ(status.line, 31u);
}

}  // namespace
