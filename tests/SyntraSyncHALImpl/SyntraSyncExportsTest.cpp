// Every syntrasync_ export through the shipped library, called by name as a
// C driver calls it, on sessions over the simulated module (passed by
// address until the device session hands them out).
#include <gtest/gtest.h>

#include <cmath>

#include "SessionFixture.h"
#include "support/HostLibrary.h"

namespace {

using qvsim::SimulatedModule;

using OpenFn = int32_t (*)(uint64_t, uint64_t, uint64_t*);
using CloseFn = void (*)(uint64_t);
using HandleFn = int32_t (*)(uint64_t);
using TwoValuesFn = int32_t (*)(uint64_t, uint32_t, uint32_t);
using OneValueFn = int32_t (*)(uint64_t, uint32_t);
using TriggerSyncFn = int32_t (*)(uint64_t, uint64_t, const uint32_t*);
using ReadFn = int32_t (*)(uint64_t, uint32_t, double*, double);
using DelayFn = int32_t (*)(uint64_t, double);

struct Exports {
    explicit Exports(qvtest::HostLibrary& lib)
        : open(lib.fn<OpenFn>("syntrasync_open")),
          close(lib.fn<CloseFn>("syntrasync_close")),
          configureSyntra(lib.fn<TwoValuesFn>("syntrasync_configureSyntra")),
          configureTriggerSynchronization(
              lib.fn<TriggerSyncFn>("syntrasync_configureTriggerSynchronization")),
          enable(lib.fn<HandleFn>("syntrasync_enableSyntraMeasurement")),
          disable(lib.fn<HandleFn>("syntrasync_disableSyntraMeasurement")),
          sendSyncPulse(lib.fn<HandleFn>("syntrasync_sendSyncPulse")),
          read(lib.fn<ReadFn>("syntrasync_readSyntraMeasurement")),
          fine(lib.fn<OneValueFn>("syntrasync_applyFineAdjustment")),
          medium(lib.fn<OneValueFn>("syntrasync_applyMediumAdjustment")),
          coarse(lib.fn<TwoValuesFn>("syntrasync_applyCoarseAdjustment")),
          calibrateTDC(lib.fn<HandleFn>("syntrasync_calibrateTDC")),
          setConverterDelay(lib.fn<DelayFn>("syntrasync_setConverterDelayInSeconds")) {}

