// A driver process as later tests build it: the simulated module and the
// FPGA interface library stand-in in the process, the shipped library loaded
// by name beside them.
#include <gtest/gtest.h>

#include "module/SimulatedModule.h"
#include "qvfpga/QvFpgaSim.h"
#include "qvisl/QvFpgaDll.h"
#include "support/HostLibrary.h"

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

}  // namespace
