// The host side of one DMA FIFO of an FPGA session: its properties, the
// commit to the kernel driver, start and stop of the DMA channel, zero-copy
// access to the host ring (counted, or as regions released in any order),
// copies in and out, and a caller blocked for room until another thread
// releases. Every operation serialises on the FIFO's mutex; failures throw
// qverr::Exception. A timeout of 0xFFFFFFFF waits for ever.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>

#include "apal_qv3377k/iInterfaceProxy_atomiczekddk.h"
#include "atomiczekddk/bitfile/Types.h"
#include "atomiczekddk/shared/Errors.h"
#include "atomiczekddk/user/fifo/FifoAcquirerReleaserInterfaceProxy.h"
#include "atomiczekddk/user/fifo/FifoDataAccessStrategyWendle.h"
#include "atomiczekddk/user/fifo/FifoPropertyManager.h"
#include "qvapal/quarks/synchronization.h"

namespace qvzek {

inline constexpr uint32_t kFifoWaitForever = 0xFFFFFFFF;

class IFifo : public IFifoPropertyAccess {
public:
    virtual void configure(uint64_t depth, uint64_t* actualDepth, uint64_t client) = 0;
    virtual void commit(uint64_t client) = 0;
    virtual void start(uint64_t client) = 0;
    virtual void stop() = 0;
    virtual void markStopped() = 0;
    virtual void reset() = 0;
    virtual void acquireReadElements(const Type& type, void** region, uint64_t count,
                                     uint32_t timeout, uint8_t* timedOut, uint64_t* acquired,
                                     uint64_t* remaining, uint64_t client) = 0;
    virtual void acquireWriteElements(const Type& type, void** region, uint64_t count,
                                      uint32_t timeout, uint8_t* timedOut, uint64_t* acquired,
                                      uint64_t* remaining, uint64_t client) = 0;
    virtual void acquireReadRegion(const Type& type, uint64_t* handle, void** region,
                                   uint64_t count, uint32_t timeout, uint8_t* timedOut,
                                   uint64_t* acquired, uint64_t* remaining, uint64_t client) = 0;
    virtual void acquireWriteRegion(const Type& type, uint64_t* handle, void** region,
                                    uint64_t count, uint32_t timeout, uint8_t* timedOut,
                                    uint64_t* acquired, uint64_t* remaining, uint64_t client) = 0;
    virtual void releaseElements(uint64_t count) = 0;
    // handle: the region handle itself (the address of its record).
    virtual void releaseRegion(uint64_t* handle) = 0;
    virtual void read(const Type& type, void* destination, uint64_t count, uint32_t timeout,
                      uint8_t* timedOut, uint64_t* remaining, uint64_t client) = 0;
    virtual void write(const Type& type, const void* source, uint64_t count, uint32_t timeout,
                       uint8_t* timedOut, uint64_t* remaining, uint64_t client) = 0;
    virtual void removeClient(uint64_t client) = 0;
};

class Fifo : public IFifo, private NamedFifo {
public:
    using FifoInterface = sdihal::iInterfaceProxy_atomiczekddk_fifo;

    // A peer-to-peer FIFO (kind 2 or 3) is refused with -52005, an element
    // type without size with -52003.
    Fifo(const NamedFifo& description, std::shared_ptr<FifoInterface> proxy, uint64_t session,
         int32_t numaNode, int32_t highestNumaNode);
    Fifo(const Fifo&) = delete;
    Fifo& operator=(const Fifo&) = delete;
    // Resets the FIFO in the driver; never throws.
    ~Fifo() override;

    const NamedFifo& description() const { return *this; }
    uint32_t elementSize() const { return elementSize_; }

