#include "atomiczekddk/user/facade/FpgaSession.h"

#include <bit>

#include "HALUtilities/ErrorHandling.h"
#include "atomiczekddk/bitfile/Types.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "atomiczekddk/shared/ReadWriteBlockHelpers.h"
#include "atomiczekddk/user/facade/FpgaSessionTraditional.h"
#include "atomiczekddk/user/facade/ISessionFactory.h"
#include "atomiczekddk/user/facade/RegisterPacking.h"
#include "atomiczekddk/user/session/Session.h"

namespace qvzek {

namespace {

constexpr const char* kComponent = "internal_sdi_hal23u";
// The source name error descriptions know the facade's raise sites by.
constexpr const char* kSourceName = "atomiczekddk/user/session/FpgaSession";
constexpr uint32_t kNoMatch = 0xFFFFFFFF;

void raise(tStatus& status, int32_t code, uint64_t line) {
    status.setCode(code, kComponent, kSourceName, line);
}

// Region transfers: the integer type of a 1-, 2-, 4- or 8-byte element,
// raw composite data otherwise.
Type regionType(uint32_t isSigned, uint32_t bytes) {
    const bool s = isSigned != 0;
    ElementType element = ElementType::Composite;
    switch (bytes) {
        case 1:
            element = s ? ElementType::I8 : ElementType::U8;
            break;
        case 2:
            element = s ? ElementType::I16 : ElementType::U16;
            break;
        case 4:
            element = s ? ElementType::I32 : ElementType::U32;
            break;
        case 8:
            element = s ? ElementType::I64 : ElementType::U64;
            break;
        default:
            break;
    }
    return Type(element, bytes * 8, bytes, s, static_cast<int32_t>(bytes * 8));
}

// The low-level session's register access as an accessor: the session's
// own, without taking the FPGA object's state mutex on every access.
class SessionIo final : public user::IIoAccessor {
public:
    explicit SessionIo(user::Session& session) : session_(session) {}
    uint32_t read32(uint32_t address) override { return session_.read32(address); }
    void write32(uint32_t address, uint32_t value) override { session_.write32(address, value); }
    void readBlock(uint32_t address, uint64_t buffer, uint32_t bytes, uint32_t width,
                   uint32_t flag) override {
        session_.readBlock(address, buffer, bytes, width, flag);
    }
    void writeBlock(uint32_t address, uint64_t buffer, uint32_t bytes, uint32_t width,
                    uint32_t flag) override {
        session_.writeBlock(address, buffer, bytes, width, flag);
    }

private:
    user::Session& session_;
};

template <class T>
void clear(T* output) {
    if (output != nullptr) *output = T{};
}

}  // namespace

FpgaSession::FpgaSession(std::shared_ptr<const DeviceInfo> device, ISessionFactory* factory)
    : device_(std::move(device)), factory_(factory) {}

FpgaSession::FpgaSession(std::shared_ptr<const DeviceInfo> device, ISessionFactory* factory,
                         std::unique_ptr<user::Session>& implementation)
    : device_(std::move(device)), factory_(factory), implementation_(std::move(implementation)) {}

FpgaSession::~FpgaSession() {
    // The session goes before the device it was made for.
    implementation_.reset();
}

bool FpgaSession::enter(tStatus& status, uint64_t line) {
    if (!implementation_) raise(status, qverr::qvapalerr_resourceNotInitialized, line);
    return !status.isError();
}

template <class Result, class Body>
Result FpgaSession::framed(tStatus& status, uint64_t line, Body&& body) noexcept {
    if (enter(status, line)) {
        try {
            return body(*implementation_);
        } catch (...) {
            qv3377hal::storeCurrentException(status, kComponent, kSourceName, line);
        }
    }
    if constexpr (!std::is_void_v<Result>) return Result{};
}

template <class Result, class Body>
Result FpgaSession::registerAccess(tStatus& status, uint64_t line, bool mayTimeout,
                                   Body&& body) noexcept {
    return framed<Result>(status, line, [&](user::Session& session) -> Result {
        ReadLockGuard guard(session.fpga()->lock());
        session.autoRunCheck();
        const auto& image = session.image();
        SessionIo io(session);
        // Not owned: the accessor lives for this one access.
        RegisterBlockAccessor registers{
            std::shared_ptr<user::IIoAccessor>(std::shared_ptr<void>(), &io),
            image ? image->viControlAddress : 0};
        if constexpr (std::is_void_v<Result>) {
            body(registers);
            registers.checkStatus(mayTimeout);
        } else {
            Result result = body(registers);
            registers.checkStatus(mayTimeout);
            return result;
        }
    });
}

// ---------------------------------------------------------------- lifecycle

uint32_t FpgaSession::getInterfaceVersion() {
    return kFpgaSessionInterfaceVersion;
}

uint32_t FpgaSession::getFixedFlag() {
    return 1;
}

IFpgaSessionTraditional* FpgaSession::openTraditionalSession(int32_t mode, tStatus& status) {
    if (status.isError()) return nullptr;
    try {
        if (mode != 0) throwStatusCode(kErrorNotSupported);
        return factory_->createTraditionalSession(device_).release();
    } catch (...) {
        qv3377hal::storeCurrentException(status, kComponent, kSourceName, __LINE__);
    }
    return nullptr;
}

IFpgaSession* FpgaSession::clone(tStatus& status) {
    if (!implementation_) {
        raise(status, qverr::qvapalerr_resourceNotInitialized, __LINE__);
        return nullptr;
    }
    // An error already in the status stays, and nothing is made.
    if (status.isError()) return nullptr;
    try {
        std::unique_ptr<user::Session> copy = implementation_->clone();
        return new FpgaSession(device_, factory_, copy);
    } catch (...) {
        qv3377hal::storeCurrentException(status, kComponent, kSourceName, __LINE__);
    }
    return nullptr;
}

void FpgaSession::open(const char* bitfile, const char* signature, uint32_t attribute,
                       tStatus& status) {
    if ((attribute & kOpenConflictingBits) == kOpenConflictingBits) {
        raise(status, qverr::qvapalerr_invalidParameter, __LINE__);
    }
    if (status.isError()) return;
    try {
        std::unique_ptr<char[]> contents;
        const char* text = readWholeFile((attribute & kOpenBitfileIsText) == 0, bitfile, contents,
                                         kErrorBitfileUnreadable);
        std::unique_ptr<user::Session> opened = factory_->createSession(
            device_, text, signature != nullptr ? signature : "", attribute);
        // The new session is in place before the old one goes.
        std::swap(implementation_, opened);
        opened.reset();
    } catch (...) {
        qv3377hal::storeCurrentException(status, kComponent, kSourceName, __LINE__);
    }
}

void FpgaSession::release() {
    delete this;
}

void FpgaSession::close(uint32_t attribute, tStatus& status) {
    if (implementation_) {
        try {
            if ((attribute & kCloseNoReset) == 0) implementation_->setResetOnClose(true);
            implementation_->getRunState();
        } catch (...) {
            qv3377hal::storeCurrentException(status, kComponent, kSourceName, __LINE__);
        }
    }
    delete this;
}

// ---------------------------------------------------------------- registers

template <class T>
T FpgaSession::readScalar(uint32_t offset, bool mayTimeout, tStatus& status, uint64_t line) {
    return registerAccess<T>(
        status, line, mayTimeout, [&](const RegisterBlockAccessor& registers) -> T {
            if constexpr (sizeof(T) == 8) {
                return registers.read<T>(offset, false);
            } else {
                const uint32_t word = registers.accessor->read32(offset);
                if constexpr (std::is_same_v<T, float>) {
                    return std::bit_cast<float>(word);
                } else {
                    return static_cast<T>(word);  // the low bits; signed types sign-extend
                }
            }
        });
}

template <class T>
void FpgaSession::writeScalar(uint32_t offset, T value, bool mayTimeout, tStatus& status,
                              uint64_t line) {
    registerAccess<void>(status, line, mayTimeout, [&](const RegisterBlockAccessor& registers) {
        if constexpr (sizeof(T) == 8) {
            registers.write<T>(offset, value, false);
        } else if constexpr (std::is_same_v<T, float>) {
            registers.accessor->write32(offset, std::bit_cast<uint32_t>(value));
        } else {
            using Unsigned = std::make_unsigned_t<T>;
            registers.accessor->write32(offset, static_cast<Unsigned>(value));
        }
    });
}

template <class T>
void FpgaSession::readArray(uint32_t offset, T* data, size_t count, uint32_t width, bool mayTimeout,
                            tStatus& status, uint64_t line) {
    registerAccess<void>(status, line, mayTimeout, [&](const RegisterBlockAccessor& registers) {
        if (count > 0xFFFFFFFFull) throwStatusCode(qverr::qvapalerr_invalidParameter);
        if constexpr (sizeof(T) < 4) {
            if (width == 1) {
                registerpacking::readArray<1>(*registers.accessor, offset, data, count);
            } else {
                registerpacking::readArray<sizeof(T) * 8>(*registers.accessor, offset, data, count);
            }
        } else if constexpr (sizeof(T) == 4) {
            if (count == 1) {
                *data = std::bit_cast<T>(registers.accessor->read32(offset));
            } else {
                registers.readArray(offset, data, count, false);
            }
        } else {
            registers.readArray(offset, data, count, false);
        }
    });
}

template <class T>
void FpgaSession::writeArray(uint32_t offset, const T* data, size_t count, uint32_t width,
                             bool mayTimeout, tStatus& status, uint64_t line) {
    registerAccess<void>(status, line, mayTimeout, [&](const RegisterBlockAccessor& registers) {
        if (count > 0xFFFFFFFFull) throwStatusCode(qverr::qvapalerr_invalidParameter);
        if constexpr (sizeof(T) < 4) {
            if (width == 1) {
                registerpacking::writeArray<1>(*registers.accessor, offset, data, count);
            } else {
                registerpacking::writeArray<sizeof(T) * 8>(*registers.accessor, offset, data,
                                                           count);
            }
        } else if constexpr (sizeof(T) == 4) {
            if (count == 1) {
                registers.accessor->write32(offset, std::bit_cast<uint32_t>(*data));
            } else {
                registers.writeArray(offset, data, count, false);
            }
        } else {
            registers.writeArray(offset, data, count, false);
        }
    });
}

// Bool scalars are 8-bit accesses.
uint8_t FpgaSession::readBool(uint32_t offset, bool mayTimeout, tStatus& status) {
    return readScalar<uint8_t>(offset, mayTimeout, status, __LINE__);
}
void FpgaSession::writeBool(uint32_t offset, uint8_t value, bool mayTimeout, tStatus& status) {
    writeScalar<uint8_t>(offset, value, mayTimeout, status, __LINE__);
}
void FpgaSession::readArrayBool(uint32_t offset, uint8_t* data, size_t count, bool mayTimeout,
                                tStatus& status) {
    readArray(offset, data, count, 1, mayTimeout, status, __LINE__);
}
void FpgaSession::writeArrayBool(uint32_t offset, const uint8_t* data, size_t count,
                                 bool mayTimeout, tStatus& status) {
    writeArray(offset, data, count, 1, mayTimeout, status, __LINE__);
}

// One macro use per line: each operation records its own line.
#define QVZEK_READ(Name, T)                                                        \
    T FpgaSession::read##Name(uint32_t offset, bool mayTimeout, tStatus& status) { \
        return readScalar<T>(offset, mayTimeout, status, __LINE__);                \
    }
