#include "qvjsonconfig/SynchronizedConfiguration.h"

#include <exception>

#include "qverr/Exception.h"
#include "qvjsonconfig/Configuration.h"
#include "qvjsonconfig/ConfigurationErrors.h"

namespace qvjsonconfig {

namespace internal {

namespace {

bool presenceDiffers(const DeviceEntry& a, const DeviceEntry& b) {
    const cJSON* presentA = cJSON_GetObjectItem(a.getJsonObject(kSelectorVolatile), "is_present");
    const cJSON* presentB = cJSON_GetObjectItem(b.getJsonObject(kSelectorVolatile), "is_present");
    if (presentA == nullptr || presentB == nullptr) return false;
    return qvjsonlh::getBool(presentA) != qvjsonlh::getBool(presentB);
}

}  // namespace

void computeChanges(const DeviceEntryMap& old, const DeviceEntryMap& now, ChangeMap& out) {
    for (const auto& [token, entry] : now) {
        const auto found = old.find(token);
        if (found == old.end()) {
            out[kChangeAdded].push_back(token);
        } else if (*found->second != *entry || presenceDiffers(*found->second, *entry)) {
            out[kChangeChanged].push_back(token);
        }
    }
    for (const auto& [token, entry] : old) {
        if (now.count(token) == 0) out[kChangeRemoved].push_back(token);
    }
}

void appendChanges(ChangeMap& to, const ChangeMap& from) {
    for (const auto& [kind, tokens] : from) {
        auto& list = to[kind];
        list.insert(list.end(), tokens.begin(), tokens.end());
    }
}

}  // namespace internal

SynchronizedConfiguration::SynchronizedConfiguration(LockableFile& file,
                                                     DeviceIteratorFactoryInterface& factory,
                                                     AttributeProviderInterface& provider)
    : file_(&file), factory_(&factory), provider_(&provider) {
    qverr::throwIfTStatusError(eventStatus_);
    reload();
}

SynchronizedConfiguration::~SynchronizedConfiguration() {
    stopWaiting();
}

std::unique_ptr<ConfigurationData> SynchronizedConfiguration::load() {
    std::unique_ptr<DeviceIteratorInterface> devices(factory_->createIterator());
    Configuration configuration(*file_, devices.get(), *provider_, nullptr);
    return std::unique_ptr<ConfigurationData>(configuration.getConfigurationData().clone());
}

void SynchronizedConfiguration::reload() {
    // The file lock is taken here, never while the snapshot mutex is held.
    std::unique_ptr<ConfigurationData> fresh = load();
    sdihal::nQVAPAL000::tMutexLock lock(snapshotMutex_);
    snapshot_.swap(fresh);
}

ConfigurationData* SynchronizedConfiguration::getConfigurationData() {
    sdihal::nQVAPAL000::tMutexLock lock(snapshotMutex_);
    return snapshot_->clone();
}

void SynchronizedConfiguration::commit(const ConfigurationData& newData) {
    sdihal::nQVAPAL000::tMutexLock pendingLock(pendingMutex_);
    std::unique_ptr<ConfigurationData> copy(newData.clone());
    ChangeMap changes;
    {
        sdihal::nQVAPAL000::tMutexLock snapshotLock(snapshotMutex_);
        internal::computeChanges(snapshot_->getDeviceEntries(), newData.getDeviceEntries(),
                                 changes);
        snapshot_.swap(copy);
    }
    internal::appendChanges(pendingChanges_, changes);
    if (!pendingChanges_.empty()) changeEvent_.set();
}

void SynchronizedConfiguration::update() {
    changeEvent_.set();
}

void SynchronizedConfiguration::stopWaiting() {
    stopRequested_.store(true);
    changeEvent_.set();
    // Returns once a thread inside waitForChanges has left it.
    sdihal::nQVAPAL000::tMutexLock lock(waiterMutex_);
}

bool SynchronizedConfiguration::waitForChanges(ChangeMap& out) {
    out.clear();
    sdihal::nQVAPAL000::tMutexLock waiterLock(waiterMutex_);
    for (;;) {
        // A caller that comes back after the stop must not wait for ever.
        if (stopRequested_.load()) return false;
        changeEvent_.wait();
        if (stopRequested_.load()) return false;

        std::unique_ptr<ConfigurationData> fresh;
        ChangeMap changes;
        try {
            // A file caught half-written by another process fails to load;
            // the write that follows signals again.
            fresh = load();
            sdihal::nQVAPAL000::tMutexLock snapshotLock(snapshotMutex_);
            internal::computeChanges(snapshot_->getDeviceEntries(), fresh->getDeviceEntries(),
                                     changes);
            snapshot_.swap(fresh);
        } catch (const std::exception&) {
            continue;
        }
        // fresh now holds the old snapshot, freed outside the mutex.
        internal::appendChanges(out, changes);
        {
            sdihal::nQVAPAL000::tMutexLock pendingLock(pendingMutex_);
            internal::appendChanges(out, pendingChanges_);
            pendingChanges_.clear();
        }
        if (!out.empty()) return true;
    }
}

}  // namespace qvjsonconfig
