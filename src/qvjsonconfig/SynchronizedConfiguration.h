// One process-wide snapshot of the configuration store: readers take
// copies, writers publish what they committed, the directory poller says
// the file may have changed, and a notifier thread waits for the device
// tokens that were added, removed or changed.
#pragma once

#include <atomic>
#include <memory>

#include "qvapal/quarks/event.h"
#include "qvapal/quarks/synchronization.h"
#include "qvjsonconfig/ConfigurationData.h"
#include "qvjsonconfig/Interfaces.h"
#include "qvjsonconfig/afaWrappers/LockableFile.h"

namespace qvjsonconfig {

namespace internal {

// Appends to out the changes from old to now: kChangeAdded, kChangeChanged
// (also a flipped "is_present" volatile flag), kChangeRemoved.
void computeChanges(const DeviceEntryMap& old, const DeviceEntryMap& now, ChangeMap& out);

}  // namespace internal

class SynchronizedConfiguration : public SynchronizedConfigurationInterface {
public:
    // Loads the file once (throws what the load throws).
    SynchronizedConfiguration(LockableFile& file, DeviceIteratorFactoryInterface& factory,
                              AttributeProviderInterface& provider);
    SynchronizedConfiguration(const SynchronizedConfiguration&) = delete;
    SynchronizedConfiguration& operator=(const SynchronizedConfiguration&) = delete;
    ~SynchronizedConfiguration() override;

    void commit(const ConfigurationData& newData) override;
    bool waitForChanges(ChangeMap& out) override;
    void update() override;
    void stopWaiting() override;
    ConfigurationData* getConfigurationData() override;

    // Loads, merges and commits the file and takes the result as snapshot.
    void reload();

private:
    std::unique_ptr<ConfigurationData> load();

    LockableFile* file_;
    DeviceIteratorFactoryInterface* factory_;
    AttributeProviderInterface* provider_;
    ChangeMap pendingChanges_;
    sdihal::nQVAPAL000::tMutex snapshotMutex_;
    sdihal::nQVAPAL000::tMutex waiterMutex_;
    sdihal::nQVAPAL000::tMutex pendingMutex_;
    std::unique_ptr<ConfigurationData> snapshot_;
    // Auto-reset: one wake per batch of signals.
    nQVAPALS100::tStatus eventStatus_;
    sdihal::nQVAPAL000::tEvent changeEvent_{true, false, eventStatus_};
    std::atomic<bool> stopRequested_{false};
};

}  // namespace qvjsonconfig
