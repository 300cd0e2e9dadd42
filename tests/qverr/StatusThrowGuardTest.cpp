#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "qverr/Codes.h"
#include "qverr/Exception.h"
#include "qverr/StatusThrowGuard.h"

namespace {

constexpr qverr::SourceLocation kSelector{"qverr/x.cpp", 9, "qv3377hal", "qvpalerr_badSelector"};

int hostReleases = 0;

// A host's own realloc: the guard must release through it and keep it.
bool hostRealloc(qverr::Status& status, uint32_t size) {
    if (size == 0) ++hostReleases;
    return qverr::defaultJsonRealloc(status, size);
}

TEST(StatusThrowGuard, ErrorsThrowWarningsDoNotAndTheTextIsAlwaysReleased) {
    hostReleases = 0;
    qverr::Status status;
    status.realloc = &hostRealloc;
    std::string thrown;
    try {
        qverr::StatusThrowGuard guard(status);
        status.setCode(qverr::qvpalerr_badSelector, kSelector);
    } catch (const qverr::Exception& e) {
        EXPECT_EQ(e.status.code, qverr::qvpalerr_badSelector);
        thrown = e.what();
    }
    EXPECT_NE(thrown.find("\"error_constant\":\"qvpalerr_badSelector\""), std::string::npos);
    EXPECT_EQ(hostReleases, 1);  // the exception's copy went through the host's realloc
    EXPECT_EQ(status.json, nullptr);
    EXPECT_EQ(status.realloc, &hostRealloc);

    qverr::Status warning;
    warning.realloc = &hostRealloc;
    EXPECT_NO_THROW({
        qverr::StatusThrowGuard guard(warning);
        warning.setCode(7, kSelector);
    });
    EXPECT_EQ(warning.code, 7);
    EXPECT_EQ(warning.json, nullptr);
    EXPECT_EQ(hostReleases, 2);
}

TEST(StatusThrowGuard, NeverThrowsWhileAnotherExceptionPropagates) {
    qverr::Status status;
    try {
        qverr::StatusThrowGuard guard(status);
        status.setCode(qverr::qvapalerr_invalidParameter, kSelector);
        throw std::runtime_error("first");
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "first");
    }
    EXPECT_EQ(status.json, nullptr);
}

}  // namespace