#define QVZEK_WRITE(Name, T)                                                                    \
    void FpgaSession::write##Name(uint32_t offset, T value, bool mayTimeout, tStatus& status) { \
        writeScalar<T>(offset, value, mayTimeout, status, __LINE__);                            \
    }
#define QVZEK_READ_ARRAY(Name, T)                                                              \
    void FpgaSession::readArray##Name(uint32_t offset, T* data, size_t count, bool mayTimeout, \
                                      tStatus& status) {                                       \
        readArray(offset, data, count, sizeof(T) * 8, mayTimeout, status, __LINE__);           \
    }
#define QVZEK_WRITE_ARRAY(Name, T)                                                    \
    void FpgaSession::writeArray##Name(uint32_t offset, const T* data, size_t count,  \
                                       bool mayTimeout, tStatus& status) {            \
        writeArray(offset, data, count, sizeof(T) * 8, mayTimeout, status, __LINE__); \
    }
QVZEK_READ(U8, uint8_t)
QVZEK_READ(U16, uint16_t)
QVZEK_READ(U32, uint32_t)
QVZEK_READ(U64, uint64_t)
QVZEK_READ(I8, int8_t)
QVZEK_READ(I16, int16_t)
QVZEK_READ(I32, int32_t)
QVZEK_READ(I64, int64_t)
QVZEK_READ(Sgl, float)
QVZEK_READ(Dbl, double)
QVZEK_WRITE(U8, uint8_t)
QVZEK_WRITE(U16, uint16_t)
QVZEK_WRITE(U32, uint32_t)
QVZEK_WRITE(U64, uint64_t)
QVZEK_WRITE(I8, int8_t)
QVZEK_WRITE(I16, int16_t)
QVZEK_WRITE(I32, int32_t)
QVZEK_WRITE(I64, int64_t)
QVZEK_WRITE(Sgl, float)
QVZEK_WRITE(Dbl, double)
QVZEK_READ_ARRAY(U8, uint8_t)
QVZEK_READ_ARRAY(U16, uint16_t)
QVZEK_READ_ARRAY(U32, uint32_t)
QVZEK_READ_ARRAY(U64, uint64_t)
QVZEK_READ_ARRAY(I8, int8_t)
QVZEK_READ_ARRAY(I16, int16_t)
QVZEK_READ_ARRAY(I32, int32_t)
QVZEK_READ_ARRAY(I64, int64_t)
QVZEK_READ_ARRAY(Sgl, float)
QVZEK_READ_ARRAY(Dbl, double)
QVZEK_WRITE_ARRAY(U8, uint8_t)
QVZEK_WRITE_ARRAY(U16, uint16_t)
QVZEK_WRITE_ARRAY(U32, uint32_t)
QVZEK_WRITE_ARRAY(U64, uint64_t)
QVZEK_WRITE_ARRAY(I8, int8_t)
QVZEK_WRITE_ARRAY(I16, int16_t)
QVZEK_WRITE_ARRAY(I32, int32_t)
QVZEK_WRITE_ARRAY(I64, int64_t)
QVZEK_WRITE_ARRAY(Sgl, float)
QVZEK_WRITE_ARRAY(Dbl, double)
#undef QVZEK_READ
#undef QVZEK_WRITE
#undef QVZEK_READ_ARRAY
#undef QVZEK_WRITE_ARRAY

