// The p2p_ exports as a C driver calls them: the shipped library on the
// simulated module, with the endpoint description built as the device
// session builds it and the FIFOs in the FPGA interface library stand-in;
// and the session's reading of that description.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "P2PHALImpl/p2pHALImpl.h"
#include "P2PHALImpl/p2pHALSession.h"
#include "atomiczekddk/shared/Errors.h"
#include "module/SimulatedModule.h"
#include "qverr/Codes.h"
#include "qvfpga/QvFpgaSim.h"
#include "qvisl/FifoFpgaHw.h"
#include "qvisl/QvFpgaDll.h"
#include "support/HostLibrary.h"
#include "support/ModuleProxy.h"

namespace {

// The peer-to-peer endpoint description as the device session writes it
// for context 17.
struct DescribedEndpoint {
    std::string name;
    std::string direction;
    std::string fifo;
    std::string valid;
};

// The head, each endpoint and the tail with the device session's spacing;
// endpoints beyond the first (the device session writes one) are joined
// with ", ".
std::string describe(const std::string& fpgaSession,
                     const std::vector<DescribedEndpoint>& endpoints) {
    std::string text = "{\"fpgaSessionHandle\":\"" + fpgaSession + "\", \"endpoints\": [";
    for (size_t i = 0; i < endpoints.size(); ++i) {
        const DescribedEndpoint& e = endpoints[i];
        if (i != 0) text += ", ";
        text += "{\"name\": \"" + e.name + "\", \"direction\":\"" + e.direction +
                "\", \"fifoResourceID\":\"" + e.fifo + "\", \"valid\":\"" + e.valid + "\"}";
    }
    return text + "]}";
}

const char* const kAcquisitionFifo = "p2p.acq.fifo.I16.width 16.depth 16k";
const char* const kGenerationFifo = "p2p.gen.fifo.I16.width 16.depth 32k";

using p2phal::Endpoint;

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
    const Read r = read(describe("0x2A", {{kAcquisitionFifo, "writer", "0x1F", "1"},
                                          {kGenerationFifo, "reader", "017", "true"},
                                          {"third", "writer", "4294967295", "0"}}));
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.session, 42u);
    ASSERT_EQ(r.endpoints.size(), 3u);
    EXPECT_EQ(r.endpoints[0].name, kAcquisitionFifo);
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
    const std::string good =
        "{\"name\":\"a\",\"direction\":\"writer\",\"fifoResourceID\":\"1\",\"valid\":\"1\"}";
    const std::vector<std::string> faulty = {
        "{\"direction\":\"writer\",\"fifoResourceID\":\"1\",\"valid\":\"1\"}",
        "{\"name\":\"a\",\"direction\":\"writer\",\"fifoResourceID\":1,\"valid\":\"1\"}", "7"};
    for (const std::string& bad : faulty) {
        const Read r = read("{\"fpgaSessionHandle\":\"3\",\"endpoints\":[" + good + "," + bad +
                            "," + good + "]}");
        EXPECT_EQ(r.code, qverr::qvapalerr_invalidParameter) << bad;
        EXPECT_EQ(r.endpoints.size(), 1u) << bad;
    }
    // A wrong direction still lists its endpoint, then fails.
    const Read wrong = read(describe(
        "3", {{"a", "writer", "1", "1"}, {"b", "Reader", "2", "1"}, {"c", "reader", "3", "1"}}));
    EXPECT_EQ(wrong.code, qverr::qvapalerr_invalidParameter);
    ASSERT_EQ(wrong.endpoints.size(), 2u);
    EXPECT_EQ(wrong.endpoints[1].name, "b");
}

TEST(P2PDescription, SessionHandlesAndFifoNumbersMustBeWholeNumbers) {
    std::vector<std::string> refused = {"{\"fpgaSessionHandle\":5,\"endpoints\":[]}",
                                        "{\"endpoints\":[]}",
                                        "{\"fpgaSessionHandle\":\"5\",\"endpoints\":{}}",
                                        "{\"fpgaSessionHandle\":\"5\"}",
                                        "{\"fpgaSessionHandle\":\"5\",",
                                        ""};
    for (const char* handle : {"0", "", "12abc", "+5", "-1", "4294967296"})
        refused.push_back(describe(handle, {}));
    // A FIFO number beyond 32 bits would name another FIFO once cut.
    for (const char* fifo : {"0x100000001", "1.5", "08"})
        refused.push_back(describe("5", {{"a", "writer", fifo, "1"}}));
    for (const std::string& text : refused) {
        const Read r = read(text);
        EXPECT_EQ(r.code, qverr::qvapalerr_invalidParameter) << text;
        EXPECT_TRUE(r.endpoints.empty()) << text;
    }
    EXPECT_EQ(read(describe("5", {})).code, 0);
    nQVAPALS100::tStatus status;
    std::vector<Endpoint> none;
    EXPECT_EQ(p2phal::parseEndpointDescription(nullptr, none, status), 0u);
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
}

