// The facade as a host compiled elsewhere sees it: a pointer whose first
// word is a table of functions, called by position with the status record
// last. Every position answers as the operation the binary interface puts
// there.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <new>
#include <set>

#include "FacadeFixture.h"
#include "atomiczekddk/shared/Errors.h"
#include "qverr/Codes.h"
#include "zekhost/ZekHost.h"

namespace qvtest {

namespace host {

using zekhost::entry;
namespace slot = zekhost::session;

// Calls position `position` with `integers` zero integer or pointer
// arguments before the status.
void callZeros(void* object, size_t position, size_t integers, nQVAPALS100::tStatus* status) {
    if (!zekhost::callZeros(object, position, integers, status))
        FAIL() << "no call shape for " << integers;
}

// Integer arguments before the status, by position, of every operation that
// takes a status and needs an opened session.
std::map<size_t, size_t> sessionOperations() {
    std::map<size_t, size_t> shapes;
    for (size_t p = 6; p <= 16; ++p) shapes[p] = 2;
    for (size_t p = 17; p <= 25; ++p) shapes[p] = 3;
    shapes[26] = shapes[27] = 2;  // writeSgl, writeDbl: the value is in a vector register
    for (size_t p = 28; p <= 49; ++p) shapes[p] = 4;
    shapes[50] = 1;
    shapes[51] = shapes[52] = 0;
    shapes[53] = 2;
    shapes[54] = shapes[55] = 0;
    shapes[56] = 3;
    shapes[57] = 1;
    shapes[58] = 3;
    shapes[59] = shapes[60] = 1;
    for (size_t p = 61; p <= 82; ++p) shapes[p] = 6;
    for (size_t p = 83; p <= 104; ++p) shapes[p] = 7;
    shapes[105] = 2;
    shapes[106] = 0;
    shapes[108] = 2;
    shapes[109] = shapes[110] = 3;
    shapes[111] = 2;
    shapes[112] = 6;
    shapes[115] = shapes[116] = 4;
    shapes[117] = 1;
    shapes[118] = 0;
    shapes[119] = shapes[120] = 7;
    shapes[121] = shapes[122] = 8;
    shapes[124] = shapes[125] = 10;
    shapes[126] = 2;
    shapes[127] = 1;
    shapes[128] = shapes[129] = 5;
    shapes[130] = 9;
    return shapes;
}

}  // namespace host

using VtableHost = FacadeOnDevice;

TEST_F(VtableHost, EveryPositionIsItsOwnOperation) {
    qvzek::FpgaSession facade(nullptr, this);
    void* object = static_cast<qvzek::IFpgaSession*>(&facade);

    EXPECT_EQ(zekhost::FpgaSession(object).interfaceVersion(), 5u);
    EXPECT_EQ(reinterpret_cast<uint32_t (*)(void*)>(host::entry(object, 123))(object), 1u);

    nQVAPALS100::tStatus status;
    reinterpret_cast<bool (*)(void*, uint64_t, uint64_t, nQVAPALS100::tStatus*)>(
        host::entry(object, 107))(object, 0, 0, &status);
    EXPECT_EQ(status.code, qvzek::kErrorNotSupported);

    status = {};
    auto* traditional = reinterpret_cast<void* (*)(void*, int32_t, nQVAPALS100::tStatus*)>(
        host::entry(object, 1))(object, 1, &status);
    EXPECT_EQ(traditional, nullptr);
    EXPECT_EQ(status.code, qvzek::kErrorNotSupported);

    status = {};
    EXPECT_EQ(reinterpret_cast<void* (*)(void*, nQVAPALS100::tStatus*)>(host::entry(object, 2))(
                  object, &status),
              nullptr);
    EXPECT_EQ(status.code, qverr::qvapalerr_resourceNotInitialized);

    status = {};
    reinterpret_cast<void (*)(void*, const char*, const char*, uint32_t, nQVAPALS100::tStatus*)>(
        host::entry(object, 3))(object, nullptr, nullptr, 0x22000000, &status);
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);

