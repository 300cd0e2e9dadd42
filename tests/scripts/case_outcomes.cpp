// Cases whose CTest outcome check_case_outcomes.cmake compares with what
// they did: only a case that skipped and then ended cleanly is a skip.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>

#include "support/SelfProcess.h"

namespace {

// The exit code a case asks for once main has returned, as a destructor
// that ends the process, or a sanitizer's report at exit, would give it.
int exitCodeAtExit = 0;
struct EndsAtExit {
    ~EndsAtExit() {
        if (exitCodeAtExit != 0) _exit(exitCodeAtExit);
    }
} endsAtExit;

TEST(CaseOutcome, Passes) {}

TEST(CaseOutcome, Skips) {
    GTEST_SKIP() << "cannot run here";
}

TEST(CaseOutcome, SkipsThenExitsWith3) {
    exitCodeAtExit = 3;
    GTEST_SKIP() << "cannot run here";
}

// What the thread checker does when it reported a race.
TEST(CaseOutcome, SkipsThenExitsWith66) {
    exitCodeAtExit = 66;
    GTEST_SKIP() << "cannot run here";
}

TEST(CaseOutcome, DISABLED_IsNotRun) {
    ADD_FAILURE() << "ran while disabled";
}

TEST(CaseOutcome, FailsAfterAChildSkipped) {
    const pid_t child = qvtest::spawnSelf("CaseOutcome.Skips", "QV_TEST_CHILD=1");
    qvtest::waitForExitWithin(child, std::chrono::seconds(60));
    ADD_FAILURE() << "fails after its child skipped";
}

}  // namespace