// -------------------------------------------------------------------- FIFOs

template <class T>
void FpgaSession::readFifoTyped(const Type& type, uint32_t fifo, T* data, size_t count,
                                uint32_t timeout, uint8_t* waited, size_t* elementsRemaining,
                                tStatus& status, uint64_t line) {
    framed<void>(status, line, [&](user::Session& session) {
        clear(elementsRemaining);
        session.readFifo(type, fifo, data, count, timeout, waited, elementsRemaining);
    });
}

template <class T>
void FpgaSession::writeFifoTyped(const Type& type, uint32_t fifo, const T* data, size_t count,
                                 uint32_t timeout, uint8_t* waited, size_t* elementsRemaining,
                                 tStatus& status, uint64_t line) {
    framed<void>(status, line, [&](user::Session& session) {
        clear(elementsRemaining);
        session.writeFifo(type, fifo, data, count, timeout, waited, elementsRemaining);
    });
}

void FpgaSession::acquireElements(bool readSide, const Type& type, uint32_t fifo, void** elements,
                                  size_t count, uint32_t timeout, uint8_t* waited,
                                  size_t* elementsAcquired, size_t* elementsRemaining,
                                  tStatus& status, uint64_t line) {
    framed<void>(status, line, [&](user::Session& session) {
        clear(elements);
        clear(elementsAcquired);
        clear(elementsRemaining);
        if (readSide) {
            session.acquireFifoReadElements(type, fifo, elements, count, timeout, waited,
                                            elementsAcquired, elementsRemaining);
        } else {
            session.acquireFifoWriteElements(type, fifo, elements, count, timeout, waited,
                                             elementsAcquired, elementsRemaining);
        }
    });
}

