// The FPGA object of one opened device, shared by every session on it: the
// attached image, its host FIFOs, the host-memory-buffer manager, the
// reservations and the reader-writer lock that orders session operations
// (readers) against downloads, resets, aborts and opens (writers).
// Failures throw qverr::Exception.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "apal_qv3377k/iInterfaceProxy_atomiczekddk.h"
#include "atomiczekddk/bitfile/Bitfile.h"
#include "atomiczekddk/memory/HMBVirtualMemoryManager.h"
#include "atomiczekddk/shared/ReaderWriterLock.h"
#include "atomiczekddk/shared/TargetClassChecker.h"
#include "atomiczekddk/user/IIoAccessor.h"
#include "atomiczekddk/user/fifo/FifoFactory.h"
#include "atomiczekddk/user/session/IPersonalityConfigurer.h"

namespace qvzek::user {

// The attached image; sessions share it, so a new image never pulls it from
// under them.
using OpenedImage = BitfileControlInfo;

// The FPGA's control and state register (at the image's viControlAddress).
namespace control {
// Every bit set: the device does not answer.
inline constexpr uint32_t kUnreachable = 0xFFFFFFFF;
// Error bits, in the order they are reported.
inline constexpr uint32_t kErrorBit6 = 1u << 6;
inline constexpr uint32_t kErrorBit4 = 1u << 4;
inline constexpr uint32_t kErrorBit7 = 1u << 7;
// Bits 0-1: the diagram state.
inline constexpr uint32_t kStateMask = 3;
inline constexpr uint32_t kStateNotRunning = 0;
inline constexpr uint32_t kStateInvalid = 1;
inline constexpr uint32_t kStateRunning = 2;
inline constexpr uint32_t kStateAborted = 3;
// Written by run, in this order: stop, no request, start.
inline constexpr uint32_t kWriteStop = 4;
inline constexpr uint32_t kWriteNone = 0;
inline constexpr uint32_t kWriteStart = 2;
}  // namespace control

inline constexpr uint32_t kOpenDoNotRun = 1u << 0;
inline constexpr uint32_t kOpenKeepAttachment = 1u << 25;
inline constexpr uint32_t kOpenSkipSignatureCheck = 1u << 31;

// Something held under a number until its holder or the device lets it go.
class IReservation {
public:
    virtual ~IReservation() = default;
};

class Fpga {
public:
    Fpga(std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk> proxy,
         std::shared_ptr<IFifoFactory> fifoFactory);
    Fpga(const Fpga&) = delete;
    Fpga& operator=(const Fpga&) = delete;
    virtual ~Fpga();

    // Reads the control register: the diagram state (a control::kState
    // value), also kept for diagramState(); error bits and the invalid state
    // are thrown.
    uint32_t checkState();
    void run(uint8_t* alreadyRunning);
    // run; with attributes bit 0, then polls until the diagram stops. Each
    // step is a reader of the lock; the caller holds no side of it.
    void runAndWait(uint32_t attributes, uint8_t* alreadyRunning);
    virtual void reset();
    void abort();

    // Checks the signature, configures the personality and attaches the
    // bitfile (building its host FIFOs) unless the attachment can stay, runs
    // it unless told not to. `session` is the key of the opening session;
    // the image may be replaced only while no other session holds its FIFOs
    // (-61499).
    std::shared_ptr<const OpenedImage> open(std::shared_ptr<const Bitfile> bitfile,
                                            std::shared_ptr<IIoAccessor> ioAccessor,
                                            ITargetClassChecker& checker,
                                            IPersonalityConfigurer& configurer,
                                            PersonalityRecord& record, const char* signature,
                                            uint32_t attributes, uint64_t session);
    // Under the write side: the bitstream download, every FIFO reset, the
    // run state refreshed.
    void download(const uint8_t* data, uint64_t size);

    // The host FIFO of a channel; -52005 beyond the vector or for a channel
    // without one.
    std::shared_ptr<IFifo> fifo(uint32_t number);
    // Under the read side: every FIFO drops the session as a client; the
    // session no longer holds the image.
    void detachSessionFromFifos(uint64_t session);

    void addReservation(uint32_t number, std::unique_ptr<IReservation> reservation);
    void removeReservation(uint32_t number);
    // For clean-up paths: the status code instead of an exception.
    int32_t removeReservationNoThrow(uint32_t number) noexcept;
    // Release function of a peer-to-peer sink: context is a heap-held
    // std::shared_ptr<Fpga> made by the session; frees it.
    static void releaseReservation(void* context, uint32_t number);

    std::shared_ptr<HMBVirtualMemoryManager> hmbManager() const { return hmbManager_; }
    std::shared_ptr<IIoAccessor> ioAccessor() const;
    std::shared_ptr<const OpenedImage> image() const;
    ReaderWriterLock& lock() { return lock_; }
    // 0 not running, 2 running, 3 stopped by abort (bits 0-1 of the control
    // register as last read).
    uint32_t diagramState() const { return diagramState_.load(); }
    size_t fifoCount() const;

private:
    // The signature (unless told to skip it) and the target class.
    static void checkBitfile(const Bitfile& bitfile, ITargetClassChecker& checker,
                             const char* signature, uint32_t attributes);
    // Whether open attaches the bitfile anew; refuses (-61499) while another
    // session holds the attached image.
    bool mustAttach(const Bitfile& bitfile, bool personalityChanged, bool keepAttachmentOnly,
                    uint64_t session);
    // A slot a channel: its host FIFO, or null for a channel without one.
    std::vector<std::shared_ptr<IFifo>> buildFifos(const Bitfile& bitfile);
    std::shared_ptr<const OpenedImage> attach(std::shared_ptr<const Bitfile> bitfile,
                                              std::shared_ptr<IIoAccessor> ioAccessor,
                                              bool keepAttachmentOnly);
    void resetFifos();
    void resetOrAbort(bool abort);

    nQVAPALS100::tStatus lockStatus_;
    ReaderWriterLock lock_{lockStatus_};
    std::atomic<uint32_t> diagramState_{0};
    std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk> proxy_;
    std::shared_ptr<IFifoFactory> fifoFactory_;
    // Guards the fields below for readers; writers change them under the
    // write side as well.
    mutable std::mutex stateMutex_;
    std::shared_ptr<IIoAccessor> ioAccessor_;
    std::shared_ptr<const OpenedImage> image_;
    std::vector<std::shared_ptr<IFifo>> fifos_;
    bool fifosBuilt_ = false;
    std::map<uint64_t, uint32_t> sessions_;
    std::shared_ptr<HMBVirtualMemoryManager> hmbManager_;
    std::mutex reservationMutex_;
    std::map<uint32_t, std::unique_ptr<IReservation>> reservations_;
};

}  // namespace qvzek::user
