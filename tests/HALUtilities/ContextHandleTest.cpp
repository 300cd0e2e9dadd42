// The open and close exports of the 23 context-as-handle families, called
// through the shipped library as a C driver calls them.
#include <gtest/gtest.h>

#include <string>

#include "DataAccessHALImpl/dataaccesshalHandle.h"
#include "HALUtilities/HandleRegistry.h"
#include "TrigHALImpl/trighalHandle.h"
#include "module/SimulatedModule.h"
#include "support/HostLibrary.h"
#include "support/LibraryContext.h"
#include "support/TempDir.h"

namespace {

// Memory that holds no device session.
const unsigned char kDeadDevice[8] = {};

uint64_t deviceHandle(const unsigned char* device) { return reinterpret_cast<uint64_t>(device); }

class Families : public ::testing::Test {
protected:
    // One open call in the family's style; the status code it reports.
    int32_t open(const qvhost_family& family, uint64_t device, uint64_t context, uint64_t* slot,
                 std::string* json = nullptr) {
        const std::string name = std::string(family.prefix) + "_open";
        if (!family.statusLast) return library.fn<qvhost_openReturnCode>(name)(device, context, slot);
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
            EXPECT_EQ(open(family, device, context + 8, &slot, &json), -52005);
            EXPECT_EQ(slot, context);
            if (family.statusLast) {
                EXPECT_NE(json.find("Handle.cpp\""), std::string::npos) << json;
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
        EXPECT_EQ(open(family, device, 1, nullptr), -52005);

        // Close does nothing whatever it is given.
        close(family, ~uint64_t{0});
    }
}

TEST_F(Families, ReservationChecksTheDeviceHandle) {
    auto open = library.fn<qvhost_openReturnCode>("reservation_open");
    uint64_t slot = 0;
    EXPECT_EQ(open(0, 9, &slot), -52005);
    EXPECT_EQ(open(deviceHandle(kDeadDevice), 9, &slot), -52005);
    EXPECT_EQ(slot, 0u);
}

TEST_F(Families, StatusLastWithoutAStatusChangesNothing) {
    uint64_t slot = 0;
    library.fn<qvhost_openStatusLast>("da_open")(0, 5, &slot, nullptr);
    EXPECT_EQ(slot, 0u);
}

// Every family's look-up is the one template: one of each status style.
TEST(FamilyHooks, AZeroHandleIsRefusedBySessionLookUp) {
    const auto check = [](auto sessionPtrFromHandle) {
        const auto [code, json] = qvtest::thrownStatus([&] { sessionPtrFromHandle(0); });
        EXPECT_EQ(code, -52005);
        EXPECT_NE(json.find("\"file\":\"HALUtilities/ErrorHandling.h\",\"line\":134"), std::string::npos);
        EXPECT_EQ(static_cast<void*>(sessionPtrFromHandle(0x1000)), reinterpret_cast<void*>(0x1000));
    };
    // Handed out as a device session hands out its contexts.
    qv3377hal::addHandle(0x1000, qv3377hal::HandleKind::deviceContext);
    check(trighal::sessionPtrFromHandle);
    check(dataaccesshal::sessionPtrFromHandle);
    qv3377hal::dropHandle(0x1000, qv3377hal::HandleKind::deviceContext);
}

}  // namespace
