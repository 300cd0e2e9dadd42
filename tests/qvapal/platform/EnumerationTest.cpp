#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kerneldriver/DeviceTree.h"
#include "qvapal/protons/enumeration/tDeviceInterfaceIterator.h"

namespace {

using namespace sdihal::nQVAPAL000;
using nQVAPALS100::tStatus;

constexpr const char* kInterface = "qv3377k_qv3377k";

std::vector<std::string> walk(const char* interface, tStatus& status) {
    std::vector<std::string> paths;
    tDeviceInterfaceIterator iterator(interface, status);
    for (; !iterator.isEnd(); iterator.next()) {
        tInterfacePath path;
        iterator.getInterfacePath(path, status);
        paths.emplace_back(path.path);
    }
    return paths;
}

TEST(DeviceInterfaceIterator, NoDriverIsAnEmptyWalk) {
    tStatus status;
    {
        // No module driver on this machine: the real root is absent.
        tDeviceInterfaceIterator iterator(kInterface, status);
        EXPECT_TRUE(iterator.isEnd());
    }
    qvsim::DeviceTree tree;
    tDeviceInterfaceIterator iterator(kInterface, status);
    EXPECT_TRUE(iterator.isEnd());
    EXPECT_EQ(iterator.entryPath(), nullptr);
    iterator.next();
    EXPECT_TRUE(iterator.isEnd());
    EXPECT_EQ(status.code, 0);
}

TEST(DeviceInterfaceIterator, MatchesOnlyTheInterfaceFollowedByABackslash) {
    qvsim::DeviceTree tree;
    tree.addInterface("qvdrvA", kInterface, "0", "/dev/qv/a0");
    tree.addInterface("qvdrvB", kInterface, "1", "/dev/qv/b1");
    tree.addInterface("qvdrvA", std::string(kInterface) + "X", "0", "/dev/qv/longer");
    tree.addInterface("qvdrvA", "other", "0", "/dev/qv/other");
    tree.writeFile(std::string("proc/driver/qv/qvdrvA/deviceInterfaces/") + kInterface + "/interfacePath",
                   "/dev/qv/plain");

    tStatus status;
    EXPECT_EQ(walk(kInterface, status), (std::vector<std::string>{"/dev/qv/a0", "/dev/qv/b1"}));
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(walk("other", status), (std::vector<std::string>{"/dev/qv/other"}));
    EXPECT_TRUE(walk("qv3377k", status).empty());
}

TEST(DeviceInterfaceIterator, EntriesAddedLaterAreNotSeen) {
    qvsim::DeviceTree tree;
    tree.addInterface("qvdrv", kInterface, "0", "/dev/qv/a");
    tStatus status;
    tDeviceInterfaceIterator iterator(kInterface, status);
    tree.addInterface("qvdrv", kInterface, "1", "/dev/qv/b");
    ASSERT_FALSE(iterator.isEnd());
    iterator.next();
    EXPECT_TRUE(iterator.isEnd());
}

TEST(DeviceInterfaceIterator, InterfacePathHoldsAtMost255Bytes) {
    qvsim::DeviceTree tree;
    const std::string longest(255, 'p');
    tree.addInterface("qvdrv", kInterface, "0", longest);
    tree.addInterface("qvdrv", kInterface, "1", longest + "p");
    tree.addInterface("qvdrv", kInterface, "2", "");
    tStatus status;
    tDeviceInterfaceIterator iterator(kInterface, status);

    tInterfacePath path;
    iterator.getInterfacePath(path, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(std::string(path.path), longest);
    EXPECT_EQ(path.length, 256u);

    iterator.next();
    tInterfacePath tooLong;
    iterator.getInterfacePath(tooLong, status);
    EXPECT_EQ(status.code, -52019);
    EXPECT_EQ(tooLong.length, 0u);

    iterator.next();
    tStatus empty;
    tInterfacePath nothing;
    iterator.getInterfacePath(nothing, empty);
    EXPECT_EQ(empty.code, 0);
    EXPECT_EQ(nothing.length, 1u);

    iterator.next();
    tStatus atEnd;
    iterator.getInterfacePath(path, atEnd);
    EXPECT_EQ(atEnd.code, -52006);
}

TEST(DeviceInterfaceIterator, MissingInterfacePathIsNotFound) {
    qvsim::DeviceTree tree;
    tree.writeFile(std::string("proc/driver/qv/qvdrv/deviceInterfaces/") + kInterface + "\\0/other",
                   "x");
    tStatus status;
    tDeviceInterfaceIterator iterator(kInterface, status);
    ASSERT_FALSE(iterator.isEnd());
    tInterfacePath path;
    iterator.getInterfacePath(path, status);
    EXPECT_EQ(status.code, -52006);
}

TEST(DeviceInterfaceIterator, PropertiesAreReadFromTheDriverDirectory) {
    qvsim::DeviceTree tree;
    tree.addInterface("qvdrv", kInterface, "0", "/dev/qv/a");
    tree.setBusProperty("qvdrv", "pciBusNumber", "0123456789");
    tree.setDeviceProperty("qvdrv", "serialNumber", "01AB23CD");
    tree.setDeviceProperty("qvdrv", "huge", std::string(5000, 'h'));
    tStatus status;
    tDeviceInterfaceIterator iterator(kInterface, status);

    char exact[10];
    uint64_t size = 0;
    iterator.getBusProperty("pciBusNumber", exact, sizeof exact, &size, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(std::string(exact, sizeof exact), "0123456789");

    char serial[32] = {};
    iterator.getDeviceProperty("serialNumber", serial, sizeof serial, nullptr, status);
    EXPECT_STREQ(serial, "01AB23CD");
    EXPECT_EQ(status.code, 0);

    // Asking for the size first.
    tStatus sizing;
    size = 0;
    iterator.getDeviceProperty("serialNumber", nullptr, 0, &size, sizing);
    EXPECT_EQ(sizing.code, -52019);
    EXPECT_EQ(size, 8u);

    tStatus tooSmall;
    char small[4] = {'k', 'e', 'e', 'p'};
    iterator.getDeviceProperty("serialNumber", small, sizeof small, &size, tooSmall);
    EXPECT_EQ(tooSmall.code, -52019);
    EXPECT_EQ(std::string(small, 4), "keep");

    tStatus missing;
    iterator.getBusProperty("pciSlotPath", serial, sizeof serial, &size, missing);
    EXPECT_EQ(missing.code, -52006);

    // A property beyond what one read takes is refused, never cut.
    tStatus huge;
    std::vector<char> buffer(8192);
    iterator.getDeviceProperty("huge", buffer.data(), buffer.size(), &size, huge);
    EXPECT_EQ(huge.code, -52019);

    iterator.next();
    tStatus noEntry;
    iterator.getBusProperty("pciBusNumber", exact, sizeof exact, &size, noEntry);
    EXPECT_EQ(noEntry.code, -52006);
}

TEST(DeviceInterfaceIterator, DriverNameIsTheDirectoryUnderTheRoot) {
    qvsim::DeviceTree tree;
    tree.addInterface("qv3377k", kInterface, "0", "/dev/qv/a");
    tStatus status;
    tDeviceInterfaceIterator iterator(kInterface, status);
    tBasicString name;
    iterator.getDriverName(name, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(std::string(name.c_str(), name.length()), "qv3377k");
}

TEST(DeviceInterfaceIterator, AnErrorOnEntryDoesNothing) {
    qvsim::DeviceTree tree;
    tree.addInterface("qvdrv", kInterface, "0", "/dev/qv/a");
    tStatus status;
    status.code = -52005;
    tDeviceInterfaceIterator iterator(kInterface, status);
    EXPECT_TRUE(iterator.isEnd());
    EXPECT_EQ(status.code, -52005);

    tStatus clean;
    tDeviceInterfaceIterator walker(kInterface, clean);
    tInterfacePath path;
    walker.getInterfacePath(path, status);
    EXPECT_EQ(path.length, 0u);
    EXPECT_EQ(status.code, -52005);
}

}  // namespace
