// The bytes on the wire, typed in from the driver's interface description and
// checked through the simulated driver's raw request hook: no table of the
// build takes part, so a wrong code, offset, width or block size in the
// request table fails here. One method of each layout shape and each set of
// direction bits, and each layout with a trap in it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "apal_qv3377k/tInterfaceProxy_atomiczekddkqrx.h"
#include "apal_qv3377k/tInterfaceProxy_p2p.h"
#include "apal_qv3377k/tInterfaceProxy_qv3377k.h"
#include "apal_qv3377k/tInterfaceProxy_rfplat.h"
#include "apal_qv3377k/tInterfaceProxy_routing.h"
#include "apal_qv3377k/tInterfaceProxy_usergen.h"
#include "apal_qv3377k/tInterfaceProxy_visapxipluginapalcodegen.h"
#include "kerneldriver/Driver.h"

namespace {

using namespace sdihal;
using nQVAPALS100::tStatus;

// Parameter widths as the interface gives them: a wider field holding the
// same small value would look the same on the wire.
template <class Interface, class Signature>
using Method = Signature Interface::*;
#define EXPECT_SIGNATURE(interface, method, ...)                                 \
    static_assert(std::is_same_v<decltype(&iInterfaceProxy_##interface::method), \
                                 Method<iInterfaceProxy_##interface, __VA_ARGS__>>)
EXPECT_SIGNATURE(rfplat, writePartition,
                 void(uint32_t, uint64_t, uint32_t, uint8_t, const tRecord<32>&, uint32_t*,
                      tStatus&));
EXPECT_SIGNATURE(mra, commit, void(tStatus&, uint8_t));
EXPECT_SIGNATURE(p2p, checkGenerationStatus, uint8_t(uint8_t*, tStatus&));
EXPECT_SIGNATURE(reservation, reserveCache, void(uint32_t*, uint64_t*, tStatus&));
EXPECT_SIGNATURE(routing, destroyRoute, void(uint32_t, tStatus&));
EXPECT_SIGNATURE(IQConfigV1, waitUntilSettled,
                 void(uint32_t, uint8_t, uint8_t, uint32_t, tStatus&));
EXPECT_SIGNATURE(trig, programMarkerBehavior, void(uint32_t, const uint64_t&, tStatus&));
EXPECT_SIGNATURE(atomiczekddk_attribute, configurePersonality,
                 int32_t(uint64_t, uint32_t, uint64_t, uint32_t, uint64_t, uint32_t, uint32_t,
                         uint32_t, uint32_t, uint8_t*, tStatus&));
EXPECT_SIGNATURE(atomiczekddk_fifo, waitForBytes,
                 uint64_t(uint64_t, uint32_t, uint64_t, uint32_t, uint8_t*, tStatus&));

// The caller's warning, sent in the input block's status field.
constexpr int64_t kWarning = 0x1234;
// The driver's verdict, put at the output block's status offset.
constexpr int32_t kDriverError = -50123;

// A block laid out by hand: fields at the offsets the interface gives.
struct Bytes {
    std::vector<uint8_t> data;
    explicit Bytes(size_t size) : data(size) {}
    template <class T>
    Bytes& at(size_t offset, T value) {
        EXPECT_LE(offset + sizeof value, data.size());
        if (offset + sizeof value <= data.size())
            std::memcpy(data.data() + offset, &value, sizeof value);
        return *this;
    }
    // n bytes counting up from `first`: a record whose every byte is told apart.
    Bytes& run(size_t offset, size_t n, uint8_t first) {
        for (size_t i = 0; i < n; ++i) at<uint8_t>(offset + i, static_cast<uint8_t>(first + i));
        return *this;
    }
    // A fixed-point value: u64 bits, signed flag, word length, integer word
    // length (i16), 4 bytes of padding.
    Bytes& value(size_t offset, uint64_t bits, bool isSigned, uint8_t wordLength,
                 int16_t integerWordLength) {
        return at(offset, bits)
            .at<uint8_t>(offset + 8, isSigned)
            .at(offset + 9, wordLength)
            .at(offset + 10, integerWordLength);
    }
};

template <size_t N>
tRecord<N> record(uint8_t first) {
    tRecord<N> result;
    for (size_t i = 0; i < N; ++i) result.bytes[i] = static_cast<uint8_t>(first + i);
    return result;
}

tFixedPointValue fixedPoint(uint64_t bits, bool isSigned, uint8_t wordLength,
                            int16_t integerWordLength) {
    tFixedPointValue result;
    result.bits = bits;
    result.format = {isSigned, wordLength, integerWordLength};
    return result;
}

std::string hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char byte[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(byte, sizeof byte, "%02x", bytes[i]);
        text += (i % 8 == 0 && i != 0) ? " | " : (i == 0 ? "" : " ");
        text += byte;
    }
    return text;
}

struct Sent {
    uint32_t code = 0;
    std::vector<uint8_t> input;
    size_t outSize = 0;
};

class WireBytes : public ::testing::Test {
protected:
    qvsim::Driver driver;
    std::string path = driver.addDevice("qv3377k0");
    // What the driver writes into the output block (the rest stays zero); by
    // default a 4-byte block holding only the verdict.
    std::vector<uint8_t> answer;
    std::vector<Sent> sent;
    tStatus status;

    void SetUp() override {
        driver.onOtherRequest([this](qvsim::Request& request) {
            sent.push_back({request.code,
                            {request.input.begin(), request.input.end()},
                            request.output.size()});
            std::fill(request.output.begin(), request.output.end(), uint8_t{0});
            std::copy_n(answer.begin(), std::min(answer.size(), request.output.size()),
                        request.output.begin());
            return 0;
        });
        reset();
    }

    void reset() {
        answerWith(Bytes(4), 0);
        status = {};
        status.setCode(kWarning, "test", "test", 1);
    }

    template <class Proxy>
    std::unique_ptr<Proxy> open() {
        auto proxy = std::make_unique<Proxy>();
        tStatus opened;
        proxy->open(path.c_str(), opened);
        EXPECT_FALSE(opened.isError()) << opened.code;
        return proxy;
    }

    // The driver answers with `reply` and its verdict at `statusOffset`.
    void answerWith(Bytes reply, size_t statusOffset) {
        reply.at(statusOffset, kDriverError);
        answer = reply.data;
    }

    // The one request the last call sent: its code, whole input block
    // (padding included) and output block size; with a reply block, the
    // driver's verdict came from its status offset.
    void expectSent(uint32_t code, const Bytes& input, size_t outSize) {
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].code, code) << std::hex << sent[0].code;
        EXPECT_EQ(hex(sent[0].input), hex(input.data));
        EXPECT_EQ(sent[0].outSize, outSize);
        sent.clear();
        if (outSize != 0) {
            EXPECT_EQ(status.getCode(), kDriverError);
            EXPECT_STREQ(status.component, "qv3377hal");
        }
        reset();
    }
};

