// The reference guard in a process whose Korvex run-time engine has the
// release entry point and, built again, in one whose engine lacks it.
#include <gtest/gtest.h>

#include <cstdint>

#include "HALUtilities/AutoKXDVRRefRelease.h"

#ifdef QV_TEST_WITH_KXRT
extern "C" uint32_t kxrtsim_releasedCount(void);
extern "C" uint32_t kxrtsim_lastReleased(void);
#endif

namespace {

TEST(AutoKXDVRRefRelease, ReleasesAndClearsUnlessDismissed) {
    uint32_t reference = 0x1234;
    {
        qv3377hal::AutoKXDVRRefRelease guard(&reference);
        EXPECT_EQ(guard.get(), &reference);
    }
    EXPECT_EQ(reference, 0u);
#ifdef QV_TEST_WITH_KXRT
    EXPECT_EQ(kxrtsim_releasedCount(), 1u);
    EXPECT_EQ(kxrtsim_lastReleased(), 0x1234u);
#endif

    reference = 0x55;
    {
        qv3377hal::AutoKXDVRRefRelease guard(&reference);
        guard.dismiss();
    }
    EXPECT_EQ(reference, 0x55u);
#ifdef QV_TEST_WITH_KXRT
    EXPECT_EQ(kxrtsim_releasedCount(), 1u);
#endif
}

}  // namespace