#define P2P_FN(name) library.fn<decltype(&name)>(#name)

constexpr uint32_t kWriterIndex = 0;
constexpr uint32_t kReaderIndex = 1;

class P2PExports : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.loaded());
        qvfpgasim_reset();
        qvfpgasim_declareFifo("wfm gen.download fifo 0", 1, 64);
        qvfpgasim_declareFifo(kAcquisitionFifo, 2, 64);
        qvfpgasim_declareFifo(kGenerationFifo, 2, 64);
        ASSERT_EQ(QvFpgaDll_Open("/p2p.qvimage", nullptr, "PXI1Slot2", qvisl::kOpenFromPath, &fpga),
                  0);
        ASSERT_NE(fpga, 0u);
        ASSERT_EQ(
            QvFpgaDll_FindFifoPrivate(fpga, kAcquisitionFifo, qvisl::kResourceTypeAny, &acqFifo),
            0);
        ASSERT_EQ(
            QvFpgaDll_FindFifoPrivate(fpga, kGenerationFifo, qvisl::kResourceTypeAny, &genFifo), 0);
        description = describe(std::to_string(fpga),
                               {{kAcquisitionFifo, "writer", std::to_string(acqFifo), "1"},
                                {kGenerationFifo, "reader", std::to_string(genFifo), "0"}});
        parameters = "{\"resourceName\": \"PXI1Slot2\", \"deviceInterfacePath\": \"" +
                     module.devicePath() + "\"}";
        ASSERT_EQ(P2P_FN(p2p_open)(parameters.c_str(), description.c_str(), &handle), 0);
        ASSERT_NE(handle, nullptr);
        module.decoder().clear();
        qvfpgasim_clearLog();
    }
    void TearDown() override {
        if (handle != nullptr) {
            EXPECT_EQ(P2P_FN(p2p_close)(handle), 0);
        }
        qvfpgasim_reset();
    }

    qvsim::SimulatedModule module;
    qvtest::HostLibrary library{QV_SHARED_LIBRARY};
    uint32_t fpga = 0;
    uint32_t acqFifo = 0;
    uint32_t genFifo = 0;
    std::string description;
    std::string parameters;
    void* handle = nullptr;
};

struct Expected {
    const char* request;
    uint32_t code;
    std::function<int32_t()> call;
    std::vector<std::pair<const char*, int64_t>> fields;
};

