#include "qvdynlib/qvdynlib.h"

#include <dlfcn.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST(DynamicLibraryLoading, AMissingLibraryIsReportedWithTheLinkersMessage) {
    qverr::Status status;
    EXPECT_EQ(qvdynlib_load("libqvabsent.so.7", kQvdynlibDefaultFlags, status), nullptr);
    EXPECT_EQ(status.code, -52005);
    const std::string detail = status.jsonText();
    EXPECT_THAT(detail, StartsWith("{\"error_constant\":\"qvapalerr_invalidParameter\""));
    EXPECT_THAT(detail, HasSubstr("\"qvdynlib_debug\":{\"debug\":\"failed to qvdynlib_load "
                                  "library\",\"path\":\"libqvabsent.so.7\"},"
                                  "\"internal_error\":{\"api\":\"dlerror\",\"string\":\""));
    EXPECT_THAT(detail, HasSubstr("libqvabsent.so.7: cannot open shared object file"));
    // Nothing is left behind for the next caller of dlerror.
    EXPECT_EQ(dlerror(), nullptr);
    // The failed load leaves the status in error: nothing more is done.
    EXPECT_EQ(qvdynlib_load(QV_PROBE_LIBRARY, kQvdynlibDefaultFlags, status), nullptr);
    EXPECT_EQ(qvdynlib_symbol(RTLD_DEFAULT, "malloc", status), nullptr);
    EXPECT_EQ(status.jsonText(), detail);
}

TEST(DynamicLibraryLoading, EntryPointsAreResolvedAndMissingOnesReported) {
    qverr::Status status;
    qvdynlib::AutoLib library(qvdynlib_load(QV_PROBE_LIBRARY, kQvdynlibDefaultFlags, status));
    ASSERT_NE(library.get(), nullptr) << status.jsonText();
    auto answer = reinterpret_cast<int (*)()>(qvdynlib_symbol(library.get(), "qvprobe_answer", status));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(qvdynlib_symbol(library.get(), "qvprobe_absent", status), nullptr);
    EXPECT_EQ(status.code, -52005);
    EXPECT_THAT(status.jsonText(),
                HasSubstr("\"qvdynlib_debug\":{\"debug\":\"failed to get symbol\","
                          "\"qvdynlib_symbol\":\"qvprobe_absent\"},\"internal_error\":"
                          "{\"api\":\"dlerror\",\"string\":\""));
    EXPECT_EQ(dlerror(), nullptr);
}

// An entry-point table as a library wrapper declares it.
struct ProbeTable {
    static constexpr std::array<const char*, 3> kEntryPointNames{"answer", "missing", "name"};
    static constexpr const char* kPrefix = "qvprobe_";
    static constexpr const char* kSuffix = "";
    void setEntryPoint(size_t index, void* address) { addresses[index] = address; }
    std::array<void*, 3> addresses{};
};

TEST(DynamicLibraryLoading, ATableTriesEveryNameAndKeepsTheFirstFailure) {
    qverr::Status status;
    qvdynlib::AutoLibWithInterface<ProbeTable> table(QV_PROBE_LIBRARY, status);
    ASSERT_NE(table.handle(), nullptr);
    EXPECT_NE(table.addresses[0], nullptr);
    EXPECT_EQ(table.addresses[1], nullptr);
    ASSERT_NE(table.addresses[2], nullptr);
    EXPECT_STREQ(reinterpret_cast<const char* (*)()>(table.addresses[2])(), "qvprobe");
    EXPECT_EQ(status.code, -52005);
    EXPECT_THAT(status.jsonText(), HasSubstr("\"qvdynlib_symbol\":\"qvprobe_missing\""));

    qverr::Status absent;
    qvdynlib::AutoLibWithInterface<ProbeTable> none("libqvabsent.so", absent);
    EXPECT_EQ(none.handle(), nullptr);
    EXPECT_EQ(none.addresses[0], nullptr);
    EXPECT_EQ(absent.code, -52005);
}

}  // namespace
