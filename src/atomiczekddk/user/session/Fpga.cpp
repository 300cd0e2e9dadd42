#include "atomiczekddk/user/session/Fpga.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <thread>

#include "atomiczekddk/memory/HostBuffer.h"
#include "atomiczekddk/p2p/P2PEndpointSession.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "qverr/Exception.h"

namespace qvzek::user {

namespace {

constexpr auto kRunTimeout = std::chrono::milliseconds(50);

// The first error bit of the control register, in the order the device
// reports them.
void throwControlError(int32_t code, uint32_t line) {
    throw qverr::Exception(
        code, qverr::SourceLocation{"atomiczekddk/shared/Common", line, "internal_sdi_hal23u", ""});
}

}  // namespace

Fpga::Fpga(std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk> proxy,
           std::shared_ptr<IFifoFactory> fifoFactory)
    : proxy_(std::move(proxy)), fifoFactory_(std::move(fifoFactory)) {
    qverr::throwIfTStatusError(lockStatus_);
    hmbManager_ = std::make_shared<HMBVirtualMemoryManager>(proxy_);
}

Fpga::~Fpga() {
    // Destroyed after the mutex is released: a reservation's destructor
    // unmaps through the driver and may call back into this object.
    std::map<uint32_t, std::unique_ptr<IReservation>> reservations;
    {
        std::lock_guard<std::mutex> guard(reservationMutex_);
        reservations.swap(reservations_);
    }
}

uint32_t Fpga::checkState() {
    std::shared_ptr<IIoAccessor> accessor;
    std::shared_ptr<const OpenedImage> image;
    {
        std::lock_guard<std::mutex> guard(stateMutex_);
        accessor = ioAccessor_;
        image = image_;
    }
    if (!accessor || !image) throwStatusCode(qverr::qvapalerr_resourceNotInitialized);
    const uint32_t value = accessor->read32(image->viControlAddress);
    if (value == control::kUnreachable) throwControlError(kErrorDeviceUnreachable, 285);
    if (value & control::kErrorBit6) throwControlError(kErrorControlBit6, 287);
    if (value & control::kErrorBit4) throwControlError(kErrorFpgaStatusFault, 289);
    if (value & control::kErrorBit7) throwControlError(kErrorControlBit7, 291);
    const uint32_t state = value & control::kStateMask;
    diagramState_.store(state);
    if (state == control::kStateInvalid) throwStatusCode(kErrorInvalidState);
    return state;
}

void Fpga::run(uint8_t* alreadyRunning) {
    const uint32_t before = checkState();
    const bool running = before == control::kStateRunning;
    if (alreadyRunning) *alreadyRunning = running ? 1 : 0;
    if (running) return;
    std::shared_ptr<const OpenedImage> image = this->image();
    if (before == control::kStateAborted) {
        if (image->allowImplicitEnableRemoval) throwStatusCode(kErrorRunImplicitEnable);
        if (image->enableRemovalInEffect) throwStatusCode(kErrorRunEnableRemoval);
    }
    std::shared_ptr<IIoAccessor> accessor = ioAccessor();
    accessor->write32(image->viControlAddress, control::kWriteStop);
    accessor->write32(image->viControlAddress, control::kWriteNone);
    accessor->write32(image->viControlAddress, control::kWriteStart);
    const auto deadline = std::chrono::steady_clock::now() + kRunTimeout;
    for (;;) {
        const uint32_t state = checkState();
        if (state == control::kStateRunning || state == control::kStateAborted) return;
        if (std::chrono::steady_clock::now() >= deadline) throwStatusCode(kErrorBusy);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void Fpga::runAndWait(uint32_t attributes, uint8_t* alreadyRunning) {
    {
        ReadLockGuard read(lock_);
        run(alreadyRunning);
    }
    if ((attributes & 1) == 0) return;
    // No limit, as asked, but the polls sleep so a long run costs no core,
    // and each poll is a reader of its own so a download is not held up.
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        {
            ReadLockGuard read(lock_);
            if (checkState() != control::kStateRunning) return;
        }
        std::this_thread::sleep_for(pause);
        if (pause < std::chrono::milliseconds(10)) pause *= 2;
    }
}

void Fpga::resetFifos() {
    std::vector<std::shared_ptr<IFifo>> fifos;
    {
        std::lock_guard<std::mutex> guard(stateMutex_);
        fifos = fifos_;
    }
    // The device has been reset: what the host had acquired from a FIFO is
    // gone with it, so each FIFO is marked stopped (its acquired elements and
    // regions dropped, a later release of them refused without reaching the
    // device, their memory kept valid for a caller still using it) before
    // its own reset. One FIFO's failure does not leave the
    // later ones stale: all are reset, then the first failure is thrown.
    std::exception_ptr firstFailure;
    for (auto& fifo : fifos) {
        if (!fifo) continue;
        try {
            fifo->markStopped();
            fifo->reset();
        } catch (...) {
            if (!firstFailure) firstFailure = std::current_exception();
        }
    }
    if (firstFailure) std::rethrow_exception(firstFailure);
}

void Fpga::resetOrAbort(bool abort) {
    std::shared_ptr<const OpenedImage> image = this->image();
    if (!image) throwStatusCode(qverr::qvapalerr_resourceNotInitialized);
    if (image->allowImplicitEnableRemoval) {
        throwStatusCode(abort ? kErrorAbortImplicitEnable : kErrorResetImplicitEnable);
    }
    if (!(abort ? image->abortSupported : image->resetSupported))
        throwStatusCode(kErrorNotSupported);
    nQVAPALS100::tStatus status;
    proxy_->command0D(status);
    qverr::throwIfTStatusError(status);
    WriteLockGuard write(lock_);
    nQVAPALS100::tStatus requestStatus;
    if (abort) {
        proxy_->abort(requestStatus);
    } else {
        proxy_->reset(requestStatus);
    }
    qverr::throwIfTStatusError(requestStatus);
    resetFifos();
}

void Fpga::reset() {
    resetOrAbort(false);
}
void Fpga::abort() {
    resetOrAbort(true);
}

void Fpga::checkBitfile(const Bitfile& bitfile, ITargetClassChecker& checker, const char* signature,
                        uint32_t attributes) {
    if ((attributes & kOpenSkipSignatureCheck) == 0) {
        if (signature == nullptr) throwStatusCode(kErrorSignatureMismatch);
        const FpgaSignature wanted = FpgaSignature::fromText(signature);
        const FpgaSignature given = FpgaSignature::fromText(bitfile.getSignature());
        if (wanted.words != given.words) throwStatusCode(kErrorSignatureMismatch);
    }
    if (!checker.isCompatible(bitfile.getTargetClass())) throwStatusCode(kErrorTargetClass);
}

bool Fpga::mustAttach(const Bitfile& bitfile, bool personalityChanged, bool keepAttachmentOnly,
                      uint64_t session) {
    std::lock_guard<std::mutex> guard(stateMutex_);
    // The attachment stays when asked to, or when the same image is attached
    // with its FIFOs built; never across a personality change.
    if (image_ && !personalityChanged) {
        const bool same = image_->bitfile->getSignature() == bitfile.getSignature();
        if (keepAttachmentOnly || (same && fifosBuilt_)) return false;
    }
    // Sessions still on the old image hold its FIFOs; a new image would pull
    // them from under those sessions.
    for (const auto& [key, count] : sessions_) {
        if (key != session && count > 0) throwStatusCode(kErrorBusy);
    }
    return true;
}

std::vector<std::shared_ptr<IFifo>> Fpga::buildFifos(const Bitfile& bitfile) {
    std::vector<std::shared_ptr<IFifo>> fifos;
    const int32_t highestNode = highestNumaNode();
    for (const NamedFifo& description : bitfile.getFifos()) {
        const uint8_t kind = description.kind();
        if ((kind == kFifoTargetToHost || kind == kFifoHostToTarget) && description.userVisible()) {
            fifos.push_back(fifoFactory_->create(description, reinterpret_cast<uint64_t>(this), -1,
                                                 highestNode));
        } else {
            fifos.emplace_back();
        }
    }
    return fifos;
}

std::shared_ptr<const OpenedImage> Fpga::attach(std::shared_ptr<const Bitfile> bitfile,
                                                std::shared_ptr<IIoAccessor> ioAccessor,
                                                bool keepAttachmentOnly) {
    auto opened = std::make_shared<const OpenedImage>(bitfile);
    std::vector<std::shared_ptr<IFifo>> fifos;
    if (!keepAttachmentOnly) fifos = buildFifos(*bitfile);
    std::lock_guard<std::mutex> guard(stateMutex_);
    fifos_.swap(fifos);
    ioAccessor_ = std::move(ioAccessor);
    image_ = opened;
    fifosBuilt_ = !keepAttachmentOnly;
    return opened;
}

std::shared_ptr<const OpenedImage> Fpga::open(std::shared_ptr<const Bitfile> bitfile,
                                              std::shared_ptr<IIoAccessor> ioAccessor,
                                              ITargetClassChecker& checker,
                                              IPersonalityConfigurer& configurer,
                                              PersonalityRecord& record, const char* signature,
                                              uint32_t attributes, uint64_t session) {
    if (!bitfile) throwStatusCode(qverr::qvapalerr_invalidParameter);
    checkBitfile(*bitfile, checker, signature, attributes);

    WriteLockGuard write(lock_);
    bool personalityChanged = false;
    configurer.configurePersonality(record, &personalityChanged);
    const bool keepAttachmentOnly = (attributes & kOpenKeepAttachment) != 0;
    const std::shared_ptr<const OpenedImage> image =
        mustAttach(*bitfile, personalityChanged, keepAttachmentOnly, session)
            ? attach(bitfile, std::move(ioAccessor), keepAttachmentOnly)
            : this->image();
    const bool doNotRun = (attributes & kOpenDoNotRun) != 0;
    if (!(doNotRun || (personalityChanged && image->autoRunWhenDownloaded))) run(nullptr);
    checkState();
    std::lock_guard<std::mutex> guard(stateMutex_);
    ++sessions_[session];
    return image;
}

void Fpga::download(const uint8_t* data, uint64_t size) {
    if (size > 0xFFFFFFFF) throwStatusCode(qverr::qvapalerr_invalidParameter);
    WriteLockGuard write(lock_);
    nQVAPALS100::tStatus status;
    proxy_->download(reinterpret_cast<uint64_t>(data), static_cast<uint32_t>(size), status);
    qverr::throwIfTStatusError(status);
    resetFifos();
    checkState();
}

std::shared_ptr<IFifo> Fpga::fifo(uint32_t number) {
    std::lock_guard<std::mutex> guard(stateMutex_);
    if (number >= fifos_.size() || !fifos_[number])
        throwStatusCode(qverr::qvapalerr_invalidParameter);
    return fifos_[number];
}

size_t Fpga::fifoCount() const {
    std::lock_guard<std::mutex> guard(stateMutex_);
    return fifos_.size();
}

void Fpga::detachSessionFromFifos(uint64_t session) {
    ReadLockGuard read(lock_);
    std::vector<std::shared_ptr<IFifo>> fifos;
    {
        std::lock_guard<std::mutex> guard(stateMutex_);
        fifos = fifos_;
        auto found = sessions_.find(session);
        if (found != sessions_.end() && --found->second == 0) sessions_.erase(found);
    }
    for (auto& fifo : fifos) {
        if (!fifo) continue;
        try {
            fifo->removeClient(session);
        } catch (...) {
            // A closing session cannot report; one FIFO that fails must not
            // leave the session a client of the others.
        }
    }
}

void Fpga::addReservation(uint32_t number, std::unique_ptr<IReservation> reservation) {
    std::lock_guard<std::mutex> guard(reservationMutex_);
    if (reservations_.count(number) != 0) throwStatusCode(kErrorBusy);
    reservations_.emplace(number, std::move(reservation));
}

void Fpga::removeReservation(uint32_t number) {
    // Moved out and destroyed after the guard: the reservation may hold the
    // last reference to this object, whose mutex must not die while held.
    std::unique_ptr<IReservation> removed;
    {
        std::lock_guard<std::mutex> guard(reservationMutex_);
        auto found = reservations_.find(number);
        if (found == reservations_.end()) throwStatusCode(qverr::qvapalerr_resourceNotFound);
        removed = std::move(found->second);
        reservations_.erase(found);
    }
}

int32_t Fpga::removeReservationNoThrow(uint32_t number) noexcept {
    try {
        removeReservation(number);
    } catch (const qverr::Exception& e) {
        return e.status.code;
    } catch (...) {
        return qverr::qvapalerr_softwareFaultAPALInternalUseOnly;
    }
    return 0;
}

void Fpga::releaseReservation(void* context, uint32_t number) {
    auto* owner = static_cast<std::shared_ptr<Fpga>*>(context);
    if (owner == nullptr) return;
    // The sink's owner calls this with no way to take an error, and the
    // reservation may already be gone with its session: the code is dropped.
    if (*owner) (*owner)->removeReservationNoThrow(number);
    delete owner;
}

std::shared_ptr<IIoAccessor> Fpga::ioAccessor() const {
    std::lock_guard<std::mutex> guard(stateMutex_);
    return ioAccessor_;
}

std::shared_ptr<const OpenedImage> Fpga::image() const {
    std::lock_guard<std::mutex> guard(stateMutex_);
    return image_;
}

}  // namespace qvzek::user
