#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kerneldriver/DeviceTree.h"
#include "kerneldriver/Driver.h"
#include "qvapal/protons/driver/tDeviceInterfaceProxy.h"
#include "qvapal/protons/enumeration/tDeviceInterfaceIterator.h"
#include "qverr/Codes.h"
#include "support/RaiseSite.h"

namespace {

using namespace sdihal::nQVAPAL000;
using nQVAPALS100::tStatus;
using qvsim::Call;

constexpr uint32_t kRequest = 0x00204101;
// Each failing operation names the proxy's source and the operation's line.
const std::string kSite = "qvapal/protons/driver/linuxU/tDeviceInterfaceProxy:";

class DeviceProxy : public ::testing::Test {
protected:
    qvsim::Driver driver;
    std::string path = driver.addDevice("qv3377k0");
    size_t descriptorsBefore = qvsim::processDescriptors();
    tDeviceInterfaceProxy proxy;

    void openProxy() {
        tStatus status;
        proxy.open(path.c_str(), status);
        ASSERT_EQ(status.code, 0);
    }
    // No failure may leave a descriptor behind.
    void TearDown() override {
        proxy.close();
        EXPECT_EQ(qvsim::processDescriptors(), descriptorsBefore);
    }
};

TEST_F(DeviceProxy, OpenFailuresLeaveItClosed) {
    tStatus missing;
    proxy.open(driver.devicePath("absent").c_str(), missing);
    EXPECT_EQ(missing.code, qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(qvtest::raiseSite(missing), kSite + "46");
    EXPECT_STREQ(missing.component, "internal_");  // the field holds 9 characters
    EXPECT_EQ(proxy.descriptor(), -1);

    driver.failCall(Call::open, EACCES);
    tStatus denied;
    proxy.open(path.c_str(), denied);
    EXPECT_EQ(denied.code, qverr::kStatusPermissionDenied);
    EXPECT_EQ(proxy.descriptor(), -1);
    EXPECT_EQ(proxy.close(), 0);
}

TEST_F(DeviceProxy, OpensTheDeviceFileAnInterfaceEntryNames) {
    qvsim::DeviceTree tree;
    tree.addInterface("qv3377k", "qv3377k_qv3377k", "0", path);
    tStatus status;
    tDeviceInterfaceIterator iterator("qv3377k_qv3377k", status);
    tInterfacePath entry;
    iterator.getInterfacePath(entry, status);
    proxy.open(entry, status);
    ASSERT_EQ(status.code, 0);
    EXPECT_EQ(driver.openDescriptors(), 1u);

    // A second open keeps the first descriptor instead of leaking it.
    const int first = proxy.descriptor();
    proxy.open(path.c_str(), status);
    EXPECT_EQ(status.code, qverr::qvapalerr_resourceBusy);
    EXPECT_EQ(proxy.descriptor(), first);
    {
        tDeviceInterfaceProxy scoped;  // its destructor closes what is open
        tStatus clean;
        scoped.open(path.c_str(), clean);
    }
    EXPECT_EQ(proxy.close(), 0);
    EXPECT_EQ(proxy.descriptor(), -1);
    EXPECT_EQ(driver.openDescriptors(), 0u);
}

// The bytes of every request are checked by the round trip of the module's proxies.
TEST_F(DeviceProxy, RequestFailuresAndEarlierErrors) {
    openProxy();
    const uint32_t input[3] = {0x11223344, 7, 0};
    uint8_t output[12];
    tStatus status;
    EXPECT_EQ(proxy.ioctl(kRequest, input, sizeof input, output, sizeof output, status), 12u);

    driver.failCall(Call::ioctl, ENOTTY);
    EXPECT_EQ(proxy.ioctl(kRequest, input, 4, output, 4, status), 0u);
    EXPECT_EQ(status.code, qverr::qvapalerr_featureUnsupported);
    EXPECT_EQ(qvtest::raiseSite(status), kSite + "85");

    // With an error already present nothing reaches the driver.
    EXPECT_EQ(proxy.ioctl(kRequest, input, 4, output, 4, status), 0u);
    EXPECT_EQ(driver.callCount(Call::ioctl), 2u);
}

TEST_F(DeviceProxy, ReadAndWrite) {
    openProxy();
    tStatus status;
    EXPECT_EQ(proxy.write("abc", 3, status), 3);
    EXPECT_EQ(driver.written("qv3377k0"), (std::vector<uint8_t>{'a', 'b', 'c'}));
    driver.queueRead("qv3377k0", {1, 2});
    uint8_t buffer[8] = {};
    EXPECT_EQ(proxy.read(buffer, sizeof buffer, status), 2);  // a short count stays short

    driver.failCall(Call::read, EIO);
    EXPECT_EQ(proxy.read(buffer, sizeof buffer, status), -1);
    EXPECT_EQ(status.code, qverr::kStatusIOError);
    EXPECT_EQ(qvtest::raiseSite(status), kSite + "105");
    EXPECT_EQ(proxy.write("x", 1, status), 0);
    EXPECT_EQ(driver.callCount(Call::write), 1u);
    driver.failCall(Call::write, EIO);
    tStatus written;
    proxy.write("x", 1, written);
    EXPECT_EQ(qvtest::raiseSite(written), kSite + "123");
}

sigjmp_buf faultJump;

// Whether writing to `address` faults.
bool writeFaults(volatile char* address) {
    struct sigaction onFault {
    }, previous{};
    onFault.sa_handler = [](int) { siglongjmp(faultJump, 1); };
    sigaction(SIGSEGV, &onFault, &previous);
    // volatile: it must keep its value across the jump back from the handler.
    volatile bool faulted = true;
    if (sigsetjmp(faultJump, 1) == 0) {
        *address = *address;
        faulted = false;
    }
    sigaction(SIGSEGV, &previous, nullptr);
    return faulted;
}

TEST_F(DeviceProxy, RegionsMapAtTheirPageOffset) {
    openProxy();
    const long page = sysconf(_SC_PAGESIZE);
    std::memcpy(driver.regionMemory("qv3377k0", 3), "region three", 13);

    tStatus status;
    tMemoryMapping writable;
    auto* bytes = static_cast<char*>(proxy.mapMemory(3, page, kMapReadWrite, writable, status));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(writable.length, static_cast<uint64_t>(page));
    EXPECT_STREQ(bytes, "region three");
    EXPECT_FALSE(writeFaults(bytes));

    for (int32_t access : {kMapReadOnly, 2}) {
        tMemoryMapping readOnly;
        auto* address = static_cast<char*>(proxy.mapMemory(3, page, access, readOnly, status));
        ASSERT_NE(address, nullptr);
        EXPECT_TRUE(writeFaults(address)) << "access " << access;
        proxy.unmapMemory(readOnly);
        EXPECT_EQ(readOnly.address, nullptr);
    }
    proxy.unmapMemory(writable);
    proxy.unmapMemory(writable);  // nothing mapped: nothing happens

    tMemoryMapping failed{bytes, 5};
    driver.failCall(Call::mmap, ENOMEM);
    EXPECT_EQ(proxy.mapMemory(0, page, 1, failed, status), nullptr);
    EXPECT_EQ(status.code, qverr::qvapalerr_memoryFull);
    EXPECT_EQ(qvtest::raiseSite(status), kSite + "148");
    EXPECT_EQ(failed.address, nullptr);
}

// Counts the unmappings that reach the device file.
class CountingProxy : public tDeviceInterfaceProxy {
public:
    void unmapMemory(tMemoryMapping& mapping) override {
        if (mapping.address != nullptr) ++unmapped;
        tDeviceInterfaceProxy::unmapMemory(mapping);
    }
    int unmapped = 0;
};

TEST_F(DeviceProxy, AMappedRegionIsUnmappedOnceByItsLastOwner) {
    const long page = sysconf(_SC_PAGESIZE);
    std::memcpy(driver.regionMemory("qv3377k0", 3), "region three", 13);
    auto counting = std::make_shared<CountingProxy>();
    tStatus status;
    counting->open(path.c_str(), status);
    ASSERT_EQ(status.code, 0);
    {
        tMappedRegion first(counting, 3, page, kMapReadWrite, status);
        ASSERT_TRUE(first);
        tMappedRegion second = std::move(first);
        EXPECT_FALSE(first);
        EXPECT_STREQ(static_cast<const char*>(second.address()), "region three");
        tMappedRegion third(counting, 3, page, kMapReadWrite, status);
        second = std::move(third);  // the first mapping goes now
        EXPECT_EQ(counting->unmapped, 1);
    }
    EXPECT_EQ(counting->unmapped, 2);

    driver.failCall(Call::mmap, ENOMEM);
    tMappedRegion failed(counting, 3, page, kMapReadWrite, status);
    EXPECT_FALSE(failed);
    EXPECT_EQ(status.code, qverr::qvapalerr_memoryFull);
    failed.reset();
    EXPECT_EQ(counting->unmapped, 2);
    counting->close();
}

}  // namespace
