#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "atomiczekddk/shared/Errors.h"
#include "atomiczekddk/user/session/SessionFixture.h"
#include "qverr/Codes.h"

namespace {

using qvtest::codeOf;
using qvtest::hmbBlock;
using qvtest::hmbElement;
using qvtest::kIrqStatusAddress;
using qvzek::user::kWaitForever;
namespace control = qvzek::user::control;

class SessionOnDevice : public qvtest::FpgaOnDevice {
protected:
    // Index of the first request of `method` in the call log at or after `from`.
    size_t indexOf(const std::string& method, size_t from = 0) const {
        const auto requests = decoder.requests();
        for (size_t i = from; i < requests.size(); ++i) {
            if (requests[i].name() == method) return i;
        }
        return SIZE_MAX;
    }
};

// Signature, look-ups and register access are checked through the facade,
// FIFO numbers through the FPGA object.
TEST_F(SessionOnDevice, OpensRunsAndAnswersFromTheImage) {
    auto session = open(bitfile());
    EXPECT_EQ(device.runState(), control::kStateRunning);
    EXPECT_EQ(session->getRunState(), control::kStateRunning);
    EXPECT_EQ(session->endpointCount(), 2u);
    device.raiseIrqs(0x3);
    session->acknowledgeIrqs(0x1);
    EXPECT_EQ(device.assertedIrqs(), 0x2u);
}

// A finite read is checked through the facade.
TEST_F(SessionOnDevice, InfiniteFifoCallsAreServedInSlicesAndStillReturnTheirData) {
    device.describeFifo(2, 2, 0);
    auto session = open(bitfile());
    int16_t data[16] = {};
    uint8_t timedOut = 1;
    uint64_t remaining = 0;
    session->readFifo(qvzek::TypeI16(), 2, data, 16, kWaitForever, &timedOut, &remaining);
    EXPECT_EQ(timedOut, 0);
    EXPECT_EQ(data[15], 15);
    void* elements = nullptr;
    uint64_t acquired = 0;
    session->acquireFifoReadElements(qvzek::TypeI16(), 2, &elements, 8, kWaitForever, &timedOut,
                                     &acquired, &remaining);
    ASSERT_EQ(acquired, 8u);
    EXPECT_EQ(static_cast<const int16_t*>(elements)[0], 16);
    session->releaseFifoElements(2, 8);
}

TEST_F(SessionOnDevice, DerivedSessionsRefuseTheDeviceOperationsAndSendNoCloseNotice) {
    auto session = open(bitfile());
    auto derived = session->clone();
    ASSERT_TRUE(derived->isDerived());
    uint8_t flag = 0;
    const uint8_t byte = 0;
    // One refusal of each kind: a device change, an interrupt wait, a clone.
    EXPECT_EQ(codeOf([&] { derived->download(&byte, &byte + 1); }), qvzek::kErrorNotSupported);
    EXPECT_EQ(codeOf([&] { derived->waitOnIrqs(1, 0, &flag); }), qvzek::kErrorNotSupported);
    EXPECT_EQ(codeOf([&] { derived->clone(); }), qvzek::kErrorNotSupported);
    // Sharing the image, a derived session still reads registers.
    EXPECT_EQ(derived->read32(qvtest::kControlAddress) & 3, 2u);
    derived.reset();
    EXPECT_EQ(count("atomiczekddk_configuration.postConfigurationWord"), 0u);
    session.reset();
    EXPECT_EQ(count("atomiczekddk_configuration.postConfigurationWord"), 1u);
}

TEST_F(SessionOnDevice, TeardownOrder) {
    device.describeFifo(2, 2, 0);
    auto session = open(bitfile(hmbElement(hmbBlock("data", 1000, 64))));
    session->setResetOnClose(true);
    session->configureFifo(2, 1024, nullptr);
    session->startFifo(2);
    auto manager = fpga->hmbManager();
    EXPECT_EQ(manager->openCount(), 1u);
    session.reset();
    // The FIFO lets go of its last client, then the host memory is
    // released, then the driver hears of the close.
    const size_t closeFifo = indexOf("atomiczekddk_fifo.closeFifo");
    const size_t notice = indexOf("atomiczekddk_configuration.postConfigurationWord");
    ASSERT_NE(notice, SIZE_MAX);
    EXPECT_LT(closeFifo, notice);
    EXPECT_EQ(manager->openCount(), 0u);
    EXPECT_EQ(manager->regionAddress(), 0u);
    const auto requests = decoder.requests();
    EXPECT_EQ(requests[notice].get<int32_t>("word"), 1);
}

TEST_F(SessionOnDevice, ResetOnCloseNeedsResetSupportAndNoAutoRun) {
    auto automatic = open(bitfile("", qvtest::kSampleSignature, true), qvzek::user::kOpenDoNotRun);
    EXPECT_EQ(codeOf([&] { automatic->setResetOnClose(true); }), qvzek::kErrorResetOnCloseAutoRun);
}

TEST_F(SessionOnDevice, InfiniteInterruptWaitEndsOnTheInterruptAndLetsADownloadThrough) {
    auto session = open(bitfile());
    auto waiter = std::async(std::launch::async, [&] {
        uint8_t timedOut = 1;
        const uint32_t asserted = session->waitOnIrqs(0x4, kWaitForever, &timedOut);
        return std::make_pair(asserted, timedOut);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    // A download asked for during the wait completes.
    const uint8_t image[] = {1, 2, 3, 4};
    session->download(image, image + 4);
    EXPECT_EQ(device.downloadedBitstream(), (std::vector<uint8_t>{1, 2, 3, 4}));
    // The register write that raises the interrupt, from another session.
    auto other = session->clone();
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    device.raiseIrqs(0x4);
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const auto [asserted, timedOut] = waiter.get();
    EXPECT_EQ(asserted & 0x4, 0x4u);
    EXPECT_EQ(timedOut, 0);
    other->write32(kIrqStatusAddress, 0x4);
    EXPECT_EQ(device.assertedIrqs(), 0u);
}

TEST_F(SessionOnDevice, RunAndWaitReturnsWhenTheDiagramStops) {
    auto session = open(bitfile(), qvzek::user::kOpenDoNotRun);
    auto stopper = std::async(std::launch::async, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        device.setRunState(control::kStateNotRunning);
    });
    uint8_t already = 1;
    session->run(1, &already);
    EXPECT_EQ(already, 0);
    EXPECT_EQ(device.runState(), control::kStateNotRunning);
    stopper.get();
}

TEST_F(SessionOnDevice, DownloadWaitsForAFifoCallInFlight) {
    device.describeFifo(2, 2, 0);
    device.setProduceLimit(2, 0);
    auto session = open(bitfile());
    session->configureFifo(2, 1024, nullptr);
    session->startFifo(2);
    std::atomic<bool> readDone{false};
    std::chrono::steady_clock::time_point readStart;
    auto reader = std::async(std::launch::async, [&] {
        int16_t data[4];
        uint8_t timedOut = 0;
        readStart = std::chrono::steady_clock::now();
        session->readFifo(qvzek::TypeI16(), 2, data, 4, 400, &timedOut, nullptr);
        readDone = true;
        return timedOut;
    });
    // A loaded machine may start the reader late: download only once the
    // read holds the reader side of the lock.
    while (fpga->lock().count() == 1 && !readDone.load()) std::this_thread::yield();
    ASSERT_FALSE(readDone.load()) << "the read ended before it was seen holding the lock";
    const uint8_t image[] = {9};
    session->download(image, image + 1);
    const auto downloaded = std::chrono::steady_clock::now();
    EXPECT_EQ(reader.get(), 1);
    // The finite read held the reader side for its whole time-out: the
    // download ended after it. (The reader itself may note it is done only
    // after the download returned.)
    EXPECT_GE(downloaded - readStart, std::chrono::milliseconds(350));
}

TEST_F(SessionOnDevice, FifoAndRegisterCallsWaitForAWriter) {
    device.describeFifo(2, 2, 0);
    auto session = open(bitfile());
    fpga->lock().lockWrite();
    std::atomic<int> done{0};
    auto fifoCall = std::async(std::launch::async, [&] {
        session->configureFifo(2, 1024, nullptr);
        ++done;
    });
    auto registerCall = std::async(std::launch::async, [&] {
        session->read32(0x8020);
        ++done;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(done.load(), 0);
    fpga->lock().unlockWrite();
    fifoCall.get();
    registerCall.get();
    EXPECT_EQ(done.load(), 2);
}

TEST_F(SessionOnDevice, PeerToPeerSinkIsMappedOnce) {
    auto session = open(bitfile());
    uint32_t id = 0;
    session->getP2PEndpointId(1, &id);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(codeOf([&] { session->getP2PEndpointId(2, &id); }),
              qverr::qvapalerr_resourceNotFound);
    uint64_t address = 0, size = 0;
    void* context = nullptr;
    qvzek::user::P2PSinkRelease release = nullptr;
    EXPECT_EQ(codeOf([&] { session->mapP2PSink(1, &address, &size, nullptr, &release); }),
              qverr::qvapalerr_invalidParameter);
    session->mapP2PSink(1, &address, &size, &context, &release);
    EXPECT_NE(address, 0u);
    EXPECT_EQ(size, 0x10000u);
    uint64_t secondAddress = 0;
    void* secondContext = nullptr;
    EXPECT_EQ(
        codeOf([&] { session->mapP2PSink(1, &secondAddress, &size, &secondContext, &release); }),
        qvzek::kErrorBusy);
    EXPECT_EQ(secondContext, nullptr);
    // The first mapping is still whole.
    reinterpret_cast<volatile uint8_t*>(address)[0] = 1;
    release(context, 1);
    session->mapP2PSink(1, &address, &size, &context, &release);
    release(context, 1);

    device.setP2PInfo(3, 0x1234);
    EXPECT_EQ(session->queryP2PEndpoint(3), 0x1234u);
}

// The requests by operation are the host-memory manager's own test.
TEST_F(SessionOnDevice, HostMemoryThroughTheSession) {
    auto session = open(bitfile(hmbElement(hmbBlock("data", 1000, 64))));
    uint64_t size = 0, address = 0;
    qvzek::HmbHandle lease;
    session->openHostMemoryBuffer("data", &size, &address, &lease);
    EXPECT_EQ(address, fpga->hmbManager()->regionAddress());
    session->mapHostMemory(5, 1, nullptr, 0, nullptr, 0);
    EXPECT_EQ(device.controlRequests().back().target, 5u);
    session.reset();
    // The lease keeps the region until it is released.
    EXPECT_NE(fpga->hmbManager()->regionAddress(), 0u);
    lease.release(lease.context);
    EXPECT_EQ(fpga->hmbManager()->regionAddress(), 0u);
}

// Registers read on four threads, interrupts awaited on two, images
// downloaded on one, for ten seconds: no race, no deadlock.
TEST_F(SessionOnDevice, ReadersWaitersAndADownloaderTogether) {
    auto session = open(bitfile());
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> reads{0}, wakes{0}, downloads{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            while (!stop) {
                session->read32(qvtest::kControlAddress);
                ++reads;
            }
        });
    }
    for (int i = 0; i < 2; ++i) {
        threads.emplace_back([&, i] {
            const uint32_t line = 1u << i;
            while (!stop) {
                uint8_t timedOut = 0;
                session->waitOnIrqs(line, kWaitForever, &timedOut);
                session->write32(kIrqStatusAddress, line);
                ++wakes;
            }
        });
    }
    threads.emplace_back([&] {
        const uint8_t image[] = {1, 2, 3};
        while (!stop) {
            session->download(image, image + 3);
            ++downloads;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        device.raiseIrqs(0x3);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    stop = true;
    device.raiseIrqs(0x3);
    for (auto& thread : threads) {
        while (thread.joinable()) {
            device.raiseIrqs(0x3);
            thread.join();
        }
    }
    EXPECT_GT(reads.load(), 0u);
    EXPECT_GT(wakes.load(), 0u);
    EXPECT_GT(downloads.load(), 0u);
}

}  // namespace
