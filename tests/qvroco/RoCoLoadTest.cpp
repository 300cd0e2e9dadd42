// The session over a library that is absent, or present without one entry
// point (QV_LACKING_ENTRY_POINT): construction succeeds and the first use
// throws the load failure, on every use.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "qverr/Codes.h"
#include "qvroco/RoCoSession.h"
#include "support/TempDir.h"

namespace {

using ::testing::HasSubstr;

TEST(RouteControlLoadFailure, ConstructionSucceedsAndEveryUseThrowsTheLoadStatus) {
    rocout::RoCoSession session;
    const std::function<void()> uses[] = {
        [&] { session.calculateRoute("/Dev1/PFI0", "/Dev1/PFI1", nullptr); },
        [&] {
            session.calculateRoute("/Dev1/PFI0", "/Dev1/PFI1", nullptr);
        },  // again: the same failure
        [&] { session.completeDeviceReset("Dev1"); }};
    for (const auto& use : uses) {
        const auto [code, json] = qvtest::thrownStatus(use);
        EXPECT_EQ(code, qverr::qvapalerr_invalidParameter);
#ifdef QV_LACKING_ENTRY_POINT
        EXPECT_THAT(json, HasSubstr("\"debug\":\"failed to get "
                                    "symbol\",\"qvdynlib_symbol\":\"qvrocoapi_getRouteInfo\""));
#else
        EXPECT_THAT(
            json,
            HasSubstr(
                "\"debug\":\"failed to qvdynlib_load library\",\"path\":\"libqvrocoapi.so.1\""));
#endif
    }
}

}  // namespace
