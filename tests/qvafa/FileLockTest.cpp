#include "qvafa/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace {

// Whether another process could take the lock now: a child opens the file
// itself (its own lock) and tries without waiting.
bool otherProcessCanLock(const std::string& path) {
    const pid_t child = fork();
    if (child == 0) {
        const int fd = open(path.c_str(), O_RDWR);
        _exit(fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(FileLock, NestedLocksReleaseTheFileOnlyAtTheOutermostUnlock) {
    qvtest::TempDir dir;
    const std::string path = dir / "locked";
    qvtest::writeFile(path, "x");
    FILE* stream = fopen(path.c_str(), "r+");
    ASSERT_NE(stream, nullptr);
    {
        qvafa::FileLock lock(stream);
        EXPECT_TRUE(otherProcessCanLock(path));
        lock.lock();
        lock.lock();
        EXPECT_FALSE(otherProcessCanLock(path));
        lock.unlock();
        EXPECT_FALSE(otherProcessCanLock(path));
        lock.unlock();
        EXPECT_TRUE(otherProcessCanLock(path));
        // An unlock too many changes nothing.
        lock.unlock();
        lock.lock();
        EXPECT_FALSE(otherProcessCanLock(path));
        lock.unlock();
    }
    fclose(stream);
}

TEST(FileLock, ANullStreamIsRefused) {
    EXPECT_EQ(qvtest::thrownStatus([] { qvafa::FileLock lock(nullptr); }).first, -52005);
}

}  // namespace
