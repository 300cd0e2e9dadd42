// Opening, the context table and closing of device sessions through the
// shipped library on the simulated module.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "DeviceHALImpl/DeviceHALSession.h"
#include "DeviceHALImpl/DeviceHost.h"
#include "apal_qv3377k/DriverCodes.h"
#include "atomiczekddk/shared/Errors.h"
#include "module/RFPlatBlock.h"
#include "qverr/Codes.h"
#include "support/FpgaLibraryLog.h"

namespace {

namespace context = qv3377hal::context;

constexpr int32_t kInvalidParameter = qverr::qvapalerr_invalidParameter;
constexpr int32_t kSoftwareFault = qverr::qvapalerr_softwareFaultAPALInternalUseOnly;
constexpr int32_t kNotFound = qverr::qvapalerr_resourceNotFound;

class DeviceSessions : public ::testing::Test, public devicetest::DeviceHost {
protected:
    void TearDown() override {
        EXPECT_EQ(module.driver().openDescriptors(), 0u);
        EXPECT_EQ(qvfpgasim_openSessions(), 0u);
        EXPECT_EQ(qvfpgasim_reservedIrqContexts(), 0u);
    }
    size_t versionQueries() {
        const auto requests = module.decoder().requests();
        return std::count_if(requests.begin(), requests.end(), [](const auto& r) {
            return r.name() == "rfplat.getInterfaceVersion";
        });
    }
    const char* text(uint64_t address) {
        return reinterpret_cast<const char*>(static_cast<uintptr_t>(address));
    }
};

TEST_F(DeviceSessions, InstanceTexts) {
    const std::pair<const char*, int32_t> cases[] = {{"ai/0", 0},
                                                     {"ao/0", 0},
                                                     {"none", 0},
                                                     {"non", 0},
                                                     {"ai/", 0},
                                                     {"ao/7", kInvalidParameter},
                                                     {"ai/4294967296", kInvalidParameter},
                                                     {"ai/0x", kSoftwareFault},
                                                     {"ai", kSoftwareFault}};
    const std::string json = params();
    for (const auto& [instance, code] : cases) {
        uint64_t handle = 99;
        EXPECT_EQ(open(json.c_str(), instance, &handle), code) << instance;
        EXPECT_EQ(handle == 0, code != 0) << instance;
        // Record acquisition belongs to acquisition sessions, generation to
        // generation sessions.
        const bool generation = std::strcmp(instance, "ao/0") == 0;
        if (code == 0) {
            EXPECT_EQ(context(handle, context::kWGen) != 0, generation) << instance;
        }
        close(handle);
    }
    uint64_t handle = 5;
    EXPECT_EQ(open(json.c_str(), nullptr, &handle), kInvalidParameter);
    EXPECT_EQ(handle, 5u);
    close(0);
}

TEST_F(DeviceSessions, Parameters) {
    uint64_t handle = 0;
    const std::string path = "\"deviceInterfacePath\":\"" + module.devicePath() + "\"";
    const std::pair<std::string, int32_t> refused[] = {
        {"not json", kSoftwareFault},
        {"{\"resourceName\":7," + path + "}", kSoftwareFault},
        {"{\"resourceName\":\"R\"}", kInvalidParameter},
        // A bitfile of either kind needs a "sessionUID".
        {"{\"resourceName\":\"R\"," + path + ",\"bitfilePath\":\"/b\"}", kInvalidParameter},
        {"{\"resourceName\":\"R\"," + path + ",\"bitfileDll\":\"" QV_BITFILE_CONTENTS "\"}",
         kInvalidParameter},
        // A library without the contents' entry point.
        {params("\"bitfileDll\":\"" QV_BITFILE_NONE "\",\"sessionUID\":\"S\"", false),
         kInvalidParameter},
    };
    for (const auto& [json, code] : refused) {
        EXPECT_EQ(open(json.c_str(), "ai/0", &handle), code) << json;
        EXPECT_EQ(handle, 0u);
    }
    EXPECT_LT(open("{\"resourceName\":\"R\",\"deviceInterfacePath\":\"/nonexistent/qv\"}", "ai/0",
                   &handle),
              0);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(qvfpgasim_openSessions(), 0u);

    // The library wins over the path; an empty library name gives way to it.
    const std::pair<std::string, const char*> bitfiles[] = {
        {"\"bitfileDll\":\"" QV_BITFILE_CONTENTS "\"",
         "attribute=0xD8000000 signature=(null) bitfile=<?xml"},
        {"\"bitfileDll\":\"\"",
         "attribute=0x98000000 signature=(null) bitfile=/images/qv3377.qvimage"},
    };
    for (const auto& [extra, opened] : bitfiles) {
        qvfpgasim_clearLog();
        auto session = openSession("ao/0", params(extra));
        EXPECT_EQ(versionQueries(), 4u);
        module.decoder().clear();
        session.close();
        const auto log = qvtest::fpgaLibraryLog();
        ASSERT_FALSE(log.empty());
        EXPECT_NE(log[0].find(opened), std::string::npos) << log[0];
    }
}

// Only the exact text "true" opens through the Korvex run-time's library.
TEST_F(DeviceSessions, CalledFromKorvex) {
    if (!std::getenv("QV_TEST_KORVEX_LIBRARY")) GTEST_SKIP() << "libQvFpgaKx.so is not on the path";
    for (const auto& [value, korvex] : {std::pair<const char*, bool>{"true", true},
                                        {"TRUE", false},
                                        {"true ", false},
                                        {"1", false}}) {
        const uint64_t before = qvfpgasim_callCount("QvFpgaKx_Open");
        auto handle =
            openSession("ai/0", params(std::string("\"calledFromKorvex\":\"") + value + "\""));
        EXPECT_EQ(qvfpgasim_callCount("QvFpgaKx_Open") - before, korvex ? 1u : 0u) << value;
        handle.close();
    }
}

// The product id chooses the calibration directory of the board's accessor.
TEST_F(DeviceSessions, ProductIdText) {
    using PathFn = void (*)(uint64_t, uint64_t, uint32_t, char*, uint64_t*, qvhost_status*);
    auto partitionPath = library.fn<PathFn>("da_getPartitionPath");
    struct Case {
        const char* member;
        const char* directory;
    };
    for (const Case& c :
         {Case{"\"pid\":\"12abc\"", "/PIDx000C/RevB/01AB23CD/"},
          Case{"\"pid\":12", "/PIDx0000/RevB/"}, Case{"\"pid\":\"x\"", "/PIDx0000/RevB/"}}) {
        auto handle = openSession("ai/0", params(c.member));
        char path[512] = {};
        uint64_t size = sizeof path;
        qvhost_status status = qvhost_newStatus();
        partitionPath(context(handle, context::kDataAccess), 0, 4, path, &size, &status);
        EXPECT_EQ(status.code, 0) << (status.json ? status.json : "");
        EXPECT_NE(std::string(path).find(c.directory), std::string::npos) << path;
        qvhost_release(&status);
        handle.close();
    }
}

TEST_F(DeviceSessions, VersionChecks) {
    const struct {
        qvsim::BlockPathBlock::Path path;
        qvsim::BlockPathBlock::Version version;
        int32_t code;
    } cases[] = {{{2401}, {1, 1, 0}, sdihal::kDriverErrorDriverTooOld},
                 {{2401}, {9, 5, 0}, sdihal::kDriverErrorLibraryTooOld},
                 {{2401}, {3, 4, 0}, kSoftwareFault},
                 {{2401, 1620}, {0, 0, 0}, sdihal::kDriverErrorDriverTooOld},
                 {{2401}, {4, 2, qverr::qvapalerr_osFault}, qverr::qvapalerr_osFault}};
    for (const auto& c : cases) {
        const auto saved = module.blockPaths().versions;
        module.blockPaths().versions[c.path] = c.version;
        uint64_t handle = 0;
        EXPECT_EQ(open(params().c_str(), "ai/0", &handle), c.code) << c.path.back();
        EXPECT_EQ(handle, 0u);
        module.blockPaths().versions = saved;
    }
    // A generation session checks its own path.
    module.blockPaths().versions[{2401}] = {1, 1, 0};
    auto generation = openSession("ao/0", params());
    generation.close();
}

TEST_F(DeviceSessions, EveryContextIsCreatedOnceAndCached) {
    auto acquisition = openSession("ai/0", params("\"bitfileName\":\"qv3377.qvimage\""));
    auto generation = openSession("ao/0", params());
    // Routing and self-calibration need their platform libraries: left out here.
    // The module's driver reports signal-path version 4: the equalizer of
    // context 26 replaces that of context 6.
    const std::vector<uint32_t> present = {0,  2,  3,  4,  5,  7,  10, 11, 12, 13, 16,
                                           17, 18, 19, 20, 22, 23, 26, 27, 28, 32, 33};
    for (uint32_t id : present) {
        const uint64_t first = context(acquisition, id);
        EXPECT_NE(first, 0u) << id;
        EXPECT_EQ(context(acquisition, id), first) << id;
    }
    for (uint32_t id : {1u, 6u, 8u, 14u, 15u, 21u, 29u, 30u, 31u, 34u, 1000u}) {
        EXPECT_EQ(context(acquisition, id), 0u) << id;
    }
    for (uint32_t id : {6u, 9u, 14u, 15u, 21u, 33u}) EXPECT_NE(context(generation, id), 0u) << id;
    for (uint32_t id : {12u, 13u, 26u, 27u}) EXPECT_EQ(context(generation, id), 0u) << id;
    // The placeholder is one text for every session.
    EXPECT_EQ(context(acquisition, context::kPlaceholder),
              context(generation, context::kPlaceholder));
    EXPECT_STREQ(text(context(generation, context::kGenerationPlaceholder)), "");

    // Flags: acquisition refuses any; generation gain instances 0 and 1.
    EXPECT_EQ(contextCode(acquisition, context::kDigitalGain, 1), kInvalidParameter);
    EXPECT_EQ(contextCode(generation, context::kDigitalGain, 2), kInvalidParameter);
    EXPECT_NE(context(generation, context::kDigitalGain, 1),
              context(generation, context::kDigitalGain, 0));
    EXPECT_EQ(getContext(acquisition, context::kDataPath, 0, nullptr), kInvalidParameter);
    generation.close();
    acquisition.close();
}

TEST_F(DeviceSessions, BlockPathsAndFifoNames) {
    auto& blocks = module.blockPaths();
    blocks.instances[{2400, 1620, 1616}] = 3;
    auto generation = openSession("ao/0", params());
    blocks.asked.clear();
    for (uint32_t id : {2u, 3u, 4u, 5u, 6u, 10u, 14u, 16u, 22u, 23u}) context(generation, id);
    context(generation, context::kDigitalGain, 1);
    const std::vector<qvsim::BlockPathBlock::Path> expected = {{2400, 1620, 1617},
                                                               {2400, 1620, 1616},
                                                               {2400, 1620, 1618},
                                                               {2400, 1620, 1614},
                                                               {2400, 1620, 1615},
                                                               {2400, 2402},
                                                               {2406, 1681},
                                                               {2400, 1620, 1619},
                                                               {2400, 2404},
                                                               {2400, 2405},
                                                               {2400, 1620, 1613 | (1 << 16)}};
    EXPECT_EQ(blocks.asked, expected);
    generation.close();

    // "none" is an acquisition session on the generation's list-mode FIFO,
    // and has no device context text.
    auto none = openSession("none", params());
    qvfpgasim_clearLog();
    EXPECT_NE(context(none, context::kListMode), 0u);
    const auto log = qvtest::fpgaLibraryLog();
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log[0].find("list mode.gen.fifo 0"), std::string::npos) << log[0];
    EXPECT_EQ(contextCode(none, context::kReservation), kSoftwareFault);
    EXPECT_EQ(contextCode(none, context::kRouting), kSoftwareFault);
    none.close();

