// Gives a present device without an "alias" member the alias its factory
// makes.
#pragma once

#include "qvjsonconfig/Interfaces.h"

namespace qvjsonconfig {

class AliasAttributeProvider : public AttributeProviderInterface {
public:
    explicit AliasAttributeProvider(AliasFactoryInterface& factory) : factory_(&factory) {}
    void provide(DeviceIteratorInterface* device, ConfigurationData& data, cJSON* persistent,
                 cJSON* volatileObject) override;

private:
    AliasFactoryInterface* factory_;
};

}  // namespace qvjsonconfig
