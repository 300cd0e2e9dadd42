#include "DataAccessHALImpl/FlashDataAccessor.h"

#include <utility>

#include "DataAccessHALImpl/Raise.h"
#include "RFPlatImpl/RFPlatInterface.h"
#include "qvmxl/errors.h"

namespace dataaccesshal {
namespace {
constexpr const char* kSource = "DataAccessHALImpl/FlashDataAccessor";
}

FlashDataAccessor::FlashDataAccessor(rfplat::FlashInterface* flash, std::string name)
    : flash_(flash), name_(std::move(name)) {}

void FlashDataAccessor::getDescriptor(AccessorDescriptor& descriptor) {
    descriptor.type = 0;
    descriptor.name = name_;
}

void FlashDataAccessor::getPartitionList(uint32_t* ids, uint64_t* count) {
    uint32_t capacity = static_cast<uint32_t>(*count);
    flash_->getPartitionList(ids, &capacity, name_.c_str());
    *count = capacity;
}

void FlashDataAccessor::getPartitionPath(uint32_t /*partition*/, char* path, uint64_t* size) {
    // Flash partitions have no path: the empty text.
    if (path != nullptr) {
        if (*size == 0) {
            raise(qvmxl::kErrorReadBufferTooSmall,
                  DA_LOCATION(kSource, "qvmxl::kErrorReadBufferTooSmall"));
        }
        path[0] = '\0';
    }
    *size = 1;
}

void FlashDataAccessor::readPartition(uint32_t partition, void* buffer, uint64_t* size,
                                      uint32_t* sequence) {
    uint32_t capacity = static_cast<uint32_t>(*size);
    flash_->readPartition2(partition, buffer, &capacity, name_.c_str(), sequence);
    *size = capacity;
}

void FlashDataAccessor::writePartition(uint32_t partition, bool hardCopy, const void* data,
                                       uint64_t size, uint32_t* sequence) {
    flash_->writePartition2(partition, data, static_cast<uint32_t>(size), hardCopy ? 1u : 0u,
                            name_.c_str(), sequence);
}

void FlashDataAccessor::flushPartition(uint32_t /*partition*/) {
    raise(qvmxl::kErrorSoftwareFault, DA_LOCATION(kSource, "qvmxl::kErrorSoftwareFault"));
}

void FlashDataAccessor::deletePartition(uint32_t partition, uint32_t* sequence) {
    flash_->deletePartition2(partition, name_.c_str(), sequence);
}

}  // namespace dataaccesshal
