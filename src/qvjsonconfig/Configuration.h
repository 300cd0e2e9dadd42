// One locked load-merge-commit cycle of the configuration file: building it
// locks the file, reads it, merges the devices present now and writes the
// result when it differs; destroying it unlocks the file.
#pragma once

#include "qvjsonconfig/ConfigurationData.h"
#include "qvjsonconfig/Interfaces.h"
#include "qvjsonconfig/afaWrappers/LockableFile.h"

namespace qvjsonconfig {

class Configuration {
public:
    // devices may be null (no device present). observer may be null.
    Configuration(LockableFile& file, DeviceIteratorInterface* devices,
                  AttributeProviderInterface& provider,
                  ConfigurationObserverInterface* observer = nullptr);
    Configuration(const Configuration&) = delete;
    Configuration& operator=(const Configuration&) = delete;
    virtual ~Configuration();

    // The data being edited; commit writes it.
    ConfigurationData& getConfigurationData() { return data_; }
    // Writes the document unless it equals what the file holds.
    void commit();

private:
    void load(DeviceIteratorInterface* devices, AttributeProviderInterface& provider);
    void mergeDevices(const cJSON* source, DeviceIteratorInterface* devices,
                      AttributeProviderInterface& provider);

    ConfigurationData data_;
    LockableFile* file_;
    qvjsonlh::AutoCJSON committed_;
    ConfigurationObserverInterface* observer_;
};

// Throws kErrorSoftwareTooNewForFile or kErrorFileTooNewForSoftware when
// this software cannot use the document; the numeric-conversion exceptions
// of boost for versions out of the uint32 range.
void checkVersion(const cJSON* document);

}  // namespace qvjsonconfig
