// The plug-in's alias services over a simulated root: where the
// configuration file goes, aliases travelling between two plug-ins through
// the file and their threads, and a failed build leaving nothing behind.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "AtomicZEKHALImpl/AliasServices.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "kerneldriver/DeviceTree.h"
#include "kerneldriver/Driver.h"
#include "support/TempDir.h"

namespace {

std::string u32Bytes(uint32_t value) {
    std::string bytes(4, '\0');
    memcpy(bytes.data(), &value, 4);
    return bytes;
}

qvzek::DeviceInfo moduleInfo(const std::string& token, const std::string& defaultName = "") {
    qvzek::DeviceInfo info;
    info.persistentToken = token;
    info.defaultName = defaultName;
    return info;
}

class OneModule : public qvzek::IDeviceDiscoverer {
public:
    bool hasChanged(int64_t changeNumber) override { return changeNumber != 1; }
    qvzek::DeviceInfoList getDevices(int64_t& changeNumber) override {
        if (fail) qvzek::throwStatusCode(-52008);
        changeNumber = 1;
        return {std::make_shared<const qvzek::DeviceInfo>(moduleInfo(kToken, "PXI1Slot2"))};
    }
    bool fail = false;
    static constexpr const char* kToken = "Model=QV PXIe-3377;PCISlotPath=0000:04:00.0";
};

class Models : public qvzek::IPciModelNameIdentifier {
public:
    std::string getModelName(uint32_t, uint32_t, uint32_t) override { return "QV PXIe-3377"; }
};

class AliasServicesTest : public ::testing::Test {
protected:
    qvsim::DeviceTree tree;
    OneModule devices;
    Models models;
    qverr::Status absent;
    // No chassis library: tokens take the PCI form.
    qvqpxi::QPxiLibrary pxi{absent, "libqvqpxi-absent.so.1"};
    const std::string file = tree.root() + "/var/local/vorlane/QRX/QV-3377/zek/qrxzek.config";

    void SetUp() override {
        // A thread sanitizer starts its own helper thread with the first
        // thread of the process: let that happen before anything is counted.
        std::thread([] {}).join();
        const std::string driver = "qv3377k";
        tree.addInterface(driver, "qv3377k_atomiczekddkqrx", "0", "/dev/qv/qv3377k_fpga0");
        for (const char* name : {"pciVendorID", "pciDeviceID", "pciSubsystemID"}) {
            tree.setBusProperty(driver, name, u32Bytes(0));
        }
        for (const char* name : {"pciBusNumber", "pciDeviceNumber", "pciFunctionNumber"}) {
            tree.setBusProperty(driver, name, u32Bytes(0));
        }
        tree.setBusProperty(driver, "pciSlotPath", std::string("0000:04:00.0") + '\0');
    }

    static qvzek::DeviceInfo module() { return moduleInfo(OneModule::kToken); }
};

TEST_F(AliasServicesTest, FileUnderLocalStateAndTwoThreadsWhileAlive) {
    const size_t threads = qvsim::processThreads();
    ASSERT_FALSE(std::filesystem::exists(file));
    {
        atomiczekhal::AliasServices services(devices, models, pxi);
        EXPECT_EQ(atomiczekhal::configurationFilePath(), file);
        EXPECT_TRUE(std::filesystem::is_regular_file(file));
        EXPECT_EQ(qvsim::processThreads(), threads + 2);
        EXPECT_EQ(services.aliasManager().getAlias(module()), "");
    }
    EXPECT_EQ(qvsim::processThreadsSettlingAt(threads), threads);
}

TEST_F(AliasServicesTest, AliasSetByAnotherPluginReachesThisOne) {
    atomiczekhal::AliasServices mine(devices, models, pxi);
    atomiczekhal::AliasServices theirs(devices, models, pxi);
    std::string conflict;
    theirs.aliasManager().setAlias(module(), "bench_1", 0, conflict);
    EXPECT_EQ(conflict, "");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (mine.aliasManager().getAlias(module()) != "bench_1" && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(mine.aliasManager().getAlias(module()), "bench_1");
    // The module's own default name is taken by it; another module's alias
    // is refused with the holder's token.
    const qvzek::DeviceInfo other = moduleInfo("Model=QV PXIe-3377;PCISlotPath=0000:05:00.0");
    mine.aliasManager().setAlias(other, "pxi1slot2", 0, conflict);
    EXPECT_EQ(conflict, OneModule::kToken);
    mine.aliasManager().setAlias(other, "bench_1", 0, conflict);
    EXPECT_EQ(conflict, OneModule::kToken);
}

TEST_F(AliasServicesTest, FailedBuildReleasesWhatWasBuilt) {
    const size_t threads = qvsim::processThreads();
    const size_t descriptors = qvsim::processDescriptors();
    // Fails after the file is open and both threads run.
    devices.fail = true;
    EXPECT_EQ(qvtest::thrownStatus([&] { atomiczekhal::AliasServices services(devices, models, pxi); }).first,
              -52008);
    EXPECT_EQ(qvsim::processThreadsSettlingAt(threads), threads);
    EXPECT_EQ(qvsim::processDescriptors(), descriptors);
    // A directory that cannot be made fails before anything else.
    std::filesystem::remove_all(tree.root() + "/var/local/vorlane/QRX");
    tree.writeFile("var/local/vorlane/QRX", "not a directory");
    devices.fail = false;
    EXPECT_LT(qvtest::thrownStatus([&] { atomiczekhal::AliasServices services(devices, models, pxi); }).first, 0);
    EXPECT_EQ(qvsim::processThreads(), threads);
    EXPECT_EQ(qvsim::processDescriptors(), descriptors);
}

}  // namespace
