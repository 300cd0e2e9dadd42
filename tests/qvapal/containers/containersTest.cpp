#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "qvapal/protons/containers/tBasicString.h"
#include "qvapal/protons/containers/tVector.h"
#include "qvapal/status/tStatus.h"

// Allocation failures are part of what these containers handle: let the
// address sanitizer's allocator return null for a request it cannot serve.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

using sdihal::nQVAPAL000::tBasicString;
using sdihal::nQVAPAL000::tPointerVector;

constexpr uint64_t kHugeLength = uint64_t{1} << 62;

TEST(BasicString, AssignAllocatesExactlyAndCopiesInPlaceOtherwise) {
    tBasicString s;
    s.assign("device", 6);
    EXPECT_STREQ(s.c_str(), "device");
    EXPECT_EQ(s.capacity(), 6u);
    s.assign("dev", 3);
    EXPECT_STREQ(s.c_str(), "dev");
    EXPECT_EQ(s.capacity(), 6u);
    s.assign(s.c_str() + 1, 2);
    EXPECT_STREQ(s.c_str(), "ev");
    s.assign("x", 0);
    EXPECT_STREQ(s.c_str(), "");
    EXPECT_EQ(s.length(), 0u);
    EXPECT_FALSE(s.allocationFailed());
}

TEST(BasicString, AppendResizeAndErase) {
    tBasicString s;
    s.append("PCI::", 5);
    s.append("12", 2);
    s.append(s.c_str(), 3);   // a range of itself
    EXPECT_STREQ(s.c_str(), "PCI::12PCI");
    s.resize(12, '0');
    EXPECT_STREQ(s.c_str(), "PCI::12PCI00");
    s.resize(5);
    EXPECT_STREQ(s.c_str(), "PCI::");
    s.erase(1, 2);
    EXPECT_STREQ(s.c_str(), "P::");
    s.erase(2, 50);
    EXPECT_STREQ(s.c_str(), "P:");
    s.clear();
    EXPECT_TRUE(s.empty());
}

TEST(BasicString, AFailedAllocationSetsTheFlagAndKeepsTheText) {
    tBasicString s;
    s.assign("kept", 4);
    s.assign("ignored", UINT64_MAX);
    EXPECT_TRUE(s.allocationFailed());
    EXPECT_STREQ(s.c_str(), "kept");

    tBasicString t;
    t.assign("kept", 4);
    t.resize(kHugeLength);
    EXPECT_TRUE(t.allocationFailed());
    EXPECT_STREQ(t.c_str(), "kept");
    EXPECT_EQ(t.length(), 4u);
}

TEST(BasicString, AssignWithStatusSkipsOnAnEarlierError) {
    nQVAPALS100::tStatus status;
    tBasicString s;
    s.assign("interface", status);
    EXPECT_STREQ(s.c_str(), "interface");
    EXPECT_EQ(status.code, 0);
    status.setCode(-52006, "internal_sdi_hal23u", "first", 3);
    s.assign("other", status);
    EXPECT_STREQ(s.c_str(), "interface");
    EXPECT_EQ(status.code, -52006);
    EXPECT_STREQ(status.file, "first");
}

TEST(BasicString, SwapExchangesEverything) {
    tBasicString a;
    tBasicString b;
    a.assign("device", 6);
    b.assign("x", UINT64_MAX);
    a.swap(b);
    EXPECT_STREQ(a.c_str(), "");
    EXPECT_TRUE(a.allocationFailed());
    EXPECT_STREQ(b.c_str(), "device");
    EXPECT_FALSE(b.allocationFailed());
}

char* copyOf(const char* text) {
    char* copy = new char[std::strlen(text) + 1];
    std::strcpy(copy, text);
    return copy;
}

TEST(PointerVector, InsertsNullSlotsAndGrowsByDoubling) {
    tPointerVector<char> names;
    ASSERT_TRUE(names.insertNull(0, 1));
    EXPECT_EQ(names.capacity(), 1u);
    names[0] = copyOf("b");
    ASSERT_TRUE(names.insertNull(0, 1));
    EXPECT_EQ(names.capacity(), 2u);
    EXPECT_EQ(names[0], nullptr);
    names[0] = copyOf("a");
    ASSERT_TRUE(names.insertNull(2, 3));
    EXPECT_EQ(names.capacity(), 5u);
    ASSERT_TRUE(names.insertNull(1, 1));
    EXPECT_EQ(names.capacity(), 10u);
    EXPECT_EQ(names.size(), 6u);
    EXPECT_STREQ(names[0], "a");
    EXPECT_EQ(names[1], nullptr);
    EXPECT_STREQ(names[2], "b");
    for (uint64_t i = 3; i < names.size(); ++i) EXPECT_EQ(names[i], nullptr);
    names[5] = copyOf("c");
    std::sort(names.begin(), names.begin() + 3, [](const char* x, const char* y) {
        return std::strcmp(x ? x : "", y ? y : "") < 0;
    });
    EXPECT_EQ(names[0], nullptr);
    names.clear();   // deletes the copies; the leak checker notices otherwise
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(names.capacity(), 10u);
    EXPECT_FALSE(names.allocationFailed());
}

TEST(PointerVector, RefusesSizesItCannotHold) {
    tPointerVector<char> names;
    EXPECT_FALSE(names.insertNull(0, tPointerVector<char>::kMaxSize + 1));
    EXPECT_TRUE(names.allocationFailed());
    EXPECT_TRUE(names.empty());

    nQVAPALS100::tStatus status;
    tPointerVector<char> more;
    EXPECT_FALSE(more.insertNull(0, uint64_t{1} << 60, status));
    EXPECT_TRUE(more.allocationFailed());
    EXPECT_EQ(status.code, -52000);
    EXPECT_STREQ(status.file, "qvapal/protons/containers/tVector");
    EXPECT_EQ(status.line, 819u);

    // An earlier error stays and nothing is inserted.
    EXPECT_FALSE(more.insertNull(0, 1, status));
    EXPECT_TRUE(more.empty());
    EXPECT_STREQ(status.file, "qvapal/protons/containers/tVector");
}

}  // namespace
