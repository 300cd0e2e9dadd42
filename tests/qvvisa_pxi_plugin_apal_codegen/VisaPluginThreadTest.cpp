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
#include "support/EndsWithin.h"
#include "support/SelfProcess.h"

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

// A host that forks while another thread opens, lists and closes modules.
// The simulated driver takes its own lock before a fork, and every device
// request wants it: whichever prepare handler runs first, the library's
// must not wait for a thread that holds a lock of its own while it waits
// for the driver's. Run in a process of its own; a fork that waits for
// ever is killed.
TEST(VisaPluginFork, ForksWhileAnotherThreadOpensSessions) {
    if (environmentIs("QV_TEST_VISA_FORKS", "1")) {
        HostLibrary library(QV_SHARED_LIBRARY);
        VisaPluginApi plugin{library};
        if (plugin.initializePlugin() != 0) _exit(3);
        qvsim::SimulatedModule module;
        std::atomic<bool> stop{false};
        std::thread opening([&] {
            while (!stop) {
                uint64_t session = 0;
                uint32_t count = 0;
                plugin.getDeviceIDs(0, 0, nullptr, nullptr, &count);
                if (plugin.open(0, qvsim::VisaBlock::kBusNumber, qvsim::VisaBlock::kDeviceNumber,
                                qvsim::VisaBlock::kFunctionNumber, &session) == 0)
                    plugin.close(session);
            }
        });
        for (int i = 0; i < 200; ++i) {
            const pid_t child = fork();
            if (child == 0) _exit(0);
            if (waitForExit(child) != 0) _exit(4);
        }
        stop = true;
        opening.join();
        std::exit(plugin.finalizePlugin() == 0 ? 0 : 5);
    }
    const pid_t host =
        spawnSelf("VisaPluginFork.ForksWhileAnotherThreadOpensSessions", "QV_TEST_VISA_FORKS=1");
    EXPECT_EQ(waitForExitWithin(host, std::chrono::seconds(60)), 0);
}

}  // namespace
