#include <fcntl.h>
#include <gmock/gmock.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <linux/loop.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "qverr/Codes.h"
#include "qvjsonconfig/afaWrappers/LockableFile.h"
#include "support/SyscallFault.h"
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

TEST(LockableFile, ACopyLeftAtThePathBecomesTheOpenFile) {
    qvtest::TempDir dir;
    const std::string path = dir / "file";
    qvtest::writeFile(path, "a rather long old content");
    LockableFile file(path.c_str(), false);
    file.lock();
    // The file cannot be cut after its rewrite: its synced copy stays.
    ASSERT_TRUE(qvtest::withSyscallFaults({{SYS_ftruncate, EIO}}, [&] { write(file, "new"); }));
    EXPECT_EQ(read(file), "new");
    const int other = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
    write(file, "newer");
    file.unlock();
    EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    close(other);
    EXPECT_EQ(qvtest::readFile(path), "newer");
    EXPECT_EQ(qvtest::entryCount(dir.path()), 1u);
}

TEST(LockableFile, ACopyThatFailsForAnotherReasonFailsTheSave) {
    // Neither a full disk nor a refusal by the folder: no reason to give up
    // the copy's safety and rewrite the file in place.
    const struct {
        const char* step;
        qvtest::SyscallFault fault;
    } cases[] = {
        {"the path's real name", {SYS_readlink, ENOMEM}},
        {"the folder", {SYS_openat, EMFILE}},
        {"the file's second name", {SYS_linkat, EIO}},
    };
    qvtest::TempDir dir;
    const std::string path = dir / "file";
    for (const auto& row : cases) {
        qvtest::writeFile(path, "old");
        LockableFile file(path.c_str(), false);
        std::pair<int32_t, std::string> thrown;
        ASSERT_TRUE(qvtest::withSyscallFaults(
            {row.fault}, [&] { thrown = qvtest::thrownStatus([&] { write(file, "new"); }); }));
        EXPECT_EQ(thrown.first, qverr::kStatusEndOfData) << row.step;
        EXPECT_THAT(thrown.second, HasSubstr("\"code\":" + std::to_string(row.fault.error) + ","))
            << row.step;
        EXPECT_EQ(qvtest::readFile(path), "old") << row.step;
        EXPECT_EQ(qvtest::entryCount(dir.path()), 1u) << row.step;
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

// Mounts a small file system of type "tmpfs", "btrfs", "ext4" or "xfs",
// which may be followed by one option of mkfs ("btrfs --mixed"), on dir, in
// a mount namespace of this process's own: "" when done, else "skip: " and
// why. An image's loop device detaches itself when the namespace goes.
std::string mountSmall(const std::string& kind, const std::string& dir) {
    const size_t space = kind.find(' ');
    const std::string type = kind.substr(0, space);
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return "skip: no private mount namespace: " + std::string(strerror(errno));
    if (type == "tmpfs") {
        if (mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") == 0) return "";
        return "skip: no tmpfs: " + std::string(strerror(errno));
    }
    const std::string image = dir + ".image";
    const int imageFd = open(image.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    // The smallest that mkfs makes.
    const off_t size = type == "btrfs" ? 114294784 : 300 << 20;
    if (imageFd < 0 || ftruncate(imageFd, size) != 0) return "no image";
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&quiet, 1, 2);
    std::string program = "mkfs." + type, quick = "-q", file = image;
    std::string option = space == std::string::npos ? "" : kind.substr(space + 1);
    std::vector<char*> argv = {program.data(), quick.data(), file.data(), nullptr};
    if (!option.empty()) argv.insert(argv.begin() + 1, option.data());
    pid_t mkfs = -1;
    const bool spawned = posix_spawnp(&mkfs, argv[0], &quiet, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&quiet);
    if (!spawned || !exitedCleanly(mkfs)) return "skip: " + program + " failed (not installed?)";
    const int control = open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    if (control < 0) return "skip: no loop devices: " + std::string(strerror(errno));
    int loop = -1;
    std::string device;
    // Another process may take the free device first.
    for (int attempt = 0; attempt < 10 && loop < 0; ++attempt) {
        const int number = ioctl(control, LOOP_CTL_GET_FREE);
        if (number < 0) break;
        device = "/dev/loop" + std::to_string(number);
        loop = open(device.c_str(), O_RDWR | O_CLOEXEC);
        loop_config config{};
        config.fd = static_cast<uint32_t>(imageFd);
        config.info.lo_flags = LO_FLAGS_AUTOCLEAR;
        if (loop >= 0 && ioctl(loop, LOOP_CONFIGURE, &config) != 0) {
            close(loop);
            loop = -1;
        }
    }
    close(control);
    close(imageFd);
    if (loop < 0) return "skip: no free loop device";
    const bool mounted = mount(device.c_str(), dir.c_str(), type.c_str(), 0, nullptr) == 0;
    const int err = errno;
    close(loop);
    if (!mounted) return "skip: no " + type + " mount: " + std::string(strerror(err));
    // Only the files of the test are on it.
    (void)rmdir((dir + "/lost+found").c_str());
    return "";
}

// Fills the file system with one file until nothing more fits but for
// `pages` pages: those are held by another file, removed last (cutting the
// filler short would free less on btrfs, where an extent stays whole while
// any part of it is used, and can fail on a full one).
void fillUp(const std::string& path, unsigned pages) {
    const std::string spare = path + ".spare";
    qvtest::writeFile(spare, std::string(pages * 4096, 's'));
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const std::string block(1 << 20, 'f');
    // A copy-on-write file system frees reservations when it commits.
    for (int round = 0; round < 2; ++round) {
        for (size_t size = block.size(); size >= 4096; size /= 16) {
            while (::write(fd, block.data(), size) > 0) {
            }
        }
        syncfs(fd);
    }
    unlink(spare.c_str());
    syncfs(fd);
    close(fd);
}

// Gives up root for user's ids.
bool becomeUser(uid_t user) {
    return setgroups(0, nullptr) == 0 && setgid(user) == 0 && setuid(user) == 0;
}

TEST(LockableFile, SavesOnAFullDisk) {
    // What besides the disk's room bears on the save.
    // Free pages of a disk left as mkfs made it.
    constexpr unsigned kNotFilled = ~0u;
    enum class Setting {
        kPlain,
        // A reflinked copy beside the file shares its blocks.
        kReflinked,
        // Another file bind-mounted onto the path: no second name for it.
        kBindMounted,
        // Another user's file in a sticky folder.
        kSticky,
        // A folder the saver may not write.
        kUnwritable,
        // 32 KiB without blocks in the middle of the old text.
        kSparse,
        // Sparse, on a file system that cannot be asked for blocks.
        kSparseNoFallocate,
        // Another file mounted writable onto the path in a read-only folder.
        kReadOnlyFolder,
        // A copy left beside the file by root's interrupted save, in a
        // folder only root writes; another user saves.
        kLeftoverCopy,
        // An append-only folder: nothing in it can be renamed or removed.
        kAppendOnly,
        // A folder the saver may search but not read.
        kSearchOnly,
        // A folder the saver may write but not read: saved through the copy.
        kUnreadable,
    };
    struct Case {
        const char* what;
        const char* fs;
        size_t oldPages, newPages;
        unsigned freePages;
        bool saved;
        Setting setting = Setting::kPlain;
        int saves = 1;
    } const cases[] = {
        // The copy fits, but then the file cannot grow: it is put back.
        {"growing", "tmpfs", 1, 3, 3, false},
        // A shorter text needs no new blocks in place.
        {"shrinking", "tmpfs", 3, 1, 0, true},
        {"no room for a copy", "tmpfs", 1, 2, 0, false},
        {"room for a copy", "btrfs", 8, 6, 64, true},
        // Copy-on-write: an overwrite needs new blocks too, and would stop
        // part way.
        {"shrinking", "btrfs", 8, 6, 4, false},
        {"same size", "btrfs", 12, 12, 4, false},
        {"halving", "btrfs", 24, 12, 8, false},
        {"no room for a copy", "btrfs", 4, 8, 0, false},
        {"shrinking", "xfs", 8, 6, 4, true},
        // Blocks shared with a reflinked copy are written elsewhere too.
        {"shrinking a reflinked file", "xfs", 8, 6, 5, false, Setting::kReflinked},
        // Without a copy an overwrite goes ahead where the disk shows room
        // for the text and a margin, on any file system.
        {"bind-mounted, room", "btrfs", 8, 6, 1200, true, Setting::kBindMounted},
        {"bind-mounted, growing", "btrfs", 2, 8, 1200, true, Setting::kBindMounted},
        {"bind-mounted, nearly full", "btrfs", 8, 6, 1000, false, Setting::kBindMounted},
        {"sticky, room", "btrfs", 8, 6, 1200, true, Setting::kSticky},
        {"sticky, nearly full", "btrfs", 8, 6, 1000, false, Setting::kSticky},
        {"unwritable folder, room", "btrfs", 8, 6, 1200, true, Setting::kUnwritable},
        {"unwritable folder, nearly full", "btrfs", 8, 6, 1000, false, Setting::kUnwritable},
        // Data and metadata share the room, and what statfs shows includes
        // what btrfs keeps for itself (1.7 MiB here).
        {"unwritable folder, room", "btrfs --mixed", 8, 6, 1200, true, Setting::kUnwritable},
        {"unwritable folder, full", "btrfs --mixed", 8, 6, 16, false, Setting::kUnwritable},
        // The hole's blocks are claimed before the first byte is written.
        {"sparse", "ext4", 16, 15, 4, false, Setting::kSparse},
        {"sparse", "tmpfs", 16, 15, 4, false, Setting::kSparse},
        {"sparse", "xfs", 16, 15, 4, false, Setting::kSparse},
        // A file system that claims no blocks itself: the C library writes
        // them, and a full disk refuses the save.
        {"sparse, no fallocate", "tmpfs", 16, 15, 4, false, Setting::kSparseNoFallocate},
        {"sparse, no fallocate", "btrfs", 16, 15, 1200, true, Setting::kSparseNoFallocate},
        // A copy refused in other ways than by the folder's mode is refused
        // by the folder all the same.
        {"read-only folder", "ext4", 2, 3, kNotFilled, true, Setting::kReadOnlyFolder},
        {"read-only folder", "tmpfs", 2, 3, kNotFilled, true, Setting::kReadOnlyFolder},
        {"read-only folder", "xfs", 2, 3, kNotFilled, true, Setting::kReadOnlyFolder},
        {"read-only folder", "btrfs", 2, 3, kNotFilled, true, Setting::kReadOnlyFolder},
        {"another user's copy", "ext4", 2, 3, kNotFilled, true, Setting::kLeftoverCopy, 3},
        {"another user's copy", "tmpfs", 2, 3, kNotFilled, true, Setting::kLeftoverCopy, 3},
        {"another user's copy", "xfs", 2, 3, kNotFilled, true, Setting::kLeftoverCopy, 3},
        {"another user's copy", "btrfs", 2, 3, kNotFilled, true, Setting::kLeftoverCopy, 3},
        {"append-only folder", "ext4", 2, 3, kNotFilled, true, Setting::kAppendOnly, 2},
        {"append-only folder", "tmpfs", 2, 3, kNotFilled, true, Setting::kAppendOnly, 2},
        {"append-only folder", "xfs", 2, 3, kNotFilled, true, Setting::kAppendOnly, 2},
        {"append-only folder", "btrfs", 2, 3, kNotFilled, true, Setting::kAppendOnly, 2},
        {"search-only folder", "ext4", 2, 3, kNotFilled, true, Setting::kSearchOnly},
        {"search-only folder", "tmpfs", 2, 3, kNotFilled, true, Setting::kSearchOnly},
        {"search-only folder", "xfs", 2, 3, kNotFilled, true, Setting::kSearchOnly},
        {"search-only folder", "btrfs", 2, 3, kNotFilled, true, Setting::kSearchOnly},
        {"unreadable folder", "ext4", 2, 3, kNotFilled, true, Setting::kUnreadable},
        {"unreadable folder", "tmpfs", 2, 3, kNotFilled, true, Setting::kUnreadable},
    };
    qvtest::TempDir dir;
    const std::string disk = dir / "disk";
    // Other users reach the disk.
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(mkdir(disk.c_str(), 0700), 0);
    const uid_t owner = 43377;
    // A file system that cannot be mounted here skips its rows, not the others.
    std::string skipped;
    for (const Case& row : cases) {
        const std::string said = inChild([&]() -> std::string {
            if (std::string refused = mountSmall(row.fs, disk); !refused.empty()) return refused;
            const std::string path = disk + "/full.config";
            const std::string bound = disk + "/bound";
            const std::string text(row.newPages * 4096 - 100, 'n');
            const bool mountedOnto =
                row.setting == Setting::kBindMounted || row.setting == Setting::kReadOnlyFolder;
            qvtest::writeFile(mountedOnto ? bound : path,
                              std::string(row.oldPages * 4096 - 100, 'o'));
            const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
            const bool prepared = [&] {
                switch (row.setting) {
                    case Setting::kPlain:
                        return true;
                    case Setting::kReflinked: {
                        const int clone =
                            open((disk + "/clone").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
                        const bool cloned = ioctl(clone, FICLONE, fd) == 0;
                        close(clone);
                        return cloned;
                    }
                    case Setting::kBindMounted:
                    case Setting::kReadOnlyFolder:
                        return mount(bound.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) == 0;
                    case Setting::kSticky:
                        return chown(disk.c_str(), owner + 2, owner + 2) == 0 &&
                               chmod(disk.c_str(), 01777) == 0 && fchown(fd, owner, owner) == 0 &&
                               fchmod(fd, 0666) == 0;
                    case Setting::kUnwritable:
                        return fchmod(fd, 0666) == 0;
                    case Setting::kLeftoverCopy:
                        qvtest::writeFile(disk + "/.full.config.new", "root's new text");
                        return chmod(disk.c_str(), 0755) == 0 && fchmod(fd, 0666) == 0;
                    case Setting::kAppendOnly: {
                        const int folder = open(disk.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                        int flags = 0;
                        const bool set =
                            ioctl(folder, FS_IOC_GETFLAGS, &flags) == 0 &&
                            (flags |= FS_APPEND_FL, ioctl(folder, FS_IOC_SETFLAGS, &flags) == 0);
                        close(folder);
                        return set;
                    }
                    case Setting::kSearchOnly:
                        return chmod(disk.c_str(), 0711) == 0 && fchmod(fd, 0666) == 0;
                    case Setting::kUnreadable:
                        return chmod(disk.c_str(), 0733) == 0 && fchmod(fd, 0666) == 0;
                    case Setting::kSparse:
                    case Setting::kSparseNoFallocate:
                        return fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 16384,
                                         32768) == 0;
                }
                return false;
            }();
            close(fd);
            if (!prepared) return "skip: cannot set up " + std::string(row.what);
            if (row.freePages != kNotFilled) fillUp(disk + "/filler", row.freePages);
            // Only the disk's own mount turns read-only, once nothing on it
            // is open for writing; the file's stays writable.
            if (row.setting == Setting::kReadOnlyFolder &&
                mount(nullptr, disk.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) !=
                    0)
                return "skip: cannot make the folder read-only: " + std::string(strerror(errno));
            const std::string old = qvtest::readFile(path);
            struct stat before {};
            struct stat after {};
            stat(path.c_str(), &before);
            // The saves, by another user where the row says so: this
            // process checks what they left as root.
            const uid_t saver =
                row.setting == Setting::kSticky ? owner + 1
                : row.setting == Setting::kUnwritable || row.setting == Setting::kLeftoverCopy ||
                        row.setting == Setting::kSearchOnly || row.setting == Setting::kUnreadable
                    ? owner
                    : 0;
            const auto save = [&]() -> std::string {
                if (saver != 0 && !becomeUser(saver)) return "skip: changing user needs root";
                LockableFile file(path.c_str(), false);
                std::string wrong;
                try {
                    for (int earlier = 1; earlier < row.saves; ++earlier)
                        write(file, std::string(earlier * 1000, 'e'));
                    if (row.setting != Setting::kSparseNoFallocate) {
                        write(file, text);
                    } else if (!qvtest::withSyscallFaults({{SYS_fallocate, EOPNOTSUPP}},
                                                          [&] { write(file, text); })) {
                        return "skip: no system call filter";
                    }
                    if (!row.saved) wrong = "saved";
                } catch (const qverr::Exception& exception) {
                    if (row.saved || exception.status.code != qverr::kStatusEndOfData)
                        wrong = "threw " + std::to_string(exception.status.code);
                }
                if (read(file) != (row.saved ? text : old)) wrong += " read";
                return wrong;
            };
            std::string wrong = saver == 0 ? save() : inChild(save);
            if (wrong.rfind("skip: ", 0) == 0) return wrong;
            stat(path.c_str(), &after);
            if (qvtest::readFile(path) != (row.saved ? text : old)) wrong += " text";
            if (after.st_ino != before.st_ino) wrong += " inode";
            // The file, the filler, and what else the row put or left beside
            // them: an append-only folder keeps the first save's copy and
            // second name.
            size_t entries = row.freePages != kNotFilled ? 2 : 1;
            switch (row.setting) {
                case Setting::kReflinked:
                case Setting::kBindMounted:
                case Setting::kReadOnlyFolder:
                case Setting::kLeftoverCopy:
                    entries += 1;
                    break;
                case Setting::kAppendOnly:
                    entries += 2;
                    break;
                default:
                    break;
            }
            if (qvtest::entryCount(disk) != entries) wrong += " files left";
            return wrong;
        });
        if (said.rfind("skip: ", 0) == 0) {
            skipped += std::string(row.what) + " on " + row.fs + ": " + said + "\n";
            continue;
        }
        EXPECT_EQ(said, "") << row.what << " on " << row.fs;
    }
    if (!skipped.empty()) GTEST_SKIP() << skipped;
}

// Takes CAP_FOWNER out of this process's effective set.
bool dropFowner() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (syscall(SYS_capget, &header, data) != 0) return false;
    data[CAP_TO_INDEX(CAP_FOWNER)].effective &= ~CAP_TO_MASK(CAP_FOWNER);
    return syscall(SYS_capset, &header, data) == 0;
}

// Makes this process root of a new user namespace that maps root only: other
// users' files show the overflow ids there, and its CAP_FOWNER does not
// reach them.
bool enterRootOnlyUserNamespace() {
    const auto put = [](const char* path, const std::string& text) {
        const int fd = open(path, O_WRONLY | O_CLOEXEC);
        const bool written =
            fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        if (fd >= 0) close(fd);
        return written;
    };
    return unshare(CLONE_NEWUSER) == 0 && put("/proc/self/setgroups", "deny") &&
           put("/proc/self/uid_map", "0 0 1") && put("/proc/self/gid_map", "0 0 1");
}

TEST(LockableFile, UsersTakeTurnsInAStickyDirectory) {
    if (geteuid() != 0) GTEST_SKIP() << "changing user needs root";
    qvtest::TempDir dir;
    const std::string shared = dir / "shared";
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(mkdir(shared.c_str(), 0700), 0);
    const std::string path = shared + "/shared.config";
    const uid_t owner = 43377;
    // On tmpfs, where a save that cannot replace the file may rewrite it in
    // place, whatever file system holds the temporary folder.
    const std::string said = inChild([&]() -> std::string {
        if (std::string refused = mountSmall("tmpfs", shared); !refused.empty()) return refused;
        if (chmod(shared.c_str(), 01777) != 0 || chown(shared.c_str(), owner + 2, owner + 2) != 0)
            return "no shared folder";
        std::string wrong;
        int round = 0;
        // 0: root without CAP_FOWNER, which may not replace another's file;
        // namespaceRoot: root of a user namespace that does not map the
        // file's owner, whose CAP_FOWNER does not reach the file. Last, as
        // it may be refused.
        const uid_t namespaceRoot = static_cast<uid_t>(-2);
        for (const uid_t user : {owner, owner + 1, owner + 1, owner, 0u, owner + 1, 0u,
                                 namespaceRoot, namespaceRoot}) {
            const std::string text = "round " + std::to_string(++round);
            const std::string failed = inChild([&] {
                if (user == namespaceRoot) {
                    if (!enterRootOnlyUserNamespace())
                        return std::string("skip: no user namespace");
                } else if (user == 0 ? !dropFowner() : !becomeUser(user)) {
                    return std::string("no user change");
                }
                LockableFile file(path.c_str(), true);
                write(file, text);
                return std::string();
            });
            struct stat info {};
            if (failed.rfind("skip: ", 0) == 0) return wrong.empty() ? failed : wrong;
            if (!failed.empty()) wrong += text + ": " + failed + "; ";
            if (qvtest::readFile(path) != text) wrong += text + ": text; ";
            if (qvtest::entryCount(shared) != 1) wrong += text + ": files left; ";
            if (stat(path.c_str(), &info) != 0 || info.st_uid != owner) wrong += text + ": owner; ";
        }
        return wrong;
    });
    if (said.rfind("skip: ", 0) == 0) GTEST_SKIP() << said;
    EXPECT_EQ(said, "");
}

}  // namespace
