#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kerneldriver/DeviceTree.h"
#include "qvapal/protons/enumeration/tDeviceInterfaceIterator.h"
#include "qverr/Codes.h"
#include "support/RaiseSite.h"

namespace {

using namespace sdihal::nQVAPAL000;
using nQVAPALS100::tStatus;

constexpr const char* kInterface = "qv3377k_qv3377k";

std::vector<std::string> walk(const char* interface, tStatus& status) {
    std::vector<std::string> paths;
    for (tDeviceInterfaceIterator it(interface, status); !it.isEnd(); it.next()) {
        tInterfacePath path;
        it.getInterfacePath(path, status);
        paths.emplace_back(path.path);
    }
    return paths;
}

TEST(DeviceInterfaceIterator, MatchesOnlyTheInterfaceFollowedByABackslash) {
    tStatus status;
    EXPECT_TRUE(walk(kInterface, status).empty());  // the real root: no module here
    qvsim::DeviceTree tree;
    EXPECT_TRUE(walk(kInterface, status).empty());  // no driver: an empty walk
    tree.addInterface("qvdrvA", kInterface, "0", "/dev/qv/a0");
    tree.addInterface("qvdrvB", kInterface, "1", "/dev/qv/b1");
    tree.addInterface("qvdrvA", std::string(kInterface) + "X", "0", "/dev/qv/longer");
    tree.writeFile(
        std::string("proc/driver/qv/qvdrvA/deviceInterfaces/") + kInterface + "/interfacePath",
        "/dev/qv/plain");
    EXPECT_EQ(walk(kInterface, status), (std::vector<std::string>{"/dev/qv/a0", "/dev/qv/b1"}));
    EXPECT_TRUE(walk("qv3377k", status).empty());
    EXPECT_EQ(status.code, 0);

    tDeviceInterfaceIterator it(kInterface, status);
    tBasicString name;
    it.getDriverName(name, status);
    EXPECT_EQ(std::string(name.c_str()), "qvdrvA");
}

TEST(DeviceInterfaceIterator, InterfacePathHoldsAtMost255Bytes) {
    qvsim::DeviceTree tree;
    const std::string longest(255, 'p');
    tree.addInterface("qvdrv", kInterface, "0", longest);
    tree.addInterface("qvdrv", kInterface, "1", longest + "p");
    tStatus status;
    tDeviceInterfaceIterator it(kInterface, status);
    tInterfacePath path;
    it.getInterfacePath(path, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(std::string(path.path), longest);
    EXPECT_EQ(path.length, 256u);

    it.next();
    it.getInterfacePath(path, status);
    EXPECT_EQ(status.code, qverr::qvapalerr_bufferTooSmall);
    EXPECT_EQ(qvtest::raiseSite(status),
              "qvapal/protons/enumeration/linuxU/tDeviceInterfaceIterator:123");

    it.next();  // past the last entry
    tStatus none;
    it.getInterfacePath(path, none);
    EXPECT_EQ(none.code, qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(qvtest::raiseSite(none),
              "qvapal/protons/enumeration/linuxU/tDeviceInterfaceIterator:171");
}

TEST(DeviceInterfaceIterator, PropertiesAreReadFromTheDriverDirectory) {
    qvsim::DeviceTree tree;
    tree.addInterface("qvdrv", kInterface, "0", "/dev/qv/a");
    tree.setBusProperty("qvdrv", "pciBusNumber", "0123456789");
    tree.setDeviceProperty("qvdrv", "serialNumber", "01AB23CD");
    tree.setDeviceProperty("qvdrv", "huge", std::string(5000, 'h'));
    tStatus status;
    tDeviceInterfaceIterator it(kInterface, status);

    char exact[10];
    uint64_t size = 0;
    it.getBusProperty("pciBusNumber", exact, sizeof exact, &size, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(std::string(exact, size), "0123456789");  // no NUL needed

    tStatus sizing;  // asking for the size first
    it.getDeviceProperty("serialNumber", nullptr, 0, &size, sizing);
    EXPECT_EQ(sizing.code, qverr::qvapalerr_bufferTooSmall);
    EXPECT_EQ(qvtest::raiseSite(sizing), "qvapal/protons/enumeration/linuxU/linuxDevEnumHelper:72");
    EXPECT_EQ(size, 8u);

    tStatus missing;
    it.getBusProperty("pciSlotPath", exact, sizeof exact, &size, missing);
    EXPECT_EQ(missing.code, qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(qvtest::raiseSite(missing),
              "qvapal/protons/enumeration/linuxU/linuxDevEnumHelper:87");

    // A property beyond what one read takes is refused, never cut.
    tStatus huge;
    std::vector<char> buffer(8192);
    it.getDeviceProperty("huge", buffer.data(), buffer.size(), &size, huge);
    EXPECT_EQ(huge.code, qverr::qvapalerr_bufferTooSmall);
}

}  // namespace
