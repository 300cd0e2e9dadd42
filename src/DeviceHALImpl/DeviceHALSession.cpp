#include "DeviceHALImpl/DeviceHALSession.h"

#include <cjson/cJSON.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "BasecardConfigHALImpl/BasecardConfigSession.h"
#include "DSPHALImpl/DSPBlocks.h"
#include "DataAccessHALImpl/DataAccessHALSession.h"
#include "DataAccessHALImpl/FileDataAccessor.h"
#include "DataAccessHALImpl/FlashDataAccessor.h"
#include "DataPathHALImpl/DataPathSession.h"
#include "FixedPoint/FixedPoint.h"
#include "HALUtilities/CalibrationPaths.h"
#include "HALUtilities/DriverRequest.h"
#include "HALUtilities/ErrorHandling.h"
#include "IQConfigHALImpl/IQConfigV1ProxyWrapper.h"
#include "IQManipulationHALImpl/IQManipulationHALSession.h"
#include "ListModeHALImpl/ListModeHALSession.h"
#include "MRAHALImpl/MRAHALSession.h"
#include "RFPlatImpl/RFPlatSession.h"
#include "ReservationHALImpl/ReservationSession.h"
#include "RoutingHALImpl/RoutingHALSession.h"
#include "SelfCalHALImpl/SelfCalHALSession.h"
#include "SyntraSyncHALImpl/SyntraSyncControlProxy.h"
#include "SyntraSyncHALImpl/SyntraSyncSession.h"
#include "TimerHALImpl/TimerHALSession.h"
#include "TrigHALImpl/TrigHALSession.h"
#include "WGenHALImpl/WGenHALSession.h"
#include "qverr/DetailWriter.h"
#include "qverr/Exception.h"
#include "qverr/StatusThrowGuard.h"
#include "qvisl/FifoFpgaHw.h"
#include "qvisl/QvFpgaDll.h"
#include "qvroco/RoCoSession.h"

namespace qv3377hal {
namespace {

constexpr const char* kFile = "DeviceHALImpl/DeviceHALSession.cpp";

// One path element: block id, instance index, padding.
constexpr uint32_t element(uint16_t id, uint8_t instance = 0) {
    return static_cast<uint32_t>(id) | (static_cast<uint32_t>(instance) << 16);
}

uint64_t addressOf(const uint32_t* path) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(path));
}

// A check of the block at `path` through `sub`; a failure is thrown.
template <class Sub, size_t N>
void check(Sub& sub, const uint32_t (&path)[N]) {
    driverRequest(
        [&](nQVAPALS100::tStatus& status) { sub.checkCompatibility(addressOf(path), N, status); });
}

// A look-up: the block's instance number, or the driver's error in `status`.
template <class Sub, size_t N>
uint32_t lookUp(Sub& sub, const uint32_t (&path)[N], nQVAPALS100::tStatus& status) {
    return sub.checkCompatibility(addressOf(path), N, status);
}
template <class Sub, size_t N>
uint32_t lookUp(Sub& sub, const uint32_t (&path)[N]) {
    return driverRequest([&](nQVAPALS100::tStatus& status) { return lookUp(sub, path, status); });
}

// Whether the driver reports a non-empty traits record of the sub-interface;
// a failed read counts as none and is not reported.
template <size_t N, class Proxy>
bool hasTraits(Proxy& proxy) {
    sdihal::tRecord<N> traits{};
    uint32_t size = 0;
    nQVAPALS100::tStatus status;
    proxy.getTraits(&traits, &size, status, 0);
    return !status.isError() && size != 0;
}

// A string member of the parameters; another type counts as absent.
const char* stringParameter(const cJSON* parameters, const char* key) {
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(parameters, key);
    return cJSON_IsString(item) ? item->valuestring : nullptr;
}

bool nonEmpty(const char* text) {
    return text != nullptr && text[0] != '\0';
}

void throwAt(int32_t code, int64_t line, const char* constant) {
    const qverr::SourceLocation location{kFile, line, kComponent, constant};
    throw qverr::Exception(code, location);
}

