// The timer_ exports through the shipped library on the simulated module,
// with and without the timer in the FPGA image.
#include <gtest/gtest.h>

#include <cstring>

#include "TimerHALImpl/timerhalHandle.h"
#include "module/SimulatedModule.h"
#include "qverr/Codes.h"
#include "qverr/Exception.h"
#include "qvmxl/errors.h"
#include "support/DetailPair.h"
#include "support/HostLibrary.h"
#include "support/LibraryContext.h"
#include "support/ModuleProxy.h"
#include "support/TempDir.h"

namespace {

#define TIMER_FN(name) library.fn<decltype(&name)>(#name)

class TimerSession : public ::testing::Test {
protected:
    qvsim::SimulatedModule module;
    qvtest::HostLibrary library{QV_SHARED_LIBRARY};
};

TEST_F(TimerSession, PresentTimerTakesSettingsAndMessages) {
    qvtest::LibraryContext timer(library, module, "ao/0", 23);
    const uint64_t handle = timer.handle();
    bool present = false;
    ASSERT_EQ(TIMER_FN(timer_getTraits)(handle, &present), 0);
    EXPECT_TRUE(present);

    timerhal::TimerSettings settings{};
    settings.first.bits = 0x1111222233334444;
    settings.first.format = {true, 40, 20};
    settings.second.bits = 0x5555666677778888;
    settings.count = 0xABCD;
    settings.flag = 0xEF;
    module.decoder().clear();
    ASSERT_EQ(TIMER_FN(timer_deployTimerSettings)(handle, &settings), 0);
    ASSERT_EQ(TIMER_FN(timer_sendMessage)(handle, 0xDEADBEEF), 0);
    const auto requests = module.decoder().requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].name(), "timer.deployTimerSettings");
    const auto sent = requests[0].in("settings");
    ASSERT_EQ(sent.size(), 40u);
    EXPECT_EQ(std::memcmp(sent.data(), &settings, 35), 0);
    EXPECT_EQ(requests[1].name(), "timer.sendMessage");
    EXPECT_EQ(requests[1].value("message"), 0xDEADBEEF);

    qvtest::failRequests(module, "timer.sendMessage", -50400);
    EXPECT_EQ(TIMER_FN(timer_sendMessage)(handle, 1), -50400);
}

TEST_F(TimerSession, AbsentTimerOrNullPointersAreRefusedWithoutARequest) {
    module.timer().present = false;
    qvtest::LibraryContext timer(library, module, "ao/0", 23);
    const uint64_t handle = timer.handle();
    module.decoder().clear();
    bool present = true;
    ASSERT_EQ(TIMER_FN(timer_getTraits)(handle, &present), 0);
    EXPECT_FALSE(present);
    const timerhal::TimerSettings settings{};
    EXPECT_EQ(TIMER_FN(timer_deployTimerSettings)(handle, &settings),
              SDISharedErrors::kErrorFpgaResourceNotFound);
    EXPECT_EQ(TIMER_FN(timer_sendMessage)(handle, 1), SDISharedErrors::kErrorFpgaResourceNotFound);
    EXPECT_EQ(TIMER_FN(timer_deployTimerSettings)(handle, nullptr),
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(TIMER_FN(timer_sendMessage)(0, 1), qverr::qvapalerr_invalidParameter);
    EXPECT_TRUE(module.decoder().requests().empty());

    // A failed presence query makes no session.
    qvtest::failRequests(module, "timer.readTimerResourcePresence", -50401);
    EXPECT_EQ(qvtest::thrownStatus([&] {
                  timerhal::TimerHALSession{qvtest::openModuleProxy(module)};
              }).first,
              -50401);
}

// A missing timer is reported with the location alone.
TEST_F(TimerSession, AnAbsentTimerIsRefusedWithoutDetail) {
    module.timer().present = false;
    timerhal::TimerHALSession session(qvtest::openModuleProxy(module));
    qvtest::expectRefusals({
        {[&] { session.deployTimerSettings({}); }, SDISharedErrors::kErrorFpgaResourceNotFound,
         nullptr, nullptr},
        {[&] { session.sendMessage(1); }, SDISharedErrors::kErrorFpgaResourceNotFound, nullptr,
         nullptr},
    });
}

}  // namespace
