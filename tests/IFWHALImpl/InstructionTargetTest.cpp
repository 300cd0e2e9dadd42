// The instruction-target plug-in as its host drives it: the shipped library
// loaded by name, its entry points called through the host's plain C types,
// the simulated module behind them.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "module/SimulatedModule.h"
#include "qverr/Codes.h"
#include "support/DetailPair.h"
#include "support/HostLibrary.h"
#include "support/ModuleProxy.h"
#include "support/host/qvhost.h"

namespace {

// Little-endian bytes of the request records, typed as the driver expects them.
void putLE(std::vector<uint8_t>& bytes, size_t offset, uint64_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

struct Location {
    uint64_t words[2];
};
struct LocationValue {
    uint64_t words[3];
};

#define IFW_ENTRY(member, name) library.fn<decltype(member)>("qvIFW_Target_libqv3377hal_" name)

// The plug-in's entry points as its host declares them, bound by name.
struct Plugin {
    qvtest::HostLibrary& library;
    void (*getPluginVersion)(uint32_t* major, uint32_t* minor) = IFW_ENTRY(getPluginVersion,
                                                                           "GetPluginVersion");
    void* (*open)(const char* json, qvhost_status* status) = IFW_ENTRY(open, "Open");
    void (*close)(void* target, qvhost_status* status) = IFW_ENTRY(close, "Close");
    void (*reset)(void* target, qvhost_status* status) = IFW_ENTRY(reset, "Reset");
    void (*read)(void* target, Location location, uint64_t* value, uint32_t option,
                 qvhost_status* status) = IFW_ENTRY(read, "Read");
    void (*readArray)(void* target, void* buffer, size_t count, uint64_t reference, uint32_t option,
                      qvhost_status* status) = IFW_ENTRY(readArray, "ReadArray");
    void (*write)(void* target, bool flag, uint32_t option, LocationValue location,
                  qvhost_status* status) = IFW_ENTRY(write, "Write");
    void (*writeArray)(void* target, const void* buffer, size_t count, bool flag, uint32_t option,
                       qvhost_status* status) = IFW_ENTRY(writeArray, "WriteArray");
};

class InstructionTarget : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.loaded());
        module.decoder().clear();
    }
    void TearDown() override { qvhost_release(&status); }

    std::string json(const std::string& members = "") const {
        return "{\"deviceInterfacePath\": \"" + module.devicePath() + "\"" + members + "}";
    }
    void* open(const std::string& text) { return plugin.open(text.c_str(), &status); }
    std::string detail() const { return status.json != nullptr ? status.json : ""; }
    template <class Call>
    static int32_t run(Call&& call, std::string* json = nullptr) {
        return qvtest::runWithStatus(std::forward<Call>(call), json);
    }

    qvsim::SimulatedModule module;
    qvtest::HostLibrary library{QV_SHARED_LIBRARY};
    Plugin plugin{library};
    qvhost_status status = qvhost_newStatus();
};

