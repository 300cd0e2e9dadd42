// Saves of the configuration file cut short by SIGKILL, at random moments
// and before each system call of one save, and files that other programs
// replace or keep open: whatever is on disk afterwards is the old or the new
// text, whole, and a save never goes to a file no longer at the path.
#include <cjson/cJSON.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "qverr/Codes.h"
#include "qvjsonconfig/AliasAttributeProvider.h"
#include "qvjsonconfig/Configuration.h"
#include "qvjsonconfig/Fakes.h"
#include "support/EndsWithin.h"
#include "support/SelfProcess.h"
#include "support/TempDir.h"

namespace {

using qvjsonconfig::Configuration;
using qvjsonconfig::LockableFile;

// Parses as one JSON text with nothing after it.
bool strictJson(const std::string& text) {
    const char* end = nullptr;
    cJSON* parsed = cJSON_ParseWithOpts(text.c_str(), &end, 1);
    cJSON_Delete(parsed);
    return parsed != nullptr && end == text.c_str() + text.size();
}

void save(LockableFile& file, const std::string& text) {
    file.lock();
    file.write(text.data(), text.data() + text.size());
    file.unlock();
}

std::string configuration(const std::string& alias) {
    return R"({"version":1,"oldest_compatible_version":1,"devices":{"dev":{"alias":")" + alias +
           R"("}}})";
}

