// A process without the run-time engine: the calibration library loads, but
// no calibration call may go on without the engine.
#include <gtest/gtest.h>

#include <string>

#include "SelfCalHALImpl/SelfCalHALSession.h"
#include "qverr/Codes.h"
#include "qvqrx3377cal/calsim.h"
#include "support/TempDir.h"

namespace {

TEST(SelfCalMissingEngine, EveryCallFailsAlike) {
    calsim_reset();
    selfcalhal::SelfCalHALSession session("QV1", "b", "", QV_CAL_FULL,
                                          selfcalhal::CalibrationTiming{});
    selfcalhal::SelfCalHALSession second("QV2", "b", "", QV_CAL_FULL,
                                         selfcalhal::CalibrationTiming{});
    for (auto* calling : {&session, &session, &second}) {
        auto [code, json] = qvtest::thrownStatus([&] { calling->selfCalibrate("R"); });
        EXPECT_EQ(code, qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
        EXPECT_NE(json.find(R"("symbol":"KXLoadLatestCompatibleRTE")"), std::string::npos) << json;
    }
    EXPECT_EQ(calsim_calls(calsim_dllStatus), 0u);
    EXPECT_EQ(calsim_calls(calsim_selfCalibrate), 0u);
}

}  // namespace
