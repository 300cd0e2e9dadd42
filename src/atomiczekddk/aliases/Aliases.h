// The alias manager of the device list: the name rules, the conflict rules
// that keep an alias unique and distinct from every module's default name,
// and the storage that hands out snapshots and locked edits of the
// configuration file and passes its change notifications on.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "atomiczekddk/aliases/AliasStorageData.h"
#include "atomiczekddk/aliases/PersistentTokens.h"
#include "atomiczekddk/shared/ChangeNotifierThread.h"
#include "atomiczekddk/shared/DeviceInfo.h"
#include "atomiczekddk/shared/Errors.h"
#include "atomiczekddk/shared/IChangeNotificationHandler.h"
#include "qvapal/quarks/synchronization.h"

namespace qvzek {

// setAlias mode: take the alias from the module that has it.
inline constexpr uint32_t kAliasModeMove = 1;

class IDeviceDiscoverer {
public:
    virtual ~IDeviceDiscoverer() = default;
    // Whether the set of modules changed since `changeNumber`.
    virtual bool hasChanged(int64_t changeNumber) = 0;
    // The modules present now and the change number they belong to.
    virtual DeviceInfoList getDevices(int64_t& changeNumber) = 0;
};

class IAliasManager {
public:
    virtual ~IAliasManager() = default;
    virtual void registerChangeHandler(IChangeNotificationHandler* handler) = 0;
    virtual void unregisterChangeHandler(IChangeNotificationHandler* handler) = 0;
    virtual std::string getAlias(const DeviceInfo& entry) = 0;
    // conflict receives the token of the module that holds the alias.
    virtual void setAlias(const DeviceInfo& entry, const std::string& alias, uint32_t mode,
                          std::string& conflict) = 0;
};

class IAliasStorage {
public:
    virtual ~IAliasStorage() = default;
    virtual void registerChangeHandler(IChangeNotificationHandler* handler) = 0;
    virtual void unregisterChangeHandler(IChangeNotificationHandler* handler) = 0;
    virtual std::shared_ptr<IAliasStorageData> getAliases() = 0;
    virtual std::shared_ptr<IAutoLockingAliasStorageDataCommitter> beginEdit() = 0;
};

class IAliasConflicter {
public:
    virtual ~IAliasConflicter() = default;
    // The token of the module that uses `alias`, or "".
    virtual std::string findOwner(IAliasStorageData& data, const std::string& alias) = 0;
};

class AliasConflicterComposite : public IAliasConflicter {
public:
    void addConflicter(IAliasConflicter* conflicter) { conflicters_.push_back(conflicter); }
    std::string findOwner(IAliasStorageData& data, const std::string& alias) override;

private:
    std::vector<IAliasConflicter*> conflicters_;
};

class AliasConflicterAliasesInStorage : public IAliasConflicter {
public:
    std::string findOwner(IAliasStorageData& data, const std::string& alias) override {
        return data.getToken(alias);
    }
};

class AliasConflicterDefaultAliases : public IAliasConflicter {
public:
    explicit AliasConflicterDefaultAliases(IDeviceDiscoverer& discoverer);
    std::string findOwner(IAliasStorageData& data, const std::string& alias) override;

private:
    IDeviceDiscoverer* discoverer_;
    int64_t changeNumber_ = -1;
    DeviceInfoList entries_;
};

// Letters, digits, '_' and '-', and neither "HOST" nor "NULL"; else -63180.
void checkAliasName(const std::string& alias);

class AliasManagerCommon : public IAliasManager {
public:
    AliasManagerCommon(IAliasStorage& storage, IAliasConflicter& conflicter);
    AliasManagerCommon(const AliasManagerCommon&) = delete;
    AliasManagerCommon& operator=(const AliasManagerCommon&) = delete;
    ~AliasManagerCommon() override;

    void registerChangeHandler(IChangeNotificationHandler* handler) override {
        storage_->registerChangeHandler(handler);
    }
    void unregisterChangeHandler(IChangeNotificationHandler* handler) override {
        storage_->unregisterChangeHandler(handler);
    }
    std::string getAlias(const DeviceInfo& entry) override;
    void setAlias(const DeviceInfo& entry, const std::string& alias, uint32_t mode,
                  std::string& conflict) override;

    // Takes a fresh snapshot of the storage.
    void reload();

    class AliasChangeNotificationHandler : public IChangeNotificationHandler {
    public:
        explicit AliasChangeNotificationHandler(AliasManagerCommon& manager) : manager_(&manager) {}
        void notify() override { manager_->reload(); }

    private:
        AliasManagerCommon* manager_;
    };

private:
    void swapIn(std::shared_ptr<IAliasStorageData> aliases);

    AliasChangeNotificationHandler changeHandler_{*this};
    IAliasStorage* storage_;
    IAliasConflicter* conflicter_;
    std::shared_ptr<IAliasStorageData> aliases_;
    sdihal::nQVAPAL000::tMutex mutex_;
};

class AliasStorageJsonconfig : public IAliasStorage {
public:
    AliasStorageJsonconfig(qvjsonconfig::LockableFile& file,
                           qvjsonconfig::SynchronizedConfigurationInterface& configuration,
                           qvjsonconfig::DeviceIteratorFactoryInterface& iteratorFactory,
                           qvjsonconfig::AttributeProviderInterface& attributeProvider,
                           ChangeNotifierThread& notifier)
        : file_(&file),
          configuration_(&configuration),
          iteratorFactory_(&iteratorFactory),
          attributeProvider_(&attributeProvider),
          notifier_(&notifier) {}

    void registerChangeHandler(IChangeNotificationHandler* handler) override {
        notifier_->addHandler(handler);
    }
    void unregisterChangeHandler(IChangeNotificationHandler* handler) override {
        notifier_->removeHandler(handler);
    }
    std::shared_ptr<IAliasStorageData> getAliases() override;
    std::shared_ptr<IAutoLockingAliasStorageDataCommitter> beginEdit() override;

private:
    qvjsonconfig::LockableFile* file_;
    qvjsonconfig::SynchronizedConfigurationInterface* configuration_;
    qvjsonconfig::DeviceIteratorFactoryInterface* iteratorFactory_;
    qvjsonconfig::AttributeProviderInterface* attributeProvider_;
    ChangeNotifierThread* notifier_;
};

}  // namespace qvzek
