#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "qverr/Codes.h"
#include "qvjsonconfig/afaWrappers/LockableFile.h"
#include "support/TempDir.h"

namespace {

using qvjsonconfig::LockableFile;
using ::testing::HasSubstr;
using ::testing::Not;

void write(LockableFile& file, const std::string& text) {
    file.write(text.data(), text.data() + text.size());
}

std::string read(LockableFile& file) {
    std::string text = "stale";
    file.read(text);
    return text;
}

TEST(LockableFile, OpeningAMissingFile) {
    qvtest::TempDir dir;
    const std::string path = dir / "absent.config";
    // Refused on the first attempt: the line is that of the open without
    // retries.
    auto [code, detail] = qvtest::thrownStatus([&] { LockableFile file(path.c_str(), false); });
    EXPECT_EQ(code, qverr::qvapalerr_resourceNotFound);
    EXPECT_THAT(detail, HasSubstr("{\"type\":\"comment\",\"comment\":\"Failed to open file\"}"));
    EXPECT_THAT(detail, HasSubstr("\"usage\":\"kUsageTypeFilePath\",\"value\":\"" + path + "\""));
    EXPECT_THAT(detail, Not(HasSubstr("internal_error")));
    EXPECT_THAT(detail, HasSubstr("\"file\":\"LockableFile\",\"line\":91,"));

    // Creating it in a missing directory: six attempts, 10 ms apart.
    const auto start = std::chrono::steady_clock::now();
    std::tie(code, detail) = qvtest::thrownStatus(
        [&] { LockableFile file((dir / "missing/file.config").c_str(), true); });
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
    EXPECT_EQ(code, qverr::qvapalerr_resourceNotFound);
    EXPECT_THAT(detail, HasSubstr("\"internal_error\":{\"api\":\"errno\",\"code\":2,"));
    EXPECT_THAT(detail, HasSubstr("\"file\":\"LockableFile\",\"line\":116,"));

    // Created, it is shared by every user whatever the umask.
    const mode_t previous = umask(077);
    { LockableFile file(path.c_str(), true); }
    umask(previous);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666u);
}

TEST(LockableFile, WriteReplacesTheWholeContent) {
    qvtest::TempDir dir;
    const std::string path = dir / "file";
    qvtest::writeFile(path, "a rather long old content");
    LockableFile file(path.c_str(), false);
    for (const std::string& text : {std::string("short"), std::string(128, 'x'), std::string()}) {
        write(file, text);
        EXPECT_EQ(qvtest::readFile(path), text);
        EXPECT_EQ(read(file), text);
    }
}

bool readable(int fd, int timeoutMs) {
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, timeoutMs) == 1;
}

// The child's exit status was 0.
bool exitedCleanly(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(LockableFile, AnotherProcessWaitsUntilTheOutermostUnlock) {
    qvtest::TempDir dir;
    const std::string path = dir / "shared.config";
    LockableFile file(path.c_str(), true);
    file.lock();
    file.lock();
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        LockableFile own(path.c_str(), false);
        own.lock();
        const char done = 'L';
        _exit(::write(report[1], &done, 1) == 1 ? 0 : 1);
    }
    close(report[1]);
    EXPECT_FALSE(readable(report[0], 200));
    file.unlock();
    // The inner unlock must not let the other process in.
    EXPECT_FALSE(readable(report[0], 200));
    file.unlock();
    EXPECT_TRUE(readable(report[0], 5000));
    EXPECT_TRUE(exitedCleanly(child));
    close(report[0]);
}

TEST(LockableFile, AFullDiskLeavesTheOldContent) {
    qvtest::TempDir dir;
    const std::string path = dir / "full.config";
    const std::string old = "{\"old\":true}";
    qvtest::writeFile(path, old);
    const pid_t child = fork();
    if (child == 0) {
        // The file-size limit stands in for a full disk.
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{old.size() + 4, old.size() + 4};
        setrlimit(RLIMIT_FSIZE, &limit);
        LockableFile file(path.c_str(), false);
        const auto [code, detail] =
            qvtest::thrownStatus([&] { write(file, std::string(200, 'n')); });
        _exit(code == qverr::kStatusEndOfData &&
                      detail.find("\"file\":\"LockableFile\",\"line\":185,") != std::string::npos
                  ? 0
                  : 1);
    }
    EXPECT_TRUE(exitedCleanly(child));
    EXPECT_EQ(qvtest::readFile(path), old);
}

}  // namespace
