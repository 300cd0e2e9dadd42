// The partitions of one flash device of the module, reached through the
// platform session's flash operations under the device's name.
#pragma once

#include <string>

#include "DataAccessHALImpl/DataAccessorInterface.h"

namespace rfplat {
class FlashInterface;
}

namespace dataaccesshal {

class FlashDataAccessor : public DataAccessorInterface {
public:
    // `flash` is not owned and must outlive the accessor.
    FlashDataAccessor(rfplat::FlashInterface* flash, std::string name);

    QV_DATA_ACCESSOR_OVERRIDES

private:
    rfplat::FlashInterface* flash_;
    std::string name_;
};

}  // namespace dataaccesshal
