// The FPGA session handed to the FPGA-driver host for one opened device.
// It owns nothing of the hardware: every operation forwards one call to the
// low-level session (user::Session) inside one frame that turns every
// failure into a code in the caller's status, so no exception leaves it.
// Register accesses are done here, through the low-level session's register
// accessor, under the read side of the FPGA's lock.
#pragma once

#include <cstdint>
#include <memory>

#include "atomiczekddk/shared/Errors.h"
#include "atomiczekddk/user/facade/IFpgaSession.h"

namespace qvzek {

class ISessionFactory;
struct DeviceInfo;
class Type;
namespace user {
class Session;
}

inline constexpr uint32_t kFpgaSessionInterfaceVersion = 5;

// open attribute bits
inline constexpr uint32_t kOpenBitfileIsText = 0x40000000;
inline constexpr uint32_t kOpenConflictingBits = 0x22000000;
// close attribute bit 0: leave the FPGA running
inline constexpr uint32_t kCloseNoReset = 0x1;
// value type of the pointer property
inline constexpr uint32_t kPropertyValuePointer = 0;

class FpgaSession final : public IFpgaSession207 {
public:
    FpgaSession(std::shared_ptr<const DeviceInfo> device, ISessionFactory* factory);
    // Takes over `implementation` (left empty).
    FpgaSession(std::shared_ptr<const DeviceInfo> device, ISessionFactory* factory,
                std::unique_ptr<user::Session>& implementation);
    FpgaSession(const FpgaSession&) = delete;
    FpgaSession& operator=(const FpgaSession&) = delete;

    uint32_t getInterfaceVersion() override;
    IFpgaSessionTraditional* openTraditionalSession(int32_t mode, tStatus& status) override;
    IFpgaSession* clone(tStatus& status) override;
    void open(const char* bitfile, const char* signature, uint32_t attribute,
              tStatus& status) override;
    void release() override;
    void close(uint32_t attribute, tStatus& status) override;

#define QVZEK_DECLARE(Name, T)                                                                     \
    T read##Name(uint32_t offset, bool mayTimeout, tStatus& status) override;                      \
    void write##Name(uint32_t offset, T value, bool mayTimeout, tStatus& status) override;         \
    void readArray##Name(uint32_t offset, T* data, size_t count, bool mayTimeout, tStatus& status) \
        override;                                                                                  \
    void writeArray##Name(uint32_t offset, const T* data, size_t count, bool mayTimeout,           \
                          tStatus& status) override;                                               \
    void readFifo##Name(uint32_t fifo, T* data, size_t count, uint32_t timeout, uint8_t* waited,   \
                        size_t* elementsRemaining, tStatus& status) override;                      \
    void writeFifo##Name(uint32_t fifo, const T* data, size_t count, uint32_t timeout,             \
                         uint8_t* waited, size_t* elementsRemaining, tStatus& status) override;    \
    void acquireFifoReadElements##Name(                                                            \
        uint32_t fifo, T** elements, size_t count, uint32_t timeout, uint8_t* waited,              \
        size_t* elementsAcquired, size_t* elementsRemaining, tStatus& status) override;            \
    void acquireFifoWriteElements##Name(                                                           \
        uint32_t fifo, T** elements, size_t count, uint32_t timeout, uint8_t* waited,              \
        size_t* elementsAcquired, size_t* elementsRemaining, tStatus& status) override;
    QVZEK_FPGA_SESSION_TYPES(QVZEK_DECLARE)
