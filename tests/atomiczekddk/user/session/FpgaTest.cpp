#include <chrono>
#include <cstring>

#include "atomiczekddk/shared/Errors.h"
#include "atomiczekddk/user/session/SessionFixture.h"
#include "qverr/Codes.h"

namespace {

using qvtest::codeOf;
using qvtest::kOtherSignature;
using qvtest::kSampleSignature;
using qvzek::user::kOpenDoNotRun;
using qvzek::user::kOpenKeepAttachment;
using qvzek::user::kOpenSkipSignatureCheck;
namespace control = qvzek::user::control;

class FpgaObject : public qvtest::FpgaOnDevice {
protected:
    std::shared_ptr<const qvzek::user::OpenedImage> openOn(
        std::shared_ptr<const qvzek::Bitfile> image, uint32_t attributes, uint64_t session = 1,
        const char* signature = nullptr) {
        qvzek::PersonalityRecord record;
        return fpga->open(image, io, checker, configurer, record,
                          signature ? signature : image->getSignature().c_str(), attributes,
                          session);
    }
};

TEST_F(FpgaObject, OpenMatrix) {
    struct Row {
        bool attached;     // an image is attached before
        bool sameImage;    // the new image has the attached one's signature
        bool keepOnly;     // attributes bit 25 on the second open
        bool fifosBuilt;   // the first open built FIFOs
        bool personality;  // the configurer reports a new personality
        bool attaches;
    };
    const Row rows[] = {
        {false, false, false, false, false, true}, {false, false, true, false, false, true},
        {true, true, false, true, false, false},   {true, true, true, true, false, false},
        {true, true, true, false, false, false},   {true, true, false, false, false, true},
        {true, false, false, true, false, true},   {true, false, true, true, false, false},
        {true, true, false, true, true, true},     {true, false, true, false, true, true},
    };
    const auto first = bitfile();
    const auto second = bitfile("", kOtherSignature);
    for (const Row& row : rows) {
        auto fresh = fpga = newFpga();
        configurer.changes = false;
        std::shared_ptr<const qvzek::user::OpenedImage> before;
        if (row.attached)
            before = openOn(first, kOpenDoNotRun | (row.fifosBuilt ? 0 : kOpenKeepAttachment));
        configurer.changes = row.personality;
        const auto after = openOn(row.sameImage ? first : second,
                                  kOpenDoNotRun | (row.keepOnly ? kOpenKeepAttachment : 0));
        EXPECT_EQ(after != before, row.attaches)
            << row.attached << row.sameImage << row.keepOnly << row.fifosBuilt << row.personality;
        // Attaching without bit 25 builds the host FIFOs of channels 0 and 2.
        if (row.attaches) {
            EXPECT_EQ(fresh->fifoCount(), row.keepOnly ? 0u : 5u);
        }
    }
}

TEST_F(FpgaObject, SignatureAndTargetChecks) {
    const auto image = bitfile();
    EXPECT_EQ(codeOf([&] { openOn(image, kOpenDoNotRun, 1, "0123456789ABCDEF00112233"); }),
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(codeOf([&] { openOn(image, kOpenDoNotRun, 1, kOtherSignature); }),
              qvzek::kErrorSignatureMismatch);
    qvzek::PersonalityRecord record;
    EXPECT_EQ(codeOf([&] { fpga->open(image, io, checker, configurer, record, nullptr, 0, 1); }),
              qvzek::kErrorSignatureMismatch);
    EXPECT_EQ(codeOf([&] { openOn(image, kOpenDoNotRun | kOpenSkipSignatureCheck, 1, "junk"); }),
              0);
    checker.compatible = false;
    EXPECT_EQ(codeOf([&] { openOn(image, kOpenDoNotRun | kOpenSkipSignatureCheck, 1, "junk"); }),
              qvzek::kErrorTargetClass);
    // No failure left the lock taken.
    EXPECT_EQ(fpga->lock().count(), 1u);
    EXPECT_FALSE(fpga->lock().writerPending());
}

TEST_F(FpgaObject, RunAndControlRegister) {
    openOn(bitfile(), 0);
    EXPECT_EQ(device.runState(), control::kStateRunning);
    const size_t writes = count("atomiczekddk_io.write32");
    uint8_t already = 0;
    fpga->run(&already);
    EXPECT_EQ(already, 1);
    EXPECT_EQ(count("atomiczekddk_io.write32"), writes);

    device.setRunState(control::kStateNotRunning);
    device.setNeverRuns(true);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(codeOf([&] { fpga->run(nullptr); }), qvzek::kErrorBusy);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    device.setNeverRuns(false);

    const struct {
        uint32_t bits;
        int32_t code;
    } errors[] = {{control::kErrorBit6, qvzek::kErrorControlBit6},
                  {control::kErrorBit4, qvzek::kErrorFpgaStatusFault},
                  {control::kErrorBit7, qvzek::kErrorControlBit7},
                  {control::kErrorBit6 | control::kErrorBit4, qvzek::kErrorControlBit6}};
    for (auto& e : errors) {
        device.setErrorBits(e.bits);
        EXPECT_EQ(codeOf([&] { fpga->checkState(); }), e.code) << e.bits;
    }
    device.setErrorBits(0);
    device.setRunState(control::kStateInvalid);
    EXPECT_EQ(codeOf([&] { fpga->checkState(); }), qvzek::kErrorInvalidState);
    device.setUnreachable(true);
    EXPECT_EQ(codeOf([&] { fpga->checkState(); }), qvzek::kErrorDeviceUnreachable);
    device.setUnreachable(false);
    device.setRunState(control::kStateNotRunning);
    EXPECT_EQ(fpga->checkState(), control::kStateNotRunning);
    device.setRunState(control::kStateAborted);
    EXPECT_EQ(fpga->checkState(), control::kStateAborted);
    EXPECT_EQ(fpga->diagramState(), control::kStateAborted);
    device.setRunState(control::kStateNotRunning);

    // Stopped by abort: images that remove the enable refuse to run again.
    fpga = newFpga();
    openOn(std::make_shared<const qvzek::Bitfile>(
               qvtest::readTextFile(std::string(QV_BITFILE_CORPUS) + "/sample.xml"), false, true,
               false),
           kOpenDoNotRun);
    device.setRunState(control::kStateAborted);
    EXPECT_EQ(codeOf([&] { fpga->run(nullptr); }), qvzek::kErrorRunImplicitEnable);
    EXPECT_EQ(codeOf([&] { fpga->reset(); }), qvzek::kErrorResetImplicitEnable);
    EXPECT_EQ(codeOf([&] { fpga->abort(); }), qvzek::kErrorAbortImplicitEnable);
}

TEST_F(FpgaObject, ResetAndAbortClearEveryFifoAndReleaseTheLock) {
    openOn(bitfile(), 0);
    fpga->reset();
    EXPECT_EQ(device.runState(), control::kStateNotRunning);
    std::vector<uint32_t> closed;
    for (auto& request : decoder.requests()) {
        if (request.name() == "atomiczekddk_fifo.closeFifo")
            closed.push_back(request.get<uint32_t>("fifo"));
    }
    EXPECT_EQ(closed, (std::vector<uint32_t>{0, 2}));
    fpga->abort();
    EXPECT_EQ(device.runState(), control::kStateAborted);
    EXPECT_EQ(count("atomiczekddk_fifo.closeFifo"), 4u);
    EXPECT_EQ(count("atomiczekddk_configuration.command0D"), 2u);

    device.failNext("atomiczekddk_configuration.reset", -50123);
    EXPECT_EQ(codeOf([&] { fpga->reset(); }), -50123);
    EXPECT_EQ(fpga->lock().count(), 1u);
    EXPECT_FALSE(fpga->lock().writerPending());

    EXPECT_EQ(codeOf([&] { fpga->fifo(1); }), qverr::qvapalerr_invalidParameter);  // peer to peer
    EXPECT_EQ(codeOf([&] { fpga->fifo(5); }), qverr::qvapalerr_invalidParameter);
    EXPECT_NE(fpga->fifo(2), nullptr);
}

TEST_F(FpgaObject, AResetDropsAcquiredElementsAndResetsEveryFifo) {
    openOn(bitfile(), 0);
    device.describeFifo(0, 8, qvzek::kFifoHostToTarget);
    auto fifo = fpga->fifo(0);
    void* elements = nullptr;
    uint8_t timedOut = 1;
    uint64_t acquired = 0;
    fifo->acquireWriteElements(qvzek::TypeU64(), &elements, 2, 2000, &timedOut, &acquired, nullptr,
                               0);
    ASSERT_EQ(acquired, 2u);

    fpga->reset();
    std::vector<uint32_t> closed;
    for (auto& request : decoder.requests()) {
        if (request.name() == "atomiczekddk_fifo.closeFifo")
            closed.push_back(request.get<uint32_t>("fifo"));
    }
    EXPECT_EQ(closed, (std::vector<uint32_t>{0, 2}));
    // Stopped, nothing acquired: the stale elements go nowhere near the device.
    EXPECT_EQ(fifo->getPropertyU64(qvzek::fifo_properties::kElementsAcquired), 0u);
    EXPECT_EQ(codeOf([&] { fifo->releaseElements(2); }), qvzek::kErrorFifoCountTooLarge);
    EXPECT_EQ(count("atomiczekddk_fifo.releaseBytes"), 0u);
    fifo->setPropertyU64(qvzek::fifo_properties::kDepth, 4096);  // refused while started

    // A FIFO whose reset fails leaves the later ones reset all the same.
    device.failNext("atomiczekddk_fifo.stopFifo", -50123);
    EXPECT_EQ(codeOf([&] { fpga->reset(); }), -50123);
    EXPECT_EQ(count("atomiczekddk_fifo.closeFifo"), 3u);
    EXPECT_EQ(calls("atomiczekddk_fifo.closeFifo").back().get<uint32_t>("fifo"), 2u);
    EXPECT_EQ(fpga->lock().count(), 1u);
}

TEST_F(FpgaObject, MemoryAcquiredBeforeAResetStaysValidAndIsNeverTheDevicesAgain) {
    openOn(bitfile(), 0);
    device.describeFifo(0, 8, qvzek::kFifoHostToTarget);
    auto fifo = fpga->fifo(0);
    // Without a mirror the ring is a plain heap buffer, every byte of which
    // the memory checker watches.
    fifo->setPropertyU64(qvzek::fifo_properties::kMirrorSize, 0);
    uint64_t* elements = nullptr;
    uint64_t acquired = 0;
    fifo->acquireWriteElements(qvzek::TypeU64(), reinterpret_cast<void**>(&elements), 2, 2000,
                               nullptr, &acquired, nullptr, 0);
    ASSERT_EQ(acquired, 2u);
    fpga->reset();
    // The caller's thread still fills what it acquired: pointless, never fatal.
    elements[0] = 7;
    elements[1] = 7;

    // Started again on a new buffer; the stale elements stay refused.
    fifo->setPropertyU64(qvzek::fifo_properties::kMirrorSize, 0);
    fifo->start(0);
    const auto configured = calls("atomiczekddk_fifo.configureFifo");
    ASSERT_FALSE(configured.empty());
    uint64_t words[4];
    std::memcpy(words, configured.back().in("words").data(), sizeof words);
    EXPECT_NE(words[0], reinterpret_cast<uint64_t>(elements));
    EXPECT_EQ(device.fifo(0).address, words[0]);
    EXPECT_EQ(codeOf([&] { fifo->releaseElements(2); }), qvzek::kErrorFifoCountTooLarge);
    EXPECT_EQ(count("atomiczekddk_fifo.releaseBytes"), 0u);

    // The new ring works, and a region outstanding at the next reset is kept
    // the same way.
    uint64_t handle = 0;
    uint64_t* region = nullptr;
    fifo->acquireWriteRegion(qvzek::TypeU64(), &handle, reinterpret_cast<void**>(&region), 2, 2000,
                             nullptr, &acquired, nullptr, 0);
    ASSERT_EQ(acquired, 2u);
    EXPECT_EQ(reinterpret_cast<uint64_t>(region), words[0]);
    region[0] = 0;
    region[1] = 1;
    fifo->releaseRegion(reinterpret_cast<uint64_t*>(handle));
    EXPECT_EQ(count("atomiczekddk_fifo.releaseBytes"), 1u);
    EXPECT_EQ(device.fifo(0).mismatches, 0u);
    fifo->acquireWriteRegion(qvzek::TypeU64(), &handle, reinterpret_cast<void**>(&region), 2, 2000,
                             nullptr, &acquired, nullptr, 0);
    fpga->reset();
    region[0] = 7;
    region[1] = 7;
    EXPECT_EQ(codeOf([&] { fifo->releaseRegion(reinterpret_cast<uint64_t*>(handle)); }),
              qvzek::kErrorFifoCountTooLarge);
    EXPECT_EQ(count("atomiczekddk_fifo.releaseBytes"), 1u);
}

TEST_F(FpgaObject, ResetNeedsSupport) {
    std::string text = qvtest::readTextFile(std::string(QV_BITFILE_CORPUS) + "/sample.xml");
    text = qvtest::replacedOnce(text, "<AllowImplicitEnableRemoval>TRUE",
                                "<AllowImplicitEnableRemoval>false");
    openOn(std::make_shared<const qvzek::Bitfile>(text, false, true, false), kOpenDoNotRun);
    EXPECT_EQ(codeOf([&] { fpga->reset(); }), qvzek::kErrorNotSupported);
    EXPECT_EQ(count("atomiczekddk_configuration.command0D"), 0u);
}

TEST_F(FpgaObject, AnotherImageWaitsUntilNoOtherSessionHoldsTheFifos) {
    const auto first = openOn(bitfile(), kOpenDoNotRun, 1);
    auto fifo = fpga->fifo(2);
    EXPECT_EQ(codeOf([&] { openOn(bitfile("", kOtherSignature), kOpenDoNotRun, 2); }),
              qvzek::kErrorBusy);
    EXPECT_EQ(fpga->image(), first);
    // The same image is no replacement.
    EXPECT_EQ(openOn(bitfile(), kOpenDoNotRun, 2), first);
    fpga->detachSessionFromFifos(1);
    fpga->detachSessionFromFifos(2);
    EXPECT_NE(openOn(bitfile("", kOtherSignature), kOpenDoNotRun, 3), first);
    // What the earlier session held stays whole.
    EXPECT_EQ(first->bitfile->getSignature(), kSampleSignature);
    EXPECT_NE(dynamic_cast<qvzek::Fifo*>(fifo.get()), nullptr);
}

TEST_F(FpgaObject, Reservations) {
    struct Counted : qvzek::user::IReservation {
        explicit Counted(int& n) : n(n) {}
        ~Counted() override { ++n; }
        int& n;
    };
    int destroyed = 0;
    fpga->addReservation(7, std::make_unique<Counted>(destroyed));
    EXPECT_EQ(codeOf([&] { fpga->addReservation(7, std::make_unique<Counted>(destroyed)); }),
              qvzek::kErrorBusy);
    EXPECT_EQ(destroyed, 1);
    fpga->removeReservation(7);
    EXPECT_EQ(destroyed, 2);
    EXPECT_EQ(codeOf([&] { fpga->removeReservation(7); }), qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(fpga->removeReservationNoThrow(7), qverr::qvapalerr_resourceNotFound);
}

}  // namespace
