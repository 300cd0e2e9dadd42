// The simulated module serving several host threads at once: every request
// is answered and counted once, and (under ThreadSanitizer) the module's own
// state never races.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/ModuleProxy.h"

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 200;

TEST(SimulatedModuleThreads, BlocksServeConcurrentRequests) {
    qvsim::SimulatedModule module;
    const auto proxy = qvtest::openModuleProxy(module);
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const std::string description = "client " + std::to_string(t);
            for (int round = 0; round < kRounds; ++round) {
                nQVAPALS100::tStatus status;
                proxy->setReservationClientDescription(
                    reinterpret_cast<uintptr_t>(description.data()),
                    static_cast<uint32_t>(description.size()), status);
                uint64_t ticket = 0;
                proxy->reserve(0, 0, 0, &ticket, status);
                proxy->sendSyncPulse(status);
                if (round % 2 == 0) {
                    proxy->enableSyntraMeasurement(status);
                } else {
                    proxy->disableSyntraMeasurement(status);
                }
                sdihal::tRecord<24> record;
                static_cast<sdihal::iInterfaceProxy_datapath&>(*proxy).checkStatus(
                    static_cast<uint32_t>(round % 2), &record, status);
                failures[t] += status.getCode() != 0;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
    EXPECT_EQ(module.syntraSync().syncPulses, static_cast<uint32_t>(kThreads * kRounds));
    EXPECT_EQ(module.reservation().tickets.size(), static_cast<size_t>(kThreads * kRounds));
    EXPECT_EQ(module.reservation().description.rfind("client ", 0), 0u);
    proxy->close();
}

}  // namespace
