#include "atomiczekddk/user/facade/FpgaSessionTraditional.h"

#include <algorithm>
#include <vector>

#include "HALUtilities/ErrorHandling.h"
#include "atomiczekddk/bitfile/Types.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "atomiczekddk/user/facade/FpgaSession.h"
#include "atomiczekddk/user/facade/ISessionFactory.h"
#include "atomiczekddk/user/session/Session.h"

namespace qvzek {

namespace {

constexpr const char* kComponent = "internal_sdi_hal23u";
constexpr const char* kSourceName = "atomiczekddk/user/session/FpgaSessionTraditional";

constexpr uint32_t kModeClosed = 0;
constexpr uint32_t kModePrepared = 1;
constexpr uint32_t kModeOpen = 2;

// Attribute ids of the traditional host.
constexpr uint32_t kAttributeFlashValue = 65;
constexpr uint32_t kAttributeFlashVersion = 90;
constexpr uint32_t kAttributeOpenAttributes = 87;
constexpr uint32_t kAttributeOpen = 23;
constexpr uint32_t kOpenCommit = 4;
constexpr uint32_t kAttribute45 = 45;
constexpr uint32_t kAttributeResetOnClose = 40;
constexpr uint32_t kAttributeBitfilePath = 14;
constexpr uint32_t kOpenAttributesAtOpen = 0x81000000;

constexpr int32_t kLoadToSession = 1;
constexpr int32_t kLoadToFlash = 2;

void raise(nQVAPALS100::tStatus& status, int32_t code, uint64_t line) {
    status.setCode(code, kComponent, kSourceName, line);
}

// FIFO element types by the host's type code.
Type typeOfCode(const uint32_t* code) {
    switch (code != nullptr ? *code : 0) {
        case 1:
            return TypeI8();
        case 2:
            return TypeI16();
        case 3:
            return TypeI32();
        case 4:
            return TypeI64();
        case 5:
            return TypeU8();
        case 6:
            return TypeU16();
        case 7:
            return TypeU32();
        case 8:
            return TypeU64();
        default:
            throwStatusCode(qverr::qvapalerr_invalidParameter);
    }
}

}  // namespace

FpgaSessionTraditional::FpgaSessionTraditional(std::shared_ptr<const DeviceInfo> device,
                                               ISessionFactory* factory,
                                               std::shared_ptr<IAttributeHandler> attributeHandler,
                                               std::shared_ptr<IFlashManager> flashManager,
                                               std::unique_ptr<IBlockExtension>& blockExtension)
    : device_(std::move(device)),
      sessionFactory_(factory),
      attributeHandler_(std::move(attributeHandler)),
      flashManager_(std::move(flashManager)),
      blockExtension_(std::move(blockExtension)) {}

FpgaSessionTraditional::FpgaSessionTraditional(std::shared_ptr<const DeviceInfo> device,
                                               ISessionFactory* factory,
                                               std::shared_ptr<IAttributeHandler> attributeHandler,
                                               std::shared_ptr<IFlashManager> flashManager)
    : device_(std::move(device)),
      sessionFactory_(factory),
      attributeHandler_(std::move(attributeHandler)),
      flashManager_(std::move(flashManager)) {}

FpgaSessionTraditional::~FpgaSessionTraditional() = default;

template <class Body>
void FpgaSessionTraditional::guarded(nQVAPALS100::tStatus& status, uint64_t line,
                                     Body&& body) noexcept {
    if (status.isError()) return;
    try {
        body();
    } catch (...) {
        qv3377hal::storeCurrentException(status, kComponent, kSourceName, line);
    }
}

user::Session& FpgaSessionTraditional::session() {
    if (!session_) throwStatusCode(kErrorTraditionalMode);
    return *session_;
}

uint32_t FpgaSessionTraditional::getU32Attribute(uint32_t id, nQVAPALS100::tStatus& status) {
    uint32_t value = 0xFFFFFFFF;
    guarded(status, __LINE__, [&] {
        openSequence_.onRead(id);
        if (mode_ == kModeClosed && openSequence_.isComplete()) mode_ = kModePrepared;
        bool handled = false;
        switch (mode_) {
            case kModeClosed:
                if (id == kAttributeFlashValue) {
                    if (flashManager_->getFlashVersion() == 0) {
                        value = 0;
                        throwStatusCode(kErrorNotSupported);
                    }
                    value = flashManager_->getFlashValue();
                    return;
                }
                if (id == kAttributeFlashVersion) {
                    value = flashManager_->getFlashVersion();
                    return;
                }
                break;
            case kModePrepared:
                if (id == 36 || id == 82)
                    value = 1;
                else if (id == kAttribute45)
                    value = static_cast<uint32_t>(attribute45_);
                else if (id == 48 || id == 81)
                    value = 0;
                else
                    throwStatusCode(kErrorAttributeNotServed);
                return;
            case kModeOpen:
                if (id == kAttribute45) {
                    value = static_cast<uint32_t>(attribute45_);
                    return;
                }
                if (id == 48) {
                    value = 0;
                    return;
                }
                break;
            default:
                throwStatusCode(kErrorTraditionalMode);
        }
        value = attributeHandler_->getU32Attribute(id, &handled);
        if (!handled) throwStatusCode(kErrorAttributeNotServed);
    });
    return value;
}

void FpgaSessionTraditional::getStringAttribute(int64_t id, char* buffer, uint64_t bufferSize,
                                                uint32_t* length, nQVAPALS100::tStatus& status) {
    guarded(status, __LINE__, [&] {
        if (mode_ == kModePrepared) return;
        if (mode_ != kModeClosed && mode_ != kModeOpen) throwStatusCode(kErrorTraditionalMode);
        if (mode_ == kModeClosed) openSequence_.onCommand(static_cast<int32_t>(id));
        bool handled = false;
        const auto size = static_cast<uint32_t>(std::min<uint64_t>(bufferSize, 0xFFFFFFFF));
        attributeHandler_->getStringAttribute(static_cast<uint32_t>(id), buffer, size, length,
                                              &handled);
        if (!handled) throwStatusCode(kErrorAttributeNotServed);
    });
}

void FpgaSessionTraditional::setU32Attribute(uint32_t id, uint32_t value,
                                             nQVAPALS100::tStatus& status) {
    guarded(status, __LINE__, [&] {
        bool handled = false;
        switch (mode_) {
            case kModeClosed:
                if (id == kAttributeFlashValue) {
                    flashManager_->setFlashValue(value);
                    return;
                }
                if (id == kAttributeOpenAttributes) {
                    openAttributes_ = value;
                    return;
                }
                openSequence_.onWrite(id, value);
                break;
            case kModePrepared:
                if (id == 17 || id == 35 || id == 37 || id == 38 || id == 39) return;
                if (id == kAttribute45) {
                    attribute45_ = static_cast<int32_t>(value);
                    if (value == 0 || value == 1) throwStatusCode(kErrorUnsupportedVersion);
                    return;
                }
                if (id != kAttributeOpen) throwStatusCode(kErrorAttributeNotServed);
                if (value != kOpenCommit) return;
                openAttributes_ |= kOpenAttributesAtOpen;
                if (bitfilePath_.empty()) throwStatusCode(kErrorNoBitfilePath);
                {
                    std::unique_ptr<char[]> contents;
                    const char* text = readWholeFile(true, bitfilePath_.c_str(), contents,
                                                     kErrorBitfileUnreadable);
                    std::unique_ptr<user::Session> opened =
                        sessionFactory_->createSession(device_, text, "", openAttributes_);
                    std::swap(session_, opened);
                }
                mode_ = kModeOpen;
                bitfilePath_.clear();
                return;
            case kModeOpen:
                if (id == kAttributeResetOnClose) {
                    session().setResetOnClose(value != 0);
                    return;
                }
                break;
            default:
                throwStatusCode(kErrorTraditionalMode);
        }
        attributeHandler_->setU32Attribute(id, value, &handled);
        if (!handled) throwStatusCode(kErrorAttributeNotServed);
    });
}

void FpgaSessionTraditional::setStringAttribute(uint64_t id, const char* text,
                                                nQVAPALS100::tStatus& status) {
    guarded(status, __LINE__, [&] {
        switch (mode_) {
            case kModeClosed:
                if (id == kAttributeBitfilePath) {
                    if (text == nullptr) throwStatusCode(qverr::qvapalerr_invalidParameter);
                    bitfilePath_ = text;
                    return;
                }
                break;
            case kModePrepared:
                if (id == 1 || id == 3) return;
                throwStatusCode(kErrorAttributeNotServed);
            case kModeOpen:
                if (id == 1) return;
                break;
            default:
                throwStatusCode(kErrorTraditionalMode);
        }
        bool handled = false;
        attributeHandler_->setStringAttribute(static_cast<uint32_t>(id), text, &handled);
        if (!handled) throwStatusCode(kErrorAttributeNotServed);
    });
}

void FpgaSessionTraditional::loadBitstream(const uint8_t* bytes, uint32_t byteCount,
                                           const char* text, uint32_t, int32_t kind,
                                           nQVAPALS100::tStatus& status) {
    guarded(status, __LINE__, [&] {
        if (mode_ == kModePrepared) return;
        if (mode_ == kModeOpen && kind == kLoadToSession) {
            if (bytes == nullptr && byteCount != 0)
                throwStatusCode(qverr::qvapalerr_invalidParameter);
            const std::vector<uint8_t> image(bytes, bytes + byteCount);
            session().download(image.data(), image.data() + image.size());
        } else if (mode_ == kModeClosed && kind == kLoadToFlash) {
            if (bytes == nullptr) {
                flashManager_->clearImage();
            } else {
                flashManager_->writeImage(std::vector<uint8_t>(bytes, bytes + byteCount), text);
            }
        } else if (mode_ == kModeClosed || mode_ == kModeOpen) {
            throwStatusCode(kErrorNotSupported);
        } else {
            throwStatusCode(kErrorTraditionalMode);
        }
    });
}

void FpgaSessionTraditional::reset(nQVAPALS100::tStatus& status) {
    guarded(status, __LINE__, [&] {
        if (mode_ != kModeOpen) throwStatusCode(kErrorTraditionalMode);
        session().reset();
    });
}

#define QVZEK_NOT_SUPPORTED(Result, Name, Value)                            \
    Result FpgaSessionTraditional::Name(nQVAPALS100::tStatus& status) {     \
        if (!status.isError()) raise(status, kErrorNotSupported, __LINE__); \
        return Value;                                                       \
    }
QVZEK_NOT_SUPPORTED(void, notSupported9, )
QVZEK_NOT_SUPPORTED(void, notSupported10, )
QVZEK_NOT_SUPPORTED(void, notSupported11, )
QVZEK_NOT_SUPPORTED(void, notSupported20, )
QVZEK_NOT_SUPPORTED(int32_t, notSupported23, -1)
QVZEK_NOT_SUPPORTED(uint32_t, notSupported25, 0xFFFFFFFF)
QVZEK_NOT_SUPPORTED(uint32_t, notSupported26, 0xFFFFFFFF)
QVZEK_NOT_SUPPORTED(void, notSupported27, )
QVZEK_NOT_SUPPORTED(void, notSupported29, )
QVZEK_NOT_SUPPORTED(void, notSupported30, )
QVZEK_NOT_SUPPORTED(uint32_t, notSupported32, 0)
QVZEK_NOT_SUPPORTED(void, notSupported37, )
QVZEK_NOT_SUPPORTED(void, notSupported38, )
#undef QVZEK_NOT_SUPPORTED

void FpgaSessionTraditional::configureFifo(uint32_t fifo, int64_t depth, uint64_t* actualDepth,
                                           uint64_t, nQVAPALS100::tStatus& status) {
    guarded(status, __LINE__, [&] { session().configureFifo(fifo, depth, actualDepth); });
}

void FpgaSessionTraditional::startFifo(uint32_t fifo, nQVAPALS100::tStatus& status) {
    guarded(status, __LINE__, [&] { session().startFifo(fifo); });
}

void FpgaSessionTraditional::stopFifo(uint32_t fifo, nQVAPALS100::tStatus& status) {
    guarded(status, __LINE__, [&] { session().stopFifo(fifo); });
}

void FpgaSessionTraditional::transfer(bool read, uint32_t fifo, uint64_t buffer, uint32_t count,
                                      const uint32_t* typeCode, uint32_t timeout,
                                      uint32_t* elementsDone, uint32_t* remaining,
                                      nQVAPALS100::tStatus& status, uint64_t line) {
    if (elementsDone != nullptr) *elementsDone = 0;
    if (!session_) raise(status, kErrorTraditionalMode, line);
    uint8_t timedOut = 0;
    guarded(status, line, [&] {
        const Type type = typeOfCode(typeCode);
        uint64_t left = 0;
        void* data = reinterpret_cast<void*>(static_cast<uintptr_t>(buffer));
        if (read) {
            session_->readFifo(type, fifo, data, count, timeout, &timedOut, &left);
        } else {
            session_->writeFifo(type, fifo, data, count, timeout, &timedOut, &left);
        }
        if (remaining != nullptr) {
            if (left > 0xFFFFFFFF) throwStatusCode(qverr::qvapalerr_invalidParameter);
            *remaining = static_cast<uint32_t>(left);
        }
    });
    if (timedOut != 0) raise(status, kErrorFifoTimedOut, line);
    // Elements count as done only when the whole transfer succeeded.
    if (elementsDone != nullptr && !status.isError()) *elementsDone = count;
}

void FpgaSessionTraditional::readFifo(uint32_t fifo, uint64_t buffer, uint32_t count,
                                      const uint32_t* typeCode, uint32_t timeout,
                                      uint32_t* elementsDone, uint32_t* remaining,
                                      nQVAPALS100::tStatus& status) {
    transfer(true, fifo, buffer, count, typeCode, timeout, elementsDone, remaining, status,
             __LINE__);
}

void FpgaSessionTraditional::writeFifo(uint32_t fifo, uint64_t buffer, uint32_t count,
                                       const uint32_t* typeCode, uint32_t timeout,
                                       uint32_t* elementsDone, uint32_t* remaining,
                                       nQVAPALS100::tStatus& status) {
    transfer(false, fifo, buffer, count, typeCode, timeout, elementsDone, remaining, status,
             __LINE__);
}

void FpgaSessionTraditional::acquireFifoElements(uint32_t fifo, void** elements, uint64_t count,
                                                 const uint32_t* typeCode, uint8_t direction,
                                                 uint32_t timeout, uint64_t* acquired,
                                                 uint64_t* remaining,
                                                 nQVAPALS100::tStatus& status) {
    guarded(status, __LINE__, [&] {
        user::Session& open = session();
        const Type type = typeOfCode(typeCode);
        uint8_t timedOut = 0;
        if (direction != 0) {
            open.acquireFifoWriteElements(type, fifo, elements, count, timeout, &timedOut, acquired,
                                          remaining);
        } else {
            open.acquireFifoReadElements(type, fifo, elements, count, timeout, &timedOut, acquired,
                                         remaining);
        }
    });
}

void FpgaSessionTraditional::releaseFifoElements(uint32_t fifo, int64_t count,
                                                 nQVAPALS100::tStatus& status) {
    guarded(status, __LINE__, [&] { session().releaseFifoElements(fifo, count); });
}

void FpgaSessionTraditional::block(bool read, uint32_t address, uint32_t count, uint64_t buffer,
                                   uint32_t access, nQVAPALS100::tStatus& status, uint64_t line) {
    const uint32_t width = access & 0xF;
    uint64_t bytes = 0;
    if (width == 1 || width == 2 || width == 4 || width == 8) {
        bytes = static_cast<uint64_t>(count) * width;
    } else {
        raise(status, qverr::qvapalerr_invalidParameter, line);
    }
    // The driver's byte count is 32 bits: a longer block is refused, never
    // cut short.
    if (bytes > 0xFFFFFFFF) raise(status, qverr::qvapalerr_invalidParameter, line);
    guarded(status, line, [&] {
        if (access > 32 && blockExtension_) {
            if (read) {
                blockExtension_->readBlock(address, count, buffer, access);
            } else {
                blockExtension_->writeBlock(address, count, buffer, access);
            }
            return;
        }
        if (mode_ == kModeClosed || mode_ == kModePrepared) throwStatusCode(kErrorNotSupported);
        if (mode_ != kModeOpen) throwStatusCode(kErrorTraditionalMode);
        const uint32_t flag = (access >> 4) & 1;
        if (read) {
            session().readBlock(address, buffer, static_cast<uint32_t>(bytes), width, flag);
        } else {
            session().writeBlock(address, buffer, static_cast<uint32_t>(bytes), width, flag);
        }
    });
}

void FpgaSessionTraditional::readBlock(uint32_t address, uint32_t count, uint64_t buffer,
                                       uint32_t access, nQVAPALS100::tStatus& status) {
    block(true, address, count, buffer, access, status, __LINE__);
}

void FpgaSessionTraditional::writeBlock(uint32_t address, uint32_t count, uint64_t buffer,
                                        uint32_t access, nQVAPALS100::tStatus& status) {
    block(false, address, count, buffer, access, status, __LINE__);
}

uint32_t FpgaSessionTraditional::read32(uint32_t address, nQVAPALS100::tStatus& status) {
    uint32_t value = 0xFFFFFFFF;
    guarded(status, __LINE__, [&] {
        if (mode_ == kModeOpen)
            value = session().read32(address);
        else if (mode_ == kModeClosed)
            throwStatusCode(kErrorNotSupported);
        else if (mode_ != kModePrepared)
            throwStatusCode(kErrorTraditionalMode);
    });
    return value;
}

void FpgaSessionTraditional::write32(uint32_t address, uint32_t value,
                                     nQVAPALS100::tStatus& status) {
    guarded(status, __LINE__, [&] {
        if (mode_ == kModeOpen)
            session().write32(address, value);
        else if (mode_ == kModeClosed)
            throwStatusCode(kErrorNotSupported);
        else if (mode_ != kModePrepared)
            throwStatusCode(kErrorTraditionalMode);
    });
}

void FpgaSessionTraditional::reserveIrqContext(nQVAPALS100::tStatus& status) {
    guarded(status, __LINE__, [&] {
        if (mode_ == kModeOpen)
            session().reserveIrqContext();
        else if (mode_ != kModeClosed && mode_ != kModePrepared)
            throwStatusCode(kErrorTraditionalMode);
    });
}

void FpgaSessionTraditional::unreserveIrqContext(nQVAPALS100::tStatus& status) {
    guarded(status, __LINE__, [&] {
        if (mode_ == kModeOpen)
            session().unreserveIrqContext();
        else if (mode_ != kModeClosed && mode_ != kModePrepared)
            throwStatusCode(kErrorTraditionalMode);
    });
}

uint32_t FpgaSessionTraditional::waitOnIrqs(uint32_t mask, uint32_t timeout,
                                            nQVAPALS100::tStatus& status) {
    uint32_t asserted = 0;
    guarded(status, __LINE__, [&] {
        if (mode_ != kModeOpen) throwStatusCode(kErrorTraditionalMode);
        uint8_t timedOut = 0;
        asserted = session().waitOnIrqs(mask, timeout, &timedOut);
    });
    return asserted;
}

void FpgaSessionTraditional::close() {
    delete this;
}

}  // namespace qvzek
