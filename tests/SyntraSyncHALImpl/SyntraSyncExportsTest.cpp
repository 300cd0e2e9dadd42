// Every syntrasync_ export through the shipped library, called by name as a
// C driver calls it, on the context a device session over the simulated
// module hands out.
#include <gtest/gtest.h>

#include "SessionFixture.h"
#include "qverr/Codes.h"
#include "qvfpga/QvFpgaSim.h"
#include "support/HostLibrary.h"
#include "support/LibraryContext.h"

namespace {

using HandleFn = int32_t (*)(uint64_t);
using OneValueFn = int32_t (*)(uint64_t, uint32_t);
using TwoValuesFn = int32_t (*)(uint64_t, uint32_t, uint32_t);
using TriggerSyncFn = int32_t (*)(uint64_t, uint64_t, const uint32_t*);
using ReadFn = int32_t (*)(uint64_t, uint32_t, double*, double);
using DelayFn = int32_t (*)(uint64_t, double);

TEST(SyntraSyncExports, DriveAnFTDCModule) {
    qvsim::SimulatedModule module;
    module.syntraSync().ftdcStart = syntrasynctest::wholeValue(10);
    module.syntraSync().ftdcStop = syntrasynctest::wholeValue(10);
    qvtest::HostLibrary lib(QV_SHARED_LIBRARY);
    ASSERT_TRUE(lib.loaded());
    // The Syntra block is found through the FPGA session's driver check.
    qvfpgasim_reset();
    qvsim::SimulatedModule::declareDefaultFifos();
    const qvtest::LibraryContext context(lib, module, "ai/0", 19,
                                         qvtest::deviceParams(module, qvtest::kFpgaImageMembers));
    const uint64_t address = context.handle();
    ASSERT_NE(address, 0u);

    auto open = lib.fn<int32_t (*)(uint64_t, uint64_t, uint64_t*)>("syntrasync_open");
    uint64_t handle = 0;
    ASSERT_EQ(open(1, address, &handle), 0);
    EXPECT_EQ(handle, address);
    EXPECT_EQ(open(1, address, &handle), qverr::qvapalerr_invalidParameter);  // the slot is taken

    auto read = lib.fn<ReadFn>("syntrasync_readSyntraMeasurement");
    double seconds = -1.0;
    EXPECT_EQ(read(handle, 0, &seconds, 1e-7),
              qverr::qvapalerr_invalidParameter);  // not configured yet
    EXPECT_EQ(lib.fn<TwoValuesFn>("syntrasync_configureSyntra")(handle, 3, 5), 0);
    EXPECT_EQ(read(handle, 0, nullptr, 1e-7), qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(read(handle, 0, &seconds, 1e-7), 0);
    EXPECT_NEAR(seconds, 9e-8, 1e-18);

    auto& block = module.syntraSync();
    auto triggerSync = lib.fn<TriggerSyncFn>("syntrasync_configureTriggerSynchronization");
    const uint32_t values[] = {5, 6};
    EXPECT_EQ(triggerSync(handle, 2, values), 0);
    EXPECT_EQ(block.triggerSynchronization, (std::vector<uint32_t>{5, 6}));
    // Forwards of each argument shape stand for the rest.
    EXPECT_EQ(lib.fn<HandleFn>("syntrasync_enableSyntraMeasurement")(handle), 0);
    EXPECT_TRUE(block.measurementEnabled);
    EXPECT_EQ(lib.fn<OneValueFn>("syntrasync_applyMediumAdjustment")(handle, 12), 0);
    EXPECT_EQ(block.mediumAmount, 12u);
    EXPECT_EQ(lib.fn<TwoValuesFn>("syntrasync_applyCoarseAdjustment")(handle, 1, 2), 0);
    EXPECT_EQ(block.coarseSecond, 2u);
    EXPECT_EQ(lib.fn<DelayFn>("syntrasync_setConverterDelayInSeconds")(handle, 1e-9), 0);
    // No request for the fine converter's calibration; no fine adjustment.
    module.decoder().clear();
    EXPECT_EQ(lib.fn<HandleFn>("syntrasync_calibrateTDC")(handle), 0);
    EXPECT_TRUE(module.decoder().requests().empty());
    EXPECT_EQ(lib.fn<OneValueFn>("syntrasync_applyFineAdjustment")(handle, 1),
              qverr::qvapalerr_featureUnsupported);

    // A driver failure comes back as its code.
    qvtest::failRequests(module, "syntrasync.sendSyncPulse", -52010);
    EXPECT_EQ(lib.fn<HandleFn>("syntrasync_sendSyncPulse")(handle),
              qverr::qvapalerr_resourceNotInitialized);
    lib.fn<void (*)(uint64_t)>("syntrasync_close")(handle);

    // A null handle is refused (every operation shares one frame).
    EXPECT_EQ(lib.fn<HandleFn>("syntrasync_sendSyncPulse")(0), qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(read(0, 0, &seconds, 1e-7), qverr::qvapalerr_invalidParameter);
    lib.fn<void (*)(uint64_t)>("syntrasync_close")(0);
}

}  // namespace
