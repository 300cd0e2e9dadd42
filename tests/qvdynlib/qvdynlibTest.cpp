#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>

#include "qvdynlib/qvdynlib.h"
#include "qverr/Codes.h"

namespace {

using ::testing::HasSubstr;

TEST(DynamicLibraryLoading, AMissingLibraryIsReportedWithTheLinkersMessage) {
    qverr::Status status;
    EXPECT_EQ(qvdynlib_load("libqvabsent.so.7", kQvdynlibDefaultFlags, status), nullptr);
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    const std::string detail = status.jsonText();
    EXPECT_THAT(detail, HasSubstr("\"qvdynlib_debug\":{\"debug\":\"failed to qvdynlib_load "
                                  "library\",\"path\":\"libqvabsent.so.7\"},"
                                  "\"internal_error\":{\"api\":\"dlerror\",\"string\":\""
                                  "libqvabsent.so.7: cannot open shared object file"));
    // Nothing is left behind for the next caller of dlerror.
    EXPECT_EQ(dlerror(), nullptr);
    // The failed load leaves the status in error: nothing more is done.
    EXPECT_EQ(qvdynlib_load(QV_PROBE_LIBRARY, kQvdynlibDefaultFlags, status), nullptr);
    EXPECT_EQ(status.jsonText(), detail);
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
    ASSERT_NE(table.addresses[0], nullptr);
    EXPECT_EQ(reinterpret_cast<int (*)()>(table.addresses[0])(), 42);
    EXPECT_EQ(table.addresses[1], nullptr);
    EXPECT_NE(table.addresses[2], nullptr);
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    EXPECT_THAT(status.jsonText(),
                HasSubstr("\"qvdynlib_debug\":{\"debug\":\"failed to get symbol\","
                          "\"qvdynlib_symbol\":\"qvprobe_missing\"},\"internal_error\":"
                          "{\"api\":\"dlerror\",\"string\":\""));
    EXPECT_EQ(dlerror(), nullptr);
}

TEST(DynamicLibraryLoading, VersionedLookupFindsOnlyTheNamedVersion) {
    qverr::Status status;
    qvdynlib::AutoLib engine(qvdynlib_load(QV_VERSIONED_LIBRARY, kQvdynlibDefaultFlags, status));
    ASSERT_NE(engine.get(), nullptr) << status.jsonText();
    EXPECT_NE(qvdynlib_versionedSymbol(engine.get(), "KXThreadGetId", "KXRT_18.0"), nullptr);
    EXPECT_EQ(qvdynlib_versionedSymbol(engine.get(), "KXThreadGetId", "KXRT_17.0"), nullptr);
    EXPECT_EQ(qvdynlib_versionedSymbol(engine.get(), "KXNoSuchEntry", "KXRT_18.0"), nullptr);
    EXPECT_EQ(qvdynlib_versionedSymbol(engine.get(), nullptr, "KXRT_18.0"), nullptr);
    // Loaded globally, the global scope finds it too.
    EXPECT_NE(qvdynlib_versionedSymbol(nullptr, "KXThreadGetId", "KXRT_18.0"), nullptr);
    EXPECT_EQ(dlerror(), nullptr);
}

}  // namespace
