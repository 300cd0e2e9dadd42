#include <gtest/gtest.h>

#include <cstring>

#include "qvapal/protons/containers/tBasicString.h"
#include "qvapal/protons/containers/tVector.h"
#include "qvapal/status/tStatus.h"
#include "qverr/Codes.h"

// These containers handle allocation failure: let the address sanitizer's
// allocator return null for a request it cannot serve.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

using sdihal::nQVAPAL000::tBasicString;
using sdihal::nQVAPAL000::tPointerVector;

TEST(BasicString, AllocatesExactlyAndKeepsTheTextWhenAllocationFails) {
    tBasicString s;
    s.assign("device", 6);
    EXPECT_EQ(s.capacity(), 6u);
    s.assign(s.c_str() + 1, 3);
    EXPECT_STREQ(s.c_str(), "evi");
    EXPECT_EQ(s.capacity(), 6u);
    s.append(s.c_str(), 3);
    s.append("_0", 2);
    EXPECT_STREQ(s.c_str(), "evievi_0");
    s.erase(1, 2);
    EXPECT_STREQ(s.c_str(), "eevi_0");
    EXPECT_FALSE(s.allocationFailed());

    s.assign("x", UINT64_MAX);
    s.resize(uint64_t{1} << 62);
    EXPECT_TRUE(s.allocationFailed());
    EXPECT_STREQ(s.c_str(), "eevi_0");

    nQVAPALS100::tStatus status;
    status.setCode(qverr::qvapalerr_resourceNotFound, "internal_sdi_hal23u", "first", 3);
    s.assign("other", status);  // skipped: the status holds an error
    EXPECT_STREQ(s.c_str(), "eevi_0");
    EXPECT_STREQ(status.file, "first");
}

char* copyOf(const char* text) {
    return std::strcpy(new char[std::strlen(text) + 1], text);
}

TEST(PointerVector, InsertsNullsAndDeletesItsArrays) {
    tPointerVector<char> names;
    ASSERT_TRUE(names.insertNull(0, 1));
    names[0] = copyOf("b");
    ASSERT_TRUE(names.insertNull(0, 1));
    names[0] = copyOf("a");
    ASSERT_TRUE(names.insertNull(1, 3));
    ASSERT_TRUE(names.insertNull(5, 1));
    EXPECT_STREQ(names[0], "a");
    EXPECT_EQ(names[1], nullptr);
    EXPECT_STREQ(names[4], "b");
    names.clear();  // the leak checker sees a copy that is not deleted
    EXPECT_TRUE(names.empty());

    EXPECT_FALSE(names.insertNull(0, tPointerVector<char>::kMaxSize + 1));
    EXPECT_TRUE(names.allocationFailed());
    nQVAPALS100::tStatus status;
    EXPECT_FALSE(names.insertNull(0, uint64_t{1} << 60, status));
    EXPECT_EQ(status.code, qverr::qvapalerr_memoryFull);
    EXPECT_STREQ(status.file, "qvapal/protons/containers/tVector");
    EXPECT_EQ(status.line, 819u);
    EXPECT_TRUE(names.empty());
}

}  // namespace
