#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "qvafa/DirectoryMonitor.h"
#include "qverr/Codes.h"
#include "support/TempDir.h"

namespace {

using ::testing::HasSubstr;

TEST(DirectoryMonitor, AQuietDirectoryTimesOutAndAChangeEndsTheWait) {
    qvtest::TempDir dir;
    qvafa::DirectoryMonitor monitor(dir.path().c_str());
    qverr::Status status;
    int32_t which = -1;
    EXPECT_FALSE(monitor.wait(0, &which, status));
    EXPECT_EQ(status.code, qverr::qvapalerr_operationTimedOut);
    EXPECT_THAT(status.jsonText(), HasSubstr("\"requested_timeout_ms\":0"));

    qvtest::writeFile(dir / "file", "content");
    qverr::Status changed;
    EXPECT_TRUE(monitor.wait(5000, &which, changed));
    EXPECT_EQ(changed.code, 0);
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
    qvtest::writeFile(dir / "file", "content");
    EXPECT_FALSE(monitor.wait(nullptr));
}

}  // namespace
