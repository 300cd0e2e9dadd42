#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>

#include "qverr/Codes.h"
#include "qvjsonconfig/afaWrappers/DirectoryPoller.h"
#include "support/Counter.h"
#include "support/TempDir.h"
#include "support/TraceCapture.h"

namespace {

using ::testing::HasSubstr;

class Target : public qvjsonconfig::UpdateableInterface {
public:
    explicit Target(std::function<void(int)> action = nullptr) : action_(std::move(action)) {}
    void update() override {
        const int count = updates.increment();
        if (action_) action_(count);
    }
    qvtest::Counter updates;

private:
    std::function<void(int)> action_;
};

TEST(DirectoryPoller, WhateverUpdateThrowsIsLoggedAndPollingGoesOn) {
    qvtest::TempDir dir;
    qvtest::TraceCapture trace;
    Target target([](int count) {
        if (count == 1) throw std::runtime_error("x");
        if (count == 2)
            QVERR_THROW("internal_sdi_hal23u", qverr::qvapalerr_resourceNotFound,
                        "qvapalerr_resourceNotFound");
        if (count == 3) throw 42;
    });
    {
        qvjsonconfig::DirectoryPoller poller(target, dir.path().c_str());
        for (int round = 1; round <= 4; ++round) {
            qvtest::writeFile(dir / "file", std::to_string(round));
            ASSERT_TRUE(target.updates.waitFor(round));
        }
    }
    const std::string log = trace.all();
    // The poller's own sites, the source right-aligned in 32 characters.
    const std::string site = "[sdi_hal23u|                 DirectoryPoller|";
    EXPECT_THAT(log,
                HasSubstr(site + "0120] Caught exception of type <std::runtime_error> with what() "
                                 "returning \"x\"\n"));
    EXPECT_THAT(log,
                HasSubstr(site + "0116] Caught qverr exception: FAIL(-52006,{\"error_constant\":"
                                 "\"qvapalerr_resourceNotFound\",\"file\":"));
    EXPECT_THAT(log, HasSubstr(site + "0120] Caught exception of unknown type.\n"));
}

}  // namespace
