// Engines the binding leaves cleanup to: one whose version datum lies in
// "libkxrt.so", and one whose path lacks "kxrt" (unversioned: its entry
// points are found by their plain names).
#include <gtest/gtest.h>

#include "SelfCalHALImpl/SelfCalHALSession.h"
#include "qvqrx3377cal/calsim.h"

extern "C" {
uint32_t kxrtsim_cleanupRegistrations(void);
uint32_t kxrtsim_loadCount(void);
void kxrtsim_setEnginePath(const char* path);
}

namespace {

TEST(SelfCalEngineName, NoCleanupIsRegistered) {
#ifdef QV_UNVERSIONED_ENGINE
    kxrtsim_setEnginePath("/opt/korvex/18.0/librte.so");
#endif
    calsim_reset();
    selfcalhal::CalibrationTiming timing;
    timing.initialPoll = std::chrono::milliseconds(1);
    selfcalhal::SelfCalHALSession session("QV1", "b", "", QV_CAL_FULL, timing);
    EXPECT_EQ(session.selfCalibrate("R"), 0);
    EXPECT_EQ(kxrtsim_loadCount(), 1u);
    EXPECT_EQ(kxrtsim_cleanupRegistrations(), 0u);
}

}  // namespace