    auto acquisition = openSession("ai/0", params());
    // The FIFO's number is its place in the image; the session number is
    // the FPGA library's.
    const std::string description = text(context(acquisition, context::kP2PDescription));
    const std::string head = "{\"fpgaSessionHandle\":\"";
    EXPECT_EQ(description.substr(0, head.size()), head);
    EXPECT_NE(std::stoul(description.substr(head.size())), 0u);
    EXPECT_NE(
        description.find("\", \"endpoints\": [{\"name\": \"p2p.acq.fifo.I16.width 16.depth 16k\", "
                         "\"direction\":\"writer\", \"fifoResourceID\":\"3\", \"valid\":\"1\"}]}"),
        std::string::npos)
        << description;
    acquisition.close();
}

TEST_F(DeviceSessions, DriverVersionChoosesEqualizerAndOffset) {
    for (uint16_t version : {2, 3}) {
        module.blockPaths().versions[{2401}] = {version, 2, 0};
        auto handle = openSession("ai/0", params());
        EXPECT_EQ(context(handle, context::kEqualizer) != 0, version == 2);
        EXPECT_EQ(context(handle, context::kEqualizerV3) != 0, version == 3);
        module.blockPaths().asked.clear();
        EXPECT_NE(context(handle, context::kSecondDigitalOffset), 0u);
        // Only a version-3 driver is asked for the second chain's offset.
        EXPECT_EQ(module.blockPaths().asked.size(), version == 3 ? 1u : 0u);
        handle.close();
    }
    // An absent offset block gives a session without hardware, not an error.
    module.blockPaths().refused[{2401, 1620, 1614}] = qvsim::BlockPathBlock::kBlockAbsent;
    module.blockPaths().refused[{2401, 1620, 1615}] = -52008;
    module.blockPaths().versions[{2401}] = {2, 2, 0};
    // Without the Syntra block in the driver, no Syntra context.
    module.blockPaths().versions.erase({2401, 700});
    auto handle = openSession("ai/0", params());
    EXPECT_NE(context(handle, context::kDigitalOffset), 0u);
    EXPECT_EQ(contextCode(handle, context::kEqualizer), qverr::qvapalerr_osFault);
    EXPECT_EQ(context(handle, context::kSyntraSync), 0u);
    handle.close();
}

