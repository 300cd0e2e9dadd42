// In a process whose engine module is "libkxrt.so" the binding leaves
// cleanup to the engine, and finds the unversioned entry point.
#include <gtest/gtest.h>

#include "SelfCalHALImpl/SelfCalHALSession.h"
#include "qvqrx3377cal/calsim.h"

extern "C" uint32_t kxrtsim_cleanupRegistrations(void);
extern "C" uint32_t kxrtsim_loadCount(void);

namespace {

TEST(SelfCalEngineName, TheEnginesOwnModuleRegistersNoCleanup) {
    calsim_reset();
    selfcalhal::CalibrationTiming timing;
    timing.initialPoll = std::chrono::milliseconds(1);
    selfcalhal::SelfCalHALSession session("QV1", "b", "", QV_CAL_FULL, timing);
    EXPECT_EQ(session.selfCalibrate("R"), 0);
    EXPECT_EQ(kxrtsim_loadCount(), 1u);
    EXPECT_EQ(kxrtsim_cleanupRegistrations(), 0u);
}

}  // namespace