    OpenFn open;
    CloseFn close;
    TwoValuesFn configureSyntra;
    TriggerSyncFn configureTriggerSynchronization;
    HandleFn enable;
    HandleFn disable;
    HandleFn sendSyncPulse;
    ReadFn read;
    OneValueFn fine;
    OneValueFn medium;
    TwoValuesFn coarse;
    HandleFn calibrateTDC;
    DelayFn setConverterDelay;
};

uint64_t handleOf(syntrasynchal::SyntraSyncSession& session) {
    return reinterpret_cast<uintptr_t>(&session);
}

TEST(SyntraSyncExports, DriveAnFTDCModule) {
    SimulatedModule module;
    module.syntraSync().ftdcStart = syntrasynctest::wholeValue(10);
    module.syntraSync().ftdcStop = syntrasynctest::wholeValue(10);
    auto session = syntrasynctest::makeSession(module);
    qvtest::HostLibrary lib(QV_SHARED_LIBRARY);
    ASSERT_TRUE(lib.loaded());
    Exports x(lib);

    uint64_t handle = 0;
    ASSERT_EQ(x.open(1, handleOf(*session), &handle), 0);
    EXPECT_EQ(handle, handleOf(*session));
    EXPECT_EQ(x.open(1, handleOf(*session), &handle), -52005);  // the slot is taken
    EXPECT_EQ(x.open(1, handleOf(*session), nullptr), -52005);

    double seconds = -1.0;
    EXPECT_EQ(x.read(handle, 0, &seconds, 1e-7), -52005);
    EXPECT_EQ(x.configureSyntra(handle, 3, 5), 0);
    EXPECT_EQ(x.read(handle, 0, nullptr, 1e-7), -52005);
    EXPECT_EQ(x.read(handle, 0, &seconds, 1e-7), 0);
    EXPECT_NEAR(seconds, 9e-8, 1e-18);

    const uint32_t values[] = {5, 6};
    EXPECT_EQ(x.configureTriggerSynchronization(handle, 2, values), 0);
    EXPECT_EQ(module.syntraSync().triggerSynchronization, (std::vector<uint32_t>{5, 6}));
    EXPECT_EQ(x.configureTriggerSynchronization(handle, 2, nullptr), -52005);
    EXPECT_EQ(x.enable(handle), 0);
    EXPECT_TRUE(module.syntraSync().measurementEnabled);
    EXPECT_EQ(x.disable(handle), 0);
    EXPECT_FALSE(module.syntraSync().measurementEnabled);
    EXPECT_EQ(x.sendSyncPulse(handle), 0);
    EXPECT_EQ(module.syntraSync().syncPulses, 1u);
    EXPECT_EQ(x.medium(handle, 12), 0);
    EXPECT_EQ(module.syntraSync().mediumAmount, 12u);
    EXPECT_EQ(x.coarse(handle, 1, 2), 0);
    EXPECT_EQ(module.syntraSync().coarseSecond, 2u);
    EXPECT_EQ(x.setConverterDelay(handle, 1e-9), 0);
    module.decoder().clear();
    EXPECT_EQ(x.calibrateTDC(handle), 0);
    EXPECT_TRUE(module.decoder().requests().empty());
    EXPECT_EQ(x.fine(handle, 1), -52002);

    // A driver failure comes back as its code.
    module.on("syntrasync.sendSyncPulse", [](const qvsim::DecodedRequest&, qvsim::Reply& reply) {
        reply.status(-52010);
        return 0;
    });
    EXPECT_EQ(x.sendSyncPulse(handle), -52010);
    x.close(handle);
}

TEST(SyntraSyncExports, RefuseANullHandle) {
    qvtest::HostLibrary lib(QV_SHARED_LIBRARY);
    ASSERT_TRUE(lib.loaded());
    Exports x(lib);
    double seconds = 0.0;
    const uint32_t value = 1;
    EXPECT_EQ(x.configureSyntra(0, 1, 1), -52005);
    EXPECT_EQ(x.configureTriggerSynchronization(0, 1, &value), -52005);
    EXPECT_EQ(x.enable(0), -52005);
    EXPECT_EQ(x.disable(0), -52005);
    EXPECT_EQ(x.sendSyncPulse(0), -52005);
    EXPECT_EQ(x.read(0, 0, &seconds, 1e-7), -52005);
    EXPECT_EQ(x.medium(0, 1), -52005);
    EXPECT_EQ(x.coarse(0, 1, 1), -52005);
    EXPECT_EQ(x.calibrateTDC(0), -52005);
    EXPECT_EQ(x.setConverterDelay(0, 1.0), -52005);
    EXPECT_EQ(x.fine(0, 0), -52002);
    x.close(0);
}

TEST(SyntraSyncExports, CalibrateAPulseStretcherAndMissTheAnalysisLibrary) {
    SimulatedModule module;
    qvtest::HostLibrary lib(QV_SHARED_LIBRARY);
    ASSERT_TRUE(lib.loaded());
    Exports x(lib);

    module.syntraSync().measurementType = 2;
    auto stretcher = syntrasynctest::makeSession(module);
    const uint64_t handle = handleOf(*stretcher);
    ASSERT_EQ(x.configureSyntra(handle, 1, 1), 0);
    double seconds = 0.0;
    EXPECT_EQ(x.read(handle, 0, &seconds, 1e-7), -52003);
    ASSERT_EQ(x.calibrateTDC(handle), 0);
    module.syntraSync().pulseStretcherReading[2] = 3 * 12 + 3;  // the default stretch of setting 3
    ASSERT_EQ(x.read(handle, 0, &seconds, 1e-7), 0);
    EXPECT_NEAR(seconds, -3 / 156.25e6 + 1e-7, 1e-15);

    // This process has no analysis library: a pulse-injection read fails
    // with the library's code when it needs it.
    module.syntraSync().measurementType = 1;
    module.syntraSync().pulseInjectionSamples.assign(200, 0x10000);
    auto injection = syntrasynctest::makeSession(module);
    ASSERT_EQ(x.configureSyntra(handleOf(*injection), 1, 0), 0);
    EXPECT_EQ(x.read(handleOf(*injection), 0, &seconds, 1e-7), -1074097800);  // no edge to find
    module.syntraSync().pulseInjectionSamples.clear();
    for (int half = 0; half < 40; ++half) {
        module.syntraSync().pulseInjectionSamples.insert(
            module.syntraSync().pulseInjectionSamples.end(), half == 37 ? 100 : 50,
            half % 2 == 0 ? 0x10000 : 0x30000);
    }
    EXPECT_EQ(x.read(handleOf(*injection), 0, &seconds, 1e-7), -1074135031);
}

}  // namespace