#undef QVZEK_DECLARE

    void download(bool* failed, tStatus& status) override;
    void reset(tStatus& status) override;
    void abort(tStatus& status) override;
    void run(uint32_t attribute, bool* alreadyRunning, tStatus& status) override;
    void reserveIrqContext(tStatus& status) override;
    void unreserveIrqContext(tStatus& status) override;
    uint32_t waitOnIrqs(uint32_t irqs, uint32_t timeout, bool* timedOut, tStatus& status) override;
    void acknowledgeIrqs(uint32_t irqs, tStatus& status) override;
    void configureFifo(uint32_t fifo, size_t requestedDepth, size_t* actualDepth,
                       tStatus& status) override;
    void startFifo(uint32_t fifo, tStatus& status) override;
    void stopFifo(uint32_t fifo, tStatus& status) override;
    void releaseFifoElements(uint32_t fifo, size_t count, tStatus& status) override;
    uint64_t getBitfileValue(tStatus& status) override;
    bool queryNotSupported(uint64_t first, uint64_t second, tStatus& status) override;
    void getSignature(uint32_t* words, size_t* count, tStatus& status) override;
    void findRegister(const char* name, uint32_t resourceType, uint32_t* result,
                      tStatus& status) override;
    void findFifo(const char* name, uint32_t resourceType, uint32_t* result,
                  tStatus& status) override;
    void getP2PEndpointId(uint32_t fifo, uint32_t* identifier, tStatus& status) override;
    void mapHostMemory(int32_t memoryIndex, int32_t second, uint64_t third, uint64_t fourth,
                       uint8_t* fifth, uint64_t sixth, tStatus& status) override;
    ~FpgaSession() override;
    void setFifoProperty(uint32_t fifo, uint32_t property, uint32_t valueType, void* value,
                         tStatus& status) override;
    void getFifoProperty(uint32_t fifo, uint32_t property, uint32_t valueType, void* value,
                         tStatus& status) override;
    void commitFifoConfiguration(uint32_t fifo, tStatus& status) override;
    uint32_t getRunState(tStatus& status) override;
    void readFifoComposite(uint32_t fifo, void* data, uint32_t elementBytes, size_t count,
                           uint32_t timeout, uint8_t* waited, size_t* elementsRemaining,
                           tStatus& status) override;
    void writeFifoComposite(uint32_t fifo, const void* data, uint32_t elementBytes, size_t count,
                            uint32_t timeout, uint8_t* waited, size_t* elementsRemaining,
                            tStatus& status) override;
    void acquireFifoReadElementsComposite(uint32_t fifo, void** elements, uint32_t elementBytes,
                                          size_t count, uint32_t timeout, uint8_t* waited,
                                          size_t* elementsAcquired, size_t* elementsRemaining,
                                          tStatus& status) override;
    void acquireFifoWriteElementsComposite(uint32_t fifo, void** elements, uint32_t elementBytes,
                                           size_t count, uint32_t timeout, uint8_t* waited,
                                           size_t* elementsAcquired, size_t* elementsRemaining,
                                           tStatus& status) override;
    uint32_t getFixedFlag() override;
    void acquireFifoReadRegion(uint32_t fifo, void** region, void** elements, uint32_t isSigned,
                               uint32_t elementBytes, size_t count, uint32_t timeout,
                               uint8_t* waited, size_t* elementsAcquired, size_t* elementsRemaining,
                               tStatus& status) override;
    void acquireFifoWriteRegion(uint32_t fifo, void** region, void** elements, uint32_t isSigned,
                                uint32_t elementBytes, size_t count, uint32_t timeout,
                                uint8_t* waited, size_t* elementsAcquired,
                                size_t* elementsRemaining, tStatus& status) override;
    void releaseFifoRegion(uint32_t fifo, void* region, tStatus& status) override;
    void resetFifo(uint32_t fifo, tStatus& status) override;
    void mapP2PSink(uint32_t fifo, void** address, size_t* size, void** context,
                    void** releaseFunction, tStatus& status) override;
    void openHostMemoryBuffer(const char* name, uint64_t* size, uint64_t* address, void** context,
                              void** release, tStatus& status) override;
    void openHostMemoryBufferRegion(const char* name, uint64_t* size1M, uint64_t* address1M,
                                    void** context1M, void** release1M, uint64_t* size4k,
                                    uint64_t* address4k, void** context4k, void** release4k,
                                    tStatus& status) override;

    // For tests and the device: the low-level session, or null before open.
    user::Session* implementation() const {
        return implementation_.get();
    }

private:
    // Frame steps 1 and 2: -52010 without an implementation; true when the
    // operation may go on.
    bool enter(tStatus& status, uint64_t line);
    template <class Result, class Body>
    Result framed(tStatus& status, uint64_t line, Body&& body) noexcept;
    template <class Result, class Body>
    Result registerAccess(tStatus& status, uint64_t line, bool mayTimeout, Body&& body) noexcept;

    template <class T>
    T readScalar(uint32_t offset, bool mayTimeout, tStatus& status, uint64_t line);
    template <class T>
    void writeScalar(uint32_t offset, T value, bool mayTimeout, tStatus& status, uint64_t line);
    template <class T>
    void readArray(uint32_t offset, T* data, size_t count, uint32_t width, bool mayTimeout,
                   tStatus& status, uint64_t line);
    template <class T>
    void writeArray(uint32_t offset, const T* data, size_t count, uint32_t width, bool mayTimeout,
                    tStatus& status, uint64_t line);
    template <class T>
    void readFifoTyped(const Type& type, uint32_t fifo, T* data, size_t count, uint32_t timeout,
                       uint8_t* waited, size_t* elementsRemaining, tStatus& status, uint64_t line);
    template <class T>
    void writeFifoTyped(const Type& type, uint32_t fifo, const T* data, size_t count,
                        uint32_t timeout, uint8_t* waited, size_t* elementsRemaining,
                        tStatus& status, uint64_t line);
    void acquireElements(bool readSide, const Type& type, uint32_t fifo, void** elements,
                         size_t count, uint32_t timeout, uint8_t* waited, size_t* elementsAcquired,
                         size_t* elementsRemaining, tStatus& status, uint64_t line);
    void acquireRegion(bool readSide, uint32_t fifo, void** region, void** elements,
                       uint32_t isSigned, uint32_t elementBytes, size_t count, uint32_t timeout,
                       uint8_t* waited, size_t* elementsAcquired, size_t* elementsRemaining,
                       tStatus& status, uint64_t line);

    std::shared_ptr<const DeviceInfo> device_;
    ISessionFactory* factory_;
    std::unique_ptr<user::Session> implementation_;
};

}  // namespace qvzek
