// The selfcal_ exports through the shipped library, called as a C driver
// calls them, on the self-calibration context of a device session on the
// simulated module; the calibration library is found by its real name on the
// library search path.
#include <gtest/gtest.h>

#include <string>

#include "module/SimulatedModule.h"
#include "qverr/Codes.h"
#include "qvqrx3377cal/calsim.h"
#include "support/HostLibrary.h"
#include "support/LibraryContext.h"

extern "C" uint32_t kxrtsim_cleanupRegistrations(void);

namespace {

using SelfTestFn = int32_t (*)(uint64_t, qvhost_status*);
using CalibrateFn = int32_t (*)(uint64_t, const char*);
using StandaloneFn = int32_t (*)(uint64_t);
using RangeFn = int32_t (*)(uint64_t, const char*, uint64_t, int32_t, double, double, double,
                            double, double);

std::string lastConfiguration(int entry) {
    char configuration[1024];
    calsim_lastCall(entry, nullptr, 0, configuration, sizeof configuration);
    return configuration;
}

TEST(SelfCalExports, EveryOperationThroughTheShippedLibrary) {
    qvtest::HostLibrary library(QV_SHARED_LIBRARY);
    ASSERT_TRUE(library.loaded());

    calsim_reset();
    qvsim::SimulatedModule module;
    const qvtest::LibraryContext context(
        library, module, "ao/0", 24,
        qvtest::deviceParams(module, "\"bitfileName\":\"qv3377.qvimage\""));
    uint64_t handle = 0;
    ASSERT_EQ(library.fn<qvhost_openReturnCode>("selfcal_open")(context.device(), context.handle(),
                                                                &handle),
              0);

    auto calibrate = library.fn<CalibrateFn>("selfcal_selfCalibrate");
    EXPECT_EQ(calibrate(handle, "PXI_Clk"), 0);
    EXPECT_EQ(lastConfiguration(calsim_selfCalibrate),
              "bitfileName:qv3377.qvimage,refClock:PXI_Clk,");
    EXPECT_EQ(kxrtsim_cleanupRegistrations(), 1u);
    // A positive result is a success; a negative one is the export's code.
    calsim_setResult(calsim_selfCalibrate, -200500);
    EXPECT_EQ(calibrate(handle, "R"), -200500);
    EXPECT_EQ(calibrate(handle, nullptr), qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    EXPECT_EQ(calibrate(0, "R"), qverr::qvapalerr_invalidParameter);

    EXPECT_EQ(library.fn<StandaloneFn>("selfcal_standaloneSelfCalibrate")(handle), 0);

    auto pexg = library.fn<RangeFn>("selfcal_PEXG_SelfCalibrateRange");
    EXPECT_EQ(pexg(handle, "R", 12, 2, 1, 2, 3, 4, 125e6), 0);
    EXPECT_EQ(calsim_lastValue(calsim_pexgRange), 12u);
    EXPECT_EQ(pexg(handle, nullptr, 0, 0, 0, 0, 0, 0, 0),
              qverr::qvapalerr_softwareFaultAPALInternalUseOnly);

    auto selfTest = library.fn<SelfTestFn>("selfcal_intermediateSelfTestDevice");
    calsim_setSelfTest(-7, R"({"r":[{"a":"LO","b":"unlocked"}]})");
    qvhost_status status = qvhost_newStatus();
    EXPECT_EQ(selfTest(handle, &status), 0);
    EXPECT_EQ(status.code, -7);
    EXPECT_NE(status.json, nullptr);
    qvhost_release(&status);
    calsim_setResult(calsim_selfTest, -50);
    status = qvhost_newStatus();
    EXPECT_EQ(selfTest(handle, &status), -50);
    qvhost_release(&status);
    EXPECT_EQ(selfTest(handle, nullptr), qverr::qvapalerr_softwareFaultAPALInternalUseOnly);

    library.fn<qvhost_close>("selfcal_close")(handle);
}

}  // namespace
