#include <gmock/gmock.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>

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

// Runs body in a forked child; returns what it returned (what went wrong,
// "skip: " and why, or nothing).
std::string inChild(const std::function<std::string()>& body) {
    int out[2];
    if (pipe(out) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(out[0]);
        std::string said;
        try {
            said = body();
        } catch (const qverr::Exception& exception) {
            said = "threw " + std::to_string(exception.status.code);
        }
        _exit(::write(out[1], said.data(), said.size()) == static_cast<ssize_t>(said.size()) ? 0
                                                                                             : 1);
    }
    close(out[1]);
    std::string said;
    char block[256];
    for (ssize_t got; (got = ::read(out[0], block, sizeof block)) > 0;) said.append(block, got);
    close(out[0]);
    return exitedCleanly(child) ? said : said + " (the child failed)";
}

TEST(LockableFile, SavesOnAFullDisk) {
    struct Case {
        const char* what;
        size_t oldPages, newPages;
        unsigned freePages;
        bool saved;
    } const cases[] = {
        // The copy fits, but then the file cannot grow: it is put back.
        {"growing", 1, 3, 3, false},
        // A shorter text needs no new blocks in place.
        {"shrinking", 3, 1, 0, true},
        {"no room for a copy", 1, 2, 0, false},
    };
    qvtest::TempDir dir;
    const std::string disk = dir / "disk";
    ASSERT_EQ(mkdir(disk.c_str(), 0700), 0);
    for (const Case& row : cases) {
        const std::string said = inChild([&]() -> std::string {
            if (unshare(CLONE_NEWNS) != 0 ||
                mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0) {
                return "skip: no private tmpfs: " + std::string(strerror(errno));
            }
            const std::string path = disk + "/full.config";
            const std::string old(row.oldPages * 4096 - 100, 'o');
            const std::string text(row.newPages * 4096 - 100, 'n');
            qvtest::writeFile(path, old);
            struct statvfs room {};
            statvfs(disk.c_str(), &room);
            qvtest::writeFile(disk + "/filler",
                              std::string((room.f_bavail - row.freePages) * room.f_bsize, 'f'));
            struct stat before {};
            struct stat after {};
            stat(path.c_str(), &before);
            LockableFile file(path.c_str(), false);
            std::string wrong;
            try {
                write(file, text);
                if (!row.saved) wrong = "saved";
            } catch (const qverr::Exception& exception) {
                if (row.saved || exception.status.code != qverr::kStatusEndOfData)
                    wrong = "threw " + std::to_string(exception.status.code);
            }
            stat(path.c_str(), &after);
            if (qvtest::readFile(path) != (row.saved ? text : old)) wrong += " text";
            if (after.st_ino != before.st_ino) wrong += " inode";
            if (qvtest::entryCount(disk) != 2) wrong += " files left";
            return wrong;
        });
        if (said.rfind("skip: ", 0) == 0) GTEST_SKIP() << said;
        EXPECT_EQ(said, "") << row.what;
    }
}

TEST(LockableFile, UsersTakeTurnsInAStickyDirectory) {
    if (geteuid() != 0) GTEST_SKIP() << "changing user needs root";
    qvtest::TempDir dir;
    const std::string shared = dir / "shared";
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(mkdir(shared.c_str(), 0700), 0);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    const std::string path = shared + "/shared.config";
    const uid_t owner = 43377;
    int round = 0;
    for (const uid_t user : {owner, owner + 1, owner + 1, owner, owner + 1}) {
        const std::string text = "round " + std::to_string(++round);
        EXPECT_EQ(inChild([&] {
                      if (setgroups(0, nullptr) != 0 || setgid(user) != 0 || setuid(user) != 0)
                          return std::string("no user change");
                      LockableFile file(path.c_str(), true);
                      write(file, text);
                      return std::string();
                  }),
                  "")
            << text;
        EXPECT_EQ(qvtest::readFile(path), text);
        EXPECT_EQ(qvtest::entryCount(shared), 1u) << text;
        struct stat info {};
        EXPECT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, owner);
    }
}

}  // namespace