TEST_F(DeviceSessions, FailedCreationsLeaveTheSlotEmptyAndRetry) {
    module.blockPaths().refused[{2401, 2403}] = -52008;
    auto handle = openSession("ai/0", params());
    EXPECT_EQ(contextCode(handle, context::kTrig), qverr::qvapalerr_osFault);
    module.blockPaths().refused.clear();
    EXPECT_NE(context(handle, context::kTrig), 0u);

    module.blockPaths().calOutTraits = 0;
    auto generation = openSession("ao/0", params());
    EXPECT_EQ(contextCode(generation, context::kCalOutDsp),
              kSoftwareFault);  // "the FPGA does not have Cal Out DSP"
    module.blockPaths().calOutTraits = 1;
    EXPECT_NE(context(generation, context::kCalOutDsp), 0u);
    generation.close();

    qvfpgasim_injectResult("QvFpgaDll_ReserveIrqContext", -52008, 1);
    EXPECT_EQ(contextCode(handle, context::kIQConfig), qverr::qvapalerr_osFault);
    EXPECT_NE(context(handle, context::kIQConfig), 0u);
    EXPECT_EQ(contextCode(handle, context::kSelfCal), kInvalidParameter);  // no "bitfileName"
    handle.close();
}

TEST_F(DeviceSessions, WithoutAnFpgaSession) {
    const std::string json = "{\"resourceName\":\"R\",\"deviceInterfacePath\":\"" +
                             module.devicePath() + "\",\"sessionClientName\":\"C\"}";
    auto handle = openSession("ai/0", json);
    EXPECT_EQ(versionQueries(), 0u);
    EXPECT_STREQ(text(context(handle, context::kP2PDescription)),
                 "{\"fpgaSessionHandle\":\"0\", \"endpoints\": [{\"name\": "
                 "\"p2p.acq.fifo.I16.width 16.depth 16k\", "
                 "\"direction\":\"writer\", \"fifoResourceID\":\"0\", \"valid\":\"0\"}]}");
    EXPECT_EQ(context(handle, context::kMra), 0u);
    EXPECT_EQ(contextCode(handle, context::kListMode), kNotFound);
    EXPECT_EQ(contextCode(handle, context::kReservation), kInvalidParameter);  // no "sessionUID"
    EXPECT_NE(context(handle, context::kIQConfig), 0u);
    handle.close();
}