#define QVZEK_READ_FIFO(Name, T, TypeClass)                                                       \
    void FpgaSession::readFifo##Name(uint32_t fifo, T* data, size_t count, uint32_t timeout,      \
                                     uint8_t* waited, size_t* elementsRemaining,                  \
                                     tStatus& status) {                                           \
        readFifoTyped(TypeClass(), fifo, data, count, timeout, waited, elementsRemaining, status, \
                      __LINE__);                                                                  \
    }
#define QVZEK_WRITE_FIFO(Name, T, TypeClass)                                                       \
    void FpgaSession::writeFifo##Name(uint32_t fifo, const T* data, size_t count,                  \
                                      uint32_t timeout, uint8_t* waited,                           \
                                      size_t* elementsRemaining, tStatus& status) {                \
        writeFifoTyped(TypeClass(), fifo, data, count, timeout, waited, elementsRemaining, status, \
                       __LINE__);                                                                  \
    }
#define QVZEK_ACQUIRE_READ(Name, T, TypeClass)                                                   \
    void FpgaSession::acquireFifoReadElements##Name(                                             \
        uint32_t fifo, T** elements, size_t count, uint32_t timeout, uint8_t* waited,            \
        size_t* elementsAcquired, size_t* elementsRemaining, tStatus& status) {                  \
        acquireElements(true, TypeClass(), fifo, reinterpret_cast<void**>(elements), count,      \
                        timeout, waited, elementsAcquired, elementsRemaining, status, __LINE__); \
    }
