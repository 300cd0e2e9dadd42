// The exception ladders of the export frame, in each status style.
#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <typeinfo>

#include "HALUtilities/ContextHandle.h"
#include "HALUtilities/DriverRequest.h"
#include "HALUtilities/ErrorHandling.h"
#include "qverr/Codes.h"
#include "qverr/StatusThrowGuard.h"
#include "support/TempDir.h"

namespace {

using nQVAPALS100::tStatus;
using qv3377hal::chainedCall;
using qv3377hal::platformStatusCall;
using qv3377hal::returnCodeCall;
using qv3377hal::statusLastCall;
using qv3377hal::statusLastValue;

constexpr qverr::SourceLocation kRaise{"TrigHALImpl/x.cpp", 42, "qv3377hal", "kErrorX"};
const std::string kRaiseJson =
    "{\"error_constant\":\"kErrorX\",\"file\":\"TrigHALImpl/x.cpp\",\"line\":42,"
    "\"component\":\"qv3377hal\"}";

struct Unknown {};

// One body per exception kind the ladders tell apart.
enum class Throws {
    nothing,
    status,
    badAlloc,
    invalidArgument,
    badCast,
    systemError,
    logicError,
    unknown
};

void run(Throws what) {
    switch (what) {
        case Throws::nothing:
            return;
        case Throws::status:
            throw qverr::Exception(-1074097000, kRaise);
        case Throws::badAlloc:
            throw std::bad_alloc();
        case Throws::invalidArgument:
            throw std::invalid_argument("x");
        case Throws::badCast:
            throw std::bad_cast();
        case Throws::systemError:
            throw std::system_error(std::make_error_code(std::errc::io_error));
        case Throws::logicError:
            throw std::logic_error("x");
        case Throws::unknown:
            throw Unknown{};
    }
}

// The four-clause ladders (return code, status last) have no place for the
// finer standard kinds; status last keeps the code alone, no location.
TEST(ReturnCodeAndStatusLastStyles, MapEachExceptionKind) {
    const std::pair<Throws, int32_t> expected[] = {
        {Throws::nothing, 0},
        {Throws::status, -1074097000},
        {Throws::badAlloc, qverr::qvapalerr_memoryFull},
        {Throws::invalidArgument, qverr::qvapalerr_softwareFaultAPALInternalUseOnly},
        {Throws::badCast, qverr::qvapalerr_softwareFaultAPALInternalUseOnly},
        {Throws::systemError, qverr::qvapalerr_softwareFaultAPALInternalUseOnly},
        {Throws::logicError, qverr::qvapalerr_softwareFaultAPALInternalUseOnly},
        {Throws::unknown, qverr::qvapalerr_softwareFaultAPALInternalUseOnly}};
    for (const auto& [what, code] : expected) {
        SCOPED_TRACE(static_cast<int>(what));
        const Throws kind = what;
        EXPECT_EQ(returnCodeCall([kind] { run(kind); }), code);
        qverr::Status status;
        statusLastCall(&status, [kind] { run(kind); });
        EXPECT_EQ(status.code, code);
        EXPECT_EQ(status.jsonText(), what == Throws::status ? kRaiseJson : "");
    }
    EXPECT_EQ(returnCodeCall([] { throw 7; }), qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    // A body's own code (a warning) comes back as it is.
    EXPECT_EQ(returnCodeCall([] { return 12; }), 12);
    // A status exception without an error is no success.
    EXPECT_EQ(returnCodeCall([] { throw qverr::Exception(); }),
              qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    qverr::Status status;
    statusLastCall(&status, [] { throw qverr::Exception(); });
    EXPECT_EQ(status.code, qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
}

TEST(StatusLastStyle, KeepsAnEarlierErrorAndTakesOverAWarning) {
    qverr::Status status;
    status.setCode(-7, kRaise);
    statusLastCall(&status, [] { run(Throws::badAlloc); });
    statusLastCall(&status, [] { throw qverr::Exception(-9, kRaise); });
    EXPECT_EQ(status.code, -7);
    EXPECT_EQ(status.jsonText(), kRaiseJson);

    qverr::Status warned;
    warned.setCodeOnly(5);
    statusLastCall(&warned, [] { run(Throws::status); });
    EXPECT_EQ(warned.code, -1074097000);
}

TEST(StatusLastStyle, ANullStatusMakesTheCallDoNothing) {
    bool ran = false;
    statusLastCall(nullptr, [&] { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_EQ(statusLastValue<uint64_t>(nullptr, 3,
                                        [&] {
                                            ran = true;
                                            return uint64_t{9};
                                        }),
              3u);
    EXPECT_FALSE(ran);

    qverr::Status status;
    EXPECT_EQ(statusLastValue<uint64_t>(&status, 0, [] { return uint64_t{9}; }), 9u);
    EXPECT_EQ(statusLastValue<uint64_t>(&status, 0, []() -> uint64_t { throw std::bad_alloc(); }),
              0u);
    EXPECT_EQ(status.code, qverr::qvapalerr_memoryFull);
}

TEST(ChainedStyle, DoesNothingAfterAnErrorOrWithoutAStatus) {
    qverr::Status status;
    int calls = 0;
    chainedCall(&status, [&] { ++calls; });
    chainedCall(&status, [&] {
        ++calls;
        run(Throws::status);
    });
    chainedCall(&status, [&] { ++calls; });
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(status.code, -1074097000);
    chainedCall(nullptr, [&] { ++calls; });
    EXPECT_EQ(calls, 2);
}

TEST(DeviceHandle, AZeroHandleIsRefusedWithItsOwnDetail) {
    const auto [code, json] = qvtest::thrownStatus([] { qv3377hal::sessionPtrFromHandle(0); });
    EXPECT_EQ(code, qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(json,
              "{\"error_constant\":\"qvapalerr_invalidParameter\",\"file\":\"DeviceHALImpl/"
              "DeviceHALSession.cpp\","
              "\"line\":923,\"component\":\"qv3377hal\",\"sessionPtrFromHandle\":\"null input\"}");
    // A handle that names no live session: the same raise, "unknown handle".
    int session = 0;
    const uint64_t unknown = reinterpret_cast<uintptr_t>(&session);
    EXPECT_EQ(
        qvtest::thrownStatus([&] { qv3377hal::sessionPtrFromHandle(unknown); }).second,
        "{\"error_constant\":\"qvapalerr_invalidParameter\",\"file\":\"DeviceHALImpl/"
        "DeviceHALSession.cpp\","
        "\"line\":923,\"component\":\"qv3377hal\",\"sessionPtrFromHandle\":\"unknown handle\"}");
    qv3377hal::addHandle(unknown, qv3377hal::HandleKind::deviceSession);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(qv3377hal::sessionPtrFromHandle(unknown)), unknown);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(qv3377hal::takeSessionFromHandle(unknown)), unknown);
    EXPECT_EQ(qvtest::thrownStatus([&] { qv3377hal::takeSessionFromHandle(unknown); }).first,
              qverr::qvapalerr_invalidParameter);
}

int32_t platformCall(tStatus& status, Throws what) {
    return platformStatusCall(status, "qv3377hal", "AtomicZEKHALImpl/plugin.cpp", 77,
                              [&] { run(what); });
}

TEST(PlatformStatusStyle, SevenClauseLadderLocatedAtTheCatchingCode) {
    const std::pair<Throws, int32_t> expected[] = {
        {Throws::nothing, 0},
        {Throws::badAlloc, qverr::qvapalerr_memoryFull},
        {Throws::invalidArgument, qverr::qvapalerr_invalidParameter},
        {Throws::badCast, qverr::kStatusFailedCast},
        {Throws::systemError, qverr::qvapalerr_osFault},
        {Throws::logicError, qverr::qvapalerr_softwareFaultAPALInternalUseOnly},
        {Throws::unknown, qverr::qvapalerr_softwareFaultAPALInternalUseOnly}};
    for (const auto& [what, code] : expected) {
        tStatus status;
        EXPECT_EQ(platformCall(status, what), code);
        if (code == 0) continue;
        EXPECT_STREQ(status.component, "qv3377hal");
        EXPECT_STREQ(status.file, "AtomicZEKHALImpl/plugin.cpp");
        EXPECT_EQ(status.line, 77u);
    }
}

TEST(PlatformStatusStyle, AStatusExceptionKeepsItsOwnLocation) {
    tStatus status;
    EXPECT_EQ(platformCall(status, Throws::status), -1074097000);
    EXPECT_STREQ(status.component, "qv3377hal");
    EXPECT_STREQ(status.file, "TrigHALImpl/x.cpp");
    EXPECT_EQ(status.line, 42u);

    // A long file keeps its last 100 characters, minus backslashes at the cut.
    const std::string file = std::string(49, 'a') + "\\\\" + std::string(99, 'b');
    const qverr::SourceLocation location{file.c_str(), 3, "internal_sdi_hal23u", "x"};
    tStatus cut;
    EXPECT_EQ(platformStatusCall(cut, "qv3377hal", "f", 1,
                                 [&] {
                                     throw qverr::Exception(
                                         qverr::qvapalerr_softwareFaultAPALInternalUseOnly,
                                         location);
                                 }),
              qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    EXPECT_EQ(std::string(cut.file), std::string(99, 'b'));
    EXPECT_STREQ(cut.component, "internal_");

    // A warning exception is followed by the ladder's -52003.
    tStatus warned;
    EXPECT_EQ(
        platformStatusCall(warned, "qv3377hal", "f", 1, [] { throw qverr::Exception(4, kRaise); }),
        qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    EXPECT_STREQ(warned.file, "f");

    // An earlier error stays.
    tStatus earlier;
    earlier.setCode(-1, "c", "g", 2);
    EXPECT_EQ(platformCall(earlier, Throws::badAlloc), -1);
}

// A driver request's or a chained call's guard may throw once the result
// exists: a result that needs a destructor is refused where the call is
// written.
template <class Result>
struct Returning {
    Result operator()(tStatus&) const { return Result(); }
    Result operator()(qverr::Status*) const { return Result(); }
};
template <class Result>
constexpr bool kRequestable = requires(Returning<Result> call) {
    qv3377hal::driverRequest(call);
};
template <class Result>
constexpr bool kChainable = requires(Returning<Result> call) {
    qverr::callWithStatus(call);
};
static_assert(kRequestable<void> && kRequestable<int> && kRequestable<const char*>);
static_assert(!kRequestable<std::string> && !kRequestable<std::shared_ptr<int>>);
static_assert(kChainable<void> && kChainable<int> && kChainable<const char*>);
static_assert(!kChainable<std::string> && !kChainable<std::shared_ptr<int>>);

}  // namespace
