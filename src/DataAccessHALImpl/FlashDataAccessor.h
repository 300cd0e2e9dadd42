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

    void getDescriptor(AccessorDescriptor& descriptor) override;
    void getPartitionList(uint32_t* ids, uint64_t* count) override;
    void getPartitionPath(uint32_t partition, char* path, uint64_t* size) override;
    void readPartition(uint32_t partition, void* buffer, uint64_t* size, uint32_t* sequence) override;
    void writePartition(uint32_t partition, bool hardCopy, const void* data, uint64_t size,
                        uint32_t* sequence) override;
    void flushPartition(uint32_t partition) override;
    void deletePartition(uint32_t partition, uint32_t* sequence) override;

private:
    rfplat::FlashInterface* flash_;
    std::string name_;
};

}  // namespace dataaccesshal
