// The FPGA session holder against the FPGA interface library stand-in and
// the bitfile library stand-ins.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "HALUtilities/AutoFpgaSession.h"
#include "atomiczekddk/shared/Errors.h"
#include "qverr/Codes.h"
#include "qvfpga/QvFpgaSim.h"
#include "qvisl/QvFpgaDll.h"
#include "support/FpgaLibraryLog.h"
#include "support/TempDir.h"
#include "support/TraceCapture.h"

namespace {

using qv3377hal::AutoFpgaSession;
using qv3377hal::BitfileLibrary;
using qv3377hal::BitfilePath;
using qvtest::thrownStatus;

std::vector<std::string> log() {
    return qvtest::fpgaLibraryLog();
}

bool loaded(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) dlclose(handle);
    return handle != nullptr;
}

std::string location(int64_t line, const char* file = "HALUtilities/AutoFpgaSession.cpp") {
    return std::string("\"file\":\"") + file + "\",\"line\":" + std::to_string(line);
}

const char kContents[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Bitfile><BitfileVersion>4.0</BitfileVersion>"
    "<SignatureRegister>00000000000000000000000000000000</SignatureRegister></Bitfile>\n";

class Holder : public ::testing::Test {
protected:
    void SetUp() override { qvfpgasim_reset(); }
    void TearDown() override {
        EXPECT_EQ(qvfpgasim_openSessions(), 0u);
        qvfpgasim_reset();
    }
};

TEST_F(Holder, PathFormOpensWithThePathAttributeAndClosesWithOne) {
    {
        AutoFpgaSession holder("Dev1", BitfilePath{"/opt/images/a.qvimage"}, false);
        EXPECT_EQ(holder.warning(), 0);
        ASSERT_EQ(log().size(), 1u);
        EXPECT_EQ(log()[0],
                  "QvFpgaDll_Open resource=Dev1 attribute=0x98000000 signature=(null) "
                  "bitfile=/opt/images/a.qvimage");
    }
    ASSERT_EQ(log().size(), 2u);
    EXPECT_EQ(log()[1].substr(0, 15), "QvFpgaDll_Close");
    EXPECT_NE(log()[1].find("attribute=1"), std::string::npos);
}

TEST_F(Holder, OpenErrorsAreThrownFromTheOpenSite) {
    qvfpgasim_injectResult("QvFpgaDll_Open", qvzek::kErrorBitfileUnreadable, 1);
    const auto [code, json] =
        thrownStatus([] { AutoFpgaSession("Dev1", BitfilePath{"/x"}, false); });
    EXPECT_EQ(code, qvzek::kErrorBitfileUnreadable);
    EXPECT_NE(json.find(location(113)), std::string::npos) << json;
}

// An open that warns has opened a session: keeping the warning and the
// session is what lets the device session report both.
TEST_F(Holder, AnOpenWarningKeepsTheSession) {
    qvfpgasim_injectResult("QvFpgaDll_Open", 61003, 1);
    {
        AutoFpgaSession holder("Dev1", BitfilePath{"/x"}, false);
        EXPECT_EQ(holder.warning(), 61003);
        EXPECT_NE(holder.getSession(), 0u);
        EXPECT_EQ(qvfpgasim_openSessions(), 1u);
    }
    EXPECT_EQ(qvfpgasim_callCount("QvFpgaDll_Close"), 1u);
}

TEST_F(Holder, TextThatIsNotUtf8NeverReachesTheLibrary) {
    const auto [code, json] =
        thrownStatus([] { AutoFpgaSession("Dev1", BitfilePath{"/a\xC0\x80"}, false); });
    EXPECT_EQ(code, qverr::kStatusInvalidUTF8);
    EXPECT_NE(json.find(location(99, "HALUtilities/mbsToUtf8.cpp")), std::string::npos) << json;
    EXPECT_EQ(qvfpgasim_callCount("QvFpgaDll_Open"), 0u);
}

TEST_F(Holder, LibraryFormOpensWithTheContentsAndKeepsTheLibraryWhileOpen) {
    {
        AutoFpgaSession holder("Dev2", BitfileLibrary{QV_BITFILE_CONTENTS}, false);
        EXPECT_TRUE(loaded(QV_BITFILE_CONTENTS));
        ASSERT_EQ(log().size(), 1u);
        EXPECT_EQ(
            log()[0],
            std::string(
                "QvFpgaDll_Open resource=Dev2 attribute=0xD8000000 signature=(null) bitfile=") +
                kContents);
    }
    EXPECT_FALSE(loaded(QV_BITFILE_CONTENTS));
}

// Every failure of the library form unloads the library and is traced.
TEST_F(Holder, LibraryFailuresAreThrownTracedAndUnload) {
    const struct {
        const char* library;
        int32_t injected;
        int32_t code;
        int64_t line;
        const char* trace;  // then the library's name, when it has one
    } cases[] = {
        {QV_BITFILE_NULL, 0, -380119, 201,
         "Error -380119 : Failed to retrieve bitfile content from the opened DLL file '"},
        {QV_BITFILE_NONE, 0, qverr::qvapalerr_invalidParameter, 189,
         "Failed to retrieve bitfile content retrieval function"},
        {"/nonexistent/libbitfile.so", 0, qverr::qvapalerr_invalidParameter, 177,
         "Failed to open DLL file '"},
        {QV_BITFILE_CONTENTS, qvzek::kErrorBusy, qvzek::kErrorBusy, 210,
         "Error -61499 : Failed to open AutoFpgaSession using bitfile contents"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.library);
        qvtest::TraceCapture trace;
        if (c.injected != 0) qvfpgasim_injectResult("QvFpgaDll_Open", c.injected, 1);
        const char* library = c.library;
        const auto [code, json] =
            thrownStatus([library] { AutoFpgaSession("R", BitfileLibrary{library}, false); });
        EXPECT_EQ(code, c.code);
        EXPECT_NE(json.find(location(c.line)), std::string::npos) << json;
        EXPECT_FALSE(loaded(c.library));
        EXPECT_NE(trace.all().find(c.trace), std::string::npos) << trace.all();
        if (c.injected == 0) {
            EXPECT_NE(trace.all().find(std::string("'") + c.library + "'"), std::string::npos)
                << trace.all();
        }
    }
    EXPECT_EQ(qvfpgasim_callCount("QvFpgaDll_Open"),
              1u);  // only where the contents were handed out
}

TEST_F(Holder, KorvexVariantFallsBackWithoutItsLibrary) {
    if (std::getenv("QV_TEST_KORVEX_LIBRARY")) GTEST_SKIP() << "libQvFpgaKx.so is on the path";
    { AutoFpgaSession holder("Dev1", BitfilePath{"/x"}, true); }
    EXPECT_EQ(qvfpgasim_callCount("QvFpgaDll_Open"), 1u);
    EXPECT_EQ(qvfpgasim_callCount("QvFpgaDll_Close"), 1u);
    EXPECT_EQ(qvfpgasim_callCount("QvFpgaKx_Open"), 0u);
}

TEST_F(Holder, KorvexVariantUsesItsLibraryWhenPresent) {
    if (!std::getenv("QV_TEST_KORVEX_LIBRARY")) GTEST_SKIP() << "libQvFpgaKx.so is not on the path";
    { AutoFpgaSession holder("Dev1", BitfilePath{"/x"}, true); }
    EXPECT_EQ(qvfpgasim_callCount("QvFpgaKx_Open"), 1u);
    EXPECT_EQ(qvfpgasim_callCount("QvFpgaKx_Close"), 1u);
    // A session not from the Korvex run-time keeps the plain pair.
    { AutoFpgaSession holder("Dev1", BitfilePath{"/x"}, false); }
    EXPECT_EQ(qvfpgasim_callCount("QvFpgaKx_Open"), 1u);
    EXPECT_EQ(qvfpgasim_callCount("QvFpgaDll_Open"), 2u);
}

}  // namespace
