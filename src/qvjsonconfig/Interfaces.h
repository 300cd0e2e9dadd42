// The collaborators of the JSON configuration store: the devices present
// now, the attributes given to each device entry, and the targets told of
// changes.
#pragma once

#include <cjson/cJSON.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qvjsonconfig {

class ConfigurationData;

// Walks the modules present now; a new iterator stands on the first one.
class DeviceIteratorInterface {
public:
    virtual ~DeviceIteratorInterface() = default;
    virtual void getBusStringProperty(const char* name, std::string& out) = 0;
    virtual void getBusU32Property(const char* name, uint32_t& out) = 0;
    virtual void getDeviceStringProperty(const char* name, std::string& out) = 0;
    virtual void getDeviceU32Property(const char* name, uint32_t& out) = 0;
    virtual std::string getInterfacePath() = 0;
    // The text that names this module in the configuration file.
    virtual std::string getPersistentToken() = 0;
    virtual std::string getDriverName() = 0;
    virtual DeviceIteratorInterface& next() = 0;
    virtual bool isEnd() = 0;
};

class DeviceIteratorFactoryInterface {
public:
    virtual ~DeviceIteratorFactoryInterface() = default;
    // A new iterator the caller owns.
    virtual DeviceIteratorInterface* createIterator() = 0;
};

// Fills the attributes of a device entry before it is stored. device is
// null for a device of the file that is not looked at now.
class AttributeProviderInterface {
public:
    virtual ~AttributeProviderInterface() = default;
    virtual void provide(DeviceIteratorInterface* device, ConfigurationData& data,
                         cJSON* persistent, cJSON* volatileObject) = 0;
};

class AliasFactoryInterface {
public:
    virtual ~AliasFactoryInterface() = default;
    // The alias of a device that has none.
    virtual std::string createDefaultAlias(DeviceIteratorInterface* device,
                                           ConfigurationData& data) = 0;
};

// Told after every write of the configuration file.
class ConfigurationObserverInterface {
public:
    virtual ~ConfigurationObserverInterface() = default;
    virtual void configurationWritten(ConfigurationData& data) = 0;
};

class UpdateableInterface {
public:
    virtual ~UpdateableInterface() = default;
    // Something changed on disk; cheap and safe from any thread.
    virtual void update() = 0;
};

// Change kinds of a change map: device tokens per kind, in the order found.
inline constexpr int32_t kChangeAdded = 1;
inline constexpr int32_t kChangeRemoved = 2;
inline constexpr int32_t kChangeChanged = 3;
using ChangeMap = std::map<int32_t, std::vector<std::string>>;

class SynchronizedConfigurationInterface : public UpdateableInterface {
public:
    // Publishes data the caller has written to the file.
    virtual void commit(const ConfigurationData& newData) = 0;
    // Blocks until changes are found (true, out filled) or stopWaiting was
    // called (false).
    virtual bool waitForChanges(ChangeMap& out) = 0;
    virtual void stopWaiting() = 0;
    // A copy the caller owns.
    virtual ConfigurationData* getConfigurationData() = 0;
};

}  // namespace qvjsonconfig
