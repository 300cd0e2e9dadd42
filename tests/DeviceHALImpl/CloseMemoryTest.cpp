// Closes while memory runs out, through the shipped library: once a close
// has taken its handle back it frees the object and reports success, also
// after many other handles were dropped.
#include <gtest/gtest.h>

#include <vector>

#include "DeviceHALImpl/DeviceHost.h"
#include "qverr/Codes.h"
#include "support/RefusingNew.h"

namespace {

class ClosesWithoutMemory : public ::testing::Test, public devicetest::DeviceHost {};

TEST_F(ClosesWithoutMemory, EveryPeerToPeerCloseSucceedsAndASecondIsRefused) {
    ASSERT_TRUE(library.loaded());
    const qvtest::OwnedHandle device = openSession("ao/0", params());
    const std::string description = reinterpret_cast<const char*>(context(device, 17));
    auto p2pOpen = library.fn<int32_t (*)(const char*, const char*, void**)>("p2p_open");
    auto p2pClose = library.fn<int32_t (*)(void*)>("p2p_close");
    const std::string json = params();
    std::vector<void*> sessions(300);
    for (void*& session : sessions)
        ASSERT_EQ(p2pOpen(json.c_str(), description.c_str(), &session), 0);

    std::vector<int32_t> codes;
    codes.reserve(sessions.size());
    qvtest::allocations::refusedDuring([&] {
        for (void* session : sessions) codes.push_back(p2pClose(session));
    });
    for (size_t i = 0; i < sessions.size(); ++i) {
        EXPECT_EQ(codes[i], 0) << i;
        EXPECT_EQ(p2pClose(sessions[i]), qverr::qvapalerr_invalidParameter) << i;
    }
}

}  // namespace
