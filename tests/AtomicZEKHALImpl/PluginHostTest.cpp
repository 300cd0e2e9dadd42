// The plug-in's entry points through the shipped library, loaded as a host
// of FPGA devices loads it, over the simulated module: reference counting,
// the threads and the configuration file of one initialization, argument
// checks, and sessions opened through the device list.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "atomiczekddk/shared/Errors.h"
#include "kerneldriver/Driver.h"
#include "module/SimulatedModule.h"
#include "qverr/Codes.h"
#include "support/BitfileGenerator.h"
#include "support/EndsWithin.h"
#include "support/HostLibrary.h"
#include "support/SelfProcess.h"
#include "support/ThreadChecker.h"
#include "zekhost/ZekHost.h"

namespace {

constexpr const char* kSignature = "0123456789ABCDEF00112233DEADBEEF";
constexpr const char* kOtherSignature = "00000000000000000000000000000001";
// open: the bitfile argument is the text itself; the image does not run.
constexpr uint32_t kTextNotRun = 0x40000000 | 0x1;

// The sample image without host-memory blocks.
std::string sampleText() {
    std::string text = qvtest::readTextFile(std::string(QV_BITFILE_CORPUS) + "/sample.xml");
    const size_t from = text.find("<HMB>");
    text.erase(from, text.find("</LLB>") + 6 - from);
    return text;
}

// The threads of the process before the plug-in runs. A thread sanitizer
// starts a helper thread of its own with the first thread of the process:
// that happens first.
size_t threadsBefore() {
    std::thread([] {}).join();
    return qvsim::processThreads();
}

class PluginHost : public ::testing::Test {
protected:
    qvsim::SimulatedModule module;
    const size_t threads = threadsBefore();
    qvtest::HostLibrary library{QV_SHARED_LIBRARY};
    zekhost::InitializeFunction initialize =
        library.fn<zekhost::InitializeFunction>(zekhost::kInitialize);
    zekhost::GetInterfaceFunction getInterface =
        library.fn<zekhost::GetInterfaceFunction>(zekhost::kGetInterface);
    zekhost::FinalizeFunction finalize = library.fn<zekhost::FinalizeFunction>(zekhost::kFinalize);
    const std::string configurationFile =
        module.tree().root() + "/var/local/vorlane/QRX/QV-3377/zek/qrxzek.config";

    // A failed test may leave initializations behind: their threads must
    // end before the library is unloaded.
    void TearDown() override {
        while (finalize() == 0) {
        }
    }

    size_t requests(const std::string& method) {
        size_t n = 0;
        for (auto& request : module.decoder().requests()) n += request.name() == method ? 1 : 0;
        return n;
    }

    zekhost::DeviceList deviceList() {
        void* list = nullptr;
        EXPECT_EQ(getInterface(0, &list), 0);
        return zekhost::DeviceList(list);
    }

