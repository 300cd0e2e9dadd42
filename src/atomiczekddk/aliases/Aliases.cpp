#include "atomiczekddk/aliases/Aliases.h"

#include "atomiczekddk/shared/CommonUtilities.h"

namespace qvzek {

std::string AliasConflicterComposite::findOwner(IAliasStorageData& data, const std::string& alias) {
    for (IAliasConflicter* conflicter : conflicters_) {
        std::string owner = conflicter->findOwner(data, alias);
        if (!owner.empty()) return owner;
    }
    return "";
}

AliasConflicterDefaultAliases::AliasConflicterDefaultAliases(IDeviceDiscoverer& discoverer)
    : discoverer_(&discoverer) {
    entries_ = discoverer_->getDevices(changeNumber_);
}

std::string AliasConflicterDefaultAliases::findOwner(IAliasStorageData&, const std::string& alias) {
    if (discoverer_->hasChanged(changeNumber_)) entries_ = discoverer_->getDevices(changeNumber_);
    for (const auto& entry : entries_) {
        if (entry && equalsIgnoringAsciiCase(entry->defaultName, alias))
            return entry->persistentToken;
    }
    return "";
}

void checkAliasName(const std::string& alias) {
    for (const char c : alias) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!allowed) throwStatusCode(kErrorInvalidAlias);
    }
    if (equalsIgnoringAsciiCase(alias, "HOST") || equalsIgnoringAsciiCase(alias, "NULL")) {
        throwStatusCode(kErrorInvalidAlias);
    }
}

AliasManagerCommon::AliasManagerCommon(IAliasStorage& storage, IAliasConflicter& conflicter)
    : storage_(&storage), conflicter_(&conflicter), aliases_(storage.getAliases()) {
    registerChangeHandler(&changeHandler_);
}

AliasManagerCommon::~AliasManagerCommon() {
    try {
        unregisterChangeHandler(&changeHandler_);
    } catch (...) {
    }
}

std::string AliasManagerCommon::getAlias(const DeviceInfo& entry) {
    sdihal::nQVAPAL000::tMutexLock lock(mutex_);
    return aliases_->getAlias(entry.persistentToken);
}

void AliasManagerCommon::swapIn(std::shared_ptr<IAliasStorageData> aliases) {
    {
        sdihal::nQVAPAL000::tMutexLock lock(mutex_);
        aliases_.swap(aliases);
    }
    // The old snapshot goes here, outside the lock.
}

void AliasManagerCommon::reload() {
    swapIn(storage_->getAliases());
}

void AliasManagerCommon::setAlias(const DeviceInfo& entry, const std::string& alias, uint32_t mode,
                                  std::string& conflict) {
    conflict.clear();
    checkAliasName(alias);
    const std::shared_ptr<IAutoLockingAliasStorageDataCommitter> committer = storage_->beginEdit();
    IAliasStorageData& data = *committer->getData();
    const std::string& token = entry.persistentToken;
    const std::string current = data.getAlias(token);
    if (current == alias) return;
    if (!alias.empty()) {
        if (alias == entry.defaultName) {
            // A module's own default name needs no alias.
            data.setAlias(token, "");
        } else {
            const std::string owner = conflicter_->findOwner(data, alias);
            if (!owner.empty() && !equalsIgnoringAsciiCase(owner, token)) {
                conflict = owner;
                if (mode != kAliasModeMove) return;
                data.setAlias(owner, "");
            }
            data.setAlias(token, alias);
        }
    } else {
        data.setAlias(token, alias);
    }
    // Written first: a failed write must not show an alias that was never
    // stored.
    committer->commit();
    swapIn(data.clone());
}

std::shared_ptr<IAliasStorageData> AliasStorageJsonconfig::getAliases() {
    std::unique_ptr<qvjsonconfig::ConfigurationData> copy(configuration_->getConfigurationData());
    return std::make_shared<AliasStorageDataJsonconfig>(std::move(copy));
}

std::shared_ptr<IAutoLockingAliasStorageDataCommitter> AliasStorageJsonconfig::beginEdit() {
    std::unique_ptr<qvjsonconfig::DeviceIteratorInterface> devices(
        iteratorFactory_->createIterator());
    return std::make_shared<AutoLockingAliasStorageDataCommitterJsonconfig>(*file_, devices.get(),
                                                                            *attributeProvider_);
}

}  // namespace qvzek
