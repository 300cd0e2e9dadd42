// The traditional FPGA session: the host first talks to it through numbered
// attributes (the device's attribute handler and the flash manager answer),
// stores the bitfile path as a string attribute and commits an open with an
// attribute write; from then on register, block, FIFO and interrupt
// operations go to a low-level session made by the board plug-in's session
// factory. Modes: 0 closed, 1 open prepared (reached by the host's open
// sequence of attribute requests), 2 open.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "atomiczekddk/shared/Errors.h"
#include "atomiczekddk/shared/RegisterSequenceDetector.h"
#include "atomiczekddk/user/IAttributeHandler.h"
#include "atomiczekddk/user/IFlashManager.h"
#include "atomiczekddk/user/facade/IFpgaSessionTraditional.h"

namespace qvzek {

struct DeviceInfo;
class ISessionFactory;
namespace user {
class Session;
}

inline constexpr int32_t kErrorUnsupportedVersion = kErrorBitfileUnsupported;

// Serves block transfers whose access word is above 32.
class IBlockExtension {
public:
    virtual ~IBlockExtension() = default;
    virtual void readBlock(uint32_t address, uint32_t count, uint64_t buffer, uint32_t access) = 0;
    virtual void writeBlock(uint32_t address, uint32_t count, uint64_t buffer, uint32_t access) = 0;
};

class FpgaSessionTraditional final : public IFpgaSessionTraditional {
public:
    // Takes over `blockExtension` (left empty).
    FpgaSessionTraditional(std::shared_ptr<const DeviceInfo> device, ISessionFactory* factory,
                           std::shared_ptr<IAttributeHandler> attributeHandler,
                           std::shared_ptr<IFlashManager> flashManager,
                           std::unique_ptr<IBlockExtension>& blockExtension);
    FpgaSessionTraditional(std::shared_ptr<const DeviceInfo> device, ISessionFactory* factory,
                           std::shared_ptr<IAttributeHandler> attributeHandler,
                           std::shared_ptr<IFlashManager> flashManager);
    FpgaSessionTraditional(const FpgaSessionTraditional&) = delete;
    FpgaSessionTraditional& operator=(const FpgaSessionTraditional&) = delete;
    ~FpgaSessionTraditional() override;

    uint32_t getU32Attribute(uint32_t id, nQVAPALS100::tStatus& status) override;
    void getStringAttribute(int64_t id, char* buffer, uint64_t bufferSize, uint32_t* length,
                            nQVAPALS100::tStatus& status) override;
    void setU32Attribute(uint32_t id, uint32_t value, nQVAPALS100::tStatus& status) override;
    void setStringAttribute(uint64_t id, const char* text, nQVAPALS100::tStatus& status) override;
    void loadBitstream(const uint8_t* bytes, uint32_t byteCount, const char* text,
                       uint32_t textLength, int32_t kind, nQVAPALS100::tStatus& status) override;
    void reset(nQVAPALS100::tStatus& status) override;
    void noOperation6(nQVAPALS100::tStatus&) override {}
    void noOperation7(nQVAPALS100::tStatus&) override {}
    void noOperation8(nQVAPALS100::tStatus&) override {}
    void notSupported9(nQVAPALS100::tStatus& status) override;
    void notSupported10(nQVAPALS100::tStatus& status) override;
    void notSupported11(nQVAPALS100::tStatus& status) override;
    void configureFifo(uint32_t fifo, int64_t depth, uint64_t* actualDepth, uint64_t unused,
                       nQVAPALS100::tStatus& status) override;
    void startFifo(uint32_t fifo, nQVAPALS100::tStatus& status) override;
    void stopFifo(uint32_t fifo, nQVAPALS100::tStatus& status) override;
    void readFifo(uint32_t fifo, uint64_t buffer, uint32_t count, const uint32_t* typeCode,
                  uint32_t timeout, uint32_t* elementsDone, uint32_t* remaining,
                  nQVAPALS100::tStatus& status) override;
    void writeFifo(uint32_t fifo, uint64_t buffer, uint32_t count, const uint32_t* typeCode,
                   uint32_t timeout, uint32_t* elementsDone, uint32_t* remaining,
                   nQVAPALS100::tStatus& status) override;
    void acquireFifoElements(uint32_t fifo, void** elements, uint64_t count,
                             const uint32_t* typeCode, uint8_t direction, uint32_t timeout,
                             uint64_t* acquired, uint64_t* remaining,
                             nQVAPALS100::tStatus& status) override;
    void releaseFifoElements(uint32_t fifo, int64_t count, nQVAPALS100::tStatus& status) override;
    void noOperation19(nQVAPALS100::tStatus&) override {}
    void notSupported20(nQVAPALS100::tStatus& status) override;
    void readBlock(uint32_t address, uint32_t count, uint64_t buffer, uint32_t access,
                   nQVAPALS100::tStatus& status) override;
    void writeBlock(uint32_t address, uint32_t count, uint64_t buffer, uint32_t access,
                    nQVAPALS100::tStatus& status) override;
    int32_t notSupported23(nQVAPALS100::tStatus& status) override;
    uint32_t read32(uint32_t address, nQVAPALS100::tStatus& status) override;
    uint32_t notSupported25(nQVAPALS100::tStatus& status) override;
    uint32_t notSupported26(nQVAPALS100::tStatus& status) override;
    void notSupported27(nQVAPALS100::tStatus& status) override;
    void write32(uint32_t address, uint32_t value, nQVAPALS100::tStatus& status) override;
    void notSupported29(nQVAPALS100::tStatus& status) override;
    void notSupported30(nQVAPALS100::tStatus& status) override;
    uint32_t noOperation31(nQVAPALS100::tStatus&) override { return 0; }
    uint32_t notSupported32(nQVAPALS100::tStatus& status) override;
    void reserveIrqContext(nQVAPALS100::tStatus& status) override;
    void unreserveIrqContext(nQVAPALS100::tStatus& status) override;
    uint32_t waitOnIrqs(uint32_t mask, uint32_t timeout, nQVAPALS100::tStatus& status) override;
    void close() override;
    void notSupported37(nQVAPALS100::tStatus& status) override;
    void notSupported38(nQVAPALS100::tStatus& status) override;

    uint32_t mode() const { return mode_; }

private:
    template <class Body>
    void guarded(nQVAPALS100::tStatus& status, uint64_t line, Body&& body) noexcept;
    void transfer(bool read, uint32_t fifo, uint64_t buffer, uint32_t count,
                  const uint32_t* typeCode, uint32_t timeout, uint32_t* elementsDone,
                  uint32_t* remaining, nQVAPALS100::tStatus& status, uint64_t line);
    void block(bool read, uint32_t address, uint32_t count, uint64_t buffer, uint32_t access,
               nQVAPALS100::tStatus& status, uint64_t line);
    // The open session, or -63032.
    user::Session& session();

    // Declaration order is destruction order, reversed: the block
    // extension goes first, the device last.
    std::shared_ptr<const DeviceInfo> device_;
    RegisterSequenceDetector openSequence_;
    uint32_t mode_ = 0;
    std::unique_ptr<user::Session> session_;
    ISessionFactory* sessionFactory_;
    std::shared_ptr<IAttributeHandler> attributeHandler_;
    std::shared_ptr<IFlashManager> flashManager_;
    int32_t attribute45_ = -1;
    std::string bitfilePath_;
    uint32_t openAttributes_ = 0;
    std::unique_ptr<IBlockExtension> blockExtension_;
};

}  // namespace qvzek
