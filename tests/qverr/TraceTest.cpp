#include "qverr/trace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<std::string> gLines;

void capture(const char* text) { gLines.emplace_back(text); }

int gFormatCalls = 0;
int countingFormat(char* buffer, size_t size, const char* format, va_list args) {
    ++gFormatCalls;
    return vsnprintf(buffer, size, format, args);
}

class Trace : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = trace::settings();
        trace::settings().output = &capture;
        gLines.clear();
    }
    void TearDown() override { trace::settings() = saved_; }
    trace::Settings saved_;
};

constexpr trace::LogLocation kShortFile{"qverr/x.cpp", 56, "\n"};

TEST_F(Trace, PrintsFromTheThresholdOn) {
    EXPECT_EQ(trace::settings().threshold, 4096u);
    trace::log(4095, kShortFile, "quiet");
    EXPECT_TRUE(gLines.empty());
    trace::log(trace::kLevelError, kShortFile, "error %d", 1);
    trace::log(trace::kLevelException, kShortFile, "exception");
    ASSERT_EQ(gLines.size(), 2u);
    trace::logAlways(kShortFile, "always");
    EXPECT_EQ(gLines.size(), 3u);
}

TEST_F(Trace, LineLayoutHasFixedWidthFields) {
    trace::log(4096, kShortFile, "Failed to open DLL file '%s'", "libx.so");
    ASSERT_EQ(gLines.size(), 1u);
    EXPECT_EQ(gLines[0], "[sdi_hal23u|" + std::string(21, ' ') +
                             "qverr/x.cpp|0056] Failed to open DLL file 'libx.so'\n");

    gLines.clear();
    const std::string longPath = "some/very/long/directory/structure/for/component/file.cpp";
    const trace::LogLocation longSite{longPath.c_str(), 12345, "\n"};
    trace::logAlways(longSite, "m");
    EXPECT_EQ(gLines[0], "[sdi_hal23u|" + longPath.substr(longPath.size() - 32) + "|2345] m\n");

    gLines.clear();
    const trace::LogLocation lineZero{"f.cpp", 0, "\n"};
    trace::logAlways(lineZero, "%s", "");
    EXPECT_EQ(gLines[0], "[sdi_hal23u|" + std::string(27, ' ') + "f.cpp|0000] \n");

    gLines.clear();
    const trace::LogLocation wide{"f.cpp", (int64_t{1} << 32) + 7, "\n"};
    trace::logAlways(wide, "x");
    EXPECT_NE(gLines[0].find("|0007] x"), std::string::npos);
}

TEST_F(Trace, OverlongMessagesAreCutToTheLine) {
    const std::string message(600, 'm');
    trace::logAlways(kShortFile, "%s", message.c_str());
    ASSERT_EQ(gLines.size(), 1u);
    EXPECT_EQ(gLines[0].size(), 511u);
    EXPECT_EQ(gLines[0].back(), '\n');
    EXPECT_EQ(gLines[0].compare(0, 51, "[sdi_hal23u|" + std::string(21, ' ') + "qverr/x.cpp|0056] "),
              0);
}

TEST_F(Trace, PrintHasNeitherPrefixNorSuffix) {
    trace::print("value %u", 7u);
    ASSERT_EQ(gLines.size(), 1u);
    EXPECT_EQ(gLines[0], "value 7");
    trace::print("%s", std::string(700, 'p').c_str());
    EXPECT_EQ(gLines[1].size(), 511u);
}

TEST_F(Trace, FormatsThroughTheFormattingHook) {
    trace::settings().format = &countingFormat;
    gFormatCalls = 0;
    trace::logAlways(kShortFile, "a");
    trace::print("b");
    EXPECT_EQ(gFormatCalls, 2);
}

}  // namespace