TEST_F(P2PExports, EveryRequestGoesOutOnceWithTheCallersArguments) {
    uint64_t value = 0;
    uint32_t flag = 0;
    uint32_t second = 1;
    const uint64_t trigger = 0x0123456789ABCDEF;
    void* h = handle;
#define CALL(...) [&] { return __VA_ARGS__; }
    const std::vector<Expected> table = {
        {"p2p.setEnabled",
         0x00204E00,
         CALL(P2P_FN(p2p_setEnabled)(h, kReaderIndex, 5)),
         {{"endpoint", 1}, {"direction", 1}, {"enable", 1}}},
        {"p2p.setOnboardMemoryEnabled",
         0x00204E02,
         CALL(P2P_FN(p2p_setOnboardMemoryEnabled)(h, -3)),
         {{"enable", 1}}},
        {"p2p.getMostSamplesInSource",
         0x00204E03,
         CALL(P2P_FN(p2p_getMostSamplesInSource)(h, kWriterIndex, &value)),
         {{"endpoint", 0}}},
        {"p2p.initiateSource", 0x00204E04, CALL(P2P_FN(p2p_initiateSource)(h)), {}},
        {"p2p.abortSource", 0x00204E05, CALL(P2P_FN(p2p_abortSource)(h)), {}},
        {"p2p.getEndpointSize",
         0x00204E06,
         CALL(P2P_FN(p2p_getEndpointSize)(h, kReaderIndex, &value)),
         {{"endpoint", 1}, {"direction", 1}}},
        {"p2p.initiateSink", 0x00204E07, CALL(P2P_FN(p2p_initiateSink)(h)), {}},
        {"p2p.abortSink", 0x00204E08, CALL(P2P_FN(p2p_abortSink)(h)), {}},
        {"p2p.getSpaceAvailableInSink",
         0x00204E09,
         CALL(P2P_FN(p2p_getSpaceAvailableInSink)(h, kReaderIndex, &value)),
         {{"endpoint", 1}}},
        {"p2p.getMostSpaceAvailableInSink",
         0x00204E0A,
         CALL(P2P_FN(p2p_getMostSpaceAvailableInSink)(h, kReaderIndex, &value)),
         {{"endpoint", 1}}},
        {"p2p.getSampleQuantum",
         0x00204E0B,
         CALL(P2P_FN(p2p_getSampleQuantum)(h, kReaderIndex, &value)),
         {{"endpoint", 1}}},
        {"p2p.setNumberOfSamplesToRead",
         0x00204E0C,
         CALL(P2P_FN(p2p_setNumberOfSamplesToRead)(h, kReaderIndex, 0x123456789A)),
         {{"endpoint", 1}, {"count", 0x123456789A}}},
        {"p2p.programEndpointFullnessTrigger",
         0x00204E0D,
         CALL(P2P_FN(p2p_programEndpointFullnessTrigger)(h, kReaderIndex, &trigger)),
         {{"endpoint", 1}, {"value", 0x0123456789ABCDEF}}},
        {"p2p.getHasOverflowed",
         0x00204E0E,
         CALL(P2P_FN(p2p_getHasOverflowed)(h, kWriterIndex, &flag)),
         {{"endpoint", 0}}},
        {"p2p.getSamplesTransferred",
         0x00204E0F,
         CALL(P2P_FN(p2p_getSamplesTransferred)(h, kWriterIndex, &value)),
         {{"endpoint", 0}}},
        {"p2p.getSamplesInEndpoint",
         0x00204E10,
         CALL(P2P_FN(p2p_getSamplesInEndpoint)(h, kWriterIndex, &value)),
         {{"endpoint", 0}}},
        {"p2p.checkAcquisitionStatus",
         0x00204E11,
         CALL(P2P_FN(p2p_checkAcquisitionStatus)(h, &flag)),
         {}},
        // The flag sent is not the caller's output: it goes out clear.
        {"p2p.checkGenerationStatus",
         0x00204E12,
         CALL(P2P_FN(p2p_checkGenerationStatus)(h, &flag, &second)),
         {{"secondFlag", 0}}},
        {"p2p.setNumberOfSamplesToWrite",
         0x00204E13,
         CALL(P2P_FN(p2p_setNumberOfSamplesToWrite)(h, 0xFEDCBA9876543210)),
         {{"count", static_cast<int64_t>(0xFEDCBA9876543210)}}},
    };
#undef CALL
    for (const Expected& e : table) {
        module.decoder().clear();
        EXPECT_EQ(e.call(), 0) << e.request;
        const auto requests = module.decoder().requests();
        ASSERT_EQ(requests.size(), 1u) << e.request;
        EXPECT_EQ(requests[0].name(), e.request);
        EXPECT_EQ(requests[0].method->code, e.code) << e.request;
        EXPECT_EQ(requests[0].callerStatus(), 0) << e.request;
        for (const auto& [field, expected] : e.fields) {
            EXPECT_EQ(requests[0].value(field), expected) << e.request << " " << field;
        }
    }
}

// The endpoint's own queries ask the driver nothing.
TEST_F(P2PExports, ResultsAndStateOfTheModulesStreamingBlock) {
    qvsim::P2PBlock& block = module.p2p();
    uint64_t value = 0;
    EXPECT_EQ(P2P_FN(p2p_getNumEndpointsAvailable)(handle, &value), 0);
    EXPECT_EQ(value, 2u);
    uint8_t valid = 7;
    EXPECT_EQ(P2P_FN(p2p_isEndpointValid)(handle, 1, &valid), 0);
    EXPECT_EQ(valid, 0);
    uint32_t endpointHandle = 0;
    EXPECT_EQ(P2P_FN(p2p_getEndpointHandle)(handle, 1, &endpointHandle), 0);
    EXPECT_EQ(endpointHandle, 0x100 + genFifo);
    EXPECT_TRUE(module.decoder().requests().empty());
    EXPECT_EQ(qvfpgasim_callCount("QvFpgaDll_GetPeerToPeerFifoEndpoint"), 1u);

    // The endpoint queries share one reading of the reply.
    block.endpoints[0].samplesTransferred = 0x1122334455667788;
    EXPECT_EQ(P2P_FN(p2p_getSamplesTransferred)(handle, 0, &value), 0);
    EXPECT_EQ(value, 0x1122334455667788u);

    // Flags are written zero-extended.
    uint32_t flag = 0xFFFFFFFF;
    block.endpoints[0].hasOverflowed = true;
    EXPECT_EQ(P2P_FN(p2p_getHasOverflowed)(handle, 0, &flag), 0);
    EXPECT_EQ(flag, 1u);
    EXPECT_EQ(P2P_FN(p2p_initiateSink)(handle), 0);
    block.generationSecondFlag = true;
    uint32_t first = 0xFFFFFFFF;
    uint32_t second = 0xFFFFFFFF;
    EXPECT_EQ(P2P_FN(p2p_checkGenerationStatus)(handle, &first, &second), 0);
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(second, 1u);
}

