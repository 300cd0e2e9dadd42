// The aliases of one configuration document as a table token <-> alias,
// and the committer that keeps the configuration file locked while an edit
// is made and writes it back.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "qvjsonconfig/Configuration.h"

namespace qvzek {

class IAliasStorageData {
public:
    virtual ~IAliasStorageData() = default;
    // "" when the device or its alias is unknown.
    virtual std::string getAlias(const std::string& token) = 0;
    // The token of the first device (in token order) whose alias equals
    // `alias` under ASCII case folding; "" when none.
    virtual std::string getToken(const std::string& alias) = 0;
    // Only on a committer's view; an empty alias removes it.
    virtual void setAlias(const std::string& token, const std::string& alias) = 0;
    // A read-only copy.
    virtual std::shared_ptr<IAliasStorageData> clone() = 0;
};

// Equal under ASCII case folding (A-Z only).
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

class AliasStorageDataJsonconfig : public IAliasStorageData {
public:
    // A read-only snapshot owning `data`.
    explicit AliasStorageDataJsonconfig(std::unique_ptr<qvjsonconfig::ConfigurationData> data)
        : owned_(std::move(data)), data_(owned_.get()), writableData_(nullptr) {}
    // A committer's view of data it does not own.
    explicit AliasStorageDataJsonconfig(qvjsonconfig::ConfigurationData& data)
        : data_(&data), writableData_(&data) {}
    AliasStorageDataJsonconfig(const AliasStorageDataJsonconfig&) = delete;
    AliasStorageDataJsonconfig& operator=(const AliasStorageDataJsonconfig&) = delete;

    std::string getAlias(const std::string& token) override;
    std::string getToken(const std::string& alias) override;
    // On a snapshot: -52003.
    void setAlias(const std::string& token, const std::string& alias) override;
    std::shared_ptr<IAliasStorageData> clone() override;

private:
    std::unique_ptr<qvjsonconfig::ConfigurationData> owned_;
    qvjsonconfig::ConfigurationData* data_;
    qvjsonconfig::ConfigurationData* writableData_;
};

class IAutoLockingAliasStorageDataCommitter {
public:
    virtual ~IAutoLockingAliasStorageDataCommitter() = default;
    // Valid while the committer lives.
    virtual IAliasStorageData* getData() = 0;
    virtual void commit() = 0;
};

class AutoLockingAliasStorageDataCommitterJsonconfig
    : public IAutoLockingAliasStorageDataCommitter {
public:
    // Locks the file and loads it with the devices `devices` finds; the
    // committer keeps no reference to `devices`.
    AutoLockingAliasStorageDataCommitterJsonconfig(
        qvjsonconfig::LockableFile& file, qvjsonconfig::DeviceIteratorInterface* devices,
        qvjsonconfig::AttributeProviderInterface& provider)
        : configuration_(file, devices, provider),
          data_(
              std::make_shared<AliasStorageDataJsonconfig>(configuration_.getConfigurationData())) {
    }
    AutoLockingAliasStorageDataCommitterJsonconfig(
        const AutoLockingAliasStorageDataCommitterJsonconfig&) = delete;
    AutoLockingAliasStorageDataCommitterJsonconfig& operator=(
        const AutoLockingAliasStorageDataCommitterJsonconfig&) = delete;
    // The view goes first, then the configuration (which unlocks the file).
    ~AutoLockingAliasStorageDataCommitterJsonconfig() override { data_.reset(); }

    IAliasStorageData* getData() override { return data_.get(); }
    void commit() override { configuration_.commit(); }

private:
    qvjsonconfig::Configuration configuration_;
    std::shared_ptr<AliasStorageDataJsonconfig> data_;
};

}  // namespace qvzek
