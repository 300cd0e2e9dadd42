#include <gtest/gtest.h>

#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>

#include "qvapal/status/tStatus.h"
#include "qverr/Codes.h"
#include "qverr/Exception.h"
#include "qverr/StatusThrowGuard.h"
#include "support/TempDir.h"

namespace {

using nQVAPALS100::tStatus;
using qverr::Exception;
using qverr::ExceptionBase;
using qvtest::thrownStatus;
using Thrown = std::pair<int32_t, std::string>;

constexpr qverr::SourceLocation kExceptionSite{"qverr/Exception.cpp", 40, "qv3377hal",
                                               "qvapalerr_invalidParameter"};
const char kExceptionSiteJson[] =
    "{\"error_constant\":\"qvapalerr_invalidParameter\",\"file\":\"qverr/Exception.cpp\","
    "\"line\":40,\"component\":\"qv3377hal\"}";

// The sanitizer build turns any leak or double free of the detail buffer
// across these paths into a failure.
TEST(Exception, ThrowRethrowCopyAndMoveKeepTheDetailAsWhat) {
    EXPECT_STREQ(static_cast<const std::exception&>(Exception()).what(), "");
    std::exception_ptr captured;
    try {
        try {
            QVERR_THROW("qv3377hal", qverr::qvapalerr_resourceNotFound,
                        "qvapalerr_resourceNotFound");
        } catch (ExceptionBase& e) {
            EXPECT_EQ(e.status.code, qverr::qvapalerr_resourceNotFound);
            throw;
        }
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("qvapalerr_resourceNotFound"), std::string::npos);
        captured = std::current_exception();
    }
    Exception original(qverr::qvapalerr_invalidParameter, kExceptionSite);
    std::exception_ptr copied = std::make_exception_ptr(original);  // copies
    for (int round = 0; round < 2; ++round) {
        try {
            std::rethrow_exception(copied);
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), kExceptionSiteJson);
        }
        try {
            std::rethrow_exception(captured);
        } catch (const ExceptionBase& e) {
            EXPECT_EQ(e.status.code, qverr::qvapalerr_resourceNotFound);
        }
    }
    Exception copy(original);
    EXPECT_NE(copy.status.json, original.status.json);
    Exception moved(std::move(original));
    EXPECT_EQ(original.status.json, nullptr);
    EXPECT_STREQ(static_cast<const ExceptionBase&>(moved).what(), kExceptionSiteJson);

    qverr::Status status;
    status.setCode(qverr::qvapalerr_invalidParameter, kExceptionSite);
    EXPECT_EQ(thrownStatus([&] { qverr::throwStatus(std::move(status)); }),
              Thrown(qverr::qvapalerr_invalidParameter, kExceptionSiteJson));
}

TEST(PlatformStatusThrow, ErrorsThrowWithTheirLocationWarningsDoNot) {
    tStatus warning;
    warning.setCode(12, "qv3377hal", "w.cpp", 1);
    EXPECT_NO_THROW(qverr::throwIfTStatusError(warning));

    tStatus error;
    error.setCode(qverr::qvapalerr_resourceNotFound, "qv3377hal", "qvapal/device.cpp", 7);
    EXPECT_EQ(thrownStatus([&] { qverr::throwIfTStatusError(error); }),
              Thrown(qverr::qvapalerr_resourceNotFound,
                     "{\"file\":\"qvapal/device.cpp\",\"line\":7,\"component\":"
                     "\"qv3377hal\"}"));
    error.structSize = 16;
    EXPECT_EQ(thrownStatus([&] { qverr::throwIfTStatusError(error); }),
              Thrown(qverr::qvapalerr_resourceNotFound, ""));

    // The scope guard throws at its end, leaving the status as it is; not a
    // warning, and not while the scope is already unwinding.
    tStatus guarded;
    EXPECT_EQ(thrownStatus([&] {
                  qverr::TStatusThrower thrower(guarded);
                  guarded.setCode(qverr::kStatusIOError, "c", "f.cpp", 3);
              }),
              Thrown(qverr::kStatusIOError, "{\"file\":\"f.cpp\",\"line\":3,\"component\":\"c\"}"));
    EXPECT_EQ(guarded.getCode(), qverr::kStatusIOError);
    EXPECT_NO_THROW({
        qverr::TStatusThrower thrower(warning);
        warning.setCode(13, "c", "f.cpp", 3);
    });
    tStatus other;
    try {
        qverr::TStatusThrower thrower(other);
        other.setCode(qverr::kStatusIOError, "c", "f.cpp", 3);
        throw std::runtime_error("first");
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "first");
    }
}

TEST(StatusToPlatform, CopiesCodeAndLocationFromTheDetail) {
    qverr::Status source;
    source.setCode(qverr::qvapalerr_invalidParameter, kExceptionSite);
    tStatus target;
    EXPECT_TRUE(qverr::copyStatusToTStatus(source, target));
    EXPECT_EQ(target.getCode(), qverr::qvapalerr_invalidParameter);
    EXPECT_STREQ(target.component, "qv3377hal");
    EXPECT_STREQ(target.file, "qverr/Exception.cpp");
    EXPECT_EQ(target.line, 40u);

    qverr::Status later;
    later.setCode(-1, kExceptionSite);
    qverr::copyStatusToTStatus(later, target);
    EXPECT_EQ(target.getCode(), qverr::qvapalerr_invalidParameter);

    // Long files keep their last 100 characters, without backslashes at the cut.
    const std::string file = "C:\\" + std::string(97, 'a') + "\\\\\\" + std::string(98, 'z');
    const qverr::SourceLocation location{file.c_str(), 12, "internal_sdi_hal23u", "x"};
    qverr::Status windows;
    windows.setCode(qverr::qvapalerr_osFault, location);
    tStatus cut;
    qverr::copyStatusToTStatus(windows, cut);
    EXPECT_STREQ(cut.component, "internal_");
    EXPECT_EQ(std::string(cut.file), std::string(98, 'z'));

    // A 16-byte record at the start of zeroed room: nothing past its size changes.
    alignas(tStatus) unsigned char shortRecord[sizeof(tStatus)] = {};
    const uint64_t shortSize = 16;
    std::memcpy(shortRecord, &shortSize, sizeof shortSize);
    qverr::copyStatusToTStatus(source, *reinterpret_cast<tStatus*>(shortRecord));
    int64_t shortCode = 0;
    std::memcpy(&shortCode, shortRecord + 8, sizeof shortCode);
    EXPECT_EQ(shortCode, qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(shortRecord) + 16, sizeof(tStatus) - 16),
              std::string(sizeof(tStatus) - 16, '\0'));
}

}  // namespace