TEST_F(P2PExports, ABadIndexOrDirectionSendsNothing) {
    uint64_t value = 99;
    uint32_t flag = 99;
    uint8_t valid = 99;
    const uint64_t trigger = 1;
    // Index 2 of 2; a writer operation on the reader and the reverse; null
    // pointers and handles (every query shares one frame).
    for (const int32_t code :
         {P2P_FN(p2p_isEndpointValid)(handle, 2, &valid), P2P_FN(p2p_setEnabled)(handle, 2, 1),
          P2P_FN(p2p_getSamplesTransferred)(handle, kReaderIndex, &value),
          P2P_FN(p2p_programEndpointFullnessTrigger)(handle, kWriterIndex, &trigger),
          P2P_FN(p2p_checkGenerationStatus)(handle, &flag, nullptr),
          P2P_FN(p2p_getSamplesTransferred)(nullptr, 0, &value), P2P_FN(p2p_close)(nullptr)}) {
        EXPECT_EQ(code, qverr::qvapalerr_invalidParameter);
    }
    EXPECT_TRUE(module.decoder().requests().empty());
    EXPECT_EQ(qvfpgasim_logCount(), 0u);
    EXPECT_EQ(value + flag + valid, 3 * 99u);
}

TEST_F(P2PExports, DriverFailuresReachTheCallerAndNoResult) {
    qvtest::failRequests(module, "p2p.getSamplesTransferred", -50800);
    qvtest::failRequests(module, "p2p.checkGenerationStatus", -50801);
    uint64_t value = 99;
    EXPECT_EQ(P2P_FN(p2p_getSamplesTransferred)(handle, 0, &value), -50800);
    uint32_t first = 99;
    uint32_t second = 99;
    EXPECT_EQ(P2P_FN(p2p_checkGenerationStatus)(handle, &first, &second), -50801);
    EXPECT_EQ(value + first + second, 3 * 99u);
    // The FPGA library's refusal of the endpoint query.
    qvfpgasim_injectResult("QvFpgaDll_GetPeerToPeerFifoEndpoint", qvzek::kErrorBusy, 1);
    uint32_t endpointHandle = 99;
    EXPECT_EQ(P2P_FN(p2p_getEndpointHandle)(handle, 0, &endpointHandle), qvzek::kErrorBusy);
    EXPECT_EQ(endpointHandle, 99u);
}

TEST_F(P2PExports, AFailedOpenHandsOutASessionThatOnlyCloses) {
    auto open = P2P_FN(p2p_open);
    // A session handle of 0 (the device session's text without an FPGA
    // session), a wrong direction, no device file or one that does not open.
    const std::string noFpga = describe("0", {{kAcquisitionFifo, "writer", "0", "0"}});
    const std::string sideways = describe(std::to_string(fpga), {{"x", "sideways", "1", "1"}});
    const std::pair<std::string, std::string> opens[] = {
        {parameters, noFpga},
        {parameters, sideways},
        {"not json", description},
        {"{\"deviceInterfacePath\": \"/nonexistent/qv3377k9\"}", description}};
    for (const auto& [json, text] : opens) {
        SCOPED_TRACE(json + " " + text);
        void* h = nullptr;
        const int32_t code = open(json.c_str(), text.c_str(), &h);
        EXPECT_TRUE(json != parameters ? code < 0 : code == qverr::qvapalerr_invalidParameter)
            << code;
        ASSERT_NE(h, nullptr);
        uint64_t value = 0;
        module.decoder().clear();
        EXPECT_EQ(P2P_FN(p2p_getNumEndpointsAvailable)(h, &value),
                  qverr::qvapalerr_invalidParameter);
        EXPECT_EQ(P2P_FN(p2p_getSamplesTransferred)(h, 0, &value),
                  qverr::qvapalerr_invalidParameter);
        EXPECT_EQ(P2P_FN(p2p_initiateSource)(h), qverr::qvapalerr_invalidParameter);
        EXPECT_TRUE(module.decoder().requests().empty());
        EXPECT_EQ(P2P_FN(p2p_close)(h), 0);
    }
}

TEST_F(P2PExports, OpenChecksItsPointersBeforeMakingAnything) {
    auto open = P2P_FN(p2p_open);
    void* slot = nullptr;
    EXPECT_EQ(open(parameters.c_str(), nullptr, &slot), qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(slot, nullptr);
    // Two sessions on one module stand apart.
    ASSERT_EQ(open(parameters.c_str(), description.c_str(), &slot), 0);
    EXPECT_NE(slot, handle);
    EXPECT_EQ(P2P_FN(p2p_close)(slot), 0);
    EXPECT_EQ(P2P_FN(p2p_initiateSink)(handle), 0);
}

}  // namespace
