#include "qverr/Exception.h"

#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <vector>

#include "qvapal/status/tStatus.h"

namespace {

using nQVAPALS100::tStatus;
using qverr::Exception;
using qverr::ExceptionBase;

constexpr qverr::SourceLocation kInvalidParameter{"qverr/Exception.cpp", 40, "qv3377hal",
                                                  "qvapalerr_invalidParameter"};
const char kInvalidParameterJson[] =
    "{\"error_constant\":\"qvapalerr_invalidParameter\",\"file\":\"qverr/Exception.cpp\","
    "\"line\":40,\"component\":\"qv3377hal\"}";

TEST(ExceptionText, IsTheJsonDetailAndNeverNull) {
    Exception empty;
    EXPECT_STREQ(empty.what(), "");
    const std::exception& asStd = empty;
    EXPECT_STREQ(asStd.what(), "");

    Exception raised(-52005, kInvalidParameter);
    EXPECT_EQ(raised.status.code, -52005);
    EXPECT_STREQ(raised.what(), kInvalidParameterJson);
    EXPECT_STREQ(static_cast<const std::exception&>(raised).what(), kInvalidParameterJson);
    EXPECT_STREQ(static_cast<const ExceptionBase&>(raised).what(), kInvalidParameterJson);
}

TEST(ExceptionLifetime, ThrowCatchAndRethrowKeepTheDetail) {
    try {
        try {
            qverr::throwError(-52005, kInvalidParameter);
        } catch (ExceptionBase& e) {
            EXPECT_STREQ(e.what(), kInvalidParameterJson);
            throw;
        }
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), kInvalidParameterJson);
    }
}

TEST(ExceptionLifetime, ExceptionPointersCopyAndOutliveTheHandler) {
    std::exception_ptr captured;
    try {
        QVERR_THROW("qv3377hal", -52006, "qvapalerr_resourceNotFound");
    } catch (...) {
        captured = std::current_exception();
    }
    // make_exception_ptr copies; so does copying into a vector.
    Exception original(-52005, kInvalidParameter);
    std::exception_ptr copied = std::make_exception_ptr(original);
    std::vector<Exception> copies(3, original);
    for (const auto& copy : copies) {
        EXPECT_STREQ(copy.what(), kInvalidParameterJson);
        EXPECT_NE(copy.status.json, original.status.json);
    }

    for (int round = 0; round < 2; ++round) {
        try {
            std::rethrow_exception(copied);
        } catch (const Exception& e) {
            EXPECT_EQ(e.status.code, -52005);
            EXPECT_STREQ(e.what(), kInvalidParameterJson);
        }
        try {
            std::rethrow_exception(captured);
        } catch (const ExceptionBase& e) {
            EXPECT_EQ(e.status.code, -52006);
            EXPECT_NE(std::string(e.what()).find("qvapalerr_resourceNotFound"), std::string::npos);
        }
    }
}

TEST(ExceptionLifetime, MovingHandsOverTheBuffer) {
    Exception source(-52005, kInvalidParameter);
    const char* buffer = source.status.json;
    Exception moved(std::move(source));
    EXPECT_EQ(moved.status.json, buffer);
    EXPECT_EQ(source.status.json, nullptr);
    EXPECT_STREQ(source.what(), "");
}

TEST(ExceptionLifetime, ThrowStatusTakesTheStatusOver) {
    qverr::Status status;
    status.setCode(-52005, kInvalidParameter);
    try {
        qverr::throwStatus(std::move(status));
    } catch (const Exception& e) {
        EXPECT_EQ(e.status.code, -52005);
        EXPECT_STREQ(e.what(), kInvalidParameterJson);
    }
    EXPECT_EQ(status.json, nullptr);
}