#define QVZEK_ACQUIRE_WRITE(Name, T, TypeClass)                                                  \
    void FpgaSession::acquireFifoWriteElements##Name(                                            \
        uint32_t fifo, T** elements, size_t count, uint32_t timeout, uint8_t* waited,            \
        size_t* elementsAcquired, size_t* elementsRemaining, tStatus& status) {                  \
        acquireElements(false, TypeClass(), fifo, reinterpret_cast<void**>(elements), count,     \
                        timeout, waited, elementsAcquired, elementsRemaining, status, __LINE__); \
    }
QVZEK_READ_FIFO(Bool, uint8_t, TypeBool)
QVZEK_READ_FIFO(U8, uint8_t, TypeU8)
QVZEK_READ_FIFO(U16, uint16_t, TypeU16)
QVZEK_READ_FIFO(U32, uint32_t, TypeU32)
QVZEK_READ_FIFO(U64, uint64_t, TypeU64)
QVZEK_READ_FIFO(I8, int8_t, TypeI8)
QVZEK_READ_FIFO(I16, int16_t, TypeI16)
QVZEK_READ_FIFO(I32, int32_t, TypeI32)
QVZEK_READ_FIFO(I64, int64_t, TypeI64)
QVZEK_READ_FIFO(Sgl, float, TypeSGL)
QVZEK_READ_FIFO(Dbl, double, TypeDBL)
QVZEK_WRITE_FIFO(Bool, uint8_t, TypeBool)
QVZEK_WRITE_FIFO(U8, uint8_t, TypeU8)
QVZEK_WRITE_FIFO(U16, uint16_t, TypeU16)
QVZEK_WRITE_FIFO(U32, uint32_t, TypeU32)
QVZEK_WRITE_FIFO(U64, uint64_t, TypeU64)
QVZEK_WRITE_FIFO(I8, int8_t, TypeI8)
QVZEK_WRITE_FIFO(I16, int16_t, TypeI16)
QVZEK_WRITE_FIFO(I32, int32_t, TypeI32)
QVZEK_WRITE_FIFO(I64, int64_t, TypeI64)
QVZEK_WRITE_FIFO(Sgl, float, TypeSGL)
QVZEK_WRITE_FIFO(Dbl, double, TypeDBL)
QVZEK_ACQUIRE_READ(Bool, uint8_t, TypeBool)
QVZEK_ACQUIRE_READ(U8, uint8_t, TypeU8)
QVZEK_ACQUIRE_READ(U16, uint16_t, TypeU16)
QVZEK_ACQUIRE_READ(U32, uint32_t, TypeU32)
QVZEK_ACQUIRE_READ(U64, uint64_t, TypeU64)
QVZEK_ACQUIRE_READ(I8, int8_t, TypeI8)
QVZEK_ACQUIRE_READ(I16, int16_t, TypeI16)
QVZEK_ACQUIRE_READ(I32, int32_t, TypeI32)
QVZEK_ACQUIRE_READ(I64, int64_t, TypeI64)
QVZEK_ACQUIRE_READ(Sgl, float, TypeSGL)
QVZEK_ACQUIRE_READ(Dbl, double, TypeDBL)
QVZEK_ACQUIRE_WRITE(Bool, uint8_t, TypeBool)
QVZEK_ACQUIRE_WRITE(U8, uint8_t, TypeU8)
QVZEK_ACQUIRE_WRITE(U16, uint16_t, TypeU16)
QVZEK_ACQUIRE_WRITE(U32, uint32_t, TypeU32)
QVZEK_ACQUIRE_WRITE(U64, uint64_t, TypeU64)
QVZEK_ACQUIRE_WRITE(I8, int8_t, TypeI8)
QVZEK_ACQUIRE_WRITE(I16, int16_t, TypeI16)
QVZEK_ACQUIRE_WRITE(I32, int32_t, TypeI32)
QVZEK_ACQUIRE_WRITE(I64, int64_t, TypeI64)
QVZEK_ACQUIRE_WRITE(Sgl, float, TypeSGL)
QVZEK_ACQUIRE_WRITE(Dbl, double, TypeDBL)
#undef QVZEK_READ_FIFO
#undef QVZEK_WRITE_FIFO
#undef QVZEK_ACQUIRE_READ
#undef QVZEK_ACQUIRE_WRITE