TEST_F(WireBytes, ModuleInterfaces) {
    auto proxy = open<tInterfaceProxy_qv3377k>();
    // destroyRoute: the identifier and the status in 8 bytes, a 4-byte reply.
    proxy->destroyRoute(0x11223344, status);
    expectSent(0x00208002, Bytes(8).at<uint32_t>(0, 0x11223344).at<int32_t>(4, kWarning), 4);

    // trig.programMarkerBehavior: the by-reference u64 at offset 4, unaligned.
    proxy->programMarkerBehavior(0x01020304, 0x8877665544332211ull, status);
    expectSent(0x00205903,
               Bytes(16)
                   .at<uint32_t>(0, 0x01020304)
                   .at<uint64_t>(4, 0x8877665544332211ull)
                   .at<int32_t>(12, kWarning),
               4);

    // freqshift.deployFrequencyShift: the value at 8, after 4 bytes of padding.
    proxy->deployFrequencyShift(0x51525354, fixedPoint(0x0123456789ABCDEFull, true, 24, -3),
                                status);
    expectSent(0x00204502,
               Bytes(32)
                   .at<uint32_t>(0, 0x51525354)
                   .value(8, 0x0123456789ABCDEFull, true, 24, -3)
                   .at<int32_t>(24, kWarning),
               4);

    // digitalgain.getFxpConfigs: two formats in a u64 at 0, the verdict at 8.
    std::array<tFixedPointFormat, 2> gainFormats{};
    answerWith(Bytes(12)
                   .at<uint8_t>(0, 1)
                   .at<uint8_t>(1, 18)
                   .at<int16_t>(2, 2)
                   .at<uint8_t>(4, 0)
                   .at<uint8_t>(5, 32)
                   .at<int16_t>(6, -1),
               8);
    static_cast<iInterfaceProxy_digitalgain&>(*proxy).getFxpConfigs(0x77, &gainFormats, status);
    expectSent(0x00204700, Bytes(8).at<uint32_t>(0, 0x77).at<int32_t>(4, kWarning), 12);
    auto fields = [](const tFixedPointFormat& f) {
        return std::tuple<bool, int, int>(f.isSigned, f.wordLength, f.integerWordLength);
    };
    EXPECT_EQ(fields(gainFormats[0]), std::make_tuple(true, 18, 2));
    EXPECT_EQ(fields(gainFormats[1]), std::make_tuple(false, 32, -1));

    // IQConfigV1.waitUntilSettled: two u8 side by side at 4 and 5.
    proxy->waitUntilSettled(0x71727374, 0xA1, 0xB2, 0x81828384, status);
    expectSent(0xC0205011,
               Bytes(16)
                   .at<uint32_t>(0, 0x71727374)
                   .at<uint8_t>(4, 0xA1)
                   .at<uint8_t>(5, 0xB2)
                   .at<uint32_t>(8, 0x81828384)
                   .at<int32_t>(12, kWarning),
               4);

    // rfplat.writePartition: the flag is one byte at 20, the key at 24, the
    // in-out word at 56.
    auto rfplat = open<tInterfaceProxy_rfplat>();
    uint32_t word = 0x5A5A5A5A;
    answerWith(Bytes(8).at<uint32_t>(0, 0x0F0E0D0C), 4);
    rfplat->writePartition(7, 0x1122334455667788ull, 0x1000, 0xA5, record<32>(0x60), &word, status);
    expectSent(0xC0204206,
               Bytes(64)
                   .at<uint32_t>(0, 7)
                   .at(8, 0x1122334455667788ull)
                   .at<uint32_t>(16, 0x1000)
                   .at<uint8_t>(20, 0xA5)
                   .run(24, 32, 0x60)
                   .at<uint32_t>(56, 0x5A5A5A5A)
                   .at<int32_t>(60, kWarning),
               8);
    EXPECT_EQ(word, 0x0F0E0D0Cu);

    // mra.commit: the caller's status in bytes 0-3, the flag in byte 4.
    static_cast<iInterfaceProxy_mra&>(*proxy).commit(status, 0x31);
    expectSent(0x00204302, Bytes(8).at<int32_t>(0, kWarning).at<uint8_t>(4, 0x31), 4);

    // p2p.checkGenerationStatus: the returned flag in output byte 0, the
    // in-out flag in byte 1.
    auto p2p = open<tInterfaceProxy_p2p>();
    uint8_t second = 0x42;
    answerWith(Bytes(8).at<uint8_t>(0, 0x01).at<uint8_t>(1, 0x02), 4);
    EXPECT_EQ(p2p->checkGenerationStatus(&second, status), 0x01);
    expectSent(0x00204E12, Bytes(8).at<uint8_t>(0, 0x42).at<int32_t>(4, kWarning), 8);
    EXPECT_EQ(second, 0x02);

    // reservation.reserveCache: the reply is packed, the u64 at offset 4.
    uint32_t cache = 0;
    uint64_t handle = 0;
    answerWith(Bytes(16).at<uint32_t>(0, 0xCAC4E001).at<uint64_t>(4, 0x0102030405060708ull), 12);
    proxy->reserveCache(&cache, &handle, status);
    expectSent(0x0020550C, Bytes(4).at<int32_t>(0, kWarning), 16);
    EXPECT_EQ(cache, 0xCAC4E001u);
    EXPECT_EQ(handle, 0x0102030405060708ull);

    // visapxipluginapalcodegen.getSpaceInfo: direction bits 2; a u16, two u64.
    auto visa = open<tInterfaceProxy_visapxipluginapalcodegen>();
    uint16_t width = 0;
    uint64_t base = 0, length = 0;
    answerWith(Bytes(32)
                   .at<uint16_t>(0, 0x0020)
                   .at<uint64_t>(8, 0xF000000000000000ull)
                   .at<uint64_t>(16, 0x10000),
               24);
    visa->getSpaceInfo(0x03, &width, &base, &length, status);
    expectSent(0x80208501, Bytes(8).at<uint8_t>(0, 0x03).at<int32_t>(4, kWarning), 32);
    EXPECT_EQ(width, 0x20);
    EXPECT_EQ(base, 0xF000000000000000ull);
    EXPECT_EQ(length, 0x10000u);

    // blockWrite alone has direction bits 1.
    visa->blockWrite(0x01, 0x0202020202020202ull, 0x03030303, 0x04, 0x0505050505050505ull,
                     0x0606060606060606ull, 0x07070707, status);
    expectSent(0x40208503,
               Bytes(48)
                   .at<uint8_t>(0, 0x01)
                   .at(8, 0x0202020202020202ull)
                   .at<uint32_t>(16, 0x03030303)
                   .at<uint8_t>(20, 0x04)
                   .at(24, 0x0505050505050505ull)
                   .at(32, 0x0606060606060606ull)
                   .at<uint32_t>(40, 0x07070707)
                   .at<int32_t>(44, kWarning),
               4);
    visa.reset();  // closes the session
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, 0x80208504u);
    sent.clear();
}

