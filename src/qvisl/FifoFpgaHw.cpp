#include "qvisl/FifoFpgaHw.h"

#include "qvdynlib/qvdynlib.h"
#include "qverr/Exception.h"

namespace qvisl {
namespace {

constexpr const char* kPlatformComponent = "internal_sdi_hal23u";
constexpr const char* kHalComponent = "qv3377hal";
constexpr const char* kFifoFile = "qvisl/FifoFpgaHw.cpp";
constexpr const char* kKxFile = "qvisl/KxFifoFpgaHw.cpp";
constexpr const char* kIrqFile = "qvisl/IRQContextFpgaHw.cpp";

void store(tStatus& status, int32_t code, uint64_t line) {
    status.setCode(code, kPlatformComponent, kFifoFile, line);
}

// The typed library functions of each element type, and the source lines of
// read, write, acquireReadElements and acquireWriteElements.
template <class T>
struct Typed;

#define QVISL_TYPED(T, SUFFIX, LIBRARY_T, READ, WRITE, ACQUIRE_READ, ACQUIRE_WRITE)       \
    template <>                                                                           \
    struct Typed<T> {                                                                     \
        static_assert(sizeof(T) == sizeof(LIBRARY_T));                                    \
        using Element = LIBRARY_T;                                                        \
        static constexpr auto read = &QvFpgaDll_ReadFifo##SUFFIX;                         \
        static constexpr auto write = &QvFpgaDll_WriteFifo##SUFFIX;                       \
        static constexpr auto acquireRead = &QvFpgaDll_AcquireFifoReadElements##SUFFIX;   \
        static constexpr auto acquireWrite = &QvFpgaDll_AcquireFifoWriteElements##SUFFIX; \
        static constexpr uint64_t kReadLine = READ, kWriteLine = WRITE,                   \
                                  kAcquireReadLine = ACQUIRE_READ,                        \
                                  kAcquireWriteLine = ACQUIRE_WRITE;                      \
    };
QVISL_TYPED(unsigned char, U8, uint8_t, 223, 237, 252, 266)
QVISL_TYPED(short, I16, int16_t, 286, 300, 315, 329)
QVISL_TYPED(unsigned long, U64, uint64_t, 411, 425, 440, 454)
QVISL_TYPED(long, I64, int64_t, 473, 487, 502, 516)
#undef QVISL_TYPED

// One library call, status permitting, its result stored at `line`.
template <class Function, class... Args>
void call(tStatus& status, uint64_t line, Function function, Args... args) {
    if (status.isError()) return;
    store(status, function(args...), line);
}

// The library's element pointer types for the binding's element type.
template <class T>
auto elements(T* data) {
    return reinterpret_cast<typename Typed<T>::Element*>(data);
}
template <class T>
auto elements(const T* data) {
    return reinterpret_cast<const typename Typed<T>::Element*>(data);
}
template <class T>
auto elements(T** data) {
    return reinterpret_cast<typename Typed<T>::Element**>(data);
}

}  // namespace

template <class T>
void FifoFpgaHw<T>::read(T* data, size_t count, uint32_t timeout, size_t* remaining,
                         tStatus& status) {
    call(status, Typed<T>::kReadLine, Typed<T>::read, session_, fifo_, elements(data), count,
         timeout, remaining);
}

template <class T>
void FifoFpgaHw<T>::write(const T* data, size_t count, uint32_t timeout, size_t* emptyRemaining,
                          tStatus& status) {
    call(status, Typed<T>::kWriteLine, Typed<T>::write, session_, fifo_, elements(data), count,
         timeout, emptyRemaining);
}

template <class T>
void FifoFpgaHw<T>::configure(size_t requestedDepth, size_t* actualDepth, tStatus& status) {
    call(status, 27, &QvFpgaDll_ConfigureFifo2, session_, fifo_, requestedDepth, actualDepth);
}

template <class T>
void FifoFpgaHw<T>::restart(tStatus& status) {
    call(status, 35, &QvFpgaDll_StopFifo, session_, fifo_);
    call(status, 37, &QvFpgaDll_StartFifo, session_, fifo_);
}

template <class T>
void FifoFpgaHw<T>::start(tStatus& status) {
    call(status, 44, &QvFpgaDll_StartFifo, session_, fifo_);
}

template <class T>
void FifoFpgaHw<T>::stop(tStatus& status) {
    call(status, 51, &QvFpgaDll_StopFifo, session_, fifo_);
}

template <class T>
void FifoFpgaHw<T>::acquireReadElements(T** data, size_t requested, uint32_t timeout,
                                        size_t* acquired, size_t* remaining, tStatus& status) {
    call(status, Typed<T>::kAcquireReadLine, Typed<T>::acquireRead, session_, fifo_, elements(data),
         requested, timeout, acquired, remaining);
}

template <class T>
void FifoFpgaHw<T>::acquireWriteElements(T** data, size_t requested, uint32_t timeout,
                                         size_t* acquired, size_t* remaining, tStatus& status) {
    call(status, Typed<T>::kAcquireWriteLine, Typed<T>::acquireWrite, session_, fifo_,
         elements(data), requested, timeout, acquired, remaining);
}

template <class T>
void FifoFpgaHw<T>::acquireReadRegion(uint32_t*, void*, uint32_t, void*, uint64_t,
                                      tStatus& status) {
    if (!status.isError()) store(status, qverr::qvapalerr_featureUnsupported, 529);
}

template <class T>
void FifoFpgaHw<T>::acquireWriteRegion(uint32_t*, void*, uint32_t, void*, uint64_t,
                                       tStatus& status) {
    if (!status.isError()) store(status, qverr::qvapalerr_featureUnsupported, 544);
}

template <class T>
void FifoFpgaHw<T>::releaseElements(size_t count, tStatus& status) {
    call(status, 61, &QvFpgaDll_ReleaseFifoElements, session_, fifo_, count);
}

template <class T>
uint32_t FifoFpgaHw<T>::getPeerToPeerEndpoint(tStatus& status) {
    uint32_t endpoint = 0;
    call(status, 71, &QvFpgaDll_GetPeerToPeerFifoEndpoint, session_, fifo_, &endpoint);
    return endpoint;
}

#define QVISL_PROPERTY(SUFFIX, V, SET_LINE, GET_LINE)                                         \
    template <class T>                                                                        \
    void FifoFpgaHw<T>::setProperty##SUFFIX(uint32_t property, V value, tStatus& status) {    \
        call(status, SET_LINE, &QvFpgaDll_SetFifoProperty##SUFFIX, session_, fifo_, property, \
             value);                                                                          \
    }                                                                                         \
    template <class T>                                                                        \
    V FifoFpgaHw<T>::getProperty##SUFFIX(uint32_t property, tStatus& status) {                \
        using Value = V;                                                                      \
        Value value{};                                                                        \
        call(status, GET_LINE, &QvFpgaDll_GetFifoProperty##SUFFIX, session_, fifo_, property, \
             &value);                                                                         \
        return value;                                                                         \
    }
