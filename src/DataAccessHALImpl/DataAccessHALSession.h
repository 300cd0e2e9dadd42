// One handle over every partition store of the module: the calibration
// directories and the flash devices, each an accessor chosen by index.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "DataAccessHALImpl/DataAccessorInterface.h"

namespace dataaccesshal {

class DataAccessHALInterface {
public:
    virtual ~DataAccessHALInterface() = default;
    virtual void getAccessors(uint64_t* ids, uint64_t* count) = 0;
    virtual void getAccessorDescriptor(uint64_t accessor, AccessorDescriptor& descriptor) = 0;
    virtual void getPartitionList(uint64_t accessor, uint32_t* ids, uint64_t* count) = 0;
    virtual void getPartitionPath(uint64_t accessor, uint32_t partition, char* path,
                                  uint64_t* size) = 0;
    virtual void readPartition(uint64_t accessor, uint32_t partition, void* buffer, uint64_t* size,
                               uint32_t* sequence) = 0;
    virtual void writePartition(uint64_t accessor, uint32_t partition, bool hardCopy,
                                const void* data, uint64_t size, uint32_t* sequence) = 0;
    virtual void flushPartition(uint64_t accessor, uint32_t partition) = 0;
    virtual void deletePartition(uint64_t accessor, uint32_t partition, uint32_t* sequence) = 0;
};

class DataAccessHALSession : public DataAccessHALInterface {
public:
    void addAccessor(std::unique_ptr<DataAccessorInterface> accessor);

    void getAccessors(uint64_t* ids, uint64_t* count) override;
    void getAccessorDescriptor(uint64_t accessor, AccessorDescriptor& descriptor) override;
    void getPartitionList(uint64_t accessor, uint32_t* ids, uint64_t* count) override;
    void getPartitionPath(uint64_t accessor, uint32_t partition, char* path,
                          uint64_t* size) override;
    void readPartition(uint64_t accessor, uint32_t partition, void* buffer, uint64_t* size,
                       uint32_t* sequence) override;
    void writePartition(uint64_t accessor, uint32_t partition, bool hardCopy, const void* data,
                        uint64_t size, uint32_t* sequence) override;
    void flushPartition(uint64_t accessor, uint32_t partition) override;
    void deletePartition(uint64_t accessor, uint32_t partition, uint32_t* sequence) override;

private:
    DataAccessorInterface& getAccessor(uint64_t index);

    std::vector<std::unique_ptr<DataAccessorInterface>> accessors_;
};

}  // namespace dataaccesshal