    // Before the open every operation reports -52010 at a line of its own.
    std::map<uint64_t, size_t> lines;
    for (const auto& [position, integers] : host::sessionOperations()) {
        nQVAPALS100::tStatus each;
        host::callZeros(object, position, integers, &each);
        EXPECT_EQ(each.code, qverr::qvapalerr_resourceNotInitialized) << "position " << position;
        const auto [at, fresh] = lines.emplace(each.line, position);
        EXPECT_TRUE(fresh) << "positions " << at->second << " and " << position << " share line "
                           << each.line;
    }
    EXPECT_EQ(lines.size(), 121u);  // 6 to 130 but 107, 113, 114 and 123

    // The positions the binary interface names, against the operations
    // called by name.
    const std::map<size_t, std::function<void(nQVAPALS100::tStatus&)>> named = {
        {6, [&](auto& s) { facade.readBool(0, false, s); }},
        {16, [&](auto& s) { facade.readDbl(0, false, s); }},
        {27, [&](auto& s) { facade.writeDbl(0, 0.0, false, s); }},
        {28, [&](auto& s) { facade.readArrayBool(0, nullptr, 0, false, s); }},
        {49, [&](auto& s) { facade.writeArrayDbl(0, nullptr, 0, false, s); }},
        {50, [&](auto& s) { facade.download(nullptr, s); }},
        {61, [&](auto& s) { facade.readFifoBool(0, nullptr, 0, 0, nullptr, nullptr, s); }},
        {104,
         [&](auto& s) {
             facade.acquireFifoWriteElementsDbl(0, nullptr, 0, 0, nullptr, nullptr, nullptr, s);
         }},
        {112, [&](auto& s) { facade.mapHostMemory(0, 0, 0, 0, nullptr, 0, s); }},
        {115, [&](auto& s) { facade.setFifoProperty(0, 0, 0, nullptr, s); }},
        {118, [&](auto& s) { facade.getRunState(s); }},
        {122,
         [&](auto& s) {
             facade.acquireFifoWriteElementsComposite(0, nullptr, 0, 0, 0, nullptr, nullptr,
                                                      nullptr, s);
         }},
        {127, [&](auto& s) { facade.resetFifo(0, s); }},
        {130,
         [&](auto& s) {
             facade.openHostMemoryBufferRegion(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                               nullptr, nullptr, nullptr, s);
         }},
    };
    for (const auto& [position, call] : named) {
        nQVAPALS100::tStatus direct;
        call(direct);
        EXPECT_EQ(lines[direct.line], position);
    }
}

TEST_F(VtableHost, OpenedFacadeThroughItsTable) {
    FacadeOwner owner{opened()};
    const zekhost::FpgaSession host(static_cast<qvzek::IFpgaSession*>(owner.facade));
    device.setReg(0x8018, 0xCAFE);
    nQVAPALS100::tStatus status;
    EXPECT_EQ(host.read<uint32_t>(0x8018, status), 0xCAFEu);
    host.write<uint32_t>(0x801C, 0xBEEF, status);
    EXPECT_EQ(device.reg(0x801C), 0xBEEFu);
    uint32_t words[4] = {};
    size_t count = 4;
    reinterpret_cast<void (*)(void*, uint32_t*, size_t*, nQVAPALS100::tStatus*)>(
        host::entry(host.object(), 108))(host.object(), words, &count, &status);
    EXPECT_EQ(words[3], 0xDEADBEEFu);
    EXPECT_EQ(host.runState(status), 2u);
    uint32_t fifo = 99;
    host.findFifo("acq.fetch fifo 0", 0xFFFFFFFF, &fifo, status);
    EXPECT_EQ(status.code, 0);
    host.findFifo("no such fifo", 0xFFFFFFFF, &fifo, status);
    EXPECT_EQ(status.code, qverr::qvapalerr_resourceNotFound);
}

