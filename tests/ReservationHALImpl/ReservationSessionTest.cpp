// The reservation_ exports through the shipped library on the simulated
// module: descriptions, tickets, and the pointer and width checks that
// refuse a call before any request.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "ReservationHALImpl/reservationhalHandle.h"
#include "module/SimulatedModule.h"
#include "qverr/Codes.h"
#include "qverr/Exception.h"
#include "qvmxl/errors.h"
#include "support/DetailPair.h"
#include "support/HostLibrary.h"
#include "support/LibraryContext.h"
#include "support/ModuleProxy.h"
#include "support/TempDir.h"

namespace {

using ::testing::HasSubstr;

#define RES_FN(name) library.fn<decltype(&name)>(#name)

constexpr int32_t kNullPointer = qvmxl::kErrorNULLPtrForC_Api;
constexpr int32_t kTooWide = qverr::qvapalerr_softwareFaultAPALInternalUseOnly;
constexpr uint64_t kTwoTo32 = 4294967296u;

class Reservations : public ::testing::Test {
protected:
    qvsim::SimulatedModule module;
    qvtest::HostLibrary library{QV_SHARED_LIBRARY};
    // The exports' session, opened first: the session built here describes
    // its client last.
    qvtest::LibraryContext exported{library, module, "ai/0", 28,
                                    qvtest::deviceParams(module, "\"sessionUID\":\"S-1\"")};
    reservationhal::ReservationSession session{qvtest::openModuleProxy(module),
                                               R"({"Resource Name": "QV1"})"};
    uint64_t handle = exported.handle();

    void SetUp() override { module.decoder().clear(); }
    std::string jsonOf(auto&& call) { return qvtest::thrownStatus(call).second; }
};

TEST_F(Reservations, TheClientIsDescribedInUpTo256CharactersAndIdentifiedOnConstruction) {
    EXPECT_EQ(module.reservation().description, R"({"Resource Name": "QV1"})");
    uint32_t id = 0;
    ASSERT_EQ(RES_FN(reservation_getReservationClientID)(handle, &id), 0);
    EXPECT_EQ(id, 0x2Au);

    const std::string longest(256, 'd');
    reservationhal::ReservationSession accepted(qvtest::openModuleProxy(module), longest.c_str());
    EXPECT_EQ(module.reservation().description, longest);
    module.decoder().clear();
    const std::string tooLong(257, 'd');
    EXPECT_EQ(qvtest::thrownStatus([&] {
                  reservationhal::ReservationSession(qvtest::openModuleProxy(module),
                                                     tooLong.c_str());
              }).first,
              qverr::qvapalerr_invalidParameter);
    EXPECT_TRUE(module.decoder().requests().empty());
}

TEST_F(Reservations, TicketsAreReservedAndReleased) {
    uint64_t ticket = 0;
    ASSERT_EQ(RES_FN(reservation_reserve)(handle, 5, 6, 7, &ticket), 0);
    const auto reserve = module.decoder().last("reservation.reserve");
    ASSERT_TRUE(reserve);
    EXPECT_EQ(reserve->value("arg3"), 7);
    EXPECT_TRUE(module.reservation().tickets.contains(ticket));
    ASSERT_EQ(RES_FN(reservation_release)(handle, 5, ticket), 0);
    EXPECT_TRUE(module.reservation().tickets.empty());
    EXPECT_EQ(RES_FN(reservation_release)(handle, 5, ticket),
              qvsim::ReservationBlock::kUnknownTicket);
}

TEST_F(Reservations, ValuesThatMustFit32BitsAreRefusedWithoutARequest) {
    uint64_t size = kTwoTo32;
    uint32_t id = 9;
    uint64_t result = 0;
    // An in-out size, an input, an argument of a forward.
    for (const int32_t code :
         {RES_FN(reservation_findReservableChildIDs)(handle, 1, &size, 0),
          RES_FN(reservation_findDeviceActivityContextID)(handle, 0, UINT64_MAX, &id),
          RES_FN(reservation_reserve)(handle, kTwoTo32, 0, 0, &result)}) {
        EXPECT_EQ(code, kTooWide);
    }
    EXPECT_EQ(size, kTwoTo32);
    EXPECT_TRUE(module.decoder().requests().empty());

    // The largest 32-bit value goes through.
    size = UINT32_MAX;
    EXPECT_EQ(RES_FN(reservation_findReservableChildIDs)(handle, 3, &size, 0x1234), 0);
    const auto sent = module.decoder().last("reservation.findReservableChildIDs");
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->value("size"), UINT32_MAX);
    EXPECT_EQ(sent->value("buffer"), 0x1234);
}

