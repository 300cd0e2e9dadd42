// The VISA PXI plug-in as the VISA library drives it, on the simulated module.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "qvvisa_pxi_plugin_apal_codegen/VisaPluginFixture.h"
#include "support/NamedCodes.h"
#include "support/SelfProcess.h"

namespace {

using namespace qvtest;
using qvsim::VisaBlock;

// Little-endian bytes of a request record, typed as the driver expects them.
void putLE(std::vector<uint8_t>& bytes, size_t offset, uint64_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A second module, and an entry whose PCI address cannot be read.
void addModules(qvsim::SimulatedModule& module) {
    const std::string path = module.driver().addDevice("qv3377k1");
    module.tree().addInterface("qv3377kb", "qv3377k_qv3377k", "0", path);
    VisaBlock::setBusNumber(module.tree(), "qv3377kb", "pciBusNumber", 0xFF);
    VisaBlock::setBusNumber(module.tree(), "qv3377kb", "pciDeviceNumber", 31);
    VisaBlock::setBusNumber(module.tree(), "qv3377kb", "pciFunctionNumber", 7);
    module.tree().addInterface("qv3377kc", "qv3377k_qv3377k", "0", path);
    module.tree().setBusProperty("qv3377kc", "pciBusNumber", "1");
}

TEST_F(VisaPlugin, NothingWorksUntilInitialisedAndAfterTheLastFinalize) {
    uint32_t count = 0;
    uint64_t session = 0x1000, opened = 0;
    uint16_t word = 0;
    const auto refusedAll = [&] {
        for (const int32_t code :
             {plugin.getDeviceIDs(0, 0, nullptr, nullptr, &count), plugin.open(0, 1, 2, 3, &opened),
              plugin.getDeviceAttribute(session, 0x3FFF00D9, &word), plugin.finalizePlugin()}) {
            EXPECT_EQ(code, kViErrorNotInitialized);
        }
    };
    refusedAll();
    ASSERT_EQ(plugin.initializePlugin(), 0);
    ASSERT_EQ(plugin.initializePlugin(), 0);
    session = openModule();
    ASSERT_NE(session, 0u);
    EXPECT_EQ(module.visa().attached.load(), 1);
    EXPECT_EQ(plugin.finalizePlugin(), 0);
    EXPECT_EQ(plugin.getDeviceAttribute(session, 0x3FFF00D9, &word), 0);
    // The last finalize detaches every session and gives its file back.
    EXPECT_EQ(plugin.finalizePlugin(), 0);
    EXPECT_EQ(module.visa().attached.load(), 0);
    EXPECT_TRUE(module.decoder().last("visapxipluginapalcodegen.closeSession").has_value());
    EXPECT_EQ(module.driver().openDescriptors(), 0u);
    refusedAll();
}

TEST_F(VisaPlugin, DeviceIdsComeFromTheDeviceTree) {
    ASSERT_EQ(plugin.initializePlugin(), 0);
    uint32_t count = 99;
    EXPECT_EQ(plugin.getDeviceIDs(0, 0, nullptr, nullptr, &count), kViErrorInvalidSize);
    EXPECT_EQ(count, 1u);
    uint64_t ids[4] = {};
    uint16_t flags[4] = {};
    ASSERT_EQ(plugin.getDeviceIDs(1, 4, ids, flags, &count), 0);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(ids[0], 0x0000001C000D0002u);

    addModules(module);
    ASSERT_EQ(plugin.getDeviceIDs(1, 4, ids, flags, &count), 0);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(ids[1], 0x000000FF001F0007u);
    EXPECT_EQ(flags[1], 1);
    EXPECT_EQ(flags[2], 0);
    ids[0] = 0;
    EXPECT_EQ(plugin.getDeviceIDs(0, 1, ids, nullptr, &count), kViErrorInvalidSize);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(ids[0], 0u);

    EXPECT_EQ(plugin.getDeviceIDs(1, 1, ids, nullptr, &count), kViErrorInvalidPointer);
    EXPECT_EQ(plugin.finalizePlugin(), 0);
}

TEST_F(VisaPlugin, OpenChecksTheAddressAndAttachesOnce) {
    ASSERT_EQ(plugin.initializePlugin(), 0);
    uint64_t session = 7;
    EXPECT_EQ(plugin.open(0, 1, 32, 3, &session), kViErrorInvalidParameter);
    EXPECT_EQ(session, 0u);
    EXPECT_EQ(plugin.open(0, 1, 2, 3, &session), kViErrorResourceNotFound);
    EXPECT_TRUE(module.decoder().requests().empty());

    // A refused attach leaves no file open and sends no detach.
    qvtest::failRequests(module, "visapxipluginapalcodegen.openSession", -50310);
    EXPECT_EQ(plugin.open(0, VisaBlock::kBusNumber, VisaBlock::kDeviceNumber,
                          VisaBlock::kFunctionNumber, &session),
              -50310);
    EXPECT_EQ(session, 0u);
    EXPECT_FALSE(module.decoder().last("visapxipluginapalcodegen.closeSession").has_value());
    EXPECT_EQ(module.driver().openDescriptors(), 0u);

    addModules(module);
    module.on("visapxipluginapalcodegen.openSession",
              [](const qvsim::DecodedRequest&, qvsim::Reply&) { return 0; });
    uint64_t other = 0;
    ASSERT_EQ(plugin.open(0, 0xFF, 31, 7, &other), 0);
    EXPECT_EQ(module.decoder().last("visapxipluginapalcodegen.openSession")->device, "qv3377k1");
    EXPECT_EQ(plugin.close(other), 0);
    EXPECT_EQ(module.driver().openDescriptors(), 0u);
    EXPECT_EQ(plugin.finalizePlugin(), 0);
}

TEST_F(VisaPlugin, AttributesReportTheIdentity) {
    ASSERT_EQ(plugin.initializePlugin(), 0);
    const uint64_t session = openModule();
    const auto word = [&](uint64_t s, uint32_t attribute) {
        uint16_t value = 0xFFFF;
        EXPECT_EQ(plugin.getDeviceAttribute(s, attribute, &value), 0) << std::hex << attribute;
        return value;
    };
    EXPECT_EQ(word(session, 0x3FFF00D9), 0x1D5B);
    EXPECT_EQ(word(session, 0x3FFF00DF), 0x7822);
    EXPECT_EQ(word(session, 0x3FFF001E), 0);
    char text[256];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(plugin.getDeviceAttribute(session, 0xBFFF0072, text), 0);
    EXPECT_STREQ(text, "QV Instruments");
    EXPECT_EQ(plugin.getDeviceAttribute(session, 0xBFFF0077, text), 0);
    EXPECT_STREQ(text, "QV-3377");
    EXPECT_EQ(plugin.getDeviceAttribute(session, 0x3FFF00DA, text), kViErrorAttributeNotSupported);
    EXPECT_EQ(plugin.close(session), 0);

    // Without a subsystem vendor the PCI vendor and device IDs stand.
    VisaBlock::setBusNumber(module.tree(), "qv3377k", "pciSubsystemVendorID", 0);
    const uint64_t plain = openModule();
    EXPECT_EQ(word(plain, 0x3FFF00D9), 0x7C1E);
    EXPECT_EQ(word(plain, 0x3FFF00DF), 0xC4C4);
    EXPECT_EQ(plugin.finalizePlugin(), 0);
}

TEST_F(VisaPlugin, SpaceInformationComesFromTheDriver) {
    ASSERT_EQ(plugin.initializePlugin(), 0);
    const uint64_t session = openModule();
    module.visa().spaces[3] = {64, 0xE0001000, 0x2000};
    uint16_t width = 0;
    uint64_t base = 0, size = 0;
    ASSERT_EQ(plugin.getSpaceInfo(session, 3, &width, &base, &size), 0);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(base, 0xE0001000u);
    EXPECT_EQ(size, 0x2000u);
    EXPECT_EQ(module.decoder().last("visapxipluginapalcodegen.getSpaceInfo")->input,
              (std::vector<uint8_t>{3, 0, 0, 0, 0, 0, 0, 0}));

    EXPECT_EQ(plugin.getSpaceInfo(session, 6, &width, &base, &size), kViErrorInvalidSpace);
    EXPECT_EQ(plugin.getSpaceInfo(session, 3, &width, nullptr, &size), kViErrorInvalidPointer);
    // The results the driver returns with its error reach the caller; a
    // failed ioctl returns none and leaves the caller's outputs as they were.
    module.on("visapxipluginapalcodegen.getSpaceInfo",
              [](const qvsim::DecodedRequest&, qvsim::Reply& reply) {
                  reply.set("width", 16);
                  reply.set("base", 0xE0002000);
                  reply.set("size", 0x40);
                  reply.status(-50320);
                  return 0;
              });
    EXPECT_EQ(plugin.getSpaceInfo(session, 3, &width, &base, &size), -50320);
    EXPECT_EQ(width, 16);
    EXPECT_EQ(base, 0xE0002000u);
    EXPECT_EQ(size, 0x40u);
    module.on("visapxipluginapalcodegen.getSpaceInfo",
              [](const qvsim::DecodedRequest&, qvsim::Reply&) { return EIO; });
    width = 1;
    base = size = 2;
    EXPECT_LT(plugin.getSpaceInfo(session, 3, &width, &base, &size), 0);
    EXPECT_EQ(width, 1);
    EXPECT_EQ(base, 2u);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(plugin.finalizePlugin(), 0);
}

TEST_F(VisaPlugin, BlocksMoveThroughTheDriverIntoRegisterSpace) {
    ASSERT_EQ(plugin.initializePlugin(), 0);
    const uint64_t session = openModule();
    const uint8_t written[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(
        plugin.blockWrite(session, 0, 2, 0x100, 4, 0x100, written, sizeof written, 0xFFFFFFFF), 0);
    EXPECT_EQ(module.visa().read(2, 0x100, 6), std::vector<uint8_t>(written, written + 6));
    std::vector<uint8_t> record(48, 0);
    putLE(record, 0, 2, 1);
    putLE(record, 8, 0x100, 8);
    putLE(record, 16, 4, 4);
    putLE(record, 20, 1, 1);
    putLE(record, 24, reinterpret_cast<uintptr_t>(written), 8);
    putLE(record, 32, 6, 8);
    putLE(record, 40, 0xFFFFFFFF, 4);
    const auto sentWrite = module.decoder().last("visapxipluginapalcodegen.blockWrite");
    EXPECT_EQ(sentWrite->method->code, 0x40208503u);
    EXPECT_EQ(sentWrite->input, record);

    uint8_t read[4] = {};
    ASSERT_EQ(plugin.blockRead(session, 0, 6, 0, 1, 0, read, 4, 0), 0);  // space 6 is the driver's
    ASSERT_EQ(plugin.blockRead(session, 0, 2, 0x102, 2, 0, read, 4, 0), 0);
    EXPECT_EQ(read[0], 3);
    EXPECT_EQ(read[3], 6);
    const auto sentRead = module.decoder().last("visapxipluginapalcodegen.blockRead");
    EXPECT_EQ(sentRead->method->code, 0x80208502u);
    EXPECT_EQ(sentRead->input[20], 0);
    EXPECT_EQ(sentRead->value("buffer"), static_cast<int64_t>(reinterpret_cast<uintptr_t>(read)));

    // The driver's refusal passes unchanged.
    EXPECT_EQ(plugin.blockRead(session, 0, 2, VisaBlock::kSpaceSize - 2, 2, 0, read, 4, 0),
              VisaBlock::kOutOfSpace);

    module.decoder().clear();
    const std::pair<int32_t, int32_t> refused[] = {
        {plugin.blockRead(session, 0, 2, 0, 1, 0, nullptr, 0, 5), kViErrorInvalidPointer},
        {plugin.blockRead(session, 0, 7, 0, 1, 0, read, 0, 5), kViErrorInvalidSize},
        {plugin.blockWrite(session, 0, 1, 0, 1, 0, read, 1, 5), kViErrorInvalidParameter}};
    for (const auto& [code, expected] : refused) EXPECT_EQ(code, expected);
    EXPECT_TRUE(module.decoder().requests().empty());
    EXPECT_EQ(plugin.finalizePlugin(), 0);
}

TEST_F(VisaPlugin, StaleHandlesAreRefused) {
    ASSERT_EQ(plugin.initializePlugin(), 0);
    const uint64_t first = openModule();
    const uint64_t second = openModule();
    ASSERT_NE(first, second);
    EXPECT_EQ(module.visa().attached.load(), 2);
    EXPECT_EQ(plugin.close(0), kViWarningNullObject);
    EXPECT_EQ(plugin.close(first), 0);
    EXPECT_EQ(plugin.close(first), kViErrorInvalidObject);
    uint16_t word = 0;
    uint8_t byte = 0;
    EXPECT_EQ(plugin.blockRead(first, 0, 0, 0, 1, 0, &byte, 1, 0), kViErrorInvalidObject);
    EXPECT_EQ(plugin.getDeviceAttribute(second + 8, 0x3FFF00D9, &word), kViErrorInvalidObject);
    EXPECT_EQ(plugin.blockRead(second, 0, 0, 0, 1, 0, &byte, 1, 0), 0);
    EXPECT_EQ(plugin.finalizePlugin(), 0);
    EXPECT_EQ(module.driver().openDescriptors(), 0u);
}

// A forked child shares its parent's open files: whether it ends at once
// or closes what it inherited first, no detach of its may reach the
// session its parent goes on using.
TEST_F(VisaPlugin, AForkedChildLeavesTheParentsSessionAttached) {
    ASSERT_EQ(plugin.initializePlugin(), 0);
    const uint64_t session = openModule();
    for (const bool closesFirst : {false, true}) {
        const pid_t child = fork();
        if (child == 0) {
            if (closesFirst && (plugin.close(session) != 0 || plugin.finalizePlugin() != 0))
                _exit(3);
            exit(0);
        }
        EXPECT_EQ(waitForExitWithin(child, std::chrono::seconds(30)), 0) << closesFirst;
        EXPECT_EQ(module.visa().attached.load(), 1) << closesFirst;
    }
    uint8_t byte = 0;
    EXPECT_EQ(plugin.blockRead(session, 0, 0, 0, 1, 0, &byte, 1, 0), 0);
    EXPECT_EQ(plugin.finalizePlugin(), 0);
    EXPECT_EQ(module.visa().attached.load(), 0);
}

// Without the module (the real roots, which hold none here) the VISA
// library's discovery finds nothing, and the mapping and interrupt entry
// points are never supported.
TEST(VisaPluginWithoutModule, FindsNothingAndSupportsNoMapping) {
    HostLibrary library{QV_SHARED_LIBRARY};
    ASSERT_TRUE(library.loaded());
    VisaPluginApi plugin{library};
    uint32_t count = 99;
    uint64_t ids[4];
    uint16_t flags[4];
    ASSERT_EQ(plugin.initializePlugin(), 0);
    EXPECT_EQ(plugin.getDeviceIDs(0, 0, nullptr, nullptr, &count), 0);
    EXPECT_EQ(plugin.getDeviceIDs(1, 4, ids, flags, &count), 0);
    EXPECT_EQ(count, 0u);
    uint64_t session = 1;
    EXPECT_EQ(plugin.open(0, 1, 0, 0, &session), kViErrorResourceNotFound);
    EXPECT_EQ(session, 0u);
    for (auto* unsupported : plugin.unsupported)
        EXPECT_EQ(unsupported(0x1000, 1, 2, 3), kViErrorNotSupported);
    EXPECT_EQ(plugin.finalizePlugin(), 0);
}

// The VISA codes' values, typed in from their definition, so a wrong constant
// fails here instead of agreeing with itself in the tests above.
TEST(VisaStatusCodes, EveryNamedCodeHasItsAgreedValue) {
    using namespace visapxipluginapalcodegen;
    qvtest::expectAgreedValues({
        QV_NAMED_CODE(kViSuccess, 0),
        QV_NAMED_CODE(kViErrorSystem, static_cast<ViStatus>(0xBFFF0000u)),
        QV_NAMED_CODE(kViErrorInvalidObject, static_cast<ViStatus>(0xBFFF000Eu)),
        QV_NAMED_CODE(kViErrorResourceNotFound, static_cast<ViStatus>(0xBFFF0011u)),
        QV_NAMED_CODE(kViErrorAttributeNotSupported, static_cast<ViStatus>(0xBFFF001Du)),
        QV_NAMED_CODE(kViErrorNotInitialized, static_cast<ViStatus>(0xBFFF003Au)),
        QV_NAMED_CODE(kViErrorOutOfMemory, static_cast<ViStatus>(0xBFFF003Cu)),
        QV_NAMED_CODE(kViErrorInvalidSpace, static_cast<ViStatus>(0xBFFF004Eu)),
        QV_NAMED_CODE(kViErrorInvalidPointer, static_cast<ViStatus>(0xBFFF0071u)),
        QV_NAMED_CODE(kViErrorInvalidParameter, static_cast<ViStatus>(0xBFFF0078u)),
        QV_NAMED_CODE(kViErrorNotSupported, static_cast<ViStatus>(0xBFFF0081u)),
        QV_NAMED_CODE(kViErrorInvalidSize, static_cast<ViStatus>(0xBFFF0083u)),
        QV_NAMED_CODE(kViWarningNullObject, static_cast<ViStatus>(0x3FFF0082u)),
    });
}

}  // namespace