TEST_F(DeviceSessions, ReservationDescription) {
    auto handle = openSession("ai/0", params("\"sessionClientName\":\"Client\""));
    EXPECT_NE(context(handle, context::kReservation), 0u);
    EXPECT_EQ(module.reservation().description,
              "{\n\t\"Resource Name\":\t\"Dev1\",\n\t\"Device Context\":\t\"ai/0\",\n\t\"Session "
              "ID\":\t\"S-1\",\n"
              "\t\"Session Client Name\":\t\"Client\"\n}");
    handle.close();
}

// Sub-sessions release their FPGA resources on an open FPGA session and
// their requests on an open device file: the FPGA session closes after
// them, the device file last.
TEST_F(DeviceSessions, TeardownOrder) {
    module.shareEventLog();
    auto handle = openSession("ai/0", params());
    context(handle, context::kIQConfig);
    context(handle, context::kListMode);
    qvfpgasim_clearLog();
    handle.close();
    const auto log = qvtest::fpgaLibraryLog();
    auto position = [&](const std::string& prefix) {
        for (size_t i = 0; i < log.size(); ++i)
            if (log[i].rfind(prefix, 0) == 0) return i;
        ADD_FAILURE() << prefix << " not logged";
        return log.size();
    };
    EXPECT_LT(position("QvFpgaDll_UnreserveIrqContext"), position("QvFpgaDll_Close"));
    EXPECT_LT(position("QvFpgaDll_Close"), position("close "));
    module.driver().onEvent(nullptr);
}

