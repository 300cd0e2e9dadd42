#include "DataAccessHALImpl/DataAccessHALSession.h"

#include <utility>

#include "DataAccessHALImpl/Raise.h"
#include "qverr/Exception.h"
#include "qvmxl/errors.h"

namespace dataaccesshal {
namespace {
constexpr const char* kSource = "DataAccessHALImpl/DataAccessHALSession";
}

void DataAccessHALSession::addAccessor(std::unique_ptr<DataAccessorInterface> accessor) {
    accessors_.push_back(std::move(accessor));
}

DataAccessorInterface& DataAccessHALSession::getAccessor(uint64_t index) {
    if (index >= accessors_.size()) {
        qverr::throwError(qverr::qvapalerr_invalidParameter,
                          DA_LOCATION(kSource, "qvapalerr_invalidParameter"));
    }
    if (!accessors_[index])
        raise(qvmxl::kErrorSoftwareFault, DA_LOCATION(kSource, "qvmxl::kErrorSoftwareFault"));
    return *accessors_[index];
}

void DataAccessHALSession::getAccessors(uint64_t* ids, uint64_t* count) {
    const uint64_t n = accessors_.size();
    if (*count != 0 && *count < n) {
        qverr::throwError(qvmxl::kErrorReadBufferTooSmall,
                          DA_LOCATION(kSource, "qvmxl::kErrorReadBufferTooSmall"));
    }
    // A capacity of 0 is a count query: nothing is written to `ids`.
    const bool write = ids != nullptr && *count != 0;
    *count = n;
    if (!write) return;
    for (uint64_t i = 0; i < n; ++i) ids[i] = i;
}

void DataAccessHALSession::getAccessorDescriptor(uint64_t accessor,
                                                 AccessorDescriptor& descriptor) {
    getAccessor(accessor).getDescriptor(descriptor);
}

void DataAccessHALSession::getPartitionList(uint64_t accessor, uint32_t* ids, uint64_t* count) {
    getAccessor(accessor).getPartitionList(ids, count);
}

void DataAccessHALSession::getPartitionPath(uint64_t accessor, uint32_t partition, char* path,
                                            uint64_t* size) {
    getAccessor(accessor).getPartitionPath(partition, path, size);
}

void DataAccessHALSession::readPartition(uint64_t accessor, uint32_t partition, void* buffer,
                                         uint64_t* size, uint32_t* sequence) {
    getAccessor(accessor).readPartition(partition, buffer, size, sequence);
}

void DataAccessHALSession::writePartition(uint64_t accessor, uint32_t partition, bool hardCopy,
                                          const void* data, uint64_t size, uint32_t* sequence) {
    getAccessor(accessor).writePartition(partition, hardCopy, data, size, sequence);
}

void DataAccessHALSession::flushPartition(uint64_t accessor, uint32_t partition) {
    getAccessor(accessor).flushPartition(partition);
}

void DataAccessHALSession::deletePartition(uint64_t accessor, uint32_t partition,
                                           uint32_t* sequence) {
    getAccessor(accessor).deletePartition(partition, sequence);
}

}  // namespace dataaccesshal
