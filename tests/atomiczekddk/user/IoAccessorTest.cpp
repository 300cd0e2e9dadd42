// Register I/O by driver requests: the address rules, blocks passed through
// unchanged (also empty ones), driver errors thrown with their source, and
// a driver error while the stack unwinds logged instead of passed off as a
// value.
#include <gtest/gtest.h>

#include <stdexcept>

#include "atomiczekddk/SimulatedFpga.h"
#include "atomiczekddk/shared/Errors.h"
#include "atomiczekddk/user/IoAccessorIoctl.h"
#include "support/TempDir.h"
#include "support/TraceCapture.h"

namespace {

using qvtest::thrownStatus;
using qvzek::user::IoAccessorIoctl;

class IoAccessor : public qvtest::SimulatedFpga {
protected:
    IoAccessorIoctl io{*proxy};
};

TEST_F(IoAccessor, ClearsTheFlagBitsAndRefusesBitZero) {
    EXPECT_EQ(thrownStatus([&] { io.read32(1); }).first, qvzek::kErrorBadRegisterAddress);
    EXPECT_EQ(thrownStatus([&] { io.readBlock(7, 0, 0, 4, 0); }).first,
              qvzek::kErrorBadRegisterAddress);
    EXPECT_TRUE(decoder.requests().empty());  // nothing was sent

    device.setReg(0, 11);
    device.setReg(4, 22);
    EXPECT_EQ(io.read32(2), 11u);
    EXPECT_EQ(io.read32(6), 22u);
    io.write32(0x80000012, 33);
    EXPECT_EQ(device.reg(0x80000010), 33u);
    EXPECT_EQ(calls("atomiczekddk_io.read32").at(1).value("offset"), 4);
    EXPECT_EQ(calls("atomiczekddk_io.write32").at(0).value("offset"), 0x80000010);
}

TEST_F(IoAccessor, PassesBlocksThroughAndSendsEvenAnEmptyOne) {
    uint32_t words[3] = {7, 8, 9};
    io.writeBlock(0x202, reinterpret_cast<uintptr_t>(words), sizeof words, 4, 1);
    EXPECT_EQ(device.reg(0x200), 7u);
    EXPECT_EQ(device.reg(0x208), 9u);
    const auto write = calls("atomiczekddk_io.blockWrite").at(0);
    EXPECT_EQ(write.value("offset"), 0x200);
    EXPECT_EQ(write.value("arg3"), 12);
    EXPECT_EQ(write.value("arg4"), 4);
    EXPECT_EQ(write.value("arg5"), 1);

    io.readBlock(0x200, 0, 0, 4, 0);
    EXPECT_EQ(calls("atomiczekddk_io.blockRead").at(0).value("arg3"), 0);
}

TEST_F(IoAccessor, ThrowsTheDriversErrorWithItsSource) {
    device.failNext("atomiczekddk_io.read32", -61200);
    const auto [code, json] = thrownStatus([&] { io.read32(0x10); });
    EXPECT_EQ(code, -61200);
    EXPECT_NE(json.find("apal_qv3377k/tInterfaceProxy_atomiczekddkqrx"), std::string::npos) << json;
    // A warning is no failure.
    device.failNext("atomiczekddk_io.write32", 61202);
    io.write32(0, 1);
}

// Reads a register in its destructor, as clean-up code does.
struct ReadsWhileUnwinding {
    IoAccessorIoctl& io;
    uint32_t& value;
    ~ReadsWhileUnwinding() { value = io.read32(0x20); }
};

TEST_F(IoAccessor, ADriverErrorWhileUnwindingIsLoggedNotPassedOffAsAValue) {
    qvtest::TraceCapture trace;
    device.setReg(0x20, 5);
    device.failNext("atomiczekddk_io.read32", -61200);
    uint32_t value = 0;
    auto unwind = [&] {
        ReadsWhileUnwinding reader{io, value};
        throw std::runtime_error("first failure");
    };
    EXPECT_THROW(unwind(), std::runtime_error);
    EXPECT_EQ(value, 0xFFFFFFFFu);
    EXPECT_NE(trace.all().find("-61200"), std::string::npos) << trace.all();
}

}  // namespace
