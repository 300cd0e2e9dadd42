#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "qverr/Codes.h"
#include "support/RaiseSite.h"
#include "support/SimulatedRoot.h"
#include "support/TempDir.h"
#include "tolmRuntimeFeatureToggles/RuntimeToggles.h"

namespace {

using runtime_toggles::RuntimeToggles;
using runtime_toggles::SystemSettingsAccessor;
using Toggles = RuntimeToggles<int, int, 12>;
constexpr const char* kThreadBound = "UpperBoundValueOfThreadsInPool";

class RuntimeTogglesTest : public ::testing::Test {
protected:
    void writeToggles(const std::string& content) { qvtest::writeFile(togglesPath, content); }
    void initialize(Toggles& object, const char* fileName = "features.ini") {
        nQVAPALS100::tStatus status;
        object.initialize("qvrf", fileName, "vorlane", &accessor, status);
        ASSERT_EQ(status.getCode(), 0);
    }
    // A failure names its fixed site: "RuntimeToggles" and the line given.
    int value(const char* name, int defaultValue, int64_t expectedCode = 0, int expectedLine = 0) {
        nQVAPALS100::tStatus status;
        int result = -12345;
        toggles.getValue(name, defaultValue, result, status);
        EXPECT_EQ(status.getCode(), expectedCode) << name;
        if (expectedLine != 0) {
            EXPECT_EQ(qvtest::raiseSite(status), "RuntimeToggles:" + std::to_string(expectedLine));
        }
        return result;
    }

    qvtest::SimulatedRoot root;
    std::string togglesPath = root / "var/local/vorlane/systemsettings/qvrf_features.ini";
    nQVAPALS100::tStatus accessorStatus;
    SystemSettingsAccessor accessor{accessorStatus};
    Toggles toggles;
};

TEST_F(RuntimeTogglesTest, WithoutAFileTheDefaultIsAnsweredAndCached) {
    initialize(toggles);
    EXPECT_EQ(value(kThreadBound, -1, -22, 1278), -1);
    EXPECT_EQ(value(kThreadBound, -1), -1);
    // The missing file stays an empty document until reload.
    writeToggles("[qvrfUpperBoundValueOfThreadsInPool]\nValue=4\n");
    EXPECT_EQ(value("Other", 3, qverr::qvapalerr_resourceNotFound, 1226), 3);
    nQVAPALS100::tStatus status;
    toggles.reload(status);
    EXPECT_EQ(status.getCode(), 0);
    EXPECT_EQ(value(kThreadBound, -1), 4);
}

TEST_F(RuntimeTogglesTest, SectionAndKeyMatchWithoutRegardToCase) {
    writeToggles(
        "[QVRFUPPERBOUNDVALUEOFTHREADSINPOOL]\nvalue = 8\n[qvrfText]\nValue=abc\n"
        "[qvrfEmpty]\nValue=\n");
    initialize(toggles);
    EXPECT_EQ(value(kThreadBound, -1), 8);
    EXPECT_EQ(value("Text", 2), 2);
    EXPECT_EQ(value("Empty", 2, qverr::qvapalerr_resourceNotFound), 2);
    EXPECT_EQ(value(nullptr, 9, qverr::qvapalerr_invalidParameter, 1232), 9);
}

TEST_F(RuntimeTogglesTest, WithoutAFileNameThereIsNoFileToLoad) {
    initialize(toggles, "");
    EXPECT_EQ(value(kThreadBound, 7, qverr::qvapalerr_invalidParameter, 1501), 7);
}

TEST_F(RuntimeTogglesTest, AnswersStayUntilReloadOrClear) {
    writeToggles("[qvrfA]\nValue=1\n");
    initialize(toggles);
    EXPECT_EQ(value("A", 0), 1);
    writeToggles("[qvrfA]\nValue=2\n");
    EXPECT_EQ(value("A", 0), 1);
    nQVAPALS100::tStatus status;
    toggles.clear(status);
    EXPECT_EQ(value("A", 0), 2);
    toggles.setValue("A", 5, status);
    toggles.setValue("X", 6, status);
    EXPECT_EQ(status.getCode(), 0);
    EXPECT_EQ(value("A", 0), 5);
    EXPECT_EQ(value("X", 0), 6);
    EXPECT_STREQ(accessor.getFilePath(), togglesPath.c_str());
}

TEST_F(RuntimeTogglesTest, AnObjectThatCouldNotBeSetUpAnswersItsDefaultAndSaysWhy) {
    nQVAPALS100::tStatus failed;
    failed.setCode(qverr::qvapalerr_softwareFaultAPALInternalUseOnly, "qv3377hal", "test", 1);
    Toggles broken;
    nQVAPALS100::tStatus status;
    broken.initialize("qvrf", "features.ini", "vorlane", &accessor, failed);
    int result = 0;
    broken.getValue(kThreadBound, -1, result, status);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(status.getCode(), qverr::qvapalerr_softwareFaultAPALInternalUseOnly);

    // A status that already holds an error makes getValue do nothing.
    result = 3;
    broken.getValue(kThreadBound, -1, result, status);
    EXPECT_EQ(result, 3);
}

// Toggle objects are used from several threads: answers from the file or
// the cache, settings and reloads all go through the one lock.
TEST_F(RuntimeTogglesTest, ThreadsShareOneObject) {
    writeToggles("[qvrfA]\nValue=1\n[qvrfB]\nValue=2\n");
    initialize(toggles);
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                nQVAPALS100::tStatus status;
                int a = 0;
                int b = 0;
                toggles.getValue("A", 0, a, status);
                toggles.getValue("B", 0, b, status);
                if (t == 0 && i % 10 == 0) toggles.reload(status);
                if (t == 1 && i % 10 == 0) toggles.setValue("C", i, status);
                if (status.getCode() != 0 || a != 1 || b != 2) ++wrong;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