void FpgaSession::readFifoComposite(uint32_t fifo, void* data, uint32_t elementBytes, size_t count,
                                    uint32_t timeout, uint8_t* waited, size_t* elementsRemaining,
                                    tStatus& status) {
    readFifoTyped(Composite(elementBytes), fifo, static_cast<uint8_t*>(data), count, timeout,
                  waited, elementsRemaining, status, __LINE__);
}

void FpgaSession::writeFifoComposite(uint32_t fifo, const void* data, uint32_t elementBytes,
                                     size_t count, uint32_t timeout, uint8_t* waited,
                                     size_t* elementsRemaining, tStatus& status) {
    writeFifoTyped(Composite(elementBytes), fifo, static_cast<const uint8_t*>(data), count, timeout,
                   waited, elementsRemaining, status, __LINE__);
}

void FpgaSession::acquireFifoReadElementsComposite(uint32_t fifo, void** elements,
                                                   uint32_t elementBytes, size_t count,
                                                   uint32_t timeout, uint8_t* waited,
                                                   size_t* elementsAcquired,
                                                   size_t* elementsRemaining, tStatus& status) {
    acquireElements(true, Composite(elementBytes), fifo, elements, count, timeout, waited,
                    elementsAcquired, elementsRemaining, status, __LINE__);
}

void FpgaSession::acquireFifoWriteElementsComposite(uint32_t fifo, void** elements,
                                                    uint32_t elementBytes, size_t count,
                                                    uint32_t timeout, uint8_t* waited,
                                                    size_t* elementsAcquired,
                                                    size_t* elementsRemaining, tStatus& status) {
    acquireElements(false, Composite(elementBytes), fifo, elements, count, timeout, waited,
                    elementsAcquired, elementsRemaining, status, __LINE__);
}

void FpgaSession::acquireRegion(bool readSide, uint32_t fifo, void** region, void** elements,
                                uint32_t isSigned, uint32_t elementBytes, size_t count,
                                uint32_t timeout, uint8_t* waited, size_t* elementsAcquired,
                                size_t* elementsRemaining, tStatus& status, uint64_t line) {
    framed<void>(status, line, [&](user::Session& session) {
        const Type type = regionType(isSigned, elementBytes);
        clear(region);
        clear(elements);
        clear(elementsAcquired);
        clear(elementsRemaining);
        uint64_t handle = 0;
        if (readSide) {
            session.acquireFifoReadRegion(type, fifo, &handle, elements, count, timeout, waited,
                                          elementsAcquired, elementsRemaining);
        } else {
            session.acquireFifoWriteRegion(type, fifo, &handle, elements, count, timeout, waited,
                                           elementsAcquired, elementsRemaining);
        }
        if (region != nullptr) *region = reinterpret_cast<void*>(static_cast<uintptr_t>(handle));
    });
}

void FpgaSession::acquireFifoReadRegion(uint32_t fifo, void** region, void** elements,
                                        uint32_t isSigned, uint32_t elementBytes, size_t count,
                                        uint32_t timeout, uint8_t* waited, size_t* elementsAcquired,
                                        size_t* elementsRemaining, tStatus& status) {
    acquireRegion(true, fifo, region, elements, isSigned, elementBytes, count, timeout, waited,
                  elementsAcquired, elementsRemaining, status, __LINE__);
}

void FpgaSession::acquireFifoWriteRegion(uint32_t fifo, void** region, void** elements,
                                         uint32_t isSigned, uint32_t elementBytes, size_t count,
                                         uint32_t timeout, uint8_t* waited,
                                         size_t* elementsAcquired, size_t* elementsRemaining,
                                         tStatus& status) {
    acquireRegion(false, fifo, region, elements, isSigned, elementBytes, count, timeout, waited,
                  elementsAcquired, elementsRemaining, status, __LINE__);
}

void FpgaSession::releaseFifoRegion(uint32_t fifo, void* region, tStatus& status) {
    framed<void>(status, __LINE__, [&](user::Session& session) {
        session.releaseFifoRegion(fifo, reinterpret_cast<uintptr_t>(region));
    });
}

void FpgaSession::releaseFifoElements(uint32_t fifo, size_t count, tStatus& status) {
    framed<void>(status, __LINE__, [&](user::Session& session) {
        session.releaseFifoElements(fifo, static_cast<int64_t>(count));
    });
}