TEST_F(Reservations, NullOutputsAreRefusedWithTheirRaiseSites) {
    uint32_t first = 0;
    uint64_t second = 0;
    // The pointer is checked before the width.
    for (const int32_t code : {RES_FN(reservation_findReservationPolicyID)(handle, 0, 0, nullptr),
                               RES_FN(reservation_reserve)(handle, kTwoTo32, 0, 0, nullptr),
                               RES_FN(reservation_reserveCache)(handle, &first, nullptr)}) {
        EXPECT_EQ(code, kNullPointer);
    }
    EXPECT_EQ(RES_FN(reservation_getReservationClientID)(0, &first),
              qverr::qvapalerr_invalidParameter);
    EXPECT_TRUE(module.decoder().requests().empty());

    EXPECT_THAT(jsonOf([&] { session.reserveCache(nullptr, nullptr); }), HasSubstr("\"line\":272"));
    EXPECT_THAT(jsonOf([&] { session.reserveCache(nullptr, &second); }), HasSubstr("\"line\":277"));
    uint64_t size = kTwoTo32;
    EXPECT_THAT(jsonOf([&] { session.findReservableChildIDs(0, &size, 0); }),
                HasSubstr("\"line\":169"));
}

TEST_F(Reservations, SizesAndCountsComeBackWidenedAndOnlyOnSuccess) {
    module.on("reservation.getNumOfReservableChildIDs",
              [](const qvsim::DecodedRequest& request, qvsim::Reply& reply) {
                  EXPECT_EQ(request.value("count"), 0);
                  reply.set("count", 0xFFFFFFFFu);
                  return 0;
              });
    uint64_t count = 77;
    ASSERT_EQ(RES_FN(reservation_getNumOfReservableChildIDs)(handle, 4, &count), 0);
    EXPECT_EQ(count, 0xFFFFFFFFu);

    module.on("reservation.reserveCache", [](const qvsim::DecodedRequest&, qvsim::Reply& reply) {
        reply.set("arg1", 0x11223344);
        reply.set("arg2", 0x5566778899AABBCC);
        return 0;
    });
    uint32_t first = 0;
    uint64_t second = 0;
    ASSERT_EQ(RES_FN(reservation_reserveCache)(handle, &first, &second), 0);
    EXPECT_EQ(first, 0x11223344u);
    EXPECT_EQ(second, 0x5566778899AABBCCu);

    module.on("reservation.findReservationPolicyIDDescriptor",
              [](const qvsim::DecodedRequest&, qvsim::Reply& reply) {
                  reply.set("size", 3);
                  reply.status(-50500);
                  return 0;
              });
    uint64_t size = 64;
    EXPECT_EQ(RES_FN(reservation_findReservationPolicyIDDescriptor)(handle, 1, 0, &size), -50500);
    EXPECT_EQ(size, 64u);
}

// Plain forwards stand for the rest: a flag is its low byte, and the largest
// 32-bit value passes.
TEST_F(Reservations, ForwardsPassTheirArguments) {
    ASSERT_EQ(RES_FN(reservation_setIsListModeActive)(handle, 0x102), 0);
    EXPECT_EQ(module.decoder().last("reservation.setIsListModeActive")->value("flag"), 1);
    ASSERT_EQ(RES_FN(reservation_setReservationCache)(handle, UINT32_MAX, 9), 0);
    EXPECT_EQ(module.decoder().last("reservation.setReservationCache")->value("arg1"), UINT32_MAX);
    ASSERT_EQ(RES_FN(reservation_releaseIdleResources)(handle), 0);
    EXPECT_EQ(module.decoder().requests().size(), 3u);
}

TEST_F(Reservations, RefusalsNameTheSessionAndWhatWasWrong) {
    const std::string tooLong(257, 'x');
    const struct {
        std::function<void()> call;
        const char* text;
    } cases[] = {
        {[&] { session.getReservationClientID(nullptr); }, "null output pointer"},
        {[&] { session.findReservationPolicyID(0, 1, nullptr); }, "null output pointer"},
        {[&] {
             uint32_t id = 0;
             session.findReservationPolicyID(0, kTwoTo32, &id);
         },
         "value does not fit 32 bits"},
        {[&] {
             reservationhal::ReservationSession(qvtest::openModuleProxy(module), tooLong.c_str());
         },
         "description longer than 256 characters"},
    };
    for (const auto& c : cases) {
        EXPECT_THAT(jsonOf(c.call), HasSubstr(qvtest::detailPair("ReservationSession", c.text)))
            << c.text;
    }
}

}  // namespace
