#include "atomiczekddk/user/session/Session.h"

#include <cstring>
#include <type_traits>

#include "atomiczekddk/bitfile/CompilationResultsInfo.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "atomiczekddk/user/fifo/FifoDataAccessStrategyWendle.h"
#include "qverr/Exception.h"

namespace qvzek::user {

namespace {

constexpr uint32_t kWildcardResource = 0xFFFFFFFF;
constexpr uint32_t kNoResource = 0xFFFFFFFF;

int32_t codeOf(const qverr::Exception& e) {
    return e.status.code;
}

}  // namespace

Session::Session(std::shared_ptr<Fpga> fpga,
                 std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk> proxy,
                 IPersonalityConfigurer& configurer, ITargetClassChecker& checker,
                 std::shared_ptr<IIoAccessor> ioAccessor, std::shared_ptr<const Bitfile> bitfile,
                 const char* signature, uint32_t attributes)
    : proxy_(std::move(proxy)), fpga_(std::move(fpga)) {
    if (!fpga_ || !proxy_ || !bitfile) throwStatusCode(qverr::qvapalerr_invalidParameter);
    closeNotice_.proxy = proxy_;
    closeNotice_.key = key();
    restrictPointerProperty_ = (attributes & kRestrictPointerProperty) != 0;
    PersonalityRecord record;
    try {
        image_ = fpga_->open(bitfile, std::move(ioAccessor), checker, configurer, record, signature,
                             attributes, key());
    } catch (...) {
        if (record.configured) {
            proxy_->postConfigurationWord(closeNotice_.key, 0);
        }
        throw;
    }
    closeNotice_.armed = record.configured;
    ioAccessor_ = fpga_->ioAccessor();
    try {
        auto manager = fpga_->hmbManager();
        if (manager->configure(bitfile->getChannelDescriptionText(), bitfile->getSignature())) {
            manager->open();
            hmbAttached_ = true;
        }
    } catch (...) {
        fpga_->detachSessionFromFifos(key());
        if (closeNotice_.armed) proxy_->postConfigurationWord(closeNotice_.key, 0);
        throw;
    }
}

Session::Session(const Session& parent, int)
    : proxy_(parent.proxy_),
      fpga_(parent.fpga_),
      isDerived_(true),
      restrictPointerProperty_(parent.restrictPointerProperty_),
      image_(parent.image_),
      ioAccessor_(parent.ioAccessor_) {
    closeNotice_.proxy = proxy_;
    closeNotice_.key = key();
}

Session::~Session() {
    try {
        fpga_->detachSessionFromFifos(key());
    } catch (...) {
    }
    if (hmbAttached_) {
        try {
            fpga_->hmbManager()->close();
        } catch (...) {
        }
    }
    if (closeNotice_.armed && !isDerived_) {
        closeNotice_.proxy->postConfigurationWord(closeNotice_.key,
                                                  closeNotice_.resetOnClose ? 1 : 0);
    }
}

void Session::refuseDerived() const {
    if (isDerived_) throwStatusCode(kErrorNotSupported);
}

void Session::autoRunCheck() {
    if (image_ && image_->autoRunWhenDownloaded && fpga_->diagramState() == 0) {
        if (fpga_->checkState() == control::kStateNotRunning) throwStatusCode(kErrorFpgaNotRunning);
    }
}

std::unique_ptr<Session> Session::clone() {
    refuseDerived();
    return std::unique_ptr<Session>(new Session(*this, 0));
}

void Session::download(const uint8_t* begin, const uint8_t* end) {
    refuseDerived();
    if (begin == nullptr && end != nullptr) throwStatusCode(qverr::qvapalerr_invalidParameter);
    fpga_->download(begin, static_cast<uint64_t>(end - begin));
}

void Session::reset() {
    refuseDerived();
    fpga_->reset();
}

void Session::getP2PEndpointId(uint32_t, uint32_t*) {
    throwStatusCode(kErrorNotSupported);
}
uint32_t Session::queryP2PEndpoint(uint32_t) {
    throwStatusCode(kErrorNotSupported);
}
void Session::mapP2PSink(uint32_t, uint64_t*, uint64_t*, void**, P2PSinkRelease*) {
    throwStatusCode(kErrorNotSupported);
}

void Session::openHostMemoryBuffer(const char* name, uint64_t* size, uint64_t* address,
                                   HmbHandle* lease) {
    ReadLockGuard read(fpga_->lock());
    fpga_->hmbManager()->attachBlock(name, size, address, lease);
}

void Session::openHostMemoryBufferRegion(const char* name, uint64_t* size1M, uint64_t* address1M,
                                         HmbHandle* lease1M, uint64_t* size4k, uint64_t* address4k,
                                         HmbHandle* lease4k) {
    if (!size1M || !address1M || !lease1M || !size4k || !address4k || !lease4k) {
        throwStatusCode(qverr::qvapalerr_invalidParameter);
    }
    ReadLockGuard read(fpga_->lock());
    fpga_->hmbManager()->openWindows(name, size1M, address1M, lease1M, size4k, address4k, lease4k);
}

void Session::mapHostMemory(int32_t target, uint32_t operation, const void* input, uint64_t inSize,
                            void* output, uint64_t outSize) {
    ReadLockGuard read(fpga_->lock());
    if (target == 0) {
        fpga_->hmbManager()->request(operation, input, inSize, output, outSize,
                                     restrictPointerProperty_);
        return;
    }
    nQVAPALS100::tStatus status;
    proxy_->control(static_cast<uint32_t>(target), operation, reinterpret_cast<uint64_t>(input),
                    inSize, reinterpret_cast<uint64_t>(output), outSize, status);
    qverr::throwIfTStatusError(status);
}

void Session::setResetOnClose(bool resetOnClose) {
    if (resetOnClose) {
        if (image_->autoRunWhenDownloaded) throwStatusCode(kErrorResetOnCloseAutoRun);
        if (!image_->resetSupported) throwStatusCode(kErrorResetOnCloseUnsupported);
    }
    closeNotice_.resetOnClose = resetOnClose;
}

void Session::downloadImage() {
    const ByteBuffer& bitstream = image_->bitfile->getBitstream();
    download(bitstream.begin(), bitstream.end());
}

void Session::abort() {
    refuseDerived();
    fpga_->abort();
}

void Session::run(uint32_t attributes, uint8_t* alreadyRunning) {
    refuseDerived();
    fpga_->runAndWait(attributes, alreadyRunning);
}

uint32_t Session::getRunState() {
    ReadLockGuard read(fpga_->lock());
    return fpga_->checkState();
}

int64_t Session::getBitfileValue() const {
    return image_->bitfile->getBitstreamVersion();
}

void Session::getSignature(uint32_t* words, uint64_t* count) const {
    if (count == nullptr) throwStatusCode(qverr::qvapalerr_invalidParameter);
    if (*count < 4 || words == nullptr) {
        *count = 4;
        throwStatusCode(qverr::qvapalerr_invalidParameter);
    }
    for (size_t i = 0; i < 4; ++i) words[i] = image_->signature.words[i];
    *count = 4;
}

void Session::findRegister(const char* name, uint32_t resourceType, uint32_t* number) const {
    if (number == nullptr) throwStatusCode(qverr::qvapalerr_invalidParameter);
    if (resourceType != kWildcardResource || name == nullptr) {
        *number = 0;
        throwStatusCode(qverr::qvapalerr_invalidParameter);
    }
    const NamedRegister* found = image_->bitfile->findRegister(name);
    *number = found ? found->getIdentifier() : kNoResource;
}

void Session::findFifo(const char* name, uint32_t resourceType, uint32_t* number) const {
    if (number == nullptr) throwStatusCode(qverr::qvapalerr_invalidParameter);
    if (resourceType != kWildcardResource || name == nullptr) {
        *number = 0;
        throwStatusCode(qverr::qvapalerr_invalidParameter);
    }
    const NamedFifo* found = image_->bitfile->findFifo(name);
    *number = found ? found->number() : kNoResource;
}

template <class F>
void Session::fifoFrame(uint32_t fifo, F&& call) {
    autoRunCheck();
    ReadLockGuard read(fpga_->lock());
    std::shared_ptr<IFifo> target = fpga_->fifo(fifo);
    call(*target);
}

template <class F>
void Session::fifoWait(uint32_t fifo, uint32_t timeout, uint8_t* timedOut, F&& call) {
    if (timedOut == nullptr) throwStatusCode(qverr::qvapalerr_invalidParameter);
    const bool forever = timeout == kWaitForever;
    for (;;) {
        // An infinite wait leaves the reader side between slices: a pending
        // download would otherwise keep every other reader out for as long
        // as this wait lasts.
        ReadLockGuard read(fpga_->lock());
        std::shared_ptr<IFifo> target = fpga_->fifo(fifo);
        autoRunCheck();
        uint8_t late = 0;
        try {
            call(*target, forever ? kWaitSliceMs : timeout, &late);
        } catch (const qverr::Exception& e) {
            if (forever && codeOf(e) == kErrorFifoAcquireBeyondDepth) continue;
            throw;
        }
        *timedOut = late;
        if (!forever || !late) return;
    }
}

void Session::configureFifo(uint32_t fifo, int64_t depth, uint64_t* actualDepth) {
    autoRunCheck();
    if (actualDepth) *actualDepth = 0;
    if (depth < 0) throwStatusCode(qverr::qvapalerr_invalidParameter);
    ReadLockGuard read(fpga_->lock());
    fpga_->fifo(fifo)->configure(static_cast<uint64_t>(depth), actualDepth, 0);
}

void Session::checkPropertyAccess(uint32_t kind, const void* value) const {
    if (kind > 4 || (kind == 0 && restrictPointerProperty_)) throwStatusCode(kErrorNotSupported);
    if (value == nullptr) throwStatusCode(qverr::qvapalerr_invalidParameter);
}

void Session::setFifoProperty(uint32_t fifo, uint32_t property, uint32_t kind, const void* value) {
    fifoFrame(fifo, [&](IFifo& target) {
        checkPropertyAccess(kind, value);
        switch (kind) {
            case 0: {
                void* pointer = nullptr;
                std::memcpy(&pointer, value, sizeof pointer);
                target.setPropertyPtr(property, pointer);
                break;
            }
            case 1:
                target.setPropertyU32(property, *static_cast<const uint32_t*>(value));
                break;
            case 2:
                target.setPropertyU64(property, *static_cast<const uint64_t*>(value));
                break;
            case 3:
                target.setPropertyI32(property, *static_cast<const int32_t*>(value));
                break;
            default:
                target.setPropertyI64(property, *static_cast<const int64_t*>(value));
                break;
        }
    });
}

void Session::getFifoProperty(uint32_t fifo, uint32_t property, uint32_t kind, void* value) {
    fifoFrame(fifo, [&](IFifo& target) {
        checkPropertyAccess(kind, value);
        switch (kind) {
            case 0: {
                void* pointer = target.getPropertyPtr(property);
                std::memcpy(value, &pointer, sizeof pointer);
                break;
            }
            case 1:
                *static_cast<uint32_t*>(value) = target.getPropertyU32(property);
                break;
            case 2:
                *static_cast<uint64_t*>(value) = target.getPropertyU64(property);
                break;
            case 3:
                *static_cast<int32_t*>(value) = target.getPropertyI32(property);
                break;
            default:
                *static_cast<int64_t*>(value) = target.getPropertyI64(property);
                break;
        }
    });
}

void Session::commitFifoConfiguration(uint32_t fifo) {
    fifoFrame(fifo, [&](IFifo& target) { target.commit(key()); });
}
void Session::startFifo(uint32_t fifo) {
    fifoFrame(fifo, [&](IFifo& target) { target.start(key()); });
}
void Session::stopFifo(uint32_t fifo) {
    fifoFrame(fifo, [&](IFifo& target) { target.stop(); });
}
void Session::resetFifo(uint32_t fifo) {
    fifoFrame(fifo, [&](IFifo& target) { target.reset(); });
}

void Session::readFifo(const Type& type, uint32_t fifo, void* data, uint64_t count,
                       uint32_t timeout, uint8_t* timedOut, uint64_t* remaining) {
    if (remaining) *remaining = 0;
    fifoWait(fifo, timeout, timedOut, [&](IFifo& target, uint32_t slice, uint8_t* late) {
        target.read(type, data, count, slice, late, remaining, key());
    });
}

void Session::writeFifo(const Type& type, uint32_t fifo, const void* data, uint64_t count,
                        uint32_t timeout, uint8_t* timedOut, uint64_t* remaining) {
    if (remaining) *remaining = 0;
    fifoWait(fifo, timeout, timedOut, [&](IFifo& target, uint32_t slice, uint8_t* late) {
        target.write(type, data, count, slice, late, remaining, key());
    });
}

namespace {

using RegionAcquire = void (IFifo::*)(const Type&, uint64_t*, void**, uint64_t, uint32_t, uint8_t*,
                                      uint64_t*, uint64_t*, uint64_t);

}  // namespace

template <class Method>
void Session::acquire(Method method, const Type& type, uint32_t fifo, uint64_t* handle,
                      void** elements, uint64_t count, uint32_t timeout, uint8_t* timedOut,
                      uint64_t* acquired, uint64_t* remaining) {
    if (handle) *handle = 0;
    if (elements) *elements = nullptr;
    if (acquired) *acquired = 0;
    if (remaining) *remaining = 0;
    fifoWait(fifo, timeout, timedOut, [&](IFifo& target, uint32_t slice, uint8_t* late) {
        if constexpr (std::is_same_v<Method, RegionAcquire>) {
            (target.*method)(type, handle, elements, count, slice, late, acquired, remaining,
                             key());
        } else {
            (target.*method)(type, elements, count, slice, late, acquired, remaining, key());
        }
    });
}

void Session::acquireFifoReadElements(const Type& type, uint32_t fifo, void** elements,
                                      uint64_t count, uint32_t timeout, uint8_t* timedOut,
                                      uint64_t* acquired, uint64_t* remaining) {
    acquire(&IFifo::acquireReadElements, type, fifo, nullptr, elements, count, timeout, timedOut,
            acquired, remaining);
}

void Session::acquireFifoWriteElements(const Type& type, uint32_t fifo, void** elements,
                                       uint64_t count, uint32_t timeout, uint8_t* timedOut,
                                       uint64_t* acquired, uint64_t* remaining) {
    acquire(&IFifo::acquireWriteElements, type, fifo, nullptr, elements, count, timeout, timedOut,
            acquired, remaining);
}

void Session::acquireFifoReadRegion(const Type& type, uint32_t fifo, uint64_t* handle,
                                    void** elements, uint64_t count, uint32_t timeout,
                                    uint8_t* timedOut, uint64_t* acquired, uint64_t* remaining) {
    acquire(&IFifo::acquireReadRegion, type, fifo, handle, elements, count, timeout, timedOut,
            acquired, remaining);
}

void Session::acquireFifoWriteRegion(const Type& type, uint32_t fifo, uint64_t* handle,
                                     void** elements, uint64_t count, uint32_t timeout,
                                     uint8_t* timedOut, uint64_t* acquired, uint64_t* remaining) {
    acquire(&IFifo::acquireWriteRegion, type, fifo, handle, elements, count, timeout, timedOut,
            acquired, remaining);
}

void Session::releaseFifoElements(uint32_t fifo, int64_t count) {
    if (count < 0) throwStatusCode(qverr::qvapalerr_invalidParameter);
    fifoFrame(fifo, [&](IFifo& target) { target.releaseElements(static_cast<uint64_t>(count)); });
}

void Session::releaseFifoRegion(uint32_t fifo, uint64_t handle) {
    // The handle is passed as the FIFO knows it, so a null one is seen there.
    fifoFrame(fifo, [&](IFifo& target) {
        target.releaseRegion(reinterpret_cast<uint64_t*>(static_cast<uintptr_t>(handle)));
    });
}

void Session::reserveIrqContext() {
    refuseDerived();
    nQVAPALS100::tStatus status;
    proxy_->irqCommand1E(status);
    qverr::throwIfTStatusError(status);
}

void Session::unreserveIrqContext() {
    refuseDerived();
    nQVAPALS100::tStatus status;
    proxy_->irqCommand1F(status);
    qverr::throwIfTStatusError(status);
}

uint32_t Session::waitOnIrqs(uint32_t mask, uint32_t timeout, uint8_t* timedOut) {
    refuseDerived();
    if (timedOut == nullptr) throwStatusCode(qverr::qvapalerr_invalidParameter);
    *timedOut = 0;
    const bool forever = timeout == kWaitForever;
    for (;;) {
        // Each slice of an infinite wait is a reader of its own, so a
        // download (and the register write that ends the wait) gets through.
        ReadLockGuard read(fpga_->lock());
        autoRunCheck();
        uint8_t late = 0;
        nQVAPALS100::tStatus status;
        const uint32_t asserted =
            proxy_->waitOnIrqs(mask, forever ? kWaitSliceMs : timeout, &late, status);
        qverr::throwIfTStatusError(status);
        if (!forever || !late) {
            *timedOut = late;
            return asserted;
        }
    }
}

void Session::acknowledgeIrqs(uint32_t mask) {
    refuseDerived();
    ReadLockGuard read(fpga_->lock());
    autoRunCheck();
    if (image_->interruptStatusAddress >= 0xFFFFFFFF)
        throwStatusCode(qverr::qvapalerr_resourceNotInitialized);
    ioAccessor_->write32(image_->interruptStatusAddress, mask);
}

uint32_t Session::read32(uint32_t address) {
    ReadLockGuard read(fpga_->lock());
    return ioAccessor_->read32(address);
}

void Session::write32(uint32_t address, uint32_t value) {
    ReadLockGuard read(fpga_->lock());
    ioAccessor_->write32(address, value);
}

void Session::readBlock(uint32_t address, uint64_t buffer, uint32_t bytes, uint32_t width,
                        uint32_t flag) {
    ReadLockGuard read(fpga_->lock());
    ioAccessor_->readBlock(address, buffer, bytes, width, flag);
}

void Session::writeBlock(uint32_t address, uint64_t buffer, uint32_t bytes, uint32_t width,
                         uint32_t flag) {
    ReadLockGuard read(fpga_->lock());
    ioAccessor_->writeBlock(address, buffer, bytes, width, flag);
}

// ---- peer-to-peer

SessionWithP2P::SessionWithP2P(
    std::shared_ptr<Fpga> fpga, std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk> proxy,
    std::shared_ptr<sdihal::nQVAPAL000::tDeviceInterfaceProxy> deviceProxy,
    IPersonalityConfigurer& configurer, ITargetClassChecker& checker,
    std::shared_ptr<IIoAccessor> ioAccessor, std::shared_ptr<const Bitfile> bitfile,
    const char* signature, uint32_t attributes)
    : Session(std::move(fpga), std::move(proxy), configurer, checker, std::move(ioAccessor),
              bitfile, signature, attributes) {
    const std::string& channels = bitfile->getChannelDescriptionText();
    if (channels.empty()) return;
    // The base part is built: its destructor does not run when this part
    // fails, so the endpoints are released here and the base undone by the
    // exception leaving the constructor.
    CompilationResultsInfo info(channels);
    for (const NamedFifo& fifo : info.getFifos()) {
        if (fifo.kind() == kFifoPeerToPeerReader || fifo.kind() == kFifoPeerToPeerWriter) {
            p2pEndpoints_.push_back(std::make_shared<P2PEndpointSession>(fifo, *this, deviceProxy));
        }
    }
}

SessionWithP2P::SessionWithP2P(const SessionWithP2P& parent, int tag)
    : Session(parent, tag), p2pEndpoints_(parent.p2pEndpoints_) {}

SessionWithP2P::~SessionWithP2P() {
    p2pEndpoints_.clear();
}

std::unique_ptr<Session> SessionWithP2P::clone() {
    refuseDerived();
    return std::unique_ptr<Session>(new SessionWithP2P(*this, 0));
}

std::shared_ptr<P2PEndpointSession> SessionWithP2P::endpoint(uint32_t fifoNumber) const {
    for (const auto& endpoint : p2pEndpoints_) {
        if (endpoint->getFifoNumber() == fifoNumber) return endpoint;
    }
    throwStatusCode(qverr::qvapalerr_resourceNotFound);
}

void SessionWithP2P::getP2PEndpointId(uint32_t fifoNumber, uint32_t* id) {
    if (id == nullptr) throwStatusCode(qverr::qvapalerr_invalidParameter);
    autoRunCheck();
    *id = endpoint(fifoNumber)->getEndpointId();
}

uint32_t SessionWithP2P::queryP2PEndpoint(uint32_t fifoNumber) {
    nQVAPALS100::tStatus status;
    const uint32_t info = proxy_->getP2PInfo(fifoNumber, status);
    qverr::throwIfTStatusError(status);
    return info;
}

void SessionWithP2P::mapP2PSink(uint32_t fifoNumber, uint64_t* address, uint64_t* size,
                                void** context, P2PSinkRelease* release) {
    if (context == nullptr || release == nullptr || address == nullptr || size == nullptr) {
        throwStatusCode(qverr::qvapalerr_invalidParameter);
    }
    ReadLockGuard read(fpga()->lock());
    std::shared_ptr<P2PEndpointSession> sink = endpoint(fifoNumber);
    // The FIFO number is reserved before anything is mapped: a second
    // mapping of the same sink is refused and leaves the first one whole.
    auto cleanup = std::make_unique<MappedP2PSinkCleanup>(sink, fpga());
    MappedP2PSinkCleanup* reserved = cleanup.get();
    fpga()->addReservation(fifoNumber, std::move(cleanup));
    try {
        reserved->map(size, address);
    } catch (...) {
        fpga()->removeReservationNoThrow(fifoNumber);
        throw;
    }
    *context = new std::shared_ptr<Fpga>(fpga());
    *release = &Fpga::releaseReservation;
}

}  // namespace qvzek::user
