// The personality download: one request to the simulated driver carrying
// the serialized bitfile and the module revisions.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "AtomicZEKHALImpl/PersonalityConfigurerQrx.h"
#include "apal_qv3377k/tInterfaceProxy_atomiczekddkqrx.h"
#include "atomiczekddk/shared/Errors.h"
#include "kerneldriver/Driver.h"
#include "qvapal/status/tStatus.h"
#include "qverr/Codes.h"
#include "support/BitfileGenerator.h"
#include "support/TempDir.h"

namespace {

using atomiczekhal::BitfileQrx;
using atomiczekhal::PersonalityConfigurerQrx;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kConfigurePersonality = 0x4020830A;
const std::string kBitfileCorpus = QV_BITFILE_CORPUS;

// What the driver saw of one personality request, read while it ran.
struct Seen {
    Bytes input;
    Bytes commonData, fifoData, bitstream;
    uint64_t commonAddress = 0, fifoAddress = 0, bitstreamAddress = 0;
};

Bytes at(uint64_t address, uint32_t size) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(address);
    return size == 0 || bytes == nullptr ? Bytes() : Bytes(bytes, bytes + size);
}

class PersonalityConfigurer : public ::testing::Test {
protected:
    qvsim::Driver driver;
    std::string path = driver.addDevice("fpga0");
    std::shared_ptr<sdihal::tInterfaceProxy_atomiczekddkqrx> proxy =
        std::make_shared<sdihal::tInterfaceProxy_atomiczekddkqrx>();
    Seen seen;

    void SetUp() override {
        nQVAPALS100::tStatus status;
        proxy->open(path.c_str(), status);
        ASSERT_EQ(status.code, 0);
    }

    void answer(uint8_t result, int32_t driverStatus) {
        driver.onRequest(
            kConfigurePersonality,
            [this, result, driverStatus](qvsim::Request& request) {
                seen.input.assign(request.input.begin(), request.input.end());
                seen.commonAddress = request.in<uint64_t>(0);
                seen.fifoAddress = request.in<uint64_t>(16);
                seen.bitstreamAddress = request.in<uint64_t>(32);
                seen.commonData = at(seen.commonAddress, request.in<uint32_t>(8));
                seen.fifoData = at(seen.fifoAddress, request.in<uint32_t>(24));
                seen.bitstream = at(seen.bitstreamAddress, request.in<uint32_t>(40));
                request.out<uint8_t>(0, result);
                request.out<int32_t>(4, driverStatus);
                return 0;
            },
            64, 8);
    }

    template <class T>
    T field(size_t offset) const {
        T value{};
        std::memcpy(&value, seen.input.data() + offset, sizeof value);
        return value;
    }
};

TEST_F(PersonalityConfigurer, SendsTheImagesAndRevisionsInOneRequest) {
    const BitfileQrx bitfile(qvtest::readTextFile(kBitfileCorpus + "/sample.xml"));
    PersonalityConfigurerQrx configurer(proxy, bitfile, 0x0C000000);
    answer(1, 0);
    qvzek::PersonalityRecord record;
    bool changed = false;
    configurer.configurePersonality(record, &changed);
    EXPECT_TRUE(record.configured);
    EXPECT_TRUE(changed);

    ASSERT_EQ(seen.input.size(), 64u);
    EXPECT_EQ(field<uint32_t>(8), 48u);
    EXPECT_EQ(field<uint32_t>(24), 5u * 37);
    EXPECT_EQ(field<uint32_t>(40), 256u);
    EXPECT_EQ(field<uint32_t>(44), 5u);  // desired, right after the bitstream length
    EXPECT_EQ(field<uint32_t>(48), 2u);  // minimum
    EXPECT_EQ(field<uint32_t>(52), 1u);  // revisions named
    EXPECT_EQ(field<int32_t>(56), 0);    // caller's status
    // Mode word and its owner code sit at 24 and 28 of the common data.
    uint32_t mode = 0;
    int32_t code = 0;
    std::memcpy(&mode, seen.commonData.data() + 24, 4);
    std::memcpy(&code, seen.commonData.data() + 28, 4);
    EXPECT_EQ(mode, 0x0C000000u);
    EXPECT_EQ(code, qvzek::kOwnerInteractive);
    EXPECT_EQ(seen.fifoData[37 + 1], 2);  // channel 1 is the peer-to-peer reader
    for (size_t i = 0; i < seen.bitstream.size(); ++i) ASSERT_EQ(seen.bitstream[i], i);
}

TEST_F(PersonalityConfigurer, AnImageWithoutFifosOrRevisionsSendsNullPiecesAndFalse) {
    std::string text =
        qvtest::withBitstream(qvtest::readTextFile(kBitfileCorpus + "/sample.xml"), "");
    const size_t open =
        text.find("<DmaChannelAllocationList>") + std::strlen("<DmaChannelAllocationList>");
    text.erase(open, text.find("</DmaChannelAllocationList>") - open);
    const size_t sdi = text.find("<QvSdi_");
    text.erase(sdi, text.find("</TargetSpecificData>") - sdi);
    const BitfileQrx bitfile(text);
    PersonalityConfigurerQrx configurer(proxy, bitfile, 0);
    answer(0, 0);
    qvzek::PersonalityRecord record;
    bool changed = true;
    configurer.configurePersonality(record, &changed);
    EXPECT_FALSE(changed);
    EXPECT_TRUE(record.configured);
    EXPECT_EQ(seen.fifoAddress, 0u);
    EXPECT_EQ(field<uint32_t>(24), 0u);
    EXPECT_EQ(seen.bitstreamAddress, 0u);
    EXPECT_EQ(field<uint32_t>(40), 0u);
    EXPECT_EQ(field<uint32_t>(44), 0u);
    EXPECT_EQ(field<uint32_t>(48), 0u);
    EXPECT_EQ(field<uint32_t>(52), 0u);
}

TEST_F(PersonalityConfigurer, TheDriversRefusalIsThrownAndLeavesTheRecordUnconfigured) {
    const BitfileQrx bitfile(qvtest::readTextFile(kBitfileCorpus + "/sample.xml"));
    PersonalityConfigurerQrx configurer(proxy, bitfile, 0);
    answer(1, qvzek::kOwnerFpgaInterface);
    qvzek::PersonalityRecord record;
    bool changed = false;
    EXPECT_EQ(
        qvtest::thrownStatus([&] { configurer.configurePersonality(record, &changed); }).first,
        qvzek::kOwnerFpgaInterface);
    EXPECT_FALSE(record.configured);

    driver.failCall(qvsim::Call::ioctl, EIO);
    EXPECT_LT(
        qvtest::thrownStatus([&] { configurer.configurePersonality(record, &changed); }).first, 0);
    EXPECT_FALSE(record.configured);
    EXPECT_EQ(qvtest::thrownStatus([&] { configurer.configure(&changed); }).first,
              qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
}

}  // namespace
