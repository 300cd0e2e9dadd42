#include "qvjsonconfig/AliasAttributeProvider.h"

#include "qvjsonlh/cJSONUtils.h"

namespace qvjsonconfig {

void AliasAttributeProvider::provide(DeviceIteratorInterface* device, ConfigurationData& data,
                                     cJSON* persistent, cJSON* /*volatileObject*/) {
    if (device == nullptr || cJSON_GetObjectItem(persistent, "alias") != nullptr) return;
    const std::string alias = factory_->createDefaultAlias(device, data);
    qvjsonlh::addItemToObject(persistent, "alias", qvjsonlh::createStringFromString(alias));
}

}  // namespace qvjsonconfig
