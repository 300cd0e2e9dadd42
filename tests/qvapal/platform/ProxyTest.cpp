#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kerneldriver/DeviceTree.h"
#include "kerneldriver/Driver.h"
#include "qvapal/protons/driver/tDeviceInterfaceProxy.h"
#include "qvapal/protons/enumeration/tDeviceInterfaceIterator.h"

namespace {

using namespace sdihal::nQVAPAL000;
using nQVAPALS100::tStatus;
using qvsim::Call;

constexpr uint32_t kRequest = 0x00204101;  // a request block of 32 bytes

// Permissions of the mapping that holds `address`, as /proc/self/maps shows them.
std::string mappingPermissions(const void* address) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    const auto target = reinterpret_cast<uintptr_t>(address);
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::string range, permissions;
        fields >> range >> permissions;
        const auto dash = range.find('-');
        const uintptr_t start = std::stoull(range.substr(0, dash), nullptr, 16);
        const uintptr_t end = std::stoull(range.substr(dash + 1), nullptr, 16);
        if (target >= start && target < end) return permissions;
    }
    return "";
}

class DeviceProxy : public ::testing::Test {
protected:
    qvsim::Driver driver;
    std::string path = driver.addDevice("qv3377k0");
    size_t descriptorsBefore = qvsim::processDescriptors();

    void TearDown() override {
        EXPECT_EQ(driver.openDescriptors(), 0u);
        EXPECT_EQ(qvsim::processDescriptors(), descriptorsBefore);
    }
};

TEST_F(DeviceProxy, OpenFailuresLeaveItClosed) {
    tDeviceInterfaceProxy proxy;
    tStatus missing;
    proxy.open(driver.devicePath("absent").c_str(), missing);
    EXPECT_EQ(missing.code, -52006);
    EXPECT_EQ(proxy.descriptor(), -1);
    EXPECT_FALSE(proxy.isOpen());

    driver.failCall(Call::open, EACCES);
    tStatus denied;
    proxy.open(path.c_str(), denied);
    EXPECT_EQ(denied.code, -52026);
    EXPECT_EQ(proxy.descriptor(), -1);

    tStatus earlier;
    earlier.code = -52005;
    proxy.open(path.c_str(), earlier);
    EXPECT_FALSE(proxy.isOpen());
    EXPECT_EQ(driver.callCount(Call::open), 2u);

    // Through the operating system as well.
    tStatus real;
    proxy.open("/nonexistent/qv3377k", real);
    EXPECT_EQ(real.code, -52006);
    EXPECT_EQ(proxy.close(), 0);
}

TEST_F(DeviceProxy, OpensTheDeviceFileAnInterfaceEntryNames) {
    qvsim::DeviceTree tree;
    tree.addInterface("qv3377k", "qv3377k_qv3377k", "0", path);
    tStatus status;
    tDeviceInterfaceIterator iterator("qv3377k_qv3377k", status);
    tInterfacePath entry;
    iterator.getInterfacePath(entry, status);
    tDeviceInterfaceProxy proxy;
    proxy.open(entry, status);
    ASSERT_EQ(status.code, 0);
    EXPECT_TRUE(proxy.isOpen());
    EXPECT_EQ(driver.openDescriptors(), 1u);
    EXPECT_NE(fcntl(proxy.descriptor(), F_GETFD) & FD_CLOEXEC, 0);

    // A second open keeps the first descriptor instead of leaking it.
    const int first = proxy.descriptor();
    tStatus again;
    proxy.open(path.c_str(), again);
    EXPECT_EQ(again.code, -52031);
    EXPECT_EQ(proxy.descriptor(), first);

    EXPECT_EQ(proxy.close(), 0);
    EXPECT_EQ(proxy.descriptor(), -1);
    EXPECT_EQ(proxy.close(), 0);

    // The destructor closes what is still open.
    {
        tDeviceInterfaceProxy scoped;
        scoped.open(path.c_str(), status);
        EXPECT_EQ(driver.openDescriptors(), 1u);
    }
}

TEST_F(DeviceProxy, RequestTravelsInTheRequestBlock) {
    tDeviceInterfaceProxy proxy;
    tStatus status;
    proxy.open(path.c_str(), status);

    const uint32_t input[3] = {0x11223344, 7, 0};
    uint8_t output[12];
    std::memset(output, 0xEE, sizeof output);
    EXPECT_EQ(proxy.ioctl(kRequest, input, sizeof input, output, sizeof output, status), 12u);
    EXPECT_EQ(status.code, 0);
    // No handler: zeroed output and status 0.
    EXPECT_EQ(std::vector<uint8_t>(output, output + 12), std::vector<uint8_t>(12, 0));

    driver.onRequest(kRequest, [](qvsim::Request& request) {
        request.out<uint64_t>(0, request.in<uint32_t>(0) + uint64_t{1});
        request.out<int32_t>(8, -50000);
        request.bytesReturned = 9;
        return 0;
    });
    uint8_t reply[12] = {};
    EXPECT_EQ(proxy.ioctl(kRequest, input, sizeof input, reply, sizeof reply, status), 9u);
    uint64_t value;
    int32_t replyStatus;
    std::memcpy(&value, reply, 8);
    std::memcpy(&replyStatus, reply + 8, 4);
    EXPECT_EQ(value, 0x11223345u);
    EXPECT_EQ(replyStatus, -50000);
    EXPECT_EQ(status.code, 0);  // the reply status is the caller's to merge

    const auto requests = driver.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].device, "qv3377k0");
    EXPECT_EQ(requests[1].code, kRequest);
    EXPECT_EQ(requests[1].inSize, 12u);
    EXPECT_EQ(requests[1].outSize, 12u);
    EXPECT_EQ(requests[1].bytesReturned, 9u);
    EXPECT_EQ(requests[1].input,
              std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(input),
                                   reinterpret_cast<const uint8_t*>(input) + sizeof input));
}