    // The list's one device, after a refresh (null when it lists another count).
    static zekhost::Device onlyDevice(zekhost::DeviceList& list) {
        zekhost::Status status;
        list.refresh(status);
        EXPECT_EQ(list.count(), 1u);
        return list.count() == 1 ? list.device(0, 0, status) : zekhost::Device();
    }
};

TEST_F(PluginHost, CountedInitializationsShareOneSetOfObjects) {
    ASSERT_FALSE(std::filesystem::exists(configurationFile));
    ASSERT_EQ(initialize(), 0);
    EXPECT_TRUE(std::filesystem::is_regular_file(configurationFile));
    // The device observer and the configuration file's poller and notifier.
    const size_t running = qvsim::processThreads();
    EXPECT_GE(running, threads + 3);
    ASSERT_EQ(initialize(), 0);
    EXPECT_EQ(qvsim::processThreads(), running);

    EXPECT_EQ(finalize(), 0);
    zekhost::DeviceList list = deviceList();
    ASSERT_TRUE(list);
    EXPECT_EQ(list.interfaceVersion(), 0u);
    list.release();
    EXPECT_EQ(qvsim::processThreads(), running);

    EXPECT_EQ(finalize(), 0);
    EXPECT_LE(qvsim::processThreadsSettlingAtMost(threads), threads);
    void* out = &out;
    EXPECT_EQ(getInterface(0, &out), qverr::qvapalerr_resourceNotInitialized);
    EXPECT_EQ(out, &out);

    // A later initialization builds a fresh set.
    ASSERT_EQ(initialize(), 0);
    EXPECT_EQ(qvsim::processThreads(), running);
    EXPECT_EQ(finalize(), 0);
    EXPECT_LE(qvsim::processThreadsSettlingAtMost(threads), threads);
}

// A child forked while another thread builds or ends the plug-in's objects
// finalizes on its own, and ends. (It starts no thread: the address
// checker's allocator may be locked in the child by a parent's thread.)
TEST_F(PluginHost, NoChildHangsWhileAnotherThreadInitializes) {
    if (qvtest::kThreadChecker) GTEST_SKIP() << qvtest::kNoThreadsInForkedChildren;
    std::atomic<bool> stop{false};
    std::thread cycling([&] {
        while (!stop) {
            if (initialize() == 0) finalize();
        }
    });
    constexpr int kForks = 60;
    std::vector<pid_t> children;
    for (int i = 0; i < kForks; ++i) {
        const pid_t child = fork();
        if (child == 0) {
            const int32_t code = finalize();
            _exit(code == 0 || code == qverr::qvapalerr_resourceNotInitialized ? 0 : 3);
        }
        if (child < 0) break;
        children.push_back(child);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    stop = true;
    cycling.join();
    const qvtest::ChildrenEnded ended = qvtest::waitForChildren(children, qvtest::kHangGuard);
    EXPECT_EQ(ended.hung, 0) << "of " << children.size();
    EXPECT_EQ(ended.failed, 0) << "of " << children.size();
}

// Whether a thread of this process waits for a flock on `path`.
bool flockAwaited(const std::string& path) {
    struct stat file {};
    if (stat(path.c_str(), &file) != 0) return false;
    const std::string inode = ":" + std::to_string(file.st_ino) + " ";
    std::ifstream locks("/proc/locks");
    const std::string self = " " + std::to_string(getpid()) + " ";
    for (std::string line; std::getline(locks, line);) {
        if (line.find("-> FLOCK") != std::string::npos && line.find(self) != std::string::npos &&
            line.find(inode) != std::string::npos)
            return true;
    }
    return false;
}

// A fork made while an initialize waits for the configuration file's lock
// does not wait with it: here the lock's holder, another process, lets go
// only once the fork has returned.
TEST_F(PluginHost, AForkDoesNotWaitForAnInitializeAwaitingTheFilesLock) {
    if (!std::ifstream("/proc/locks")) GTEST_SKIP() << "no /proc/locks to see the wait";
    ASSERT_EQ(initialize(), 0);
    ASSERT_EQ(finalize(), 0);
    int held[2], release[2];
    ASSERT_EQ(pipe(held), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        const int fd = ::open(configurationFile.c_str(), O_RDONLY);
        char byte = 1;
        if (fd < 0 || flock(fd, LOCK_EX) != 0 || write(held[1], &byte, 1) != 1) _exit(3);
        _exit(read(release[0], &byte, 1) == 1 ? 0 : 4);
    }
    char byte = 0;
    ASSERT_EQ(read(held[0], &byte, 1), 1);
    std::atomic<int32_t> initialized{1};
    std::thread initializing([&] { initialized = initialize(); });
    const auto deadline = std::chrono::steady_clock::now() + qvtest::kHangGuard;
    while (!flockAwaited(configurationFile) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(flockAwaited(configurationFile));

    std::promise<pid_t> forked;
    std::thread forking([&] {
        const pid_t child = fork();
        if (child == 0) _exit(0);
        forked.set_value(child);
    });
    std::future<pid_t> child = forked.get_future();
    EXPECT_EQ(child.wait_for(qvtest::kHangGuard), std::future_status::ready);
    // Let go in any case, so that a fork that waits ends the test.
    EXPECT_EQ(write(release[1], &byte, 1), 1);
    forking.join();
    initializing.join();
    EXPECT_EQ(initialized.load(), 0);
    EXPECT_EQ(qvtest::waitForExitWithin(child.get(), qvtest::kHangGuard), 0);
    EXPECT_EQ(qvtest::waitForExitWithin(holder, qvtest::kHangGuard), 0);
    EXPECT_EQ(finalize(), 0);
    for (const int fd : {held[0], held[1], release[0], release[1]}) ::close(fd);
}

// A child made without the fork handlers (_Fork, or clone) has its
// parent's fork generation: its last finalize still leaves the parent's
// objects and their threads alone, and the parent's go on.
TEST_F(PluginHost, AChildMadeWithoutForkHandlersLeavesTheParentsObjectsAlone) {
    ASSERT_EQ(initialize(), 0);
    const pid_t child = _Fork();
    if (child == 0) _exit(finalize() == 0 ? 0 : 3);
    EXPECT_EQ(qvtest::waitForExitWithin(child, qvtest::kHangGuard), 0);
    zekhost::DeviceList list = deviceList();
    ASSERT_TRUE(list);
    EXPECT_TRUE(onlyDevice(list));
    list.release();
    EXPECT_EQ(finalize(), 0);
    EXPECT_LE(qvsim::processThreadsSettlingAtMost(threads), threads);
}

TEST_F(PluginHost, ArgumentsAndUnbalancedFinalize) {
    // Nothing initialized: finalize refuses and leaves the count at 0.
    EXPECT_EQ(finalize(), qverr::qvapalerr_resourceNotInitialized);
    EXPECT_EQ(finalize(), qverr::qvapalerr_resourceNotInitialized);
    ASSERT_EQ(initialize(), 0);
    EXPECT_EQ(getInterface(0, nullptr), qverr::qvapalerr_invalidParameter);
    void* out = &out;
    EXPECT_EQ(getInterface(1, &out), qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(getInterface(-1, &out), qverr::qvapalerr_invalidParameter);
    // One finalize balances the one initialize: had the refused finalizes
    // counted, the objects would still live (or never have been built).
    zekhost::DeviceList list = deviceList();
    ASSERT_TRUE(list);
    list.release();
    EXPECT_EQ(finalize(), 0);
    EXPECT_LE(qvsim::processThreadsSettlingAtMost(threads), threads);
    EXPECT_EQ(finalize(), qverr::qvapalerr_resourceNotInitialized);
}

TEST_F(PluginHost, FailedInitializationLeavesNothingBehind) {
    ASSERT_EQ(initialize(), 0);
    ASSERT_EQ(finalize(), 0);
    const size_t settled = qvsim::processThreadsSettlingAtMost(threads);
    const size_t descriptors = qvsim::processDescriptors();
    // The alias services, built last, cannot make their directory: the
    // device manager and its observer thread were already running.
    std::filesystem::remove_all(module.tree().root() + "/var/local/vorlane/QRX");
    module.tree().writeFile("var/local/vorlane/QRX", "in the way");
    EXPECT_LT(initialize(), 0);
    EXPECT_LE(qvsim::processThreadsSettlingAtMost(settled), settled);
    EXPECT_EQ(qvsim::processDescriptors(), descriptors);
    void* out = &out;
    EXPECT_EQ(getInterface(0, &out), qverr::qvapalerr_resourceNotInitialized);
    EXPECT_EQ(finalize(), qverr::qvapalerr_resourceNotInitialized);
    // Nothing was counted: once the way is clear one initialize and one
    // finalize make a whole cycle.
    std::filesystem::remove(module.tree().root() + "/var/local/vorlane/QRX");
    ASSERT_EQ(initialize(), 0);
    EXPECT_TRUE(std::filesystem::is_regular_file(configurationFile));
    EXPECT_EQ(finalize(), 0);
    EXPECT_LE(qvsim::processThreadsSettlingAtMost(settled), settled);
    EXPECT_EQ(finalize(), qverr::qvapalerr_resourceNotInitialized);
}

TEST_F(PluginHost, AModuleWithoutASlotPathIsLeftOut) {
    const std::string token =
        std::string("Model=QV PXIe-3377;PCISlotPath=") + qvsim::SimulatedModule::kPciSlotPath;
    module.tree().writeFile("var/local/vorlane/QRX/QV-3377/zek/qrxzek.config",
                            R"({"version":1,"oldest_compatible_version":1,"devices":{")" + token +
                                R"(":{"alias":"bench"}}})");
    // A second module whose driver gives no slot path, with no chassis
    // library to place it.
    module.addFpgaInterface("qv3377k1", {0x1d, 0, 0}, "0000:1d:00.0");
    std::filesystem::remove(module.tree().root() +
                            "/proc/driver/qv/qv3377k1/busProperties/pciSlotPath");
    ASSERT_EQ(initialize(), 0);
    zekhost::DeviceList list = deviceList();
    const zekhost::Device device = onlyDevice(list);
    ASSERT_TRUE(device);
    EXPECT_STREQ(device.alias(), "bench");
    list.release();
    EXPECT_EQ(finalize(), 0);
    const std::string text = qvtest::readTextFile(configurationFile);
    EXPECT_NE(text.find(token), std::string::npos);
    EXPECT_EQ(text.find("0000:1d:00.0"), std::string::npos);
}

TEST_F(PluginHost, SessionsOnOneModuleShareItsProxyAndFpga) {
    ASSERT_EQ(initialize(), 0);
    zekhost::DeviceList list = deviceList();
    zekhost::Status status;
    const zekhost::Device device = onlyDevice(list);
    ASSERT_TRUE(device);
    const std::string text = sampleText();
    const zekhost::FpgaSession first =
        device.openFpgaSession(zekhost::session::kInterfaceVersion, status);
    const zekhost::FpgaSession second =
        device.openFpgaSession(zekhost::session::kInterfaceVersion, status);
    ASSERT_TRUE(first && second);
    first.open(text.c_str(), kSignature, kTextNotRun, status);
    ASSERT_EQ(status.getCode(), 0);
    // One FPGA object: it refuses another image while the first session is
    // on its own.
    std::string other = text;
    other.replace(other.find(kSignature), 32, kOtherSignature);
    zekhost::Status busy;
    second.open(other.c_str(), kOtherSignature, kTextNotRun, busy);
    EXPECT_EQ(busy.getCode(), qvzek::kErrorBusy);
    second.open(text.c_str(), kSignature, kTextNotRun, status);
    ASSERT_EQ(status.getCode(), 0);
    // One device file.
    EXPECT_EQ(module.driver().openDescriptors(), 1u);
    first.write<uint32_t>(0x8018, 0x5A5A, status);
    EXPECT_EQ(second.read<uint32_t>(0x8018, status), 0x5A5Au);
    EXPECT_EQ(module.fpga().reg(0x8018), 0x5A5Au);
    EXPECT_EQ(status.getCode(), 0);

    first.close(1, status);
    EXPECT_EQ(module.driver().openDescriptors(), 1u);
    second.close(1, status);
    EXPECT_EQ(status.getCode(), 0);
    // The last holder let go: the manager keeps no open file of its own.
    EXPECT_EQ(module.driver().openDescriptors(), 0u);

    // The module goes away; once the observer has rescanned, the device the
    // host still holds names a path the manager no longer knows.
    module.unplugFpga();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!list.hasChanged() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(list.hasChanged());
    const zekhost::FpgaSession orphan =
        device.openFpgaSession(zekhost::session::kInterfaceVersion, status);
    ASSERT_TRUE(orphan);
    zekhost::Status refused;
    orphan.open(text.c_str(), kSignature, kTextNotRun, refused);
    EXPECT_EQ(refused.getCode(), qverr::qvapalerr_resourceNotFound);
    orphan.release();
    list.release();
    EXPECT_EQ(finalize(), 0);
    EXPECT_EQ(module.driver().openDescriptors(), 0u);
}

}  // namespace
