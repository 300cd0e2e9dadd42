// The VISA plug-in under concurrent hosts: sessions kept alive by the
// transfer that uses them, and many threads opening, moving blocks and
// closing at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "qvvisa_pxi_plugin_apal_codegen/VisaPluginFixture.h"

namespace {

using namespace qvtest;
using namespace std::chrono_literals;

class VisaPluginThreads : public VisaPlugin {
protected:
    // Opens a session and starts a block read that the driver holds until
    // released (or a time-out passes).
    uint64_t startHeldRead() {
        EXPECT_EQ(plugin.initializePlugin(), 0);
        const uint64_t session = openModule();
        module.on("visapxipluginapalcodegen.blockRead",
                  [this](const qvsim::DecodedRequest&, qvsim::Reply&) {
                      entered.set_value();
                      released.wait_for(30s);
                      return 0;
                  });
        transfer = std::thread([this, session] {
            result = plugin.blockRead(session, 0, 0, 0, 1, 0, buffer, sizeof buffer, 0);
        });
        EXPECT_EQ(entered.get_future().wait_for(30s), std::future_status::ready);
        return session;
    }
    // Lets the read finish: it succeeds, and the session is gone with it.
    void finishHeldRead() {
        release.set_value();
        transfer.join();
        EXPECT_EQ(result.load(), 0);
        EXPECT_EQ(module.visa().attached.load(), 0);
        EXPECT_EQ(module.driver().openDescriptors(), 0u);
    }

    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::thread transfer;
    uint8_t buffer[16] = {};
    std::atomic<int32_t> result{1};
};

TEST_F(VisaPluginThreads, CloseDuringATransferDetachesWhenItEnds) {
    const uint64_t session = startHeldRead();
    EXPECT_EQ(plugin.close(session), 0);
    EXPECT_EQ(module.visa().attached.load(), 1);
    uint16_t word = 0;
    EXPECT_EQ(plugin.getDeviceAttribute(session, 0x3FFF00D9, &word), kViErrorInvalidObject);
    finishHeldRead();
    EXPECT_EQ(plugin.finalizePlugin(), 0);
}

TEST_F(VisaPluginThreads, FinalizeDuringATransferDefersTheRelease) {
    startHeldRead();
    EXPECT_EQ(plugin.finalizePlugin(), 0);
    EXPECT_EQ(module.visa().attached.load(), 1);
    finishHeldRead();
}

TEST_F(VisaPluginThreads, ManyHostsOpenTransferAndCloseAtOnce) {
    ASSERT_EQ(plugin.initializePlugin(), 0);
    constexpr int kThreads = 8;
    constexpr int kRounds = 25;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const uint8_t mark = static_cast<uint8_t>(t + 1);
            for (int round = 0; round < kRounds; ++round) {
                uint64_t session = 0;
                if (plugin.open(0, qvsim::VisaBlock::kBusNumber, qvsim::VisaBlock::kDeviceNumber,
                                qvsim::VisaBlock::kFunctionNumber, &session) != 0) {
                    ++failures;
                    continue;
                }
                uint8_t written[64], read[64] = {};
                std::fill(std::begin(written), std::end(written), mark);
                const uint64_t offset = 0x1000u * static_cast<uint64_t>(t);
                if (plugin.blockWrite(session, 0, 1, offset, 1, 0, written, sizeof written, 0) !=
                        0 ||
                    plugin.blockRead(session, 0, 1, offset, 1, 0, read, sizeof read, 0) != 0 ||
                    read[0] != mark || read[63] != mark || plugin.close(session) != 0) {
                    ++failures;
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(module.visa().attached.load(), 0);
    EXPECT_EQ(plugin.finalizePlugin(), 0);
    EXPECT_EQ(module.driver().openDescriptors(), 0u);
}

}  // namespace