TEST(InterruptedSave, RandomKillsWhileSavingAliases) {
    qvtest::TempDir dir;
    const std::string path = dir / "qrxzek.config";
    const std::string shortAlias = "s";
    const std::string longAlias(600, 'L');
    std::mt19937 random(3377);
    std::uniform_int_distribution<int> delayUs(200, 6000);
    for (int round = 0; round < 150; ++round) {
        qvtest::writeFile(path, configuration(longAlias));
        const pid_t child = fork();
        if (child == 0) {
            LockableFile file(path.c_str(), false);
            qvtest::FakeAliasFactory factory;
            qvjsonconfig::AliasAttributeProvider provider(factory);
            for (unsigned i = 0;; ++i) {
                Configuration store(file, nullptr, provider, nullptr);
                cJSON* entry = store.getConfigurationData().getDeviceEntry("dev")->getJsonObject(
                    qvjsonconfig::kSelectorPersistent);
                cJSON_ReplaceItemInObject(
                    entry, "alias", cJSON_CreateString((i % 2 ? longAlias : shortAlias).c_str()));
                store.commit();
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const std::string text = qvtest::readFile(path);
        ASSERT_TRUE(strictJson(text)) << "round " << round << ": " << text.substr(0, 200);
        cJSON* parsed = cJSON_Parse(text.c_str());
        const cJSON* alias = cJSON_GetObjectItem(
            cJSON_GetObjectItem(cJSON_GetObjectItem(parsed, "devices"), "dev"), "alias");
        const std::string value = cJSON_IsString(alias) ? alias->valuestring : "";
        cJSON_Delete(parsed);
        EXPECT_TRUE(value == shortAlias || value == longAlias) << value;
    }
}

// Runs one traced save of `text` up to its `stop`-th system-call stop, where
// `atStop` runs and the save goes on, or, without one, the save is killed;
// true when the save ended before that stop.
bool saveStoppedAt(const std::string& path, const std::string& text, int stop,
                   const std::function<void()>& atStop = {}) {
    const pid_t child = fork();
    if (child == 0) {
        LockableFile file(path.c_str(), false);
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        raise(SIGSTOP);
        try {
            save(file, text);
        } catch (const qverr::Exception&) {
        }
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
    for (int i = 0; i < stop; ++i) {
        if (ptrace(PTRACE_SYSCALL, child, nullptr, nullptr) != 0) break;
        waitpid(child, &status, 0);
        if (WIFEXITED(status)) return true;
    }
    if (atStop) {
        atStop();
        ptrace(PTRACE_DETACH, child, nullptr, nullptr);
        EXPECT_EQ(qvtest::waitForExitWithin(child, qvtest::kHangGuard), 0)
            << "the save did not end";
        return false;
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return WIFEXITED(status);
}

TEST(InterruptedSave, KillBeforeEachSystemCallOfASave) {
    qvtest::TempDir dir;
    const std::string path = dir / "qrxzek.config";
    const std::string longer = configuration(std::string(300, 'L'));
    const std::string shorter = configuration("s");
    for (const auto& [before, after] : {std::pair(longer, shorter), std::pair(shorter, longer)}) {
        bool completed = false;
        // Stops alternate between entry and exit: a kill at an entry stop
        // stands for one at the exit stop before it as well.
        for (int stop = 1; stop < 400 && !completed; stop += 2) {
            std::filesystem::remove_all(dir.path());
            qvtest::writeFile(path, before);
            completed = saveStoppedAt(path, after, stop);
            const std::string text = qvtest::readFile(path);
            ASSERT_TRUE(text == before || text == after) << "stop " << stop << ": " << text;
            ASSERT_TRUE(strictJson(text));
            if (completed) {
                ASSERT_EQ(text, after);
            }
            // The next save clears what the killed one left beside the file.
            LockableFile next(path.c_str(), false);
            save(next, "{}");
            EXPECT_EQ(qvtest::readFile(path), "{}");
            EXPECT_EQ(qvtest::entryCount(dir.path()), 1u) << "stop " << stop;
        }
        EXPECT_TRUE(completed);
    }
}

TEST(InterruptedSave, AFolderMovedDuringASaveKeepsNothingButItsFile) {
    qvtest::TempDir dir;
    const std::string folder = dir / "folder";
    const std::string moved = dir / "moved";
    const std::string before = configuration("old");
    const std::string after = configuration("new");
    bool completed = false;
    for (int stop = 1; stop < 400 && !completed; stop += 2) {
        std::filesystem::remove_all(folder);
        std::filesystem::remove_all(moved);
        qvtest::writeFile(folder + "/qrxzek.config", before);
        // Another program moves the folder away and puts an empty one in
        // its place.
        completed = saveStoppedAt(folder + "/qrxzek.config", after, stop, [&] {
            std::filesystem::rename(folder, moved);
            std::filesystem::create_directory(folder);
        });
        if (completed) break;
        const std::string text = qvtest::readFile(moved + "/qrxzek.config");
        ASSERT_TRUE(text == before || text == after) << "stop " << stop << ": " << text;
        EXPECT_EQ(qvtest::entryCount(moved), 1u) << "stop " << stop;
        EXPECT_EQ(qvtest::entryCount(folder), 0u) << "stop " << stop;
    }
    EXPECT_TRUE(completed);
}

TEST(InterruptedSave, AFileReplacedByRenameIsReopened) {
    qvtest::TempDir dir;
    const std::string path = dir / "qrxzek.config";
    qvtest::writeFile(path, "{\"mine\":1}");
    LockableFile file(path.c_str(), false);
    // Another program saves by writing a new file and renaming it over.
    qvtest::writeFile(dir / "theirs", "{\"theirs\":1}");
    ASSERT_EQ(rename((dir / "theirs").c_str(), path.c_str()), 0);
    std::string text;
    file.lock();
    file.read(text);
    EXPECT_EQ(text, "{\"theirs\":1}");
    const std::string mine = "{\"mine\":2}";
    file.write(mine.data(), mine.data() + mine.size());
    file.unlock();
    EXPECT_EQ(qvtest::readFile(path), mine);

    // Removed with no way to create it again: nothing is written anywhere.
    ASSERT_EQ(unlink(path.c_str()), 0);
    EXPECT_EQ(qvtest::thrownStatus([&] { save(file, "{}"); }).first, qverr::kStatusEndOfData);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(InterruptedSave, ProgramsHoldingTheFileOpenKeepIt) {
    qvtest::TempDir dir;
    const std::string path = dir / "qrxzek.config";
    qvtest::writeFile(path, configuration(std::string(100, 'o')));
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    // Another program that locks and rewrites the file in place.
    const int peer = open(path.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(peer, 0);
    struct stat before {};
    ASSERT_EQ(fstat(peer, &before), 0);
    {
        LockableFile file(path.c_str(), false);
        save(file, configuration("n"));
    }
    struct stat after {};
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_dev, before.st_dev);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    char buffer[256] = {};
    const ssize_t got = pread(peer, buffer, sizeof buffer - 1, 0);
    EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<size_t>(got) : 0), configuration("n"));
    EXPECT_EQ(qvtest::entryCount(dir.path()), 1u);
    close(peer);
}

}  // namespace
