// The open and close exports of the 23 context-as-handle families, called
// through the shipped library as a C driver calls them.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>

#include "DataAccessHALImpl/dataaccesshalHandle.h"
#include "HALUtilities/HandleRegistry.h"
#include "TrigHALImpl/trighalHandle.h"
#include "module/SimulatedModule.h"
#include "qverr/Codes.h"
#include "support/HostLibrary.h"
#include "support/LibraryContext.h"
#include "support/TempDir.h"

namespace {

// Memory that holds no device session.
const unsigned char kDeadDevice[8] = {};

uint64_t deviceHandle(const unsigned char* device) {
    return reinterpret_cast<uint64_t>(device);
}

class Families : public ::testing::Test {
protected:
    // One open call in the family's style; the status code it reports.
    int32_t open(const qvhost_family& family, uint64_t device, uint64_t context, uint64_t* slot,
                 std::string* json = nullptr) {
        const std::string name = std::string(family.prefix) + "_open";
        if (!family.statusLast)
            return library.fn<qvhost_openReturnCode>(name)(device, context, slot);
        qvhost_status status = qvhost_newStatus();
        library.fn<qvhost_openStatusLast>(name)(device, context, slot, &status);
        const int32_t code = status.code;
        if (json) *json = status.json ? status.json : "";
        qvhost_release(&status);
        return code;
    }
    void close(const qvhost_family& family, uint64_t handle) {
        library.fn<qvhost_close>(std::string(family.prefix) + "_close")(handle);
    }