void FpgaSession::configureFifo(uint32_t fifo, size_t requestedDepth, size_t* actualDepth,
                                tStatus& status) {
    framed<void>(status, __LINE__, [&](user::Session& session) {
        session.configureFifo(fifo, static_cast<int64_t>(requestedDepth), actualDepth);
    });
}

void FpgaSession::startFifo(uint32_t fifo, tStatus& status) {
    framed<void>(status, __LINE__, [&](user::Session& session) { session.startFifo(fifo); });
}

void FpgaSession::stopFifo(uint32_t fifo, tStatus& status) {
    framed<void>(status, __LINE__, [&](user::Session& session) { session.stopFifo(fifo); });
}

void FpgaSession::resetFifo(uint32_t fifo, tStatus& status) {
    framed<void>(status, __LINE__, [&](user::Session& session) { session.resetFifo(fifo); });
}

void FpgaSession::commitFifoConfiguration(uint32_t fifo, tStatus& status) {
    framed<void>(status, __LINE__,
                 [&](user::Session& session) { session.commitFifoConfiguration(fifo); });
}

void FpgaSession::setFifoProperty(uint32_t fifo, uint32_t property, uint32_t valueType, void* value,
                                  tStatus& status) {
    framed<void>(status, __LINE__, [&](user::Session& session) {
        session.setFifoProperty(fifo, property, valueType, value);
    });
}

void FpgaSession::getFifoProperty(uint32_t fifo, uint32_t property, uint32_t valueType, void* value,
                                  tStatus& status) {
    framed<void>(status, __LINE__, [&](user::Session& session) {
        session.getFifoProperty(fifo, property, valueType, value);
    });
}

// ------------------------------------------------------------------ control

void FpgaSession::download(bool* failed, tStatus& status) {
    if (!enter(status, __LINE__)) return;
    clear(failed);
    framed<void>(status, __LINE__, [&](user::Session& session) { session.downloadImage(); });
    if (failed != nullptr && status.isError()) *failed = true;
}

void FpgaSession::reset(tStatus& status) {
    framed<void>(status, __LINE__, [&](user::Session& session) { session.reset(); });
}

void FpgaSession::abort(tStatus& status) {
    framed<void>(status, __LINE__, [&](user::Session& session) { session.abort(); });
}

void FpgaSession::run(uint32_t attribute, bool* alreadyRunning, tStatus& status) {
    framed<void>(status, __LINE__, [&](user::Session& session) {
        // Written before the start, so a failed start still reports false.
        if (alreadyRunning != nullptr) *alreadyRunning = false;
        uint8_t running = 0;
        try {
            session.run(attribute, alreadyRunning != nullptr ? &running : nullptr);
        } catch (...) {
            if (alreadyRunning != nullptr) *alreadyRunning = running != 0;
            throw;
        }
        if (alreadyRunning != nullptr) *alreadyRunning = running != 0;
    });
}

uint32_t FpgaSession::getRunState(tStatus& status) {
    return framed<uint32_t>(status, __LINE__,
                            [&](user::Session& session) { return session.getRunState(); });
}

void FpgaSession::reserveIrqContext(tStatus& status) {
    framed<void>(status, __LINE__, [&](user::Session& session) { session.reserveIrqContext(); });
}

void FpgaSession::unreserveIrqContext(tStatus& status) {
    framed<void>(status, __LINE__, [&](user::Session& session) { session.unreserveIrqContext(); });
}

uint32_t FpgaSession::waitOnIrqs(uint32_t irqs, uint32_t timeout, bool* timedOut, tStatus& status) {
    return framed<uint32_t>(status, __LINE__, [&](user::Session& session) {
        uint8_t waited = 0;
        clear(timedOut);
        const uint32_t asserted = session.waitOnIrqs(irqs, timeout, &waited);
        if (timedOut != nullptr) *timedOut = waited != 0;
        return asserted;
    });
}

void FpgaSession::acknowledgeIrqs(uint32_t irqs, tStatus& status) {
    framed<void>(status, __LINE__, [&](user::Session& session) { session.acknowledgeIrqs(irqs); });
}

// ------------------------------------------------------------------ queries

uint64_t FpgaSession::getBitfileValue(tStatus& status) {
    return framed<uint64_t>(status, __LINE__, [&](user::Session& session) {
        return static_cast<uint64_t>(session.getBitfileValue());
    });
}

bool FpgaSession::queryNotSupported(uint64_t, uint64_t, tStatus& status) {
    raise(status, kErrorNotSupported, __LINE__);
    return false;
}

