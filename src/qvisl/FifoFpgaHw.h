// The FIFO and interrupt bindings over the FPGA interface library
// (libQvFpga.so.13), and the Korvex variant whose zero-copy regions come from
// libQvFpgaKx.so. Element types: unsigned char (waveform download and fetch
// FIFOs), short (peer-to-peer streaming), unsigned long (list-mode and
// record-status FIFOs), long (the calibration measurement FIFO).
#pragma once

#include "qverr/Status.h"
#include "qvisl/Fifo.h"
#include "qvisl/QvFpgaDll.h"

namespace qvisl {

// A data move on the Korvex byte FIFO while its property 8 is set.
inline constexpr int32_t kErrorKxFifoPending = -1074101584;  // 0xBFFA82B0

// A FIFO of an open FPGA session: the session from AutoFpgaSession, the FIFO
// number from QvFpgaDll_FindFifoPrivate. Owns neither.
template <class T>
class FifoFpgaHw : public Fifo<T> {
public:
    FifoFpgaHw(uint32_t session, uint32_t fifo) : session_(session), fifo_(fifo) {}

    void read(T* data, size_t count, uint32_t timeout, size_t* remaining, tStatus& status) override;
    void write(const T* data, size_t count, uint32_t timeout, size_t* emptyRemaining,
               tStatus& status) override;
    void configure(size_t requestedDepth, size_t* actualDepth, tStatus& status) override;
    void restart(tStatus& status) override;
    void start(tStatus& status) override;
    void stop(tStatus& status) override;
    void acquireReadElements(T** elements, size_t requested, uint32_t timeout, size_t* acquired,
                             size_t* remaining, tStatus& status) override;
    void acquireWriteElements(T** elements, size_t requested, uint32_t timeout, size_t* acquired,
                              size_t* remaining, tStatus& status) override;
    void acquireReadRegion(uint32_t* reference, void* data, uint32_t value, void* out,
                           uint64_t value64, tStatus& status) override;
    void acquireWriteRegion(uint32_t* reference, void* data, uint32_t value, void* out,
                            uint64_t value64, tStatus& status) override;
    void releaseElements(size_t count, tStatus& status) override;
    uint32_t getPeerToPeerEndpoint(tStatus& status) override;
    void setPropertyI32(uint32_t property, int32_t value, tStatus& status) override;
    void setPropertyU32(uint32_t property, uint32_t value, tStatus& status) override;
    void setPropertyI64(uint32_t property, int64_t value, tStatus& status) override;
    void setPropertyU64(uint32_t property, uint64_t value, tStatus& status) override;
    void setPropertyPtr(uint32_t property, void* value, tStatus& status) override;
    int32_t getPropertyI32(uint32_t property, tStatus& status) override;
    uint32_t getPropertyU32(uint32_t property, tStatus& status) override;
    int64_t getPropertyI64(uint32_t property, tStatus& status) override;
    uint64_t getPropertyU64(uint32_t property, tStatus& status) override;
    void* getPropertyPtr(uint32_t property, tStatus& status) override;
    void commitConfiguration(tStatus& status) override;

    uint32_t session() const { return session_; }
    uint32_t fifo() const { return fifo_; }

private:
    uint32_t session_;
    uint32_t fifo_;
};

extern template class FifoFpgaHw<unsigned char>;
extern template class FifoFpgaHw<short>;
extern template class FifoFpgaHw<unsigned long>;
extern template class FifoFpgaHw<long>;

// The byte FIFO of a session opened by the Korvex run-time: refuses data
// moves while the FIFO's property 8 is set, and acquires regions through
// libQvFpgaKx.so (loaded by the constructor; a failure stays in the load
// status and is reported by the region calls).
template <class T>
class KxFifoFpgaHw;

template <>
class KxFifoFpgaHw<unsigned char> : public FifoFpgaHw<unsigned char> {
public:
    KxFifoFpgaHw(uint32_t session, uint32_t fifo);
    KxFifoFpgaHw(const KxFifoFpgaHw&) = delete;
    KxFifoFpgaHw& operator=(const KxFifoFpgaHw&) = delete;
    ~KxFifoFpgaHw() override;

    void read(unsigned char* data, size_t count, uint32_t timeout, size_t* remaining,
              tStatus& status) override;
    void write(const unsigned char* data, size_t count, uint32_t timeout, size_t* emptyRemaining,
               tStatus& status) override;
    void acquireReadElements(unsigned char** elements, size_t requested, uint32_t timeout,
                             size_t* acquired, size_t* remaining, tStatus& status) override;
    void acquireWriteElements(unsigned char** elements, size_t requested, uint32_t timeout,
                              size_t* acquired, size_t* remaining, tStatus& status) override;
    void acquireReadRegion(uint32_t* reference, void* data, uint32_t value, void* out,
                           uint64_t value64, tStatus& status) override;
    void acquireWriteRegion(uint32_t* reference, void* data, uint32_t value, void* out,
                            uint64_t value64, tStatus& status) override;

private:
    void checkPending(tStatus& status);
    void acquireRegion(QvFpgaKx_AcquireFifoRegionFunction function, uint64_t missingLine,
                       uint64_t resultLine, uint32_t* reference, void* data, uint32_t value,
                       void* out, uint64_t value64, tStatus& status);

    qverr::Status loadStatus_;
    void* library_ = nullptr;
    int32_t pendingCode_ = kErrorKxFifoPending;
    QvFpgaKx_AcquireFifoRegionFunction readRegion_ = nullptr;
    QvFpgaKx_AcquireFifoRegionFunction writeRegion_ = nullptr;
};

// An interrupt context reserved on an FPGA session at construction (a
// failure leaves none, and every wait then fails with -52010) and given back
// at destruction.
class IRQContextFpgaHw : public IRQContext {
public:
    IRQContextFpgaHw(uint32_t session, tStatus& status);
    IRQContextFpgaHw(const IRQContextFpgaHw&) = delete;
    IRQContextFpgaHw& operator=(const IRQContextFpgaHw&) = delete;
    ~IRQContextFpgaHw() override;

    void waitOnIrqs(uint32_t irqs, uint32_t timeout, uint32_t* irqsAsserted, bool* timedOut,
                    tStatus& status) override;
    void acknowledgeIrqs(uint32_t irqs, tStatus& status) override;

private:
    uint32_t session_;
    QvFpgaDll_IrqContext context_ = nullptr;
};

}  // namespace qvisl