    qvsim::SimulatedModule module;
    qvtest::HostLibrary library{QV_SHARED_LIBRARY};
    // A live device session of the library (its trigger context unused).
    qvtest::LibraryContext live{library, module, "ai/0", 10};
};

TEST_F(Families, OpenBindsTheContextIntoAnEmptySlotOnly) {
    ASSERT_TRUE(library.loaded());
    ASSERT_EQ(qvhost_familyCount, 23u);
    for (size_t i = 0; i < qvhost_familyCount; ++i) {
        const qvhost_family& family = qvhost_families[i];
        SCOPED_TRACE(family.prefix);
        const uint64_t device = live.device();
        for (uint32_t c = 0; c < family.contextIdCount; ++c) {
            uint64_t slot = 0;
            const uint64_t context = 0x7f0000001000 + family.contextIds[c];
            EXPECT_EQ(open(family, device, context, &slot), 0);
            EXPECT_EQ(slot, context);

            // An occupied slot is refused and kept; emptied, it opens again.
            std::string json;
            EXPECT_EQ(open(family, device, context + 8, &slot, &json),
                      qverr::qvapalerr_invalidParameter);
            EXPECT_EQ(slot, context);
            // Where the refusal is raised: ExportRefusalsNameTheirDocumentedSite.
            if (family.statusLast) {
                EXPECT_NE(json.find("\"component\":\"qv3377hal\""), std::string::npos) << json;
            }
            slot = 0;
            EXPECT_EQ(open(family, device, context + 8, &slot), 0);
            EXPECT_EQ(slot, context + 8);
        }
        // Only the reservation family looks at the device handle.
        uint64_t slot = 0;
        if (std::string(family.prefix) != "reservation") {
            EXPECT_EQ(open(family, 0, 5, &slot), 0);
            EXPECT_EQ(slot, 5u);
            slot = 0;
        }
        // Context 0 gives handle 0, which every later call refuses.
        EXPECT_EQ(open(family, device, 0, &slot), 0);
        EXPECT_EQ(slot, 0u);
        EXPECT_EQ(open(family, device, 1, nullptr), qverr::qvapalerr_invalidParameter);

        // Close does nothing whatever it is given.
        close(family, ~uint64_t{0});
    }
}

TEST_F(Families, ReservationChecksTheDeviceHandle) {
    auto open = library.fn<qvhost_openReturnCode>("reservation_open");
    uint64_t slot = 0;
    EXPECT_EQ(open(0, 9, &slot), qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(open(deviceHandle(kDeadDevice), 9, &slot), qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(slot, 0u);
}

TEST_F(Families, StatusLastWithoutAStatusChangesNothing) {
    uint64_t slot = 0;
    library.fn<qvhost_openStatusLast>("da_open")(0, 5, &slot, nullptr);
    EXPECT_EQ(slot, 0u);
}

// Every family's look-up is the one template: one of each status style. A 0
// handle carries the location alone; another family's context is unknown.
TEST(FamilyHooks, AZeroHandleOrAnotherFamilysContextIsRefusedBySessionLookUp) {
    const auto check = [](auto sessionPtrFromHandle, uint64_t own, uint64_t other) {
        const auto [code, json] = qvtest::thrownStatus([&] { sessionPtrFromHandle(0); });
        EXPECT_EQ(code, qverr::qvapalerr_invalidParameter);
        EXPECT_EQ(json,
                  "{\"error_constant\":\"qvapalerr_invalidParameter\",\"file\":\"HALUtilities/"
                  "ErrorHandling.h\",\"line\":134,\"component\":\"qv3377hal\"}");
        EXPECT_NE(qvtest::thrownStatus([&] {
                      sessionPtrFromHandle(other);
                  }).second.find("\"sessionPtrFromHandle\":\"unknown handle\""),
                  std::string::npos);
        EXPECT_EQ(static_cast<void*>(sessionPtrFromHandle(own)),
                  reinterpret_cast<void*>(static_cast<uintptr_t>(own)));
    };
    // Handed out as a device session hands out its contexts.
    qv3377hal::addHandle(0x1000, qv3377hal::HandleKind::trigContext);
    qv3377hal::addHandle(0x2000, qv3377hal::HandleKind::dataAccessContext);
    check(trighal::sessionPtrFromHandle, 0x1000, 0x2000);
    check(dataaccesshal::sessionPtrFromHandle, 0x2000, 0x1000);
    qv3377hal::dropHandle(0x1000, qv3377hal::HandleKind::trigContext);
    qv3377hal::dropHandle(0x2000, qv3377hal::HandleKind::dataAccessContext);
}

// Each export's own refusals (open, close, null arguments) as a host sees
// them in its status: code -52005 and the documented raise site. A line of 0
// means that only the file is documented; a bare refusal adds no detail.
TEST_F(Families, ExportRefusalsNameTheirDocumentedSite) {
    using Status = qvhost_status*;
    uint64_t occupied = 7;
    uint64_t count = 0;
    uint32_t count32 = 0;
    uint64_t ids[1] = {};
    uint64_t value = 0;
    // Never dereferenced: every row is refused before the session is used.
    const uint64_t someHandle = 0x1000;
    void* const someTarget = reinterpret_cast<void*>(someHandle);
    auto fn = [&]<class F>(const char* name, F*) { return library.fn<F*>(name); };
    using Open = void(uint64_t, uint64_t, uint64_t*, Status);
    using Deploy = void(uint64_t, uint32_t, const char*, Status);
    using Internal = void(uint64_t, const char*, const char*, Status);
    struct Location {
        uint64_t words[2];
    };
    struct LocationValue {
        uint64_t words[3];
    };
    constexpr const char* kFrame = "HALUtilities/ErrorHandling.h";
    struct Row {
        const char* what;
        std::function<void(Status)> call;
        const char* file;
        int line;
        bool bare = false;
    };
    const Row rows[] = {
        {"routinghal_open, no slot",
         [&](Status s) { fn("routinghal_open", (Open*)nullptr)(1, 2, nullptr, s); },
         "RoutingHALImpl/RoutingHALImpl", 22},
        {"routinghal_open, occupied slot",
         [&](Status s) { fn("routinghal_open", (Open*)nullptr)(1, 2, &occupied, s); },
         "RoutingHALImpl/RoutingHALImpl", 22},
        {"routinghal_sendMessage, null handle",
         [&](Status s) {
             fn("routinghal_sendMessage", (void (*)(uint64_t, uint32_t, Status)) nullptr)(0, 2, s);
         },
         kFrame, 134, true},
        {"routinghal_deployImportSignal, null text",
         [&](Status s) {
             fn("routinghal_deployImportSignal", (Deploy*)nullptr)(someHandle, 1, nullptr, s);
         },
         kFrame, 134},
        {"routinghal_deployExportSignal, null text",
         [&](Status s) {
             fn("routinghal_deployExportSignal", (Deploy*)nullptr)(someHandle, 6, nullptr, s);
         },
         kFrame, 134},
        {"routinghal_deployInternalSignal, null source",
         [&](Status s) {
             fn("routinghal_deployInternalSignal", (Internal*)nullptr)(someHandle, nullptr, "PFI0",
                                                                       s);
         },
         kFrame, 134},
        {"routinghal_deployInternalSignal, null destination",
         [&](Status s) {
             fn("routinghal_deployInternalSignal", (Internal*)nullptr)(someHandle, "PFI0", nullptr,
                                                                       s);
         },
         kFrame, 134},
        {"routinghal_getTerminalName, null handle",
         [&](Status s) {
             fn("routinghal_getTerminalName",
                (const char* (*)(uint64_t, uint32_t, Status)) nullptr)(0, 1, s);
         },
         kFrame, 134, true},
        {"da_open, no slot", [&](Status s) { fn("da_open", (Open*)nullptr)(1, 2, nullptr, s); },
         "DataAccessHALImpl/DataAccessHALImpl", 0},
        {"da_open, occupied slot",
         [&](Status s) { fn("da_open", (Open*)nullptr)(1, 2, &occupied, s); },
         "DataAccessHALImpl/DataAccessHALImpl", 0},
        {"da_getAccessors, null count",
         [&](Status s) {
             fn("da_getAccessors", (void (*)(uint64_t, uint64_t*, uint64_t*, Status)) nullptr)(
                 someHandle, ids, nullptr, s);
         },
         kFrame, 134},
        {"da_getAccessors, null handle",
         [&](Status s) {
             fn("da_getAccessors", (void (*)(uint64_t, uint64_t*, uint64_t*, Status)) nullptr)(
                 0, ids, &count, s);
         },
         kFrame, 134, true},
        {"rfplat_getConnectedDevices, null count",
         [&](Status s) {
             fn("rfplat_getConnectedDevices",
                (void (*)(uint64_t, void*, uint32_t*, Status)) nullptr)(someHandle, nullptr,
                                                                        nullptr, s);
         },
         kFrame, 134},
        {"rfplat_getConnectedDevices, null handle",
         [&](Status s) {
             fn("rfplat_getConnectedDevices",
                (void (*)(uint64_t, void*, uint32_t*, Status)) nullptr)(0, nullptr, &count32, s);
         },
         kFrame, 134, true},
        {"instruction target Close, null target",
         [&](Status s) {
             fn("qvIFW_Target_libqv3377hal_Close", (void (*)(void*, Status)) nullptr)(nullptr, s);
         },
         kFrame, 134},
        {"instruction target Read, null value",
         [&](Status s) {
             fn("qvIFW_Target_libqv3377hal_Read",
                (void (*)(void*, Location, uint64_t*, uint32_t, Status)) nullptr)(someTarget, {},
                                                                                  nullptr, 0, s);
         },
         kFrame, 134},
        {"instruction target ReadArray, null buffer",
         [&](Status s) {
             fn("qvIFW_Target_libqv3377hal_ReadArray",
                (void (*)(void*, void*, size_t, uint64_t, uint32_t, Status)) nullptr)(
                 someTarget, nullptr, 1, 1, 0, s);
         },
         kFrame, 134},
        {"instruction target Write, null target",
         [&](Status s) {
             fn("qvIFW_Target_libqv3377hal_Write",
                (void (*)(void*, bool, uint32_t, LocationValue, Status)) nullptr)(nullptr, false, 0,
                                                                                  {}, s);
         },
         kFrame, 134},
        {"instruction target WriteArray, null buffer",
         [&](Status s) {
             fn("qvIFW_Target_libqv3377hal_WriteArray",
                (void (*)(void*, const void*, size_t, bool, uint32_t, Status)) nullptr)(
                 someTarget, nullptr, 1, false, 0, s);
         },
         kFrame, 134},
        {"instruction target Read, null value and target",
         [&](Status s) {
             fn("qvIFW_Target_libqv3377hal_Read",
                (void (*)(void*, Location, uint64_t*, uint32_t, Status)) nullptr)(nullptr, {},
                                                                                  &value, 0, s);
         },
         kFrame, 134},
    };
    ASSERT_TRUE(library.loaded());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::string json;
        EXPECT_EQ(qvtest::runWithStatus(row.call, &json), qverr::qvapalerr_invalidParameter);
        std::string site = std::string("\"file\":\"") + row.file + "\"";
        if (row.line != 0) site += ",\"line\":" + std::to_string(row.line);
        const size_t at = json.find(site);
        if (at == std::string::npos) {
            ADD_FAILURE() << "no " << site << " in " << json;
            continue;
        }
        EXPECT_FALSE(std::isdigit(static_cast<unsigned char>(json[at + site.size()]))) << json;
        if (row.bare) {
            EXPECT_TRUE(json.ends_with("\"component\":\"qv3377hal\"}")) << json;
        }
    }
    EXPECT_EQ(occupied, 7u);
}

}  // namespace
