// The request frame the proxies share, beyond what every method's round trip
// shows: warnings, closed proxies, outputs the driver leaves alone, short
// status records, the plug-in session and the configuration word.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

#include "apal_qv3377k/tInterfaceProxy_atomiczekddkqrx.h"
#include "apal_qv3377k/tInterfaceProxy_qv3377k.h"
#include "apal_qv3377k/tInterfaceProxy_routing.h"
#include "apal_qv3377k/tInterfaceProxy_visapxipluginapalcodegen.h"
#include "qverr/Codes.h"
#include "requests/RequestDecoder.h"

namespace {

using namespace sdihal;
using nQVAPALS100::tStatus;
using qvsim::DecodedRequest;
using qvsim::Reply;

tStatus withCode(int64_t code) {
    tStatus status;
    status.code = code;
    return status;
}

// A proxy open on a device file of the simulated driver.
template <class Proxy>
class OpenProxy : public ::testing::Test {
protected:
    qvsim::Driver driver;
    qvsim::RequestDecoder decoder{driver};
    std::string path = driver.addDevice("qv3377k0");
    Proxy proxy;

    void SetUp() override {
        tStatus status;
        proxy.open(path.c_str(), status);
        ASSERT_EQ(status.code, 0);
    }

    // Answers `method` with `reply`, after letting `fill` write outputs.
    void answer(const std::string& method, int32_t reply, std::function<void(Reply&)> fill = {}) {
        decoder.on(method, [reply, fill](const DecodedRequest&, Reply& out) {
            if (fill) fill(out);
            out.status(reply);
            return 0;
        });
    }
};

using Frame = OpenProxy<tInterfaceProxy_qv3377k>;
using FpgaFrame = OpenProxy<tInterfaceProxy_atomiczekddkqrx>;

// Every method's round trip checks its status field, its reply and the
// outputs left alone by an error; these are the finer points of the frame.
TEST_F(Frame, OnlyTheLowHalfOfAWarningTravelsAndAWarningDoesNotReplaceAWarning) {
    iInterfaceProxy_rfplat& rfplat = proxy;
    tStatus status = withCode(0x100000003);
    int32_t revision = 0;
    rfplat.getModuleRev(4, &revision, status);
    EXPECT_EQ(decoder.last("rfplat.getModuleRev")->callerStatus(), 3);
    EXPECT_EQ(status.code, 0x100000003);

    status = withCode(3);
    answer("rfplat.getModuleRev", 9);
    rfplat.getModuleRev(4, &revision, status);
    EXPECT_EQ(status.code, 3);
}

TEST_F(Frame, AClosedProxyReportsTheDeviceFileError) {
    tInterfaceProxy_routing closed;
    tStatus status;
    uint32_t value = 3;
    closed.readValue(&value, status);
    EXPECT_EQ(status.code, qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(value, 3u);
}

TEST_F(Frame, OutputsTheDriverLeavesAloneComeBackAsTheirDefaults) {
    tStatus status;
    iInterfaceProxy_impairments& impairments = proxy;
    std::array<tFixedPointFormat, 8> formats;
    formats.fill(tFixedPointFormat{true, 30, -2});
    impairments.getFxpConfigs(&formats, status);
    for (const tFixedPointFormat& format : formats) {
        EXPECT_FALSE(format.isSigned);
        EXPECT_EQ(format.wordLength, 1);
        EXPECT_EQ(format.integerWordLength, 1);
    }

    // In-out values come back as they were sent.
    iInterfaceProxy_rfplat& rfplat = proxy;
    uint32_t length = 4096, word = 0xFEED;
    rfplat.readPartition(1, 0x1000, &length, tRecord<32>{}, &word, status);
    EXPECT_EQ(length, 4096u);
    EXPECT_EQ(word, 0xFEEDu);
    EXPECT_EQ(status.code, 0);
}

TEST_F(Frame, ARecordTooShortForDetailGetsTheCodeOnly) {
    tStatus status;
    status.structSize = 16;
    status.code = 2;
    iInterfaceProxy_timer& timer = proxy;
    answer("timer.sendMessage", -8);
    timer.sendMessage(0x33, status);
    EXPECT_EQ(decoder.last("timer.sendMessage")->callerStatus(), 2);
    EXPECT_EQ(status.code, -8);
    EXPECT_STREQ(status.component, "");
}

TEST_F(Frame, ThePluginSessionClosesOnDestructionOnlyWhileOpen) {
    answer("visapxipluginapalcodegen.openSession", -1074000000);
    answer("visapxipluginapalcodegen.closeSession", -1);
    {
        tInterfaceProxy_visapxipluginapalcodegen plugin;
        tStatus status;
        plugin.open(path.c_str(), status);
        plugin.openSession(status);
        EXPECT_EQ(status.code, -1074000000);
    }
    const auto sent = decoder.requests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].name(), "visapxipluginapalcodegen.closeSession");
    EXPECT_EQ(sent[1].callerStatus(), 0) << "the earlier failure stays with the session";
    EXPECT_EQ(driver.openDescriptors(), 1u);  // the fixture's proxy alone

    decoder.clear();
    { tInterfaceProxy_visapxipluginapalcodegen neverOpened; }
    EXPECT_TRUE(decoder.requests().empty());
}

TEST_F(FpgaFrame, TheConfigurationWordAlwaysGoesAndReportsOnlyItsByteCount) {
    iInterfaceProxy_atomiczekddk_configuration& configuration = proxy;
    EXPECT_EQ(configuration.postConfigurationWord(0x1122334455667788, -2), 0u);

    decoder.on("atomiczekddk_configuration.postConfigurationWord",
               [](const DecodedRequest&, Reply& out) {
                   out.bytesReturned(12);
                   return 0;
               });
    EXPECT_EQ(configuration.postConfigurationWord(1, 2), 12u);
    driver.failCall(qvsim::Call::ioctl, EIO);
    EXPECT_EQ(configuration.postConfigurationWord(1, 2), 0u);
}

}  // namespace
