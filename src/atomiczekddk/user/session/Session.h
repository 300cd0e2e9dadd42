// The low-level FPGA session behind the FPGA session facades: it holds the
// device's FPGA object, the driver proxy and the opened image together,
// forwards FIFO operations by FIFO number, register and block I/O to the
// device's I/O accessor, sends the interrupt and download requests and holds
// one attachment of the host-memory-buffer manager. Every operation that
// touches the device is a reader of the FPGA object's lock; a download is a
// writer. Infinite waits leave the reader side between slices, so a download
// asked for meanwhile goes ahead. Failures throw qverr::Exception.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "apal_qv3377k/iInterfaceProxy_atomiczekddk.h"
#include "atomiczekddk/p2p/P2PEndpointSession.h"
#include "atomiczekddk/user/session/Fpga.h"

namespace qvzek::user {

inline constexpr uint32_t kRestrictPointerProperty = 1u << 24;
inline constexpr uint32_t kWaitForever = 0xFFFFFFFF;
// The slice of an infinite interrupt or FIFO wait, in milliseconds.
inline constexpr uint32_t kWaitSliceMs = 100;

// Undoes the mapping of a peer-to-peer sink when destroyed.
class IMappedP2PSinkCleanup : public IReservation {};

// Release function of a mapped peer-to-peer sink: (context, FIFO number).
using P2PSinkRelease = void (*)(void* context, uint32_t fifoNumber);

class Session {
public:
    // Opens the image on the FPGA object (under its write side), installs
    // the image's host-memory-buffer layout and attaches the manager when
    // the image has host memory.
    Session(std::shared_ptr<Fpga> fpga, std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk> proxy,
            IPersonalityConfigurer& configurer, ITargetClassChecker& checker,
            std::shared_ptr<IIoAccessor> ioAccessor, std::shared_ptr<const Bitfile> bitfile,
            const char* signature, uint32_t attributes);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    // Drops the session from the FIFOs, detaches the host-memory-buffer
    // manager, sends the close notice when armed; never throws.
    virtual ~Session();

    // A derived session sharing device and image; -63193 from a derived one.
    virtual std::unique_ptr<Session> clone();
    virtual void download(const uint8_t* begin, const uint8_t* end);
    virtual void reset();
    virtual void getP2PEndpointId(uint32_t fifoNumber, uint32_t* id);
    virtual uint32_t queryP2PEndpoint(uint32_t fifoNumber);
    virtual void mapP2PSink(uint32_t fifoNumber, uint64_t* address, uint64_t* size, void** context,
                            P2PSinkRelease* release);
    // A block of the host-memory region by name, with its lease.
    virtual void openHostMemoryBuffer(const char* name, uint64_t* size, uint64_t* address,
                                      HmbHandle* lease);
    // The two windows by the window's name.
    virtual void openHostMemoryBufferRegion(const char* name, uint64_t* size1M, uint64_t* address1M,
                                            HmbHandle* lease1M, uint64_t* size4k,
                                            uint64_t* address4k, HmbHandle* lease4k);
    // Target 0 goes to the host-memory-buffer manager, any other to the
    // driver's memory-mapping request.
    virtual void mapHostMemory(int32_t target, uint32_t operation, const void* input,
                               uint64_t inSize, void* output, uint64_t outSize);

    void setResetOnClose(bool resetOnClose);
    void downloadImage();
    void abort();
    void run(uint32_t attributes, uint8_t* alreadyRunning);
    uint32_t getRunState();
    // The bitfile's bitstream version.
    int64_t getBitfileValue() const;
    void getSignature(uint32_t* words, uint64_t* count) const;
    void findRegister(const char* name, uint32_t resourceType, uint32_t* number) const;
    void findFifo(const char* name, uint32_t resourceType, uint32_t* number) const;

    void configureFifo(uint32_t fifo, int64_t depth, uint64_t* actualDepth);
    void setFifoProperty(uint32_t fifo, uint32_t property, uint32_t kind, const void* value);
    void getFifoProperty(uint32_t fifo, uint32_t property, uint32_t kind, void* value);
    void commitFifoConfiguration(uint32_t fifo);
    void startFifo(uint32_t fifo);
    void stopFifo(uint32_t fifo);
    void resetFifo(uint32_t fifo);
    void readFifo(const Type& type, uint32_t fifo, void* data, uint64_t count, uint32_t timeout,
                  uint8_t* timedOut, uint64_t* remaining);
    void writeFifo(const Type& type, uint32_t fifo, const void* data, uint64_t count,
                   uint32_t timeout, uint8_t* timedOut, uint64_t* remaining);
    void acquireFifoReadElements(const Type& type, uint32_t fifo, void** elements, uint64_t count,
                                 uint32_t timeout, uint8_t* timedOut, uint64_t* acquired,
                                 uint64_t* remaining);
    void acquireFifoWriteElements(const Type& type, uint32_t fifo, void** elements, uint64_t count,
                                  uint32_t timeout, uint8_t* timedOut, uint64_t* acquired,
                                  uint64_t* remaining);
    void acquireFifoReadRegion(const Type& type, uint32_t fifo, uint64_t* handle, void** elements,
                               uint64_t count, uint32_t timeout, uint8_t* timedOut,
                               uint64_t* acquired, uint64_t* remaining);
    void acquireFifoWriteRegion(const Type& type, uint32_t fifo, uint64_t* handle, void** elements,
                                uint64_t count, uint32_t timeout, uint8_t* timedOut,
                                uint64_t* acquired, uint64_t* remaining);
    void releaseFifoElements(uint32_t fifo, int64_t count);
    void releaseFifoRegion(uint32_t fifo, uint64_t handle);