TEST_F(WireBytes, FpgaDriver) {
    auto proxy = open<tInterfaceProxy_atomiczekddkqrx>();

    // configurePersonality: the desired revision right after the u32 at 40.
    uint8_t result = 0;
    answerWith(Bytes(8).at<uint8_t>(0, 0x01), 4);
    proxy->configurePersonality(0x1000000000000001ull, 0x11, 0x2000000000000002ull, 0x22,
                                0x3000000000000003ull, 0x33, 0x44444444, 0x48484848, 1, &result,
                                status);
    expectSent(0x4020830A,
               Bytes(64)
                   .at(0, 0x1000000000000001ull)
                   .at<uint32_t>(8, 0x11)
                   .at(16, 0x2000000000000002ull)
                   .at<uint32_t>(24, 0x22)
                   .at(32, 0x3000000000000003ull)
                   .at<uint32_t>(40, 0x33)
                   .at<uint32_t>(44, 0x44444444)
                   .at<uint32_t>(48, 0x48484848)
                   .at<uint32_t>(52, 1)
                   .at<int32_t>(56, kWarning),
               8);
    EXPECT_EQ(result, 0x01);

    // waitForBytes: the timed-out byte at 8 of the reply, the verdict at 12.
    uint8_t timedOut = 0;
    answerWith(Bytes(16).at<uint64_t>(0, 0x0000123456789ABCull).at<uint8_t>(8, 1), 12);
    EXPECT_EQ(proxy->waitForBytes(0xABCDEF0123456789ull, 5, 0x100000, 2500, &timedOut, status),
              0x0000123456789ABCull);
    expectSent(0x4020832B,
               Bytes(32)
                   .at(0, 0xABCDEF0123456789ull)
                   .at<uint32_t>(8, 5)
                   .at<uint64_t>(16, 0x100000)
                   .at<uint32_t>(24, 2500)
                   .at<int32_t>(28, kWarning),
               16);
    EXPECT_EQ(timedOut, 1);

    // getIoInfo has no direction bits.
    answerWith(Bytes(8).at<uint32_t>(0, 0x600D), 4);
    EXPECT_EQ(proxy->getIoInfo(status), 0x600Du);
    expectSent(0x00208318, Bytes(4).at<int32_t>(0, kWarning), 8);

    // postConfigurationWord: 16 bytes, no status of the caller, no reply block.
    proxy->postConfigurationWord(0x0123456789ABCDEFull, -2);
    expectSent(0x4020830B, Bytes(16).at(0, 0x0123456789ABCDEFull).at<int32_t>(8, -2), 0);
}