    void configure(uint64_t depth, uint64_t* actualDepth, uint64_t client) override;
    QV_FIFO_PROPERTY_ACCESS_OVERRIDES
    void commit(uint64_t client) override;
    void start(uint64_t client) override;
    void stop() override;
    void markStopped() override;
    void reset() override;
    void acquireReadElements(const Type& type, void** region, uint64_t count, uint32_t timeout,
                             uint8_t* timedOut, uint64_t* acquired, uint64_t* remaining,
                             uint64_t client) override;
    void acquireWriteElements(const Type& type, void** region, uint64_t count, uint32_t timeout,
                              uint8_t* timedOut, uint64_t* acquired, uint64_t* remaining,
                              uint64_t client) override;
    void acquireReadRegion(const Type& type, uint64_t* handle, void** region, uint64_t count,
                           uint32_t timeout, uint8_t* timedOut, uint64_t* acquired,
                           uint64_t* remaining, uint64_t client) override;
    void acquireWriteRegion(const Type& type, uint64_t* handle, void** region, uint64_t count,
                            uint32_t timeout, uint8_t* timedOut, uint64_t* acquired,
                            uint64_t* remaining, uint64_t client) override;
    void releaseElements(uint64_t count) override;
    void releaseRegion(uint64_t* handle) override;
    void read(const Type& type, void* destination, uint64_t count, uint32_t timeout,
              uint8_t* timedOut, uint64_t* remaining, uint64_t client) override;
    void write(const Type& type, const void* source, uint64_t count, uint32_t timeout,
               uint8_t* timedOut, uint64_t* remaining, uint64_t client) override;
    void removeClient(uint64_t client) override;

    // The one data access the wait loop repeats.
    class IFifoAccessOperation {
    public:
        virtual ~IFifoAccessOperation() = default;
        virtual void run(IFifoDataAccessStrategy& strategy, uint32_t timeout, bool* timedOut,
                         nQVAPALS100::tStatus& status) = 0;
    };
    class FifoAccessOperationAcquire;
    class FifoAccessOperationRead;
    class FifoAccessOperationWrite;

private:
    using Lock = std::unique_lock<sdihal::nQVAPAL000::tMutex>;

    struct RegionRing {
        std::unique_ptr<uint64_t[]> records;
        uint32_t capacity = 0;
        uint32_t head = 0;
        uint32_t tail = 0;
        bool empty() const { return head == tail; }
        uint32_t next(uint32_t index) const { return index + 1 == capacity ? 0 : index + 1; }
        bool full() const { return next(tail) == head; }
    };

    void checkType(const Type& type, bool readSide) const;
    void copy(bool readSide, const Type& type, IFifoAccessOperation& operation, uint32_t timeout,
              uint8_t* timedOut, uint64_t client);
    void acquireElements(bool readSide, const Type& type, void** region, uint64_t count,
                         uint32_t timeout, uint8_t* timedOut, uint64_t* acquired,
                         uint64_t* remaining, uint64_t client);
    void acquireRegion(bool readSide, const Type& type, uint64_t* handle, void** region,
                       uint64_t count, uint32_t timeout, uint8_t* timedOut, uint64_t* acquired,
                       uint64_t* remaining, uint64_t client);
    void waitLoop(Lock& lock, IFifoAccessOperation& operation, uint32_t timeout, uint8_t* timedOut);
    // Releases count elements in the driver and wakes every waiter.
    void releaseCounted(uint64_t count);
    void signalRelease();
    void addClient(uint64_t client);
    // Throws the driver's error of a FIFO request.
    void driverRequest(int32_t (FifoInterface::*request)(uint64_t, uint32_t,
                                                         nQVAPALS100::tStatus&));

    std::shared_ptr<FifoInterface> proxy_;
    uint64_t session_;
    sdihal::nQVAPAL000::tMutex mutex_;
    // The release event: a count of releases under its own mutex. A waiter
    // waits for the count to move past the value it saw while it still held
    // the FIFO's mutex, so no release can slip between its failed attempt
    // and its wait, and one waiter never takes a wake-up meant for another.
    std::mutex releaseMutex_;
    std::condition_variable released_;
    uint64_t releases_ = 0;
    bool started_ = false;
    uint32_t elementSize_;
    std::unique_ptr<FifoAcquirerReleaserInterfaceProxy> acquirerReleaser_;
    std::unique_ptr<FifoDataAccessStrategyWendle> strategy_;
    std::unique_ptr<FifoPropertyManager> properties_;
    std::unique_ptr<RegionRing> regions_;
    std::set<uint64_t> clients_;
};

}  // namespace qvzek
