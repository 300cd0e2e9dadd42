#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "HALUtilities/AutoKXDVRRefRelease.h"
#include "HALUtilities/CalibrationPaths.h"
#include "HALUtilities/VersionRecord.h"
#include "HALUtilities/mbsToUtf8.h"
#include "qverr/Codes.h"
#include "qvsysq/sysq.h"

namespace {

using qv3377hal::utf8ToMbs;

class Locale {
public:
    explicit Locale(const char* name) : previous_(std::setlocale(LC_CTYPE, nullptr)) {
        available_ = std::setlocale(LC_CTYPE, name) != nullptr;
    }
    ~Locale() { std::setlocale(LC_CTYPE, previous_.c_str()); }
    bool available() const { return available_; }

private:
    std::string previous_;
    bool available_ = false;
};

TEST(Utf8ToMbs, AsciiPassesInAnyLocaleAndBadUtf8Fails) {
    Locale c("C");
    std::string out = "untouched";
    EXPECT_EQ(utf8ToMbs(nullptr, 0, out), 0);
    EXPECT_EQ(out, "untouched");
    EXPECT_EQ(utf8ToMbs("/opt/a b/x.qvimage", 0, out), 0);
    EXPECT_EQ(out, "/opt/a b/x.qvimage");
    // Flags matter only for text that needs converting.
    EXPECT_EQ(utf8ToMbs("abc", 1, out), 0);

    out = "untouched";
    for (const char* bad : {"\xC0\x80", "a\xE2\x82", "\xED\xA0\x80"})
        EXPECT_EQ(utf8ToMbs(bad, 0, out), qverr::kStatusInvalidUTF8) << bad;
    EXPECT_EQ(out, "untouched");
    EXPECT_EQ(utf8ToMbs("\xC3\xA9", 2, out), qverr::qvapalerr_featureUnsupported);
    // A character the locale's encoding cannot hold.
    EXPECT_EQ(utf8ToMbs("\xC3\xA9", 0, out), qverr::kStatusInvalidUTF8);
}

TEST(Utf8ToMbs, ConvertsIntoTheLocalesEncoding) {
    Locale utf8("C.UTF-8");
    if (!utf8.available()) GTEST_SKIP() << "no UTF-8 locale";
    std::string out;
    EXPECT_EQ(utf8ToMbs("/donn\xC3\xA9\x65s/\xF0\x9F\x93\x81", 0, out), 0);
    EXPECT_EQ(out, "/donn\xC3\xA9\x65s/\xF0\x9F\x93\x81");
}

TEST(CalibrationPaths, DirectoryAndBoardNames) {
    EXPECT_EQ(qv3377hal::pidDirectoryName(0x12), "PIDx0012");
    EXPECT_EQ(qv3377hal::pidDirectoryName(0x123456), "PIDx123456");
    EXPECT_EQ(qv3377hal::calibrationFilePath(0x7822, "RevB", "Common"),
              qvsysq::getSharedStateDir() + "/qvqrx/calfiles/PIDx7822/RevB/Common");
    EXPECT_EQ(qv3377hal::zeroPadTo8("1AB"), "000001AB");
    EXPECT_EQ(qv3377hal::zeroPadTo8("123456789"), "123456789");
    EXPECT_EQ(qv3377hal::zeroPadTo8(nullptr), "");
}

TEST(VersionRecord, NineKeyValueTexts) {
    const char* const* record = qv3377hal::versionRecord();
    std::vector<std::string> entries;
    for (; *record != nullptr; ++record) entries.emplace_back(*record);
    ASSERT_EQ(entries.size(), 9u);
    EXPECT_EQ(entries[2], "nQVVersion_ProductName=QV3377HAL");
    EXPECT_EQ(entries[3], "nQVVersion_OriginalFilename=libqv3377hal.so.23.3.0");
    EXPECT_EQ(entries[4], "nQVVersion_FileDescription=Hardware Abstraction Layer for QV PXIe-3377");
    EXPECT_EQ(entries[5], "nQVVersion_ProductVersion=23.3.0f451");
    EXPECT_EQ(entries[6], "nQVVersion_FileVersion=23.3.0f451");
    EXPECT_EQ(entries[7], "nQVVersion_InternalName=QV3377HAL 23.3.0f451");
    EXPECT_EQ(entries[8].rfind("nQVVersion_Comments=", 0), 0u);
}

}  // namespace
