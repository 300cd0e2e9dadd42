// The target-class check of a bitfile against the device's class.
#include <gtest/gtest.h>

#include <string>

#include "atomiczekddk/shared/CommonUtilities.h"
#include "atomiczekddk/shared/TargetClassChecker.h"
#include "support/TempDir.h"

namespace {

using qvtest::thrownStatus;

// A device that tells its class through attribute 6 by the string rule.
class Device : public qvzek::IAttributeHandler {
public:
    Device() = default;
    explicit Device(const char* targetClass) : known_(true), targetClass_(targetClass) {}
    uint32_t getU32Attribute(uint32_t, bool* handled) override {
        *handled = false;
        return 0xFFFFFFFF;
    }
    void getStringAttribute(uint32_t id, char* buffer, uint32_t size, uint32_t* length, bool* handled) override {
        *handled = id == qvzek::kAttributeFpgaTargetClass && known_;
        if (*handled) qvzek::copyStringToBuffer(targetClass_, buffer, size, length);
    }
    void setU32Attribute(uint32_t, uint32_t, bool* handled) override { *handled = false; }
    void setStringAttribute(uint32_t, const char*, bool* handled) override { *handled = false; }

private:
    bool known_ = false;
    std::string targetClass_;
};

bool compatible(const char* deviceClass, const char* list) {
    qvzek::TargetClassCheckerDefault checker(std::make_shared<Device>(deviceClass));
    return checker.isCompatible(list);
}

TEST(TargetClass, MatchesOneTrimmedEntryExactly) {
    EXPECT_TRUE(compatible("QV-3377 (B)", ""));
    EXPECT_TRUE(compatible("B", "A;B"));
    EXPECT_TRUE(compatible("A", "  A ; B "));
    EXPECT_TRUE(compatible(" B\t", "A;B"));
    EXPECT_FALSE(compatible("ABC", "abc"));
    EXPECT_FALSE(compatible("C", "A;B"));
    EXPECT_FALSE(compatible("A", ";"));
    EXPECT_TRUE(compatible("", "A;"));  // an empty entry fits an empty class
}

TEST(TargetClass, ADeviceWithoutAClassIsASoftwareFault) {
    qvzek::TargetClassCheckerDefault checker(std::make_shared<Device>());
    EXPECT_EQ(thrownStatus([&] { checker.isCompatible("A"); }).first, -52003);
}

}  // namespace
