// The plug-in's alias services over the simulated module: aliases
// travelling between two plug-ins through the configuration file and their
// threads, and a build that fails once the threads run.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "AtomicZEKHALImpl/AliasServices.h"
#include "AtomicZEKHALImpl/PciModelNameIdentifierCodegen.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "module/SimulatedModule.h"
#include "qverr/Codes.h"
#include "support/TempDir.h"

namespace {

qvzek::DeviceInfo moduleInfo(const std::string& token, const std::string& defaultName = "") {
    qvzek::DeviceInfo info;
    info.persistentToken = token;
    info.defaultName = defaultName;
    return info;
}

// The simulated module under a default name, as a PXI system names it.
class OneModule : public qvzek::IDeviceDiscoverer {
public:
    bool hasChanged(int64_t changeNumber) override { return changeNumber != 1; }
    qvzek::DeviceInfoList getDevices(int64_t& changeNumber) override {
        if (fail) qvzek::throwStatusCode(-52008);
        changeNumber = 1;
        return {std::make_shared<const qvzek::DeviceInfo>(moduleInfo(kToken, "PXI1Slot2"))};
    }
    bool fail = false;
    static constexpr const char* kToken = "Model=QV PXIe-3377;PCISlotPath=0000:1c:0d.2";
};

class AliasServicesTest : public ::testing::Test {
protected:
    qvsim::SimulatedModule module;
    OneModule devices;
    qvzek::IPciModelNameIdentifier& models =
        atomiczekhal::PciModelNameIdentifierCodegen::instance();
    qverr::Status absent;
    // No chassis library: tokens take the PCI form.
    qvqpxi::QPxiLibrary pxi{absent, "libqvqpxi-absent.so.1"};

    // A thread sanitizer starts a helper thread of its own with the first
    // thread of the process: let that happen before anything is counted.
    void SetUp() override {
        std::thread([] {}).join();
    }

    static qvzek::DeviceInfo moduleEntry() { return moduleInfo(OneModule::kToken); }
};

TEST_F(AliasServicesTest, AliasSetByAnotherPluginReachesThisOne) {
    atomiczekhal::AliasServices mine(devices, models, pxi);
    atomiczekhal::AliasServices theirs(devices, models, pxi);
    std::string conflict;
    theirs.aliasManager().setAlias(moduleEntry(), "bench_1", 0, conflict);
    EXPECT_EQ(conflict, "");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (mine.aliasManager().getAlias(moduleEntry()) != "bench_1" &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(mine.aliasManager().getAlias(moduleEntry()), "bench_1");
    // The module's own default name is taken by it; another module's alias
    // is refused with the holder's token.
    const qvzek::DeviceInfo other = moduleInfo("Model=QV PXIe-3377;PCISlotPath=0000:05:00.0");
    mine.aliasManager().setAlias(other, "pxi1slot2", 0, conflict);
    EXPECT_EQ(conflict, OneModule::kToken);
    mine.aliasManager().setAlias(other, "bench_1", 0, conflict);
    EXPECT_EQ(conflict, OneModule::kToken);
}

TEST_F(AliasServicesTest, AFileReplacedByAnotherProgramIsReadAndWritten) {
    atomiczekhal::AliasServices services(devices, models, pxi);
    const std::string path = atomiczekhal::configurationFilePath();
    // Another program saves by writing a new file and renaming it over.
    qvtest::writeFile(path + ".theirs",
                      std::string(R"({"version":1,"oldest_compatible_version":1,"devices":{")") +
                          OneModule::kToken + R"(":{"alias":"theirs"}}})");
    ASSERT_EQ(std::rename((path + ".theirs").c_str(), path.c_str()), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (services.aliasManager().getAlias(moduleEntry()) != "theirs" &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(services.aliasManager().getAlias(moduleEntry()), "theirs");
    std::string conflict;
    services.aliasManager().setAlias(moduleEntry(), "mine", 0, conflict);
    EXPECT_NE(qvtest::readFile(path).find("\"alias\":\t\"mine\""), std::string::npos)
        << qvtest::readFile(path);
}

TEST_F(AliasServicesTest, FailedBuildReleasesWhatWasBuilt) {
    const size_t threads = qvsim::processThreads();
    const size_t descriptors = qvsim::processDescriptors();
    // Fails after the file is open and both threads run.
    devices.fail = true;
    EXPECT_EQ(qvtest::thrownStatus([&] {
                  atomiczekhal::AliasServices services(devices, models, pxi);
              }).first,
              qverr::qvapalerr_osFault);
    EXPECT_LE(qvsim::processThreadsSettlingAtMost(threads), threads);
    EXPECT_EQ(qvsim::processDescriptors(), descriptors);
}

}  // namespace
