// Reading the endpoint description that p2p_open takes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "P2PHALImpl/P2PDescription.h"
#include "P2PHALImpl/p2pHALSession.h"
#include "qvisl/FifoFpgaHw.h"

namespace {

using p2phal::Endpoint;
using p2ptest::describe;

struct Read {
    uint32_t session = 0;
    std::vector<Endpoint> endpoints;
    int64_t code = 0;
};

Read read(const std::string& text) {
    Read r;
    nQVAPALS100::tStatus status;
    r.session = p2phal::parseEndpointDescription(text.c_str(), r.endpoints, status);
    r.code = status.code;
    return r;
}

TEST(P2PDescription, TheDeviceSessionsTextWithNumbersInEveryBase) {
    const Read r = read(describe("0x2A", {{p2ptest::kAcquisitionFifo, "writer", "0x1F", "1"},
                                         {p2ptest::kGenerationFifo, "reader", "017", "true"},
                                         {"third", "writer", "4294967295", "0"}}));
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.session, 42u);
    ASSERT_EQ(r.endpoints.size(), 3u);
    EXPECT_EQ(r.endpoints[0].name, p2ptest::kAcquisitionFifo);
    EXPECT_EQ(r.endpoints[0].direction, p2phal::kWriter);
    EXPECT_EQ(r.endpoints[0].fifo->fifo(), 31u);
    EXPECT_EQ(r.endpoints[0].fifo->session(), 42u);
    EXPECT_TRUE(r.endpoints[0].valid);
    EXPECT_EQ(r.endpoints[1].direction, p2phal::kReader);
    EXPECT_EQ(r.endpoints[1].fifo->fifo(), 15u);
    // Only "1" is valid.
    EXPECT_FALSE(r.endpoints[1].valid);
    EXPECT_EQ(r.endpoints[2].fifo->fifo(), 4294967295u);
    EXPECT_FALSE(r.endpoints[2].valid);
}

TEST(P2PDescription, FaultsStopTheReadingAndKeepWhatCameBefore) {
    const std::string good = "{\"name\":\"a\",\"direction\":\"writer\",\"fifoResourceID\":\"1\",\"valid\":\"1\"}";
    const std::vector<std::string> faulty = {
        "{\"direction\":\"writer\",\"fifoResourceID\":\"1\",\"valid\":\"1\"}",
        "{\"name\":\"a\",\"direction\":1,\"fifoResourceID\":\"1\",\"valid\":\"1\"}",
        "{\"name\":\"a\",\"direction\":\"writer\",\"fifoResourceID\":1,\"valid\":\"1\"}",
        "{\"name\":\"a\",\"direction\":\"writer\",\"fifoResourceID\":\"1\"}",
        "{\"name\":\"a\",\"direction\":\"writer\",\"fifoResourceID\":\"1\",\"valid\":true}",
        "7",
    };
    for (const std::string& bad : faulty) {
        const Read r = read("{\"fpgaSessionHandle\":\"3\",\"endpoints\":[" + good + "," + bad + "," + good + "]}");
        EXPECT_EQ(r.code, -52005) << bad;
        EXPECT_EQ(r.endpoints.size(), 1u) << bad;
    }
    // A wrong direction still lists its endpoint, then fails.
    const Read wrong = read(describe("3", {{"a", "writer", "1", "1"}, {"b", "Reader", "2", "1"}, {"c", "reader", "3", "1"}}));
    EXPECT_EQ(wrong.code, -52005);
    ASSERT_EQ(wrong.endpoints.size(), 2u);
    EXPECT_EQ(wrong.endpoints[1].name, "b");
}

TEST(P2PDescription, SessionHandlesAndFifoNumbersMustBeWholeNumbers) {
    std::vector<std::string> refused = {"{\"fpgaSessionHandle\":5,\"endpoints\":[]}", "{\"endpoints\":[]}",
                                        "{\"fpgaSessionHandle\":\"5\",\"endpoints\":{}}",
                                        "{\"fpgaSessionHandle\":\"5\"}", "{\"fpgaSessionHandle\":\"5\",", ""};
    for (const char* handle : {"0", "00", "0x0", "", "abc", "12abc", " 5", "+5", "-1", "0x", "4294967296"}) {
        refused.push_back(describe(handle, {}));
    }
    // A FIFO number beyond 32 bits would name another FIFO once cut.
    for (const char* fifo : {"4294967296", "0x100000001", "1.5", "08", "-0"}) {
        refused.push_back(describe("5", {{"a", "writer", fifo, "1"}}));
    }
    for (const std::string& text : refused) {
        const Read r = read(text);
        EXPECT_EQ(r.code, -52005) << text;
        EXPECT_TRUE(r.endpoints.empty()) << text;
    }
    EXPECT_EQ(read(describe("5", {})).code, 0);
    nQVAPALS100::tStatus status;
    std::vector<Endpoint> none;
    EXPECT_EQ(p2phal::parseEndpointDescription(nullptr, none, status), 0u);
    EXPECT_EQ(status.code, -52005);
}

}  // namespace
