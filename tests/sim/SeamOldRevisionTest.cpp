// A simulator built with an older, shorter seam table: the library must not
// read past its end, and runs on the operating system instead.
#include <gtest/gtest.h>

#include <cstddef>

#include "qvapal/protons/system/tSystemInterface.h"

namespace {

using sdihal::nQVAPAL000::tSystemInterface;

// An older revision ended before the netlink calls; its fields beyond that
// would be whatever lies after it in memory.
struct OlderTable {
    size_t size;
    void* calls[7];
};
const OlderTable olderTable{offsetof(tSystemInterface, socket), {}};

}  // namespace

extern "C" const tSystemInterface* qv3377hal_simulatedSystemInterface() {
    return reinterpret_cast<const tSystemInterface*>(&olderTable);
}

namespace {

TEST(SeamOfAnOlderSimulator, IsNotUsed) {
    EXPECT_EQ(&sdihal::nQVAPAL000::systemInterface(),
              &sdihal::nQVAPAL000::operatingSystemInterface());
    EXPECT_STREQ(sdihal::nQVAPAL000::systemInterface().moduleDeviceRoot(), "/dev/qv");
}

}  // namespace