// The FPGA driver's proxy reports a verdict with its own file and the line of
// each method; the verdict stands in every 4-byte slot, so the lines do not
// hang on the offsets. A few methods of distinct argument shapes.
TEST_F(WireBytes, FpgaDriverReportLines) {
    auto proxy = open<tInterfaceProxy_atomiczekddkqrx>();
    Bytes everywhere(64);
    for (size_t offset = 0; offset < 64; offset += 4) everywhere.at(offset, kDriverError);
    answer = everywhere.data;
    uint8_t flag = 0;
    const std::pair<uint64_t, std::function<void(tStatus&)>> cases[] = {
        {68, [&](tStatus& s) { proxy->configurePersonality(0, 0, 0, 0, 0, 0, 0, 0, 0, &flag, s); }},
        {96, [&](tStatus& s) { proxy->getAttribute(1, s); }},
        {532, [&](tStatus& s) { proxy->waitOnIrqs(1, 0, &flag, s); }},
        {867, [&](tStatus& s) { proxy->getP2PInfo(0, s); }},
    };
    for (const auto& [line, call] : cases) {
        tStatus s;
        call(s);
        EXPECT_EQ(s.code, kDriverError);
        EXPECT_STREQ(s.component, "qv3377hal");
        EXPECT_STREQ(s.file, "apal_qv3377k/tInterfaceProxy_atomiczekddkqrx");
        EXPECT_EQ(s.line, line);
    }
}

}  // namespace
