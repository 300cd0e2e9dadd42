// Each family end to end as a C driver uses it: device_open, the family's
// context from device_getContext, the family's open, one operation on the
// simulated module, the family's close, device_close.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "DeviceHALImpl/DeviceHALSession.h"
#include "DeviceHALImpl/DeviceHost.h"
#include "qvqrx3377cal/calsim.h"
#include "rocoapi/qvrocosim.h"

// The run-time engine stand-in the calibration library runs on; naming one
// of its symbols keeps the linker from dropping it.
extern "C" uint32_t kxrtsim_cleanupRegistrations(void);

namespace {

namespace context = qv3377hal::context;

using OpenRC = int32_t (*)(uint64_t, uint64_t, uint64_t*);
using OpenSL = void (*)(uint64_t, uint64_t, uint64_t*, qvhost_status*);
using Close = void (*)(uint64_t);

class Families : public ::testing::Test, public devicetest::DeviceHost {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.loaded());
        device = openSession("ao/0", params("\"bitfileName\":\"qv3377.qvimage\""));
        ASSERT_NE(device, 0u);
    }
    void TearDown() override {
        device.close();
        EXPECT_EQ(module.driver().openDescriptors(), 0u);
        EXPECT_EQ(qvfpgasim_openSessions(), 0u);
    }

    // The family handle of context `id` through `prefix`_open (return code).
    uint64_t openFamily(const std::string& prefix, uint32_t id) {
        uint64_t handle = 0;
        EXPECT_EQ(library.fn<OpenRC>(prefix + "_open")(device, context(device, id), &handle), 0)
            << prefix;
        EXPECT_NE(handle, 0u) << prefix;
        return handle;
    }
    uint64_t openFamilyStatusLast(const std::string& prefix, uint32_t id) {
        uint64_t handle = 0;
        qvhost_status status = qvhost_newStatus();
        library.fn<OpenSL>(prefix + "_open")(device, context(device, id), &handle, &status);
        EXPECT_EQ(status.code, 0) << prefix;
        qvhost_release(&status);
        return handle;
    }
    void closeFamily(const std::string& prefix, uint64_t handle) {
        library.fn<Close>(prefix + "_close")(handle);
    }
    bool requested(const char* method) { return module.decoder().last(method).has_value(); }

    qvtest::OwnedHandle device;
};

// Trigger stands for the families whose open returns its code.
TEST_F(Families, TriggerAndSyntra) {
    const uint64_t trigger = openFamily("trig", context::kTrig);
    EXPECT_EQ(library.fn<int32_t (*)(uint64_t, uint32_t)>("trig_sendSoftwareTrigger")(trigger, 1),
              0);
    EXPECT_TRUE(requested("trig.sendSoftwareTrigger"));
    closeFamily("trig", trigger);

    const uint64_t syntra = openFamily("syntrasync", context::kSyntraSync);
    EXPECT_EQ(library.fn<int32_t (*)(uint64_t)>("syntrasync_enableSyntraMeasurement")(syntra), 0);
    closeFamily("syntrasync", syntra);
}

TEST_F(Families, Routing) {
    qvrocosim_reset();
    const uint64_t handle = openFamilyStatusLast("routinghal", context::kRouting);
    qvhost_status status = qvhost_newStatus();
    const char* name = library.fn<const char* (*)(uint64_t, uint32_t, qvhost_status*)>(
        "routinghal_getTerminalName")(handle, 2, &status);
    EXPECT_EQ(status.code, 0);
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "/Dev1/ao/0/ReferenceTrigger");
    qvhost_release(&status);
    closeFamily("routinghal", handle);
    qvrocosim_reset();
}

// The peer-to-peer session is the family's own: p2p_open reads the
// endpoint description that context 17 hands out.
TEST_F(Families, PeerToPeer) {
    const char* description = reinterpret_cast<const char*>(
        static_cast<uintptr_t>(context(device, context::kP2PDescription)));
    ASSERT_NE(description, nullptr);
    void* handle = nullptr;
    using P2POpen = int32_t (*)(const char*, const char*, void**);
    ASSERT_EQ(library.fn<P2POpen>("p2p_open")(params().c_str(), description, &handle), 0);
    uint8_t valid = 0;
    EXPECT_EQ(library.fn<int32_t (*)(void*, uint32_t, uint8_t*)>("p2p_isEndpointValid")(handle, 0,
                                                                                        &valid),
              0);
    EXPECT_EQ(valid, 1u);  // the generation FIFO of the module's default image
    EXPECT_EQ(library.fn<int32_t (*)(void*)>("p2p_close")(handle), 0);
}

TEST_F(Families, SelfCalibration) {
    calsim_reset();
    const uint64_t handle = openFamily("selfcal", context::kSelfCal);
    EXPECT_EQ(
        library.fn<int32_t (*)(uint64_t, const char*)>("selfcal_selfCalibrate")(handle, "PXI_Clk"),
        0);
    EXPECT_EQ(calsim_calls(calsim_selfCalibrate), 1u);
    EXPECT_EQ(kxrtsim_cleanupRegistrations(), 1u);
    closeFamily("selfcal", handle);
}

TEST_F(Families, CalibrationData) {
    const uint64_t handle = openFamilyStatusLast("da", context::kDataAccess);
    uint64_t count = 0;
    qvhost_status status = qvhost_newStatus();
    library.fn<void (*)(uint64_t, uint64_t*, uint64_t*, qvhost_status*)>("da_getAccessors")(
        handle, nullptr, &count, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(count, 3u);  // the board's and the common directory, the module's flash
    qvhost_release(&status);
    closeFamily("da", handle);
}

// Sessions of different threads share nothing but the module: each thread
// opens, uses and closes its own.
TEST_F(Families, EightThreadsEachWithTheirOwnSession) {
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([this, t, &failures] {
            for (int round = 0; round < 20; ++round) {
                uint64_t handle = 0;
                if (open(params().c_str(), t % 2 ? "ao/0" : "ai/0", &handle) != 0) {
                    ++failures;
                    return;
                }
                // Not the reservation (28): the simulated module keeps one
                // client description for all sessions.
                for (uint32_t id : {0u, 2u, 5u, 10u, 17u, 19u, 20u, 22u, 23u, 32u}) {
                    uint64_t out = 0;
                    if (getContext(handle, id, 0, &out) != 0 || out == 0) ++failures;
                }
                uint64_t trigger = 0;
                uint64_t context = 0;
                getContext(handle, 10, 0, &context);
                if (library.fn<OpenRC>("trig_open")(handle, context, &trigger) != 0 ||
                    library.fn<int32_t (*)(uint64_t, uint32_t)>("trig_sendSoftwareTrigger")(
                        trigger, 1) != 0) {
                    ++failures;
                }
                close(handle);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