TEST_F(InstructionTarget, HostRoundTripReadsBackWhatItWrote) {
    void* target = open(json());
    ASSERT_NE(target, nullptr);
    plugin.write(target, true, 0, {{0x10, 0x20, 0xFEEDFACECAFEBEEF}}, &status);
    uint64_t read = 0;
    plugin.read(target, {{0x10, 0x20}}, &read, 0, &status);
    plugin.close(target, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(read, 0xFEEDFACECAFEBEEFu);
    EXPECT_EQ(module.driver().openDescriptors(), 0u);

    uint32_t major = 7, minor = 7;
    plugin.getPluginVersion(&major, nullptr);
    plugin.getPluginVersion(nullptr, &minor);
    EXPECT_EQ(major + minor, 2u);
}

TEST_F(InstructionTarget, OpenSendsTypeAndInstanceFromTheText) {
    struct Case {
        std::string members;
        int64_t type, instance;
    } cases[] = {{", \"TYPE\": 9, \"Instance\": 2", 9, 2},
                 {", \"type\": \"5\", \"instance\": true", 0, 0},
                 {", \"type\": 4294967295, \"instance\": -1", 0xFFFFFFFF, 0xFFFFFFFF}};
    for (const Case& c : cases) {
        void* target = open(json(c.members));
        ASSERT_NE(target, nullptr) << c.members;
        const auto sent = module.decoder().last("ifw.open");
        ASSERT_TRUE(sent.has_value());
        std::vector<uint8_t> expected(12, 0);
        putLE(expected, 0, c.type, 4);
        putLE(expected, 4, c.instance, 4);
        EXPECT_EQ(sent->input, expected) << c.members;
        plugin.close(target, &status);
    }
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(module.driver().openDescriptors(), 0u);
}

TEST_F(InstructionTarget, BadOrFailedOpenLeavesNoTargetAndNoDescriptor) {
    const std::string texts[] = {"not json", "{\"deviceInterfacePath\": 5}",
                                 "{\"deviceInterfacePath\": \"\"}"};
    for (const std::string& text : texts) {
        EXPECT_EQ(run([&](qvhost_status* s) { EXPECT_EQ(plugin.open(text.c_str(), s), nullptr); }),
                  qverr::qvapalerr_invalidParameter)
            << text;
    }
    EXPECT_EQ(plugin.open(nullptr, &status), nullptr);
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    EXPECT_NE(detail().find("ErrorHandling"), std::string::npos) << detail();
    EXPECT_TRUE(module.decoder().requests().empty());

    const std::string missing = "{\"deviceInterfacePath\": \"" + module.devicePath() + "x\"}";
    EXPECT_LT(run([&](qvhost_status* s) { EXPECT_EQ(plugin.open(missing.c_str(), s), nullptr); }),
              0);
    qvtest::failRequests(module, "ifw.open", -50230);
    std::string refused;
    EXPECT_EQ(run([&](qvhost_status* s) { EXPECT_EQ(plugin.open(json().c_str(), s), nullptr); },
                  &refused),
              -50230);
    EXPECT_NE(refused.find("qv3377hal"), std::string::npos);
    EXPECT_EQ(module.driver().openDescriptors(), 0u);

    // A warning of the driver is dropped: the target opens cleanly.
    qvhost_status warned = qvhost_newStatus();
    qvtest::failRequests(module, "ifw.open", 50230);
    void* target = plugin.open(json().c_str(), &warned);
    EXPECT_NE(target, nullptr);
    EXPECT_EQ(warned.code, 0);
    plugin.close(target, &warned);
    qvhost_release(&warned);
}

TEST_F(InstructionTarget, RecordsReachTheDriverByteForByte) {
    void* target = open(json());
    ASSERT_NE(target, nullptr);
    module.decoder().clear();

    module.instructionTarget().setValue(0x1111222233334444, 0x5555666677778888, 0x0123456789ABCDEF);
    uint64_t value = 0;
    plugin.read(target, {{0x1111222233334444, 0x5555666677778888}}, &value, 0xA5A5A5A5, &status);
    EXPECT_EQ(value, 0x0123456789ABCDEFu);
    plugin.write(target, true, 0x0BADF00D, {{1, 2, 0xDDCCBBAA99887766}}, &status);
    plugin.write(target, false, 3, {{4, 5, 6}}, &status);
    const uint64_t written[3] = {7, 8, 9};
    plugin.writeArray(target, written, 3, true, 0x44, &status);
    uint64_t array[4] = {};
    plugin.readArray(target, array, 4, 0x9999, 0x55, &status);
    ASSERT_EQ(status.code, 0);
    EXPECT_EQ(array[0], 7u);
    EXPECT_EQ(array[2], 9u);
    EXPECT_EQ(array[3], 0u);

    const auto requests = module.decoder().requests();
    ASSERT_EQ(requests.size(), 5u);
    std::vector<uint8_t> read(24, 0);
    putLE(read, 0, 0x1111222233334444, 8);
    putLE(read, 8, 0x5555666677778888, 8);
    putLE(read, 16, 0xA5A5A5A5, 4);
    EXPECT_EQ(requests[0].method->code, 0x00205A01u);
    EXPECT_EQ(requests[0].input, read);
    std::vector<uint8_t> write(40, 0);
    putLE(write, 0, 1, 8);
    putLE(write, 8, 2, 8);
    putLE(write, 16, 0xDDCCBBAA99887766, 8);
    putLE(write, 24, 1, 4);
    putLE(write, 28, 0x0BADF00D, 4);
    EXPECT_EQ(requests[1].method->code, 0x00205A03u);
    EXPECT_EQ(requests[1].input, write);
    EXPECT_EQ(requests[2].input[24], 0);
    std::vector<uint8_t> writeArray(24, 0);
    putLE(writeArray, 0, reinterpret_cast<uintptr_t>(written), 8);
    putLE(writeArray, 8, 3, 4);
    putLE(writeArray, 12, 1, 4);
    putLE(writeArray, 16, 0x44, 4);
    EXPECT_EQ(requests[3].method->code, 0x00205A04u);
    EXPECT_EQ(requests[3].input, writeArray);
    std::vector<uint8_t> readArray(32, 0);
    putLE(readArray, 0, reinterpret_cast<uintptr_t>(array), 8);
    putLE(readArray, 8, 4, 4);
    putLE(readArray, 16, 0x9999, 8);
    putLE(readArray, 24, 0x55, 4);
    EXPECT_EQ(requests[4].method->code, 0x00205A02u);
    EXPECT_EQ(requests[4].input, readArray);

    // Close sends nothing and gives the descriptor back.
    plugin.close(target, &status);
    EXPECT_EQ(module.decoder().requests().size(), 5u);
    EXPECT_EQ(module.driver().openDescriptors(), 0u);
}

TEST_F(InstructionTarget, DriverErrorsReachTheHostAndWarningsDoNot) {
    void* target = open(json());
    ASSERT_NE(target, nullptr);
    module.instructionTarget().setValue(1, 1, 42);
    qvtest::failRequests(module, "ifw.read", 60001);
    uint64_t value = 0;
    plugin.read(target, {{1, 1}}, &value, 0, &status);
    EXPECT_EQ(status.code, 0);

    // The value the driver returns with its error reaches the host; a failed
    // ioctl returns none and leaves the host's value as it was.
    module.on("ifw.read", [](const qvsim::DecodedRequest&, qvsim::Reply& reply) {
        reply.set("value", 43);
        reply.status(-60001);
        return 0;
    });
    value = 77;
    plugin.read(target, {{1, 1}}, &value, 0, &status);
    EXPECT_EQ(status.code, -60001);
    EXPECT_EQ(value, 43u);
    EXPECT_NE(detail().find("tInterfaceProxy_ifw"), std::string::npos) << detail();
    module.on("ifw.read", [](const qvsim::DecodedRequest&, qvsim::Reply&) { return EIO; });
    value = 77;
    EXPECT_LT(run([&](qvhost_status* s) { plugin.read(target, {{1, 1}}, &value, 0, s); }), 0);
    EXPECT_EQ(value, 77u);

    // An error already in the status does not stop the next call; it stays.
    qvtest::failRequests(module, "ifw.write", -60002);
    module.decoder().clear();
    plugin.write(target, false, 0, {{1, 1, 2}}, &status);
    EXPECT_EQ(module.decoder().requests().size(), 1u);
    EXPECT_EQ(status.code, -60001);
    plugin.close(target, &status);
}

TEST_F(InstructionTarget, ArgumentsAreCheckedBeforeTheTarget) {
    void* target = open(json());
    ASSERT_NE(target, nullptr);
    module.decoder().clear();
    const uint64_t buffer[2] = {};
    uint64_t value = 0;

    // A zero count returns at once, whatever else is wrong.
    plugin.readArray(nullptr, nullptr, 0, 0, 0, &status);
    plugin.writeArray(nullptr, nullptr, 0, false, 0, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(status.json, nullptr);

    // A count the driver's 32-bit field cannot hold is refused, not cut.
    const size_t tooMany = size_t{UINT32_MAX} + 2;
    const std::function<void(qvhost_status*)> refused[] = {
        [&](qvhost_status* s) {
            plugin.read(nullptr, {{0, 0}}, &value, 0, s);
        },
        [&](qvhost_status* s) { plugin.readArray(target, &value, 1, 0, 0, s); },
        [&](qvhost_status* s) { plugin.writeArray(target, nullptr, 1, true, 0, s); },
        [&](qvhost_status* s) { plugin.readArray(target, &value, tooMany, 1, 0, s); },
        [&](qvhost_status* s) { plugin.writeArray(target, buffer, tooMany, true, 0, s); }};
    for (const auto& call : refused) EXPECT_EQ(run(call), qverr::qvapalerr_invalidParameter);
    // A null target is refused with the location alone, by every call that takes one.
    const std::function<void(qvhost_status*)> nullTarget[] = {
        [&](qvhost_status* s) {
            plugin.read(nullptr, {{0, 0}}, &value, 0, s);
        },
        [&](qvhost_status* s) { plugin.readArray(nullptr, &value, 1, 1, 0, s); },
        [&](qvhost_status* s) {
            plugin.write(nullptr, true, 0, {{0, 0, 0}}, s);
        },
        [&](qvhost_status* s) { plugin.writeArray(nullptr, buffer, 1, true, 0, s); },
        [&](qvhost_status* s) { plugin.close(nullptr, s); }};
    for (const auto& call : nullTarget) {
        std::string text;
        EXPECT_EQ(run(call, &text), qverr::qvapalerr_invalidParameter);
        EXPECT_TRUE(qvtest::locationOnly(text)) << text;
        EXPECT_NE(text.find("\"line\":134"), std::string::npos) << text;
    }
    EXPECT_TRUE(module.decoder().requests().empty());

    plugin.reset(nullptr, &status);
    EXPECT_EQ(status.code, qverr::qvapalerr_featureUnsupported);
    EXPECT_NE(detail().find("IFWPluginImpl"), std::string::npos) << detail();
    EXPECT_NE(detail().find("155"), std::string::npos) << detail();
    plugin.close(target, &status);
    EXPECT_EQ(module.driver().openDescriptors(), 0u);
}

}  // namespace
