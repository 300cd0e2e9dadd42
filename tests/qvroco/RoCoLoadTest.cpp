// The session over a library that is absent, or present without one entry
// point (QV_LACKING_ENTRY_POINT): construction succeeds and the first use
// throws the load failure, on every use.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "qverr/Exception.h"
#include "qvroco/RoCoSession.h"

namespace {

using ::testing::HasSubstr;

TEST(RouteControlLoadFailure, ConstructionSucceedsAndEveryUseThrowsTheLoadStatus) {
    rocout::RoCoSession session;
    const std::function<void()> uses[] = {
        [&] { session.calculateRoute("/Dev1/PFI0", "/Dev1/PFI1", nullptr); },
        [&] { session.calculateRoute("/Dev1/PFI0", "/Dev1/PFI1", nullptr); },  // again: the same failure
        [&] { session.newRouteAttributes(); }, [&] { session.completeDeviceReset("Dev1"); },
        [&] { session.initiateDeviceReset("Dev1"); }};
    for (const auto& use : uses) {
        try {
            use();
            ADD_FAILURE() << "no failure";
        } catch (const qverr::Exception& error) {
            EXPECT_EQ(error.status.code, -52005);
#ifdef QV_LACKING_ENTRY_POINT
            EXPECT_THAT(error.what(), HasSubstr("\"debug\":\"failed to get symbol\","
                                                "\"qvdynlib_symbol\":\"qvrocoapi_getRouteInfo\""));
#else
            EXPECT_THAT(error.what(), HasSubstr("\"debug\":\"failed to qvdynlib_load library\","
                                                "\"path\":\"libqvrocoapi.so.1\""));
#endif
        }
    }
}

}  // namespace
