// A driver process as later tests build it: the simulated module and the
// FPGA interface library stand-in in the process, the shipped library loaded
// by name beside them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "module/SimulatedModule.h"
#include "qvfpga/QvFpgaSim.h"
#include "qvisl/QvFpgaDll.h"
#include "support/AddressChecker.h"
#include "support/HostLibrary.h"
#include "support/LibraryContext.h"
#include "support/ProcessPages.h"
#include "support/TempDir.h"

namespace {

TEST(HostHarness, LoadsTheLibraryBesideTheStandInsWithoutStartingAnything) {
    qvsim::SimulatedModule module;
    const size_t threads = qvsim::processThreads();
    const size_t descriptors = qvsim::processDescriptors();
    {
        qvtest::HostLibrary library(QV_SHARED_LIBRARY);
        ASSERT_TRUE(library.loaded());
        EXPECT_LE(qvsim::processThreadsSettlingAtMost(threads), threads);
        EXPECT_EQ(qvsim::processDescriptors(), descriptors);
        // The library's FPGA interface is the stand-in this process controls.
        EXPECT_EQ(library.fn<decltype(&QvFpgaDll_Open)>("QvFpgaDll_Open"), &QvFpgaDll_Open);
        EXPECT_NE(library.fn<void*>("trig_open"), nullptr);
    }
    EXPECT_LE(qvsim::processThreadsSettlingAtMost(threads), threads);
}

// What this process has mapped: mappings, and its pages.
struct Footprint {
    int64_t mappings;
    qvtest::ProcessPages pages;
};

Footprint footprint() {
    const std::string maps = qvtest::readFile("/proc/self/maps");
    return {std::count(maps.begin(), maps.end(), '\n'), qvtest::processPages()};
}

// A host that reloads its driver: load, a session opened and closed, unload,
// again and again. Once the C library's own caches are warm, each cycle
// leaves the process as it found it.
TEST(HostHarness, ReloadingTheLibraryLeavesNothingBehind) {
#ifdef QV_ADDRESS_CHECKER
    GTEST_SKIP() << "the address checker keeps records of its own for every load";
#endif
    qvsim::SimulatedModule module;
    const std::string params = qvtest::deviceParams(module);
    const auto cycle = [&] {
        {
            qvtest::HostLibrary library(QV_SHARED_LIBRARY);
            qvtest::openDevice(library, "ai/0", params);  // closed at once
        }
        // What the simulated driver records of the requests.
        module.decoder().clear();
        module.driver().clearRequests();
    };
    for (int i = 0; i < 20; ++i) cycle();
    const Footprint early = footprint();
    constexpr int64_t kCycles = 200;
    for (int64_t i = 0; i < kCycles; ++i) cycle();
    const Footprint late = footprint();
    EXPECT_LE(late.mappings, early.mappings);
    // A page left by each load would be kCycles pages.
    EXPECT_LT(late.pages.mapped - early.pages.mapped, kCycles / 8);
    EXPECT_LT(late.pages.resident - early.pages.resident, kCycles / 8);
}

}  // namespace