QVISL_PROPERTY(I32, int32_t, 87, 142)
QVISL_PROPERTY(U32, uint32_t, 98, 154)
QVISL_PROPERTY(I64, int64_t, 109, 166)
QVISL_PROPERTY(U64, uint64_t, 120, 178)
QVISL_PROPERTY(Ptr, void*, 131, 190)
#undef QVISL_PROPERTY

template <class T>
void FifoFpgaHw<T>::commitConfiguration(tStatus& status) {
    call(status, 200, &QvFpgaDll_CommitFifoConfiguration, session_, fifo_);
}

template class FifoFpgaHw<unsigned char>;
template class FifoFpgaHw<short>;
template class FifoFpgaHw<unsigned long>;
template class FifoFpgaHw<long>;

// ---- the Korvex variant

KxFifoFpgaHw<unsigned char>::KxFifoFpgaHw(uint32_t session, uint32_t fifo)
    : FifoFpgaHw<unsigned char>(session, fifo) {
    library_ = qvdynlib_load(kQvFpgaKxLibrary, kQvdynlibDefaultFlags, loadStatus_);
    readRegion_ = reinterpret_cast<QvFpgaKx_AcquireFifoRegionFunction>(
        qvdynlib_symbol(library_, "QvFpgaKx_AcquireFifoReadRegionScalar", loadStatus_));
    writeRegion_ = reinterpret_cast<QvFpgaKx_AcquireFifoRegionFunction>(
        qvdynlib_symbol(library_, "QvFpgaKx_AcquireFifoWriteRegionScalar", loadStatus_));
}

KxFifoFpgaHw<unsigned char>::~KxFifoFpgaHw() {
    if (library_ != nullptr) qvdynlib_close(library_);
}