TEST_F(DeviceSessions, AFailingOpenReleasesWhatItBuilt) {
    struct Step {
        const char* name;
        std::function<void()> inject;
        int32_t code;  // 0: the platform's status of a failed system call
    };
    const Step steps[] = {
        {"fpga",
         [] { qvfpgasim_injectResult("QvFpgaDll_Open", qvzek::kErrorBitfileUnreadable, 1); },
         qvzek::kErrorBitfileUnreadable},
        {"device file", [this] { module.driver().failCall(qvsim::Call::open, ENOENT); }, 0},
        {"serial number", [this] { module.driver().scriptError(0x00204200, EIO); }, 0},
        {"versions", [this] { module.blockPaths().versions[{2401}].status = -52008; }, -52008},
        {"flash devices", [this] { module.rfplat().errors["enumerateConnectedDevices"] = -52008; },
         -52008},
    };
    for (const Step& step : steps) {
        step.inject();
        uint64_t handle = 0;
        const int32_t code = open(params().c_str(), "ai/0", &handle);
        if (step.code != 0) {
            EXPECT_EQ(code, step.code) << step.name;
        }
        EXPECT_LT(code, 0) << step.name;
        EXPECT_EQ(handle, 0u);
        EXPECT_EQ(module.driver().openDescriptors(), 0u) << step.name;
        EXPECT_EQ(qvfpgasim_openSessions(), 0u) << step.name;
        module.blockPaths().versions[{2401}].status = 0;
        module.rfplat().errors.clear();
    }
}

}  // namespace