TEST_F(DeviceProxy, FailedRequestsReportTheErrno) {
    tDeviceInterfaceProxy proxy;
    tStatus status;
    proxy.open(path.c_str(), status);
    uint32_t in = 0, out = 0;

    driver.failCall(Call::ioctl, ENOTTY);
    EXPECT_EQ(proxy.ioctl(kRequest, &in, 4, &out, 4, status), 0u);
    EXPECT_EQ(status.code, -52002);
    EXPECT_STREQ(status.component, "internal_");
    EXPECT_NE(std::string(status.file).find("tDeviceInterfaceProxy"), std::string::npos);

    // With an error already present nothing reaches the driver.
    const auto sent = driver.callCount(Call::ioctl);
    EXPECT_EQ(proxy.ioctl(kRequest, &in, 4, &out, 4, status), 0u);
    EXPECT_EQ(driver.callCount(Call::ioctl), sent);
    EXPECT_EQ(status.code, -52002);

    // The third request from now fails.
    driver.failCall(Call::ioctl, EIO, 3);
    tStatus chain;
    for (int i = 0; i < 2; ++i) proxy.ioctl(kRequest, &in, 4, &out, 4, chain);
    EXPECT_EQ(chain.code, 0);
    proxy.ioctl(kRequest, &in, 4, &out, 4, chain);
    EXPECT_EQ(chain.code, -52024);

    // A closed proxy sends to no descriptor.
    proxy.close();
    tStatus closed;
    proxy.ioctl(kRequest, &in, 4, &out, 4, closed);
    EXPECT_EQ(closed.code, -52006);
}

TEST_F(DeviceProxy, ReadAndWrite) {
    tDeviceInterfaceProxy proxy;
    tStatus status;
    proxy.open(path.c_str(), status);

    EXPECT_EQ(proxy.write("abcdef", 6, status), 6);
    EXPECT_EQ(driver.written("qv3377k0"), (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e', 'f'}));

    driver.queueRead("qv3377k0", {1, 2, 3});
    uint8_t buffer[8] = {};
    EXPECT_EQ(proxy.read(buffer, sizeof buffer, status), 3);  // a short count stays short
    EXPECT_EQ(buffer[2], 3);
    EXPECT_EQ(status.code, 0);

    driver.failCall(Call::read, EIO);
    EXPECT_EQ(proxy.read(buffer, sizeof buffer, status), -1);
    EXPECT_EQ(status.code, -52024);
    EXPECT_EQ(proxy.write("x", 1, status), 0);  // status holds an error: nothing written
    EXPECT_EQ(driver.written("qv3377k0").size(), 6u);

    driver.failCall(Call::write, EPERM);
    tStatus denied;
    EXPECT_EQ(proxy.write("x", 1, denied), -1);
    EXPECT_EQ(denied.code, -52026);
}

TEST_F(DeviceProxy, RegionsMapAtTheirPageOffset) {
    tDeviceInterfaceProxy proxy;
    tStatus status;
    proxy.open(path.c_str(), status);
    const long page = sysconf(_SC_PAGESIZE);

    uint8_t* region3 = driver.regionMemory("qv3377k0", 3);
    ASSERT_NE(region3, nullptr);
    std::memcpy(region3, "region three", 13);

    tMemoryMapping writable;
    auto* bytes = static_cast<char*>(proxy.mapMemory(3, page, 1, writable, status));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(writable.address, bytes);
    EXPECT_EQ(writable.length, static_cast<uint64_t>(page));
    EXPECT_STREQ(bytes, "region three");
    EXPECT_EQ(mappingPermissions(bytes), "rw-s");
    bytes[0] = 'R';
    EXPECT_EQ(region3[0], 'R');

    for (int32_t access : {0, 2}) {
        tMemoryMapping readOnly;
        void* address = proxy.mapMemory(3, page, access, readOnly, status);
        ASSERT_NE(address, nullptr);
        EXPECT_EQ(mappingPermissions(address), "r--s") << "access " << access;
        proxy.unmapMemory(readOnly);
        EXPECT_EQ(readOnly.address, nullptr);
    }

    proxy.unmapMemory(writable);
    EXPECT_EQ(writable.address, nullptr);
    proxy.unmapMemory(writable);  // nothing mapped: nothing happens
    EXPECT_EQ(status.code, 0);

    tMemoryMapping failed{reinterpret_cast<void*>(0x1000), 5};
    driver.failCall(Call::mmap, ENOMEM);
    EXPECT_EQ(proxy.mapMemory(0, page, 1, failed, status), nullptr);
    EXPECT_EQ(status.code, -52000);
    EXPECT_EQ(failed.address, nullptr);

    tStatus outside;
    tMemoryMapping beyond;
    EXPECT_EQ(proxy.mapMemory(16, page, 1, beyond, outside), nullptr);
    EXPECT_EQ(outside.code, -52005);
}

}  // namespace
