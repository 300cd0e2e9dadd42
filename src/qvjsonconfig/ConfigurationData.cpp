#include "qvjsonconfig/ConfigurationData.h"

#include <memory>

#include "qverr/Exception.h"
#include "qvjsonconfig/ConfigurationErrors.h"
#include "qvmxl/qvmxl.h"

namespace qvjsonconfig {

namespace {

[[noreturn]] void throwWithToken(int32_t code, const qverr::SourceLocation& location,
                                 const std::string& token) {
    qverr::Status status;
    status.setCode(code, location);
    qvmxl::Writer writer = qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status);
    qvmxl::writeUsageParam(writer,
                           qvmxl::UsageParam<const char*>{"kUsageTypeToken", token.c_str()});
    qverr::throwStatus(std::move(status));
}

// Unlinks item from parent and frees it; nothing when either is null.
void deleteLinked(cJSON* parent, cJSON* item) {
    if (parent != nullptr && item != nullptr) {
        cJSON_Delete(cJSON_DetachItemViaPointer(parent, item));
    }
}

std::string printed(const cJSON* item) {
    return item != nullptr ? qvjsonlh::printToString(item) : std::string();
}

}  // namespace

cJSON* DeviceEntry::getJsonObject(int selector) const {
    if (selector == kSelectorVolatile) return volatile_;
    if (selector == kSelectorPersistent) return persistent_;
    return nullptr;
}

bool DeviceEntry::operator==(const DeviceEntry& other) const {
    return token_ == other.token_ && printed(volatile_) == printed(other.volatile_) &&
           printed(persistent_) == printed(other.persistent_);
}

cJSON* createDefaultDocument() {
    qvjsonlh::AutoCJSON document(qvjsonlh::createObject());
    qvjsonlh::addItemToObject(document.get(), "version",
                              qvjsonlh::createNumber(kConfigurationVersion));
    qvjsonlh::addItemToObject(document.get(), "oldest_compatible_version",
                              qvjsonlh::createNumber(kOldestCompatibleVersion));
    qvjsonlh::addItemToObject(document.get(), "devices", qvjsonlh::createObject());
    return document.release();
}

ConfigurationData::ConfigurationData()
    : document_(createDefaultDocument()), volatileRoot_(qvjsonlh::createObject()) {}

ConfigurationData::~ConfigurationData() {
    // Entries point into the trees; drop them first.
    entries_.clear();
}

ConfigurationData* ConfigurationData::clone() const {
    auto copy = std::make_unique<ConfigurationData>();
    copy->document_.reset(qvjsonlh::duplicate(document_.get()));
    copy->volatileRoot_.reset(qvjsonlh::duplicate(volatileRoot_.get()));
    cJSON* devices = copy->getJsonObject(kSelectorPersistent);
    for (cJSON* member = devices->child; member != nullptr; member = member->next) {
        cJSON* volatileObject =
            qvjsonlh::getObjectItemCaseSensitive(copy->volatileRoot_.get(), member->string);
        copy->entries_.emplace(member->string, DeviceEntryPtr(new DeviceEntry(
                                                   member->string, member, volatileObject)));
    }
    return copy.release();
}

cJSON* ConfigurationData::getJsonObject(int selector) const {
    if (selector == kSelectorVolatile) return volatileRoot_.get();
    if (selector == kSelectorPersistent) return qvjsonlh::getObjectItem(document_.get(), "devices");
    return nullptr;
}

DeviceEntryPtr ConfigurationData::findDeviceEntry(const std::string& token) const {
    const auto found = entries_.find(token);
    return found != entries_.end() ? found->second : DeviceEntryPtr();
}

DeviceEntryPtr ConfigurationData::getDeviceEntry(const std::string& token) const {
    DeviceEntryPtr entry = findDeviceEntry(token);
    if (!entry) {
        throwWithToken(kErrorDeviceEntryNotFound,
                       QVERR_FIXED_LOCATION("ConfigurationData", 89, kComponent,
                                            "qvmxl::kErrorDeviceEntryNotFound"),
                       token);
    }
    return entry;
}

void ConfigurationData::addDeviceEntry(const std::string& token, cJSON* persistent,
                                       cJSON* volatileObject) {
    qvjsonlh::AutoCJSON persistentOwner(persistent);
    qvjsonlh::AutoCJSON volatileOwner(volatileObject);
    if (entries_.count(token) != 0) {
        throwWithToken(qverr::qvapalerr_objectNameCollision,
                       QVERR_FIXED_LOCATION("ConfigurationData", 40, kComponent,
                                            "qvapalerr_objectNameCollision"),
                       token);
    }
    cJSON* devices = getJsonObject(kSelectorPersistent);
    DeviceEntryPtr entry(new DeviceEntry(token, persistent, volatileObject));
    auto inserted = entries_.emplace(token, entry).first;
    try {
        qvjsonlh::addItemToObject(devices, token.c_str(), persistentOwner.release());
    } catch (...) {
        entries_.erase(inserted);
        throw;
    }
    try {
        qvjsonlh::addItemToObject(volatileRoot_.get(), token.c_str(), volatileOwner.release());
    } catch (...) {
        entries_.erase(inserted);
        deleteLinked(devices, persistent);
        throw;
    }
}

void ConfigurationData::removeDeviceEntry(const std::string& token) {
    const auto found = entries_.find(token);
    if (found == entries_.end()) {
        throwWithToken(kErrorDeviceEntryNotFound,
                       QVERR_FIXED_LOCATION("ConfigurationData", 63, kComponent,
                                            "qvmxl::kErrorDeviceEntryNotFound"),
                       token);
    }
    // The entry's own items go, not the first member whose name matches
    // without regard to case: that may belong to another token.
    const DeviceEntryPtr entry = found->second;
    entries_.erase(found);
    deleteLinked(getJsonObject(kSelectorPersistent), entry->getJsonObject(kSelectorPersistent));
    deleteLinked(volatileRoot_.get(), entry->getJsonObject(kSelectorVolatile));
}

}  // namespace qvjsonconfig
