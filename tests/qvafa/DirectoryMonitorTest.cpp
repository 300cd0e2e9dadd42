#include "qvafa/DirectoryMonitor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/TempDir.h"

namespace {

using ::testing::HasSubstr;

TEST(DirectoryMonitor, AQuietDirectoryTimesOut) {
    qvtest::TempDir dir;
    qvafa::DirectoryMonitor monitor(dir.path().c_str());
    qverr::Status status;
    int32_t which = -1;
    EXPECT_FALSE(monitor.wait(0, &which, status));
    EXPECT_EQ(status.code, -52007);
    EXPECT_THAT(status.jsonText(), HasSubstr("\"requested_timeout_ms\":0"));
    EXPECT_THAT(status.jsonText(), HasSubstr("qvapalerr_operationTimedOut"));

    // A status that already holds an error makes wait do nothing.
    EXPECT_FALSE(monitor.wait(0, &which, status));
    EXPECT_EQ(status.code, -52007);

    qverr::Status later;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(monitor.wait(50, nullptr, later));
    EXPECT_EQ(later.code, -52007);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

TEST(DirectoryMonitor, AChangeInTheDirectoryEndsTheWait) {
    qvtest::TempDir dir;
    qvafa::DirectoryMonitor monitor(dir.path().c_str());
    qvtest::writeFile(dir / "file", "content");
    qverr::Status status;
    int32_t which = -1;
    EXPECT_TRUE(monitor.wait(5000, &which, status));
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(which, 0);
}

TEST(DirectoryMonitor, AWakeUpReleasesTheWaiterForGood) {
    qvtest::TempDir dir;
    qvafa::DirectoryMonitor monitor(dir.path().c_str());
    bool result = true;
    std::thread waiter([&] { result = monitor.wait(nullptr); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    monitor.wakeUp();
    waiter.join();
    EXPECT_FALSE(result);
    // Woken once, woken for good: later waits return at once.
    qverr::Status status;
    EXPECT_FALSE(monitor.wait(qvafa::kNoTimeout, nullptr, status));
    EXPECT_EQ(status.code, 0);
    qvtest::writeFile(dir / "file", "content");
    EXPECT_FALSE(monitor.wait(nullptr));
}

TEST(DirectoryMonitor, AMissingDirectoryCannotBeWatched) {
    const auto [code, detail] =
        qvtest::thrownStatus([] { qvafa::DirectoryMonitor monitor("/nonexistent/qv/dir"); });
    EXPECT_EQ(code, -52008);
    EXPECT_THAT(detail, HasSubstr("\"internal_error\":{\"api\":\"errno\",\"code\":2,\"string\":"));
}

TEST(DirectoryMonitor, SeveralPathsReportWhichChanged) {
    qvtest::TempDir first;
    qvtest::TempDir second;
    const char* paths[] = {first.path().c_str(), second.path().c_str()};
    qverr::Status status;
    qvafa::internal::DirectoryMonitorImpl monitor(paths, 2, status);
    ASSERT_EQ(status.code, 0);
    qvtest::writeFile(second / "file", "x");
    int32_t which = -1;
    EXPECT_TRUE(monitor.wait(5000, &which, status));
    EXPECT_EQ(which, 1);
}

}  // namespace