void FpgaSession::getSignature(uint32_t* words, size_t* count, tStatus& status) {
    framed<void>(status, __LINE__,
                 [&](user::Session& session) { session.getSignature(words, count); });
}

void FpgaSession::findRegister(const char* name, uint32_t resourceType, uint32_t* result,
                               tStatus& status) {
    framed<void>(status, __LINE__, [&](user::Session& session) {
        if (name == nullptr || result == nullptr)
            throwStatusCode(qverr::qvapalerr_invalidParameter);
        session.findRegister(name, resourceType, result);
        if (*result == kNoMatch) throwStatusCode(qverr::qvapalerr_resourceNotFound);
    });
}

void FpgaSession::findFifo(const char* name, uint32_t resourceType, uint32_t* result,
                           tStatus& status) {
    framed<void>(status, __LINE__, [&](user::Session& session) {
        if (name == nullptr || result == nullptr)
            throwStatusCode(qverr::qvapalerr_invalidParameter);
        session.findFifo(name, resourceType, result);
        if (*result == kNoMatch) throwStatusCode(qverr::qvapalerr_resourceNotFound);
    });
}

void FpgaSession::getP2PEndpointId(uint32_t fifo, uint32_t* identifier, tStatus& status) {
    framed<void>(status, __LINE__,
                 [&](user::Session& session) { session.getP2PEndpointId(fifo, identifier); });
}

void FpgaSession::mapHostMemory(int32_t memoryIndex, int32_t second, uint64_t third,
                                uint64_t fourth, uint8_t* fifth, uint64_t sixth, tStatus& status) {
    framed<void>(status, __LINE__, [&](user::Session& session) {
        session.mapHostMemory(memoryIndex, static_cast<uint32_t>(second),
                              reinterpret_cast<const void*>(third), fourth, fifth, sixth);
    });
}

void FpgaSession::mapP2PSink(uint32_t fifo, void** address, size_t* size, void** context,
                             void** releaseFunction, tStatus& status) {
    framed<void>(status, __LINE__, [&](user::Session& session) {
        uint64_t mapped = 0;
        uint64_t bytes = 0;
        user::P2PSinkRelease release = nullptr;
        // A null output reaches the session as null, which refuses it.
        session.mapP2PSink(fifo, address != nullptr ? &mapped : nullptr,
                           size != nullptr ? &bytes : nullptr, context,
                           releaseFunction != nullptr ? &release : nullptr);
        if (address != nullptr) *address = reinterpret_cast<void*>(static_cast<uintptr_t>(mapped));
        if (size != nullptr) *size = bytes;
        if (releaseFunction != nullptr) *releaseFunction = reinterpret_cast<void*>(release);
    });
}

namespace {

// The lease the caller can release: both halves given, else none, which the
// manager refuses before it opens anything.
HmbHandle* leaseFor(HmbHandle& lease, void** context, void** release) {
    return context != nullptr && release != nullptr ? &lease : nullptr;
}

void handOut(const HmbHandle& lease, void** context, void** release) {
    if (context != nullptr) *context = lease.context;
    if (release != nullptr) *release = reinterpret_cast<void*>(lease.release);
}

}  // namespace

void FpgaSession::openHostMemoryBuffer(const char* name, uint64_t* size, uint64_t* address,
                                       void** context, void** release, tStatus& status) {
    framed<void>(status, __LINE__, [&](user::Session& session) {
        clear(context);
        clear(release);
        HmbHandle lease;
        session.openHostMemoryBuffer(name, size, address, leaseFor(lease, context, release));
        handOut(lease, context, release);
    });
}

void FpgaSession::openHostMemoryBufferRegion(const char* name, uint64_t* size1M,
                                             uint64_t* address1M, void** context1M,
                                             void** release1M, uint64_t* size4k,
                                             uint64_t* address4k, void** context4k,
                                             void** release4k, tStatus& status) {
    framed<void>(status, __LINE__, [&](user::Session& session) {
        clear(context1M);
        clear(release1M);
        clear(context4k);
        clear(release4k);
        HmbHandle lease1M;
        HmbHandle lease4k;
        session.openHostMemoryBufferRegion(name, size1M, address1M,
                                           leaseFor(lease1M, context1M, release1M), size4k,
                                           address4k, leaseFor(lease4k, context4k, release4k));
        handOut(lease1M, context1M, release1M);
        handOut(lease4k, context4k, release4k);
    });
}

}  // namespace qvzek
