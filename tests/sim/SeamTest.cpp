// The seam between the library and a simulator linked into the process: the
// table is complete before any constructor runs, and a change of roots never
// pulls a root's text from under a library thread that reads it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "kerneldriver/DeviceTree.h"
#include "kerneldriver/Driver.h"
#include "qvapal/protons/driver/tDeviceInterfaceProxy.h"
#include "qvapal/protons/system/tSystemInterface.h"

namespace {

using namespace sdihal::nQVAPAL000;

// Taken during static start-up, before the simulator's own file has run any
// constructor (this file is linked first). The library keeps this answer.
const tSystemInterface* const seenAtStartUp = &systemInterface();
const bool openAtStartUp = seenAtStartUp->open != nullptr && seenAtStartUp->driverRoot != nullptr;

TEST(Seam, TableIsCompleteDuringStaticStartUp) {
    EXPECT_TRUE(openAtStartUp);
    EXPECT_NE(seenAtStartUp, &operatingSystemInterface());
    EXPECT_EQ(seenAtStartUp, &systemInterface());
    EXPECT_EQ(seenAtStartUp->size, sizeof(tSystemInterface));

    // And it serves the simulated driver's device files.
    qvsim::Driver driver;
    tDeviceInterfaceProxy proxy;
    nQVAPALS100::tStatus status;
    proxy.open(driver.addDevice("dev0").c_str(), status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(driver.openDescriptors(), 1u);
}

TEST(Seam, RootsChangeUnderReadingThreads) {
    std::atomic<bool> stop{false};
    std::atomic<size_t> reads{0};
    auto reader = [&] {
        const tSystemInterface& system = systemInterface();
        while (!stop.load(std::memory_order_relaxed)) {
            // A root's text stays readable after the roots changed.
            const char* root = system.driverRoot();
            const char* device = system.moduleDeviceRoot();
            const std::string copy = std::string(root) + device;
            EXPECT_NE(copy.find("/proc/driver/qv/"), std::string::npos);
            reads.fetch_add(1, std::memory_order_relaxed);
        }
    };
    std::thread first(reader), second(reader);
    for (int i = 0; i < 50; ++i) {
        qvsim::DeviceTree tree;  // points the roots into a long temporary path
        EXPECT_EQ(std::string(systemInterface().driverRoot()), tree.driverRoot());
    }  // and back to the real ones
    stop = true;
    first.join();
    second.join();
    EXPECT_GT(reads.load(), 0u);
    EXPECT_STREQ(systemInterface().driverRoot(), "/proc/driver/qv/");
    EXPECT_STREQ(systemInterface().systemRoot(), "");
}

}  // namespace