// The result of a FIFO look-up: true when found, false when the image has
// no such FIFO; another failure is thrown with the detail pair given.
bool fifoFound(int32_t result, int64_t line, const char* key, const char* message) {
    if (result == qverr::qvapalerr_resourceNotFound) return false;
    if (result < 0) {
        qverr::throwWithMessage(result, qverr::SourceLocation{kFile, line, kComponent, "status"},
                                key, message);
    }
    return true;
}

// Keeps the first created object of a slot and hands out its address.
template <class T, class Make>
T* cached(std::unique_ptr<T>& slot, Make&& make) {
    if (!slot) slot = make();
    return slot.get();
}

// The empty text of the placeholder contexts.
const char kPlaceholder[] = "";

}  // namespace

void checkInterfaceVersion(uint16_t ownCurrent, uint16_t ownOldest, uint16_t driverCurrent,
                           uint16_t driverOldest) {
    const sdihal::tVersionCheck versionCheck(
        ownCurrent, ownOldest, driverCurrent, driverOldest, sdihal::kDriverErrorDriverTooOld,
        sdihal::kDriverErrorLibraryTooOld, qverr::qvapalerr_invalidParameter,
        qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    if (versionCheck.errorCode() != 0)
        throwAt(versionCheck.errorCode(), 521, "versionCheck.errorCode()");
}

DeviceSession::DeviceSession(SubsystemType type, const char* sessionParamsJson)
    : parameters_(nullptr, cJSON_Delete),
      subsystemType_(type),
      signalPathKind_(type == kSubsystemAi ? block::kAcquisitionPath : block::kGenerationPath) {
    if (sessionParamsJson != nullptr) parameters_.reset(cJSON_Parse(sessionParamsJson));
    const char* deviceInterfacePath = readParameters();
    openFpgaSession();
    openDevice(deviceInterfacePath);
    addDataAccessors();
}

const char* DeviceSession::readParameters() {
    // Without parameters or a resource name there is nothing to name the
    // session by: a software fault, as the frame reports a logic error.
    const char* resourceName = stringParameter(parameters_.get(), "resourceName");
    if (resourceName == nullptr)
        throw std::logic_error("session parameters without \"resourceName\"");
    resourceName_ = resourceName;
    if (const char* client = stringParameter(parameters_.get(), "sessionClientName"))
        sessionClientName_ = client;

    const char* deviceInterfacePath = stringParameter(parameters_.get(), "deviceInterfacePath");
    sessionUID_ = stringParameter(parameters_.get(), "sessionUID");
    if (const char* pid = stringParameter(parameters_.get(), "pid")) {
        productId_ = static_cast<int32_t>(std::strtol(pid, nullptr, 10));
    }
    checkNotNull(resourceName, deviceInterfacePath);
    return deviceInterfacePath;
}

void DeviceSession::openFpgaSession() {
    const char* korvex = stringParameter(parameters_.get(), "calledFromKorvex");
    const bool calledFromKorvex = korvex != nullptr && std::strcmp(korvex, "true") == 0;
    const char* bitfileDll = stringParameter(parameters_.get(), "bitfileDll");
    const char* bitfilePath = stringParameter(parameters_.get(), "bitfilePath");
    const char* resourceName = resourceName_.c_str();
    if (nonEmpty(bitfileDll)) {
        checkNotNull(sessionUID_);
        fpgaSession_ = std::make_unique<AutoFpgaSession>(resourceName, BitfileLibrary{bitfileDll},
                                                         calledFromKorvex);
    } else if (nonEmpty(bitfilePath)) {
        checkNotNull(sessionUID_);
        fpgaSession_ = std::make_unique<AutoFpgaSession>(resourceName, BitfilePath{bitfilePath},
                                                         calledFromKorvex);
    }
}

void DeviceSession::openDevice(const char* deviceInterfacePath) {
    proxy_ = std::make_shared<sdihal::tInterfaceProxy_qv3377k>();
    {
        nQVAPALS100::tStatus status;
        qverr::TStatusThrower thrower(status);
        proxy_->open(deviceInterfacePath, status);
    }
    rfPlatSession_ =
        std::make_unique<rfplat::RFPlatSession>(sub<sdihal::iInterfaceProxy_rfplat>(), "");
}

void DeviceSession::addDataAccessors() {
    const std::string board = zeroPadTo8(rfPlatSession_->getSerialNumber2(nullptr, "").c_str());
    dataAccessSession_ = std::make_unique<dataaccesshal::DataAccessHALSession>();
    const auto pid = static_cast<uint32_t>(productId_);
    dataAccessSession_->addAccessor(std::make_unique<dataaccesshal::FileDataAccessor>(
        calibrationFilePath(pid, "RevB", board), ""));
    dataAccessSession_->addAccessor(std::make_unique<dataaccesshal::FileDataAccessor>(
        calibrationFilePath(pid, "RevB", "Common"), "Common"));
    for (const std::string& name : rfPlatSession_->getFlashDevices()) {
        dataAccessSession_->addAccessor(
            std::make_unique<dataaccesshal::FlashDataAccessor>(rfPlatSession_.get(), name));
    }
}

DeviceSession::~DeviceSession() = default;

std::string DeviceSession::deviceContextText() const {
    if (subsystemType_ == kSubsystemAi) return "ai/0";
    if (subsystemType_ == kSubsystemAo) return "ao/0";
    throw std::runtime_error("invalid SubsystemInstance type!");
}

void DeviceSession::describeP2P(const char* fifoName, const char* direction) {
    uint32_t fifo = 0;
    bool valid = false;
    if (hasFpgaSession()) {
        valid = fifoFound(findFifo(fifoName, fifo), 205, "addP2PEndpoint",
                          "FindFifoPrivate error when looking up p2p resource.");
        if (!valid) fifo = 0;
    }
    // Written by hand, not by a JSON printer: hosts compare the exact text,
    // spacing included.
    p2pDescription_ =
        "{\"fpgaSessionHandle\":\"" + std::to_string(fpgaSessionNumber()) + "\", \"endpoints\": [";
    p2pDescription_ += "{\"name\": \"" + std::string(fifoName) + "\", \"direction\":\"" +
                       direction + "\", \"fifoResourceID\":\"" + std::to_string(fifo) +
                       "\", \"valid\":\"" + (valid ? "1" : "0") + "\"}";
    p2pDescription_ += "]}";
}

void DeviceSession::queryVersion(const uint32_t* path, uint32_t count, uint16_t& current,
                                 uint16_t& oldest, nQVAPALS100::tStatus& status) {
    current = 0;
    oldest = 0;
    sub<sdihal::iInterfaceProxy_rfplat>()->getInterfaceVersion(addressOf(path), count, &current,
                                                               &oldest, status);
}

uint16_t DeviceSession::checkDriverVersions(uint16_t ownCurrent, uint16_t ownOldest) {
    struct Query {
        uint32_t path[2];
        uint32_t count;
        uint16_t ownCurrent;
        uint16_t ownOldest;
    };
    const uint32_t signalPath = element(getSignalPathId());
    const Query checked[] = {{{signalPath}, 1, ownCurrent, ownOldest},
                             {{signalPath, element(block::kDspChain)}, 2, 1, 1},
                             {{element(block::kCalibrationPath)}, 1, 1, 1}};
    uint16_t signalPathVersion = 0;
    for (const Query& query : checked) {
        uint16_t current = 0;
        uint16_t oldest = 0;
        driverRequest([&](nQVAPALS100::tStatus& status) {
            queryVersion(query.path, query.count, current, oldest, status);
        });
        checkInterfaceVersion(query.ownCurrent, query.ownOldest, current, oldest);
        if (&query == &checked[0]) signalPathVersion = current;
    }
    // The Syntra block is optional: its absence is no error.
    nQVAPALS100::tStatus syntraStatus;
    uint16_t current = 0;
    uint16_t oldest = 0;
    const uint32_t syntra[] = {signalPath, element(block::kSyntraSync)};
    queryVersion(syntra, 2, current, oldest, syntraStatus);
    syntraAvailable_ = !syntraStatus.isError();
    return signalPathVersion;
}

int32_t DeviceSession::findFifo(const char* name, uint32_t& fifo) const {
    return QvFpgaDll_FindFifoPrivate(fpgaSessionNumber(), name, qvisl::kResourceTypeAny, &fifo);
}

void* DeviceSession::getContext(uint32_t id, uint8_t flag) {
    if (flag != 0) throwAt(qverr::qvapalerr_invalidParameter, 163, "qvapalerr_invalidParameter");
    switch (id) {
        case context::kDataPath:
            return _getDataPath();
        case context::kResampler:
            return _getResampler();
        case context::kFreqShift:
            return _getFreqShift();
        case context::kImpairments:
            return _getImpairments();
        case context::kDigitalOffset:
            return _getDigitalOffset();
        case context::kBasecardConfig:
            return _getBasecardConfig();
        case context::kTrig:
            return _getTrig();
        case context::kPlaceholder:
            return const_cast<char*>(kPlaceholder);
        case context::kIQDataTrigger:
            return _getIQDataTrigger();
        case context::kP2PDescription:
            return p2pDescription_.data();
        case context::kIQManipulation:
            return _getIQManipulation();
        case context::kSyntraSync:
            return _getSyntraSync();
        case context::kIQConfig:
            return _getIQConfig();
        case context::kListMode:
            return _getListMode();
        case context::kTimer:
            return _getTimer();
        case context::kSelfCal:
            return _getSelfCal();
        case context::kRouting:
            return _getRoutingHAL();
        case context::kReservation:
            return _getReservation();
        case context::kDataAccess:
            return dataAccessSession_.get();
        default:
            return nullptr;
    }
}

void* DeviceSession::_getDataPath() {
    return cached(dataPath_, [&] {
        return std::make_unique<datapathhal::DataPathSession>(
            sub<sdihal::iInterfaceProxy_datapath>(), instanceIndex());
    });
}

template <class Proxy, class Hal>
void* DeviceSession::dspControl(std::unique_ptr<Hal>& slot, uint16_t path, uint32_t blockElement) {
    return cached(
               slot,
               [&] {
                   auto proxy = sub<Proxy>();
                   const uint32_t blockPath[] = {element(path), element(block::kDspChain),
                                                 blockElement};
                   // The HALs that take an instance are of the blocks the driver
                   // numbers: those are looked up, the others only checked.
                   if constexpr (std::is_constructible_v<Hal, std::shared_ptr<Proxy>, uint32_t>) {
                       return std::make_unique<Hal>(proxy, lookUp(*proxy, blockPath));
                   } else {
                       check(*proxy, blockPath);
                       return std::make_unique<Hal>(proxy);
                   }
               })
        ->getHWControl();
}

void* DeviceSession::_getResampler() {
    return dspControl<sdihal::iInterfaceProxy_resampler>(resampler_, getSignalPathId(),
                                                         element(getResamplerBlockId()));
}

void* DeviceSession::_getFreqShift() {
    return dspControl<sdihal::iInterfaceProxy_freqshift>(freqShift_, getSignalPathId(),
                                                         element(block::kFreqShift));
}

void* DeviceSession::_getImpairments() {
    return dspControl<sdihal::iInterfaceProxy_impairments>(impairments_, getSignalPathId(),
                                                           element(block::kImpairments));
}

void* DeviceSession::_getIQDataTrigger() {
    return dspControl<sdihal::iInterfaceProxy_iqDataTrigger>(iqDataTrigger_, getSignalPathId(),
                                                             element(block::kIQDataTrigger));
}

dsphal::DigitalOffsetSession* DeviceSession::digitalOffsetAt(
    std::unique_ptr<dsphal::DigitalOffsetHAL>& slot,
    std::unique_ptr<dsphal::DigitalOffsetSession>& plain, uint16_t chain, uint16_t blockId) {
    if (slot) return slot->session();
    if (plain) return plain.get();
    auto proxy = sub<sdihal::iInterfaceProxy_digitaloffset>();
    const uint32_t path[] = {element(getSignalPathId()), element(chain), element(blockId)};
    nQVAPALS100::tStatus status;
    const uint32_t instance = lookUp(*proxy, path, status);
    if (status.getCode() == kBlockAbsent) {
        plain = std::make_unique<dsphal::DigitalOffsetSession>();
        return plain.get();
    }
    qverr::throwIfTStatusError(status);
    slot = std::make_unique<dsphal::DigitalOffsetHAL>(proxy, instance);
    return slot->session();
}

void* DeviceSession::_getDigitalOffset() {
    return digitalOffsetAt(digitalOffset_, digitalOffsetPlain_, block::kDspChain,
                           block::kDigitalOffset);
}

dsphal::EqualizerSession* DeviceSession::makeEqualizerSession(
    std::unique_ptr<dsphal::EqualizerSession>& slot, uint16_t path, uint16_t chain,
    uint16_t blockId) {
    return cached(slot, [&] {
        auto proxy = sub<sdihal::iInterfaceProxy_equalizer>();
        const uint32_t blockPath[] = {element(path), element(chain), element(blockId)};
        return std::make_unique<dsphal::EqualizerSession>(proxy, lookUp(*proxy, blockPath));
    });
}

void* DeviceSession::digitalGainAt(std::unique_ptr<dsphal::DigitalGainHAL>& slot, uint16_t path,
                                   uint8_t instance) {
    return dspControl<sdihal::iInterfaceProxy_digitalgain>(slot, path,
                                                           element(block::kDigitalGain, instance));
}

void* DeviceSession::_getBasecardConfig() {
    return cached(basecardConfig_, [&] {
        return std::make_unique<BasecardConfigV1::BasecardConfigSession>(
            instanceIndex(), sub<sdihal::iInterfaceProxy_BasecardConfigV1>());
    });
}

void* DeviceSession::_getTrig() {
    return cached(trig_, [&] {
        auto proxy = sub<sdihal::iInterfaceProxy_trig>();
        const uint16_t trigger =
            subsystemType_ == kSubsystemAi ? block::kAcquisitionTrigger : block::kGenerationTrigger;
        const uint32_t path[] = {element(signalPathKind_), element(trigger)};
        check(*proxy, path);
        return std::make_unique<trighal::TrigHALSession>(proxy);
    });
}

void* DeviceSession::_getIQManipulation() {
    return cached(iqManipulation_, [&] {
        return std::make_unique<iqmaniphal::IQManipulationHALSession>(
            sub<sdihal::iInterfaceProxy_iqmanip>(), instanceIndex());
    });
}

void* DeviceSession::_getSyntraSync() {
    if (!syntraAvailable_) return nullptr;
    return cached(syntraSync_, [&] {
        auto proxy = sub<sdihal::iInterfaceProxy_syntrasync>();
        const uint32_t path[] = {element(signalPathKind_)};
        check(*proxy, path);
        return std::make_unique<syntrasynchal::SyntraSyncSession>(
            new syntrasynchal::SyntraSyncControlProxy(proxy));
    });
}

void* DeviceSession::_getIQConfig() {
    return cached(iqConfig_, [&] {
        std::unique_ptr<qvisl::IRQContext> irq;
        if (hasFpgaSession()) {
            nQVAPALS100::tStatus status;
            irq = std::make_unique<qvisl::IRQContextFpgaHw>(fpgaSessionNumber(), status);
            qverr::throwIfTStatusError(status);
        }
        return std::make_unique<IQConfigV1::IQConfigV1ProxyWrapper>(
            instanceIndex(), sub<sdihal::iInterfaceProxy_IQConfigV1>(), std::move(irq));
    });
}

void* DeviceSession::_getListMode() {
    return cached(listMode_, [&] {
        if (!hasFpgaSession())
            throwAt(qverr::qvapalerr_resourceNotFound, 330, "qvapalerr_resourceNotFound");
        auto proxy = sub<sdihal::iInterfaceProxy_listmode>();
        const char* name =
            subsystemType_ == kSubsystemAi ? "list mode.acq.fifo 0" : "list mode.gen.fifo 0";
        uint32_t fifo = 0;
        if (!fifoFound(findFifo(name, fifo), 350, "_getListMode",
                       "FindFifoPrivate error when looking up list mode resource.")) {
            return std::make_unique<listmodehal::ListModeHALSession>(proxy);
        }
        const uint32_t path[] = {element(signalPathKind_), element(block::kListMode)};
        check(*proxy, path);
        return std::make_unique<listmodehal::ListModeHALSession>(
            proxy, std::make_unique<qvisl::FifoFpgaHw<uint64_t>>(fpgaSessionNumber(), fifo));
    });
}

void* DeviceSession::_getTimer() {
    return cached(timer_, [&] {
        auto proxy = sub<sdihal::iInterfaceProxy_timer>();
        const uint32_t path[] = {element(signalPathKind_), element(block::kTimer)};
        check(*proxy, path);
        return std::make_unique<timerhal::TimerHALSession>(proxy);
    });
}

void* DeviceSession::_getSelfCal() {
    return cached(selfCal_, [&] {
        const char* bitfileName = stringParameter(parameters_.get(), "bitfileName");
        checkNotNull(bitfileName);
        return std::make_unique<selfcalhal::SelfCalHALSession>(
            resourceName_, bitfileName, "", selfcalhal::SelfCalHALSession::kLibraryName);
    });
}

void* DeviceSession::_getRoutingHAL() {
    return cached(routing_, [&] {
        auto roco = std::make_unique<rocout::RoCoSession>();
        return std::make_unique<routinghal::RoutingHALSession>(
            resourceName_, "/" + deviceContextText(), std::move(roco));
    });
}

void* DeviceSession::_getReservation() {
    return cached(reservation_, [&] {
        const std::string deviceContext = deviceContextText();
        // Without a session id the description cannot name the session: a
        // missing parameter, as for the self-calibration context.
        checkNotNull(sessionUID_);
        std::unique_ptr<cJSON, void (*)(cJSON*)> object(cJSON_CreateObject(), cJSON_Delete);
        if (!object) throw std::bad_alloc();
        const std::pair<const char*, const char*> members[] = {
            {"Resource Name", resourceName_.c_str()},
            {"Device Context", deviceContext.c_str()},
            {"Session ID", sessionUID_},
            {"Session Client Name", sessionClientName_.c_str()}};
        for (const auto& member : members) {
            if (cJSON_AddStringToObject(object.get(), member.first, member.second) == nullptr)
                throw std::bad_alloc();
        }
        std::unique_ptr<char, void (*)(void*)> text(cJSON_Print(object.get()), cJSON_free);
        if (!text) throw std::bad_alloc();
        return std::make_unique<reservationhal::ReservationSession>(
            sub<sdihal::iInterfaceProxy_reservation>(), text.get());
    });
}

// ---- acquisition

AcqDeviceSession::AcqDeviceSession(SubsystemType type, const char* sessionParamsJson)
    : DeviceSession(type, sessionParamsJson) {
    if (hasFpgaSession()) driverInterfaceVersion_ = checkDriverVersions(4, 2);
    describeP2P("p2p.acq.fifo.I16.width 16.depth 16k", "writer");
}

AcqDeviceSession::~AcqDeviceSession() = default;

bool AcqDeviceSession::hasRecordAcquisition() {
    return hasTraits<64>(*sub<sdihal::iInterfaceProxy_mra>());
}

void* AcqDeviceSession::getContext(uint32_t id, uint8_t flag) {
    if (flag != 0) throwAt(qverr::qvapalerr_invalidParameter, 591, "qvapalerr_invalidParameter");
    switch (id) {
        case context::kEqualizer:
            if (driverInterfaceVersion_ > 2) return nullptr;
            return makeEqualizerSession(equalizer6_, block::kAcquisitionPath, block::kDspChain,
                                        block::kEqualizer);
        case context::kDigitalGain:
            return digitalGainAt(digitalGain_, block::kAcquisitionPath, 0);
        case context::kCalInDsp:
            return _getCalInDSP();
        case context::kMra:
            return _getMRA();
        case context::kEqualizerV3:
            if (driverInterfaceVersion_ < 3) return nullptr;
            return makeEqualizerSession(equalizer26_, block::kAcquisitionPath, block::kDspChain,
                                        block::kEqualizer);
        case context::kSecondChainEqualizer:
            return makeEqualizerSession(equalizer27_, block::kAcquisitionPath,
                                        block::kSecondDspChain, block::kSecondChainBlock);
        case context::kSecondDigitalOffset:
            if (driverInterfaceVersion_ <= 2) {
                if (secondOffset_) return secondOffset_->session();
                return cached(secondOffsetPlain_,
                              [] { return std::make_unique<dsphal::DigitalOffsetSession>(); });
            }
            return digitalOffsetAt(secondOffset_, secondOffsetPlain_, block::kSecondDspChain,
                                   block::kSecondChainBlock);
        default:
            return DeviceSession::getContext(id, 0);
    }
}

void* AcqDeviceSession::_getCalInDSP() {
    return cached(calInDsp_, [&] {
        // The measurement FIFO needs an FPGA image, as the list-mode FIFO does.
        if (!hasFpgaSession())
            throwAt(qverr::qvapalerr_resourceNotFound, 660, "qvapalerr_resourceNotFound");
        uint32_t fifo = 0;
        const int32_t result = findFifo("cal.measurement fifo 0", fifo);
        if (result < 0) throwAt(result, 673, "status");
        auto measurements = std::make_unique<qvisl::FifoFpgaHw<int64_t>>(fpgaSessionNumber(), fifo);
        auto proxy = sub<sdihal::iInterfaceProxy_calindsp>();
        const uint32_t path[] = {element(block::kCalibrationPath), element(block::kCalibrationDsp)};
        check(*proxy, path);
        return std::make_unique<dsphal::CalInDSPSession>(proxy, std::move(measurements));
    });
}

void* AcqDeviceSession::_getMRA() {
    if (mra_) return mra_.get();
    if (!hasRecordAcquisition() || !hasFpgaSession()) return nullptr;
    mra_ = std::make_unique<mrahal::MRAHALSession>(fpgaSessionNumber(), 0,
                                                   sub<sdihal::iInterfaceProxy_mra>());
    return mra_.get();
}

// ---- generation

GenDeviceSession::GenDeviceSession(const char* sessionParamsJson)
    : DeviceSession(kSubsystemAo, sessionParamsJson) {
    if (hasFpgaSession()) checkDriverVersions(3, 2);
    describeP2P("p2p.gen.fifo.I16.width 16.depth 32k", "reader");
}

GenDeviceSession::~GenDeviceSession() = default;

bool GenDeviceSession::hasWaveformGenerator() {
    return hasTraits<48>(*sub<sdihal::iInterfaceProxy_wgen>());
}

void* GenDeviceSession::getContext(uint32_t id, uint8_t flag) {
    switch (id) {
        case context::kEqualizer:
            return makeEqualizerSession(equalizer6_, block::kGenerationPath, block::kDspChain,
                                        block::kEqualizer);
        case context::kDigitalGain:
            if (flag > 1)
                throwAt(qverr::qvapalerr_invalidParameter, 872, "qvapalerr_invalidParameter");
            return digitalGainAt(flag == 1 ? digitalGain1_ : digitalGain0_, block::kGenerationPath,
                                 flag);
        case context::kCalOutDsp:
            return _getCalOutDSP();
        case context::kWGen:
            return _getWGen();
        case context::kGenerationPlaceholder:
            return const_cast<char*>(kPlaceholder);
        case context::kSecondDigitalOffset:
            return cached(digitalOffset33_,
                          [] { return std::make_unique<dsphal::DigitalOffsetSession>(); });
        default:
            return DeviceSession::getContext(id, flag);
    }
}

void* GenDeviceSession::_getCalOutDSP() {
    return cached(calOutDsp_, [&] {
        auto proxy = sub<sdihal::iInterfaceProxy_caloutdsp>();
        const uint32_t path[] = {element(block::kCalibrationPath), element(block::kCalibrationDsp)};
        check(*proxy, path);
        return std::make_unique<dsphal::CalOutDSPSession>(proxy);
    });
}

void* GenDeviceSession::_getWGen() {
    if (wgen_) return wgen_.get();
    if (!hasWaveformGenerator() || !hasFpgaSession()) return nullptr;
    wgen_ = std::make_unique<wgenhal::WGenHALSession>(fpgaSessionNumber(),
                                                      sub<sdihal::iInterfaceProxy_wgen>(), 0);
    return wgen_.get();
}

}  // namespace qv3377hal
