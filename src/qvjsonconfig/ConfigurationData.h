// The in-memory configuration: the persistent document {"version",
// "oldest_compatible_version", "devices"}, a volatile tree of attributes
// never written to the file, and one entry per device token.
#pragma once

#include <cjson/cJSON.h>

#include <boost/shared_ptr.hpp>
#include <map>
#include <string>

#include "qvjsonlh/cJSONUtils.h"

namespace qvjsonconfig {

inline constexpr int kSelectorVolatile = 0;
inline constexpr int kSelectorPersistent = 1;

class DeviceEntry {
public:
    DeviceEntry(std::string token, cJSON* persistent, cJSON* volatileObject)
        : token_(std::move(token)), persistent_(persistent), volatile_(volatileObject) {}

    const std::string& getToken() const { return token_; }
    // kSelectorVolatile, kSelectorPersistent; any other selector gives null.
    cJSON* getJsonObject(int selector) const;

    // Same token, same printed volatile and persistent objects.
    bool operator==(const DeviceEntry& other) const;
    bool operator!=(const DeviceEntry& other) const { return !(*this == other); }

private:
    std::string token_;
    cJSON* persistent_;  // owned by the document
    cJSON* volatile_;    // owned by the volatile tree
};

using DeviceEntryPtr = boost::shared_ptr<DeviceEntry>;
// Ordered by the exact bytes of the tokens.
using DeviceEntryMap = std::map<std::string, DeviceEntryPtr>;

class ConfigurationData {
public:
    // The default document and no device.
    ConfigurationData();
    ConfigurationData(const ConfigurationData&) = delete;
    ConfigurationData& operator=(const ConfigurationData&) = delete;
    ~ConfigurationData();

    // A deep copy the caller owns.
    ConfigurationData* clone() const;

    cJSON* getDocument() const { return document_.get(); }
    // kSelectorVolatile: the volatile tree; kSelectorPersistent: the
    // document's "devices"; anything else: null.
    cJSON* getJsonObject(int selector) const;
    const DeviceEntryMap& getDeviceEntries() const { return entries_; }

    DeviceEntryPtr findDeviceEntry(const std::string& token) const;
    // Throws kErrorDeviceEntryNotFound with the token.
    DeviceEntryPtr getDeviceEntry(const std::string& token) const;
    // Takes both objects (also when it throws). An existing token throws
    // -52013 with the token.
    void addDeviceEntry(const std::string& token, cJSON* persistent, cJSON* volatileObject);
    // Throws kErrorDeviceEntryNotFound when there is no such entry.
    void removeDeviceEntry(const std::string& token);

private:
    qvjsonlh::AutoCJSON document_;
    qvjsonlh::AutoCJSON volatileRoot_;
    DeviceEntryMap entries_;
};

// {"version":1,"oldest_compatible_version":1,"devices":{}}
cJSON* createDefaultDocument();

}  // namespace qvjsonconfig
