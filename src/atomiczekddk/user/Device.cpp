#include "atomiczekddk/user/Device.h"

#include "HALUtilities/ErrorHandling.h"
#include "atomiczekddk/aliases/Aliases.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "atomiczekddk/shared/DeviceInfo.h"
#include "atomiczekddk/user/facade/FpgaSession.h"
#include "atomiczekddk/user/facade/FpgaSessionTraditional.h"
#include "atomiczekddk/user/facade/ISessionFactory.h"
#include "qverr/Status.h"

namespace qvzek {

namespace {

constexpr const char* kComponent = "internal_sdi_hal23u";
constexpr const char* kSourceName = "atomiczekddk/user/Device";
// The driver keeps this attribute of the device for its host.
constexpr uint32_t kDeviceAttributeId = 1;

void raise(nQVAPALS100::tStatus& status, int32_t code, uint64_t line) {
    status.setCode(code, kComponent, kSourceName, line);
}

}  // namespace

Device::Device(std::shared_ptr<const DeviceInfo> entry, ISessionFactory* sessionFactory,
               IAliasManager* aliasManager, IDeviceResolver* resolver)
    : entry_(std::move(entry)),
      sessionFactory_(sessionFactory),
      aliasManager_(aliasManager),
      resolver_(resolver) {}

Device::~Device() = default;

uint32_t Device::getInterfaceVersion() {
    return kDeviceInterfaceVersion;
}

const char* Device::getPersistentToken(uint32_t) {
    return entry_->persistentToken.c_str();
}

uint64_t Device::getEntryValue() {
    return reinterpret_cast<uintptr_t>(entry_->interfaceName);
}

void Device::setDeviceAttribute(uint32_t value, nQVAPALS100::tStatus& status) {
    if (status.isError()) return;
    try {
        const std::unique_ptr<FpgaSessionTraditional> session =
            sessionFactory_->createTraditionalSession(entry_);
        session->setU32Attribute(kDeviceAttributeId, value, status);
        // A value the driver refused is not the device's.
        if (!status.isError()) cachedAttribute_ = value;
    } catch (...) {
        qv3377hal::storeCurrentException(status, kComponent, kSourceName, __LINE__);
    }
}

uint32_t Device::getDeviceAttribute() {
    if (cachedAttribute_ != kAttributeUnknown) return cachedAttribute_;
    try {
        nQVAPALS100::tStatus status;
        const std::unique_ptr<FpgaSessionTraditional> session =
            sessionFactory_->createTraditionalSession(entry_);
        const uint32_t value = session->getU32Attribute(kDeviceAttributeId, status);
        if (!status.isError()) cachedAttribute_ = value;
    } catch (...) {
        // The host learns of a failed read by the unknown value alone.
    }
    return cachedAttribute_;
}

uint32_t Device::getFixedFlag() {
    return 1;
}

const char* Device::getDefaultName() {
    return entry_->defaultName.c_str();
}

const char* Device::getAlias() {
    try {
        alias_ = aliasManager_->getAlias(*entry_);
    } catch (...) {
        nQVAPALS100::tStatus status;
        qv3377hal::storeCurrentException(status, kComponent, kSourceName, __LINE__);
        // Without alias support there is no alias at all; after other
        // failures the last one known stands.
        if (status.getCode() == kErrorNotSupported) return nullptr;
    }
    return alias_.c_str();
}

void Device::setAlias(const char* alias, uint32_t mode, IDevice** previousOwner,
                      nQVAPALS100::tStatus& status) {
    if (previousOwner != nullptr) *previousOwner = nullptr;
    if (alias == nullptr) {
        raise(status, qverr::qvapalerr_invalidParameter, __LINE__);
        return;
    }
    if (status.isError()) return;
    try {
        std::string conflict;
        aliasManager_->setAlias(*entry_, alias, mode, conflict);
        if (!conflict.empty()) {
            if (previousOwner != nullptr) *previousOwner = resolver_->resolve(conflict.c_str());
            if (mode != kAliasModeMove)
                raise(status, qverr::qvapalerr_objectNameCollision, __LINE__);
        }
        if (!status.isError()) alias_ = alias;
    } catch (...) {
        qv3377hal::storeCurrentException(status, kComponent, kSourceName, __LINE__);
    }
}

IFpgaSession* Device::openFpgaSession(uint32_t interfaceVersion, nQVAPALS100::tStatus& status) {
    if (status.isError()) return nullptr;
    if (interfaceVersion > kFpgaSessionInterfaceVersion) {
        raise(status, kErrorNotSupported, __LINE__);
        return nullptr;
    }
    try {
        return new FpgaSession(entry_, sessionFactory_);
    } catch (...) {
        qv3377hal::storeCurrentException(status, kComponent, kSourceName, __LINE__);
    }
    return nullptr;
}

}  // namespace qvzek
