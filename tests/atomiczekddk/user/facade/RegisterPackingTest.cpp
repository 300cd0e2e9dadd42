// Packing of Bool, 8- and 16-bit register arrays into 32-bit words, against
// word layouts worked out by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "atomiczekddk/user/facade/RegisterPacking.h"
#include "qverr/Exception.h"

namespace qvtest {

// Registers as 32-bit words from address 0x100 on; records every access.
class PackingRegisters : public qvzek::user::IIoAccessor {
public:
    std::vector<uint32_t> words = std::vector<uint32_t>(16, 0);
    std::vector<std::string> log;

    uint32_t read32(uint32_t address) override {
        log.push_back("read32");
        return words.at((address - 0x100) / 4);
    }
    void write32(uint32_t address, uint32_t value) override {
        log.push_back("write32");
        words.at((address - 0x100) / 4) = value;
    }
    void readBlock(uint32_t address, uint64_t buffer, uint32_t bytes, uint32_t width, uint32_t) override {
        log.push_back("readBlock " + std::to_string(bytes) + " " + std::to_string(width));
        if (words.size() * 4 < bytes) words.resize(bytes / 4);
        std::memcpy(reinterpret_cast<void*>(buffer), words.data() + (address - 0x100) / 4, bytes);
    }
    void writeBlock(uint32_t address, uint64_t buffer, uint32_t bytes, uint32_t width, uint32_t) override {
        log.push_back("writeBlock " + std::to_string(bytes) + " " + std::to_string(width));
        if (words.size() * 4 < bytes) words.resize(bytes / 4);
        std::memcpy(words.data() + (address - 0x100) / 4, reinterpret_cast<const void*>(buffer), bytes);
    }
};

TEST(RegisterPacking, BoolArraysOfOneWordAndMore) {
    namespace rp = qvzek::registerpacking;
    PackingRegisters io;
    io.words[0] = 0x80000001;
    std::vector<uint8_t> bools(32);
    rp::readArray<1>(io, 0x100, bools.data(), bools.size());
    EXPECT_EQ(io.log, std::vector<std::string>{"read32"});
    EXPECT_EQ(bools[0], 1);
    EXPECT_EQ(bools[31], 1);
    EXPECT_EQ(bools[1], 0);

    io.log.clear();
    io.words[0] = 0;
    io.words[1] = 0x80000000;
    bools.assign(33, 7);
    rp::readArray<1>(io, 0x100, bools.data(), bools.size());
    EXPECT_EQ(io.log, std::vector<std::string>{"readBlock 8 4"});
    EXPECT_EQ(bools[32], 1);  // bit 31 of the second word
    EXPECT_EQ(bools[0], 0);

    io.log.clear();
    std::vector<uint8_t> out(33, 0);
    out[0] = 1;
    out[32] = 3;  // only bit 0 travels
    rp::writeArray<1>(io, 0x100, out.data(), out.size());
    EXPECT_EQ(io.log, std::vector<std::string>{"writeBlock 8 4"});
    EXPECT_EQ(io.words[0], 0x80000000u);
    EXPECT_EQ(io.words[1], 0x80000000u);
}

TEST(RegisterPacking, ByteAndHalfWordArrays) {
    namespace rp = qvzek::registerpacking;
    PackingRegisters io;
    io.words[0] = 0x00AABBCC;
    uint8_t three[3] = {};
    rp::readArray<8>(io, 0x100, three, 3);
    EXPECT_EQ(three[0], 0xAA);  // bits 16-23
    EXPECT_EQ(three[2], 0xCC);  // bits 0-7

    io.words[0] = 0x01020304;
    io.words[1] = 0x05000000;
    uint8_t five[5] = {};
    rp::readArray<8>(io, 0x100, five, 5);
    EXPECT_EQ(five[0], 1);
    EXPECT_EQ(five[3], 4);
    EXPECT_EQ(five[4], 5);  // bits 24-31 of the second word

    int8_t signedBytes[2] = {-1, -2};
    rp::writeArray<8>(io, 0x100, signedBytes, 2);
    EXPECT_EQ(io.words[0], 0x0000FFFEu);
    rp::readArray<8>(io, 0x100, signedBytes, 2);
    EXPECT_EQ(signedBytes[1], -2);

    uint16_t one = 0xBEEF;
    rp::writeArray<16>(io, 0x100, &one, 1);
    EXPECT_EQ(io.words[0], 0x0000BEEFu);
    uint16_t halves[3] = {0x1111, 0x2222, 0x3333};
    rp::writeArray<16>(io, 0x100, halves, 3);
    EXPECT_EQ(io.words[0], 0x11112222u);
    EXPECT_EQ(io.words[1], 0x33330000u);
}

TEST(RegisterPacking, CountZeroStillMovesOneWord) {
    namespace rp = qvzek::registerpacking;
    PackingRegisters io;
    io.words[0] = 0xFFFFFFFF;
    rp::writeArray<1>(io, 0x100, static_cast<const uint8_t*>(nullptr), 0);
    EXPECT_EQ(io.words[0], 0u);
    rp::readArray<16>(io, 0x100, static_cast<uint16_t*>(nullptr), 0);
    EXPECT_EQ(io.log, (std::vector<std::string>{"write32", "read32"}));
}

TEST(RegisterPacking, LargeArraysPackOnTheHeapAndHugeOnesAreRefused) {
    namespace rp = qvzek::registerpacking;
    PackingRegisters io;
    std::vector<uint8_t> big(16 << 20);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    rp::writeArray<8>(io, 0x100, big.data(), big.size());
    std::vector<uint8_t> back(big.size());
    rp::readArray<8>(io, 0x100, back.data(), back.size());
    EXPECT_EQ(back, big);
    EXPECT_EQ(io.words[0], 0x00070E15u);

    io.log.clear();
    try {
        rp::readArray<16>(io, 0x100, static_cast<uint16_t*>(nullptr), size_t{1} << 31);
        FAIL() << "a transfer of 4 GiB was not refused";
    } catch (const qverr::Exception& e) {
        EXPECT_EQ(e.status.code, -52005);
    }
    EXPECT_TRUE(io.log.empty());
}

}  // namespace qvtest