TEST(PlatformStatusThrow, ErrorsThrowWithTheirLocationWarningsDoNot) {
    tStatus warning;
    warning.setCode(12, "qv3377hal", "w.cpp", 1);
    EXPECT_NO_THROW(qverr::throwIfTStatusError(warning));
    tStatus success;
    EXPECT_NO_THROW(qverr::throwIfTStatusError(success));

    tStatus error;
    error.setCode(-52006, "qv3377hal", "qvapal/device.cpp", 7);
    try {
        qverr::throwIfTStatusError(error);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.status.code, -52006);
        EXPECT_STREQ(e.what(),
                     "{\"file\":\"qvapal/device.cpp\",\"line\":7,\"component\":\"qv3377hal\"}");
    }

    tStatus shortRecord;
    shortRecord.structSize = 16;
    shortRecord.code = -52006;
    try {
        qverr::throwIfTStatusError(shortRecord);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.status.code, -52006);
        EXPECT_STREQ(e.what(), "");
    }
}

TEST(PlatformStatusThrow, ScopeGuardThrowsAtTheEndUnlessUnwinding) {
    tStatus status;
    try {
        qverr::TStatusThrower thrower(status);
        thrower.status().setCode(-52024, "c", "f.cpp", 3);
    } catch (const Exception& e) {
        EXPECT_EQ(e.status.code, -52024);
    }

    tStatus other;
    try {
        qverr::TStatusThrower thrower(other);
        other.setCode(-52024, "c", "f.cpp", 3);
        throw std::runtime_error("first");
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "first");
    }

    tStatus fine;
    fine.setCode(4, "c", "f.cpp", 3);
    EXPECT_NO_THROW({ qverr::TStatusThrower thrower(fine); });
}

TEST(StatusToPlatform, CopiesCodeAndLocationFromTheDetail) {
    qverr::Status source;
    source.setCode(-52005, kInvalidParameter);
    tStatus target;
    EXPECT_TRUE(qverr::copyStatusToTStatus(source, target));
    EXPECT_EQ(target.getCode(), -52005);
    EXPECT_STREQ(target.component, "qv3377hal");
    EXPECT_STREQ(target.file, "qverr/Exception.cpp");
    EXPECT_EQ(target.line, 40u);

    // An error already present stays, and success copies nothing.
    qverr::Status later;
    later.setCode(-1, kInvalidParameter);
    EXPECT_TRUE(qverr::copyStatusToTStatus(later, target));
    EXPECT_EQ(target.getCode(), -52005);
    tStatus untouched;
    EXPECT_TRUE(qverr::copyStatusToTStatus(qverr::Status{}, untouched));
    EXPECT_EQ(untouched.getCode(), 0);
}

TEST(StatusToPlatform, CutsComponentAndKeepsTheTailOfLongFiles) {
    const std::string file = "C:\\" + std::string(97, 'a') + "\\\\\\" + std::string(98, 'z');
    const qverr::SourceLocation location{file.c_str(), 12, "internal_sdi_hal23u", "x"};
    qverr::Status source;
    source.setCode(-52008, location);
    tStatus target;
    qverr::copyStatusToTStatus(source, target);
    EXPECT_STREQ(target.component, "internal_");
    // The last 100 characters begin with two of the backslashes, which go.
    EXPECT_EQ(std::string(target.file), std::string(98, 'z'));

    qverr::Status bare;
    bare.code = -3;
    tStatus fromBare;
    qverr::copyStatusToTStatus(bare, fromBare);
    EXPECT_EQ(fromBare.getCode(), -3);
    EXPECT_STREQ(fromBare.file, "");
    EXPECT_EQ(fromBare.line, 0u);
}

TEST(StatusToPlatform, ShortTargetsReceiveTheCodeAlone) {
    qverr::Status source;
    source.setCode(-52005, kInvalidParameter);
    struct {
        uint64_t structSize;
        int64_t code;
        char guard[64];
    } record{16, 0, {}};
    auto& target = *reinterpret_cast<tStatus*>(&record);
    qverr::copyStatusToTStatus(source, target);
    EXPECT_EQ(record.code, -52005);
    for (char c : record.guard) ASSERT_EQ(c, 0);
}

}  // namespace