void KxFifoFpgaHw<unsigned char>::checkPending(tStatus& status) {
    if (status.isError()) return;
    if (getPropertyU64(8, status) != 0) status.setCode(pendingCode_, kHalComponent, kKxFile, 219);
}

void KxFifoFpgaHw<unsigned char>::read(unsigned char* data, size_t count, uint32_t timeout,
                                       size_t* remaining, tStatus& status) {
    checkPending(status);
    FifoFpgaHw::read(data, count, timeout, remaining, status);
}

void KxFifoFpgaHw<unsigned char>::write(const unsigned char* data, size_t count, uint32_t timeout,
                                        size_t* emptyRemaining, tStatus& status) {
    checkPending(status);
    FifoFpgaHw::write(data, count, timeout, emptyRemaining, status);
}

void KxFifoFpgaHw<unsigned char>::acquireReadElements(unsigned char** elements, size_t requested,
                                                      uint32_t timeout, size_t* acquired,
                                                      size_t* remaining, tStatus& status) {
    checkPending(status);
    FifoFpgaHw::acquireReadElements(elements, requested, timeout, acquired, remaining, status);
}

void KxFifoFpgaHw<unsigned char>::acquireWriteElements(unsigned char** elements, size_t requested,
                                                       uint32_t timeout, size_t* acquired,
                                                       size_t* remaining, tStatus& status) {
    checkPending(status);
    FifoFpgaHw::acquireWriteElements(elements, requested, timeout, acquired, remaining, status);
}

void KxFifoFpgaHw<unsigned char>::acquireRegion(QvFpgaKx_AcquireFifoRegionFunction function,
                                                uint64_t missingLine, uint64_t resultLine,
                                                uint32_t* reference, void* data, uint32_t value,
                                                void* out, uint64_t value64, tStatus& status) {
    if (status.isError()) return;
    if (loadStatus_.isError()) {
        qverr::copyStatusToTStatus(loadStatus_, status);
    } else if (function == nullptr) {
        status.setCode(qverr::qvapalerr_featureUnsupported, kHalComponent, kKxFile, missingLine);
    } else {
        status.setCode(function(session(), fifo(), reference, data, 5, 8, value, out, value64),
                       kHalComponent, kKxFile, resultLine);
    }
}

void KxFifoFpgaHw<unsigned char>::acquireReadRegion(uint32_t* reference, void* data, uint32_t value,
                                                    void* out, uint64_t value64, tStatus& status) {
    acquireRegion(readRegion_, 116, 140, reference, data, value, out, value64, status);
}

void KxFifoFpgaHw<unsigned char>::acquireWriteRegion(uint32_t* reference, void* data,
                                                     uint32_t value, void* out, uint64_t value64,
                                                     tStatus& status) {
    acquireRegion(writeRegion_, 161, 186, reference, data, value, out, value64, status);
}

// ---- interrupts

IRQContextFpgaHw::IRQContextFpgaHw(uint32_t session, tStatus& status) : session_(session) {
    status.setCode(QvFpgaDll_ReserveIrqContext(session_, &context_), kPlatformComponent, kIrqFile,
                   12);
}

IRQContextFpgaHw::~IRQContextFpgaHw() {
    if (context_ != nullptr) QvFpgaDll_UnreserveIrqContext(session_, context_);
}

void IRQContextFpgaHw::waitOnIrqs(uint32_t irqs, uint32_t timeout, uint32_t* irqsAsserted,
                                  bool* timedOut, tStatus& status) {
    if (status.isError()) return;
    if (context_ == nullptr) {
        status.setCode(qverr::qvapalerr_resourceNotInitialized, kPlatformComponent, kIrqFile, 38);
        return;
    }
    uint8_t flag = 0;
    status.setCode(QvFpgaDll_WaitOnIrqs(session_, context_, irqs, timeout, irqsAsserted, &flag),
                   kPlatformComponent, kIrqFile, 43);
    if (timedOut != nullptr) *timedOut = flag != 0;
}

void IRQContextFpgaHw::acknowledgeIrqs(uint32_t irqs, tStatus& status) {
    if (status.isError()) return;
    if (context_ == nullptr) {
        status.setCode(qverr::qvapalerr_resourceNotInitialized, kPlatformComponent, kIrqFile, 51);
        return;
    }
    status.setCode(QvFpgaDll_AcknowledgeIrqs(session_, irqs), kPlatformComponent, kIrqFile, 55);
}

}  // namespace qvisl
