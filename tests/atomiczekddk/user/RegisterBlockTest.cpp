// Typed register access through the register I/O accessor: 32-bit types as
// they are, 64-bit ones high word first on the bus, and the status check of
// a checked access.
#include <gtest/gtest.h>

#include <limits>

#include "atomiczekddk/SimulatedFpga.h"
#include "atomiczekddk/shared/ReadWriteBlockHelpers.h"
#include "atomiczekddk/user/IoAccessorIoctl.h"
#include "support/TempDir.h"

namespace {

using qvtest::thrownStatus;

constexpr uint32_t kStatusRegister = 0x40;

class RegisterBlocks : public qvtest::SimulatedFpga {
protected:
    qvzek::RegisterBlockAccessor access{std::make_shared<qvzek::user::IoAccessorIoctl>(*proxy), kStatusRegister};
};

TEST_F(RegisterBlocks, SixtyFourBitValuesTravelHighWordFirst) {
    access.write<uint64_t>(0x100, 0x0000000100000002ull, false);
    EXPECT_EQ(device.reg(0x100), 1u);
    EXPECT_EQ(device.reg(0x104), 2u);
    EXPECT_EQ(calls("atomiczekddk_io.blockWrite").at(0).value("arg4"), 4);  // access width
    EXPECT_EQ(access.read<uint64_t>(0x100, false), 0x0000000100000002ull);

    const int64_t values[2] = {-2, 0x123456789ABCDEF0};
    access.writeArray(0x200, values, 2, false);
    EXPECT_EQ(device.reg(0x200), 0xFFFFFFFFu);
    EXPECT_EQ(device.reg(0x204), 0xFFFFFFFEu);
    EXPECT_EQ(device.reg(0x208), 0x12345678u);
    EXPECT_EQ(device.reg(0x20C), 0x9ABCDEF0u);
    int64_t back[2] = {};
    access.readArray(0x200, back, 2, false);
    EXPECT_EQ(back[0], -2);
    EXPECT_EQ(back[1], 0x123456789ABCDEF0);
    EXPECT_EQ(values[0], -2);  // the caller's array is left as it was

    access.write(0x300, 1.5, false);
    EXPECT_EQ(access.read<double>(0x300, false), 1.5);
}

TEST_F(RegisterBlocks, ThirtyTwoBitTypesUseSingleRegistersOrOneBlock) {
    access.write<float>(0x10, 2.5f, false);
    EXPECT_EQ(calls("atomiczekddk_io.write32").size(), 1u);
    EXPECT_EQ(access.read<float>(0x10, false), 2.5f);
    const int32_t values[3] = {-1, 2, -3};
    access.writeArray(0x20, values, 3, false);
    EXPECT_EQ(calls("atomiczekddk_io.blockWrite").at(0).value("arg3"), 12);
    int32_t back[3] = {};
    access.readArray(0x20, back, 3, false);
    EXPECT_EQ(back[2], -3);
    // An empty array still goes to the driver.
    access.readArray<uint32_t>(0x20, nullptr, 0, false);
    EXPECT_EQ(calls("atomiczekddk_io.blockRead").size(), 2u);
}

TEST_F(RegisterBlocks, ACheckedAccessReadsTheStatusRegisterAfterwards) {
    device.setReg(0x10, 77);
    EXPECT_EQ(access.read<uint32_t>(0x10, true), 77u);
    device.setReg(kStatusRegister, 0x10);
    decoder.clear();
    EXPECT_EQ(thrownStatus([&] { access.read<uint32_t>(0x10, true); }).first, -61046);
    const auto reads = calls("atomiczekddk_io.read32");
    ASSERT_EQ(reads.size(), 2u);  // the value first, then the status
    EXPECT_EQ(reads[0].value("offset"), 0x10);
    EXPECT_EQ(reads[1].value("offset"), kStatusRegister);
    EXPECT_EQ(access.read<uint32_t>(0x10, false), 77u);  // unchecked: no status read
    EXPECT_EQ(thrownStatus([&] { access.write<uint64_t>(0x10, 1, true); }).first, -61046);
}

TEST_F(RegisterBlocks, AnArrayBeyondTheDriversByteCountIsRefused) {
    const size_t tooMany = std::numeric_limits<uint32_t>::max() / 4 + 1;
    EXPECT_EQ(thrownStatus([&] { access.readArray<uint32_t>(0, nullptr, tooMany, false); }).first, -52005);
    EXPECT_TRUE(decoder.requests().empty());
}

}  // namespace
