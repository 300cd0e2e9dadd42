// One store of numbered partitions, each with a sequence number that a
// write must present (optimistic writes): the calibration directories on
// disk and the module's flash devices.
#pragma once

#include <cstdint>
#include <string>

namespace dataaccesshal {

struct AccessorDescriptor {
    uint32_t type = 0;  // 0 flash accessor, 1 file accessor
    std::string name;
};

class DataAccessorInterface {
public:
    virtual ~DataAccessorInterface() = default;
    virtual void getDescriptor(AccessorDescriptor& descriptor) = 0;
    virtual void getPartitionList(uint32_t* ids, uint64_t* count) = 0;
    virtual void getPartitionPath(uint32_t partition, char* path, uint64_t* size) = 0;
    virtual void readPartition(uint32_t partition, void* buffer, uint64_t* size,
                               uint32_t* sequence) = 0;
    virtual void writePartition(uint32_t partition, bool hardCopy, const void* data, uint64_t size,
                                uint32_t* sequence) = 0;
    virtual void flushPartition(uint32_t partition) = 0;
    virtual void deletePartition(uint32_t partition, uint32_t* sequence) = 0;
};

// The overrides of DataAccessorInterface, declared alike by each accessor.
#define QV_DATA_ACCESSOR_OVERRIDES                                                           \
    void getDescriptor(AccessorDescriptor& descriptor) override;                             \
    void getPartitionList(uint32_t* ids, uint64_t* count) override;                          \
    void getPartitionPath(uint32_t partition, char* path, uint64_t* size) override;          \
    void readPartition(uint32_t partition, void* buffer, uint64_t* size, uint32_t* sequence) \
        override;                                                                            \
    void writePartition(uint32_t partition, bool hardCopy, const void* data, uint64_t size,  \
                        uint32_t* sequence) override;                                        \
    void flushPartition(uint32_t partition) override;                                        \
    void deletePartition(uint32_t partition, uint32_t* sequence) override;

}  // namespace dataaccesshal