// The host view's positions, as the binary interface numbers them.
TEST(VtableHostView, PositionsOfTheSession) {
    namespace slot = host::slot;
    const std::map<size_t, size_t> positions = {
        {slot::kGetInterfaceVersion, 0},
        {slot::kOpen, 3},
        {slot::kRelease, 4},
        {slot::kClose, 5},
        {slot::kRead + slot::kBool, 6},
        {slot::kRead + slot::kU32, 9},
        {slot::kRead + slot::kDbl, 16},
        {slot::kWrite + slot::kBool, 17},
        {slot::kWrite + slot::kDbl, 27},
        {slot::kReadArray, 28},
        {slot::kWriteArray, 39},
        {slot::kDownload, 50},
        {slot::kRun, 53},
        {slot::kReserveIrqContext, 54},
        {slot::kUnreserveIrqContext, 55},
        {slot::kWaitOnIrqs, 56},
        {slot::kAcknowledgeIrqs, 57},
        {slot::kConfigureFifo, 58},
        {slot::kStartFifo, 59},
        {slot::kStopFifo, 60},
        {slot::kReadFifo + slot::kU8, 62},
        {slot::kReadFifo + slot::kI16, 67},
        {slot::kWriteFifo + slot::kU64, 76},
        {slot::kWriteFifo + slot::kI64, 80},
        {slot::kAcquireFifoReadElements + slot::kBool, 83},
        {slot::kAcquireFifoWriteElements + slot::kDbl, 104},
        {slot::kReleaseFifoElements, 105},
        {slot::kFindRegister, 109},
        {slot::kFindFifo, 110},
        {slot::kGetP2PEndpointId, 111},
        {slot::kDestructor, 113},
        {slot::kDeletingDestructor, 114},
        {slot::kSetFifoProperty, 115},
        {slot::kGetFifoProperty, 116},
        {slot::kCommitFifoConfiguration, 117},
        {slot::kGetRunState, 118},
        {slot::kGetFixedFlag, 123},
        {slot::kResetFifo, 127},
    };
    for (const auto& [view, part] : positions) EXPECT_EQ(view, part);
}

TEST_F(VtableHost, DestructorsAndReleasesLetTheDeviceGo) {
    auto device = std::make_shared<int>(0);
    auto owner = std::shared_ptr<const qvzek::DeviceInfo>(
        device, reinterpret_cast<const qvzek::DeviceInfo*>(device.get()));

    alignas(qvzek::FpgaSession) unsigned char storage[sizeof(qvzek::FpgaSession)];
    void* placed = static_cast<qvzek::IFpgaSession*>(new (storage) qvzek::FpgaSession(owner, this));
    EXPECT_EQ(device.use_count(), 3);
    reinterpret_cast<void (*)(void*)>(host::entry(placed, 113))(placed);  // destructor
    EXPECT_EQ(device.use_count(), 2);

    void* deleting = static_cast<qvzek::IFpgaSession*>(new qvzek::FpgaSession(owner, this));
    reinterpret_cast<void (*)(void*)>(host::entry(deleting, 114))(deleting);  // deleting destructor
    EXPECT_EQ(device.use_count(), 2);

    void* released = static_cast<qvzek::IFpgaSession*>(new qvzek::FpgaSession(owner, this));
    reinterpret_cast<void (*)(void*)>(host::entry(released, 4))(released);
    EXPECT_EQ(device.use_count(), 2);

    void* closed = static_cast<qvzek::IFpgaSession*>(opened());
    nQVAPALS100::tStatus earlier;
    earlier.setCode(-1, "x", "y", 1);
    reinterpret_cast<void (*)(void*, uint32_t, nQVAPALS100::tStatus*)>(host::entry(closed, 5))(
        closed, 1, &earlier);
    EXPECT_EQ(earlier.code, -1);  // gone all the same: the leak checker would tell
}

}  // namespace qvtest
