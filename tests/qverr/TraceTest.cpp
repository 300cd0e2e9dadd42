#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "qverr/trace.h"

namespace {

std::vector<std::string> gLines;
void capture(const char* text) {
    gLines.emplace_back(text);
}

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

constexpr trace::LogLocation kSite{"qverr/x.cpp", 56, "\n"};
const std::string kPrefix = "[sdi_hal23u|" + std::string(21, ' ') + "qverr/x.cpp|0056] ";

TEST_F(Trace, PrintsFromTheThresholdOnWithFixedWidthFields) {
    trace::log(4095, kSite, "quiet");
    EXPECT_TRUE(gLines.empty());
    trace::log(trace::kLevelError, kSite, "Failed to open DLL file '%s'", "libx.so");
    trace::log(trace::kLevelException, kSite, "exception");
    ASSERT_EQ(gLines.size(), 2u);
    EXPECT_EQ(gLines[0], kPrefix + "Failed to open DLL file 'libx.so'\n");

    const std::string longPath = "some/very/long/directory/structure/for/component/file.cpp";
    trace::logAlways({longPath.c_str(), 12345, "\n"}, "m");
    EXPECT_EQ(gLines[2], "[sdi_hal23u|" + longPath.substr(longPath.size() - 32) + "|2345] m\n");
    trace::logAlways({"f.cpp", 0, "\n"}, "%s", "");
    EXPECT_EQ(gLines[3], "[sdi_hal23u|" + std::string(27, ' ') + "f.cpp|0000] \n");
    trace::logAlways({"f.cpp", (int64_t{1} << 32) + 7, "\n"}, "x");
    EXPECT_NE(gLines[4].find("|0007] x"), std::string::npos);
}

TEST_F(Trace, OverlongTextIsCutToTheLineAndFormatsThroughTheHook) {
    trace::settings().format = &countingFormat;
    gFormatCalls = 0;
    trace::logAlways(kSite, "%s", std::string(600, 'm').c_str());
    ASSERT_EQ(gLines.size(), 1u);
    EXPECT_EQ(gLines[0], kPrefix + std::string(511 - kPrefix.size() - 1, 'm') + "\n");

    trace::print("value %u", 7u);
    EXPECT_EQ(gLines[1], "value 7");
    trace::print("%s", std::string(700, 'p').c_str());
    EXPECT_EQ(gLines[2], std::string(511, 'p'));
    EXPECT_EQ(gFormatCalls, 3);
}

}  // namespace