    void reserveIrqContext();
    void unreserveIrqContext();
    // A timeout of 0xFFFFFFFF waits until an interrupt of the mask comes.
    uint32_t waitOnIrqs(uint32_t mask, uint32_t timeout, uint8_t* timedOut);
    void acknowledgeIrqs(uint32_t mask);

    uint32_t read32(uint32_t address);
    void write32(uint32_t address, uint32_t value);
    void readBlock(uint32_t address, uint64_t buffer, uint32_t bytes, uint32_t width,
                   uint32_t flag);
    void writeBlock(uint32_t address, uint64_t buffer, uint32_t bytes, uint32_t width,
                    uint32_t flag);

    bool isDerived() const { return isDerived_; }
    const std::shared_ptr<Fpga>& fpga() const { return fpga_; }
    const std::shared_ptr<const OpenedImage>& image() const { return image_; }
    uint64_t key() const { return reinterpret_cast<uint64_t>(this); }
    // An image that runs when downloaded must be running before its
    // registers and FIFOs are touched (-61214).
    void autoRunCheck();

protected:
    // A derived session of `parent`.
    explicit Session(const Session& parent, int derivedTag);
    void refuseDerived() const;
    std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk> proxy_;

private:
    struct CloseNotice {
        std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk> proxy;
        uint64_t key = 0;
        bool armed = false;
        bool resetOnClose = false;
    };
    template <class F>
    void fifoFrame(uint32_t fifo, F&& call);
    template <class F>
    void fifoWait(uint32_t fifo, uint32_t timeout, uint8_t* timedOut, F&& call);
    // A FIFO property of `kind` (0 pointer, 1 u32, 2 u64, 3 i32, 4 i64) at
    // `value`: refused unless the kind is known and, for a pointer, allowed.
    void checkPropertyAccess(uint32_t kind, const void* value) const;
    // The outputs of an acquire zeroed, then the wait in the FIFO's acquire
    // `method`, of elements or of a region (which also fills `handle`).
    template <class Method>
    void acquire(Method method, const Type& type, uint32_t fifo, uint64_t* handle, void** elements,
                 uint64_t count, uint32_t timeout, uint8_t* timedOut, uint64_t* acquired,
                 uint64_t* remaining);

    std::shared_ptr<Fpga> fpga_;
    CloseNotice closeNotice_;
    bool isDerived_ = false;
    bool restrictPointerProperty_ = false;
    std::shared_ptr<const OpenedImage> image_;
    bool hmbAttached_ = false;
    std::shared_ptr<IIoAccessor> ioAccessor_;
};

class SessionWithP2P : public Session, public IP2PInfoSource {
public:
    // As Session, then one endpoint per peer-to-peer FIFO of the image's
    // DMA-channel list (-61070 for a malformed list). The endpoints map
    // through `deviceProxy`.
    SessionWithP2P(std::shared_ptr<Fpga> fpga,
                   std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk> proxy,
                   std::shared_ptr<sdihal::nQVAPAL000::tDeviceInterfaceProxy> deviceProxy,
                   IPersonalityConfigurer& configurer, ITargetClassChecker& checker,
                   std::shared_ptr<IIoAccessor> ioAccessor, std::shared_ptr<const Bitfile> bitfile,
                   const char* signature, uint32_t attributes);
    ~SessionWithP2P() override;

    std::unique_ptr<Session> clone() override;
    void getP2PEndpointId(uint32_t fifoNumber, uint32_t* id) override;
    uint32_t queryP2PEndpoint(uint32_t fifoNumber) override;
    void mapP2PSink(uint32_t fifoNumber, uint64_t* address, uint64_t* size, void** context,
                    P2PSinkRelease* release) override;
    uint32_t getP2PInfo(uint32_t fifoNumber) override { return queryP2PEndpoint(fifoNumber); }

    size_t endpointCount() const { return p2pEndpoints_.size(); }

private:
    SessionWithP2P(const SessionWithP2P& parent, int derivedTag);
    std::shared_ptr<P2PEndpointSession> endpoint(uint32_t fifoNumber) const;

    std::vector<std::shared_ptr<P2PEndpointSession>> p2pEndpoints_;
};

// Undoes a peer-to-peer sink mapping.
class MappedP2PSinkCleanup : public IMappedP2PSinkCleanup {
public:
    MappedP2PSinkCleanup(std::shared_ptr<P2PEndpointSession> endpoint,
                         std::shared_ptr<void> keepAlive)
        : endpoint_(std::move(endpoint)), keepAlive_(std::move(keepAlive)) {}
    ~MappedP2PSinkCleanup() override {
        if (mapped_) endpoint_->unmapWriteWindow();
    }
    // Maps the sink; from then on destruction unmaps it.
    void map(uint64_t* size, uint64_t* address) {
        endpoint_->mapWriteWindow(size, address);
        mapped_ = true;
    }

private:
    std::shared_ptr<P2PEndpointSession> endpoint_;
    std::shared_ptr<void> keepAlive_;
    bool mapped_ = false;
};

}  // namespace qvzek::user
