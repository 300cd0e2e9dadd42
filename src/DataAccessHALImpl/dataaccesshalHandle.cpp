#include "DataAccessHALImpl/dataaccesshalHandle.h"

#include <cstring>

#include "DataAccessHALImpl/DataAccessHALSession.h"
#include "DataAccessHALImpl/Raise.h"
#include "qvmxl/errors.h"

QV_CONTEXT_HANDLE_EXPORTS_STATUS_LAST_AT(da, dataaccesshal, "DataAccessHALImpl/DataAccessHALImpl",
                                         __LINE__)

using qv3377hal::checkNotNull;
using qv3377hal::statusLastCall;

namespace {

dataaccesshal::DataAccessHALSession& session(uint64_t handle) {
    return *dataaccesshal::sessionPtrFromHandle(handle);
}

}  // namespace

void da_getAccessors(uint64_t handle, uint64_t* ids, uint64_t* count, qverr::Status* status) {
    statusLastCall(status, [&] {
        checkNotNull(count);
        session(handle).getAccessors(ids, count);
    });
}

void da_getAccessorDescriptor(uint64_t handle, uint64_t accessor, uint32_t* type, char* name,
                              uint64_t* size, qverr::Status* status) {
    statusLastCall(status, [&] {
        checkNotNull(size);
        dataaccesshal::AccessorDescriptor descriptor;
        session(handle).getAccessorDescriptor(accessor, descriptor);
        const uint64_t needed = descriptor.name.size() + 1;
        if (name == nullptr) {
            *size = needed;
            if (type != nullptr) *type = descriptor.type;
            return;
        }
        checkNotNull(type);
        if (needed > *size) {
            dataaccesshal::raise(qvmxl::kErrorBufferTooSmallForString,
                                 DA_LOCATION("DataAccessHALImpl/DataAccessHALImpl",
                                             "qvmxl::kErrorBufferTooSmallForString"));
        }
        std::memcpy(name, descriptor.name.c_str(), needed);
        *size = needed;
        *type = descriptor.type;
    });
}

void da_getPartitionList(uint64_t handle, uint64_t accessor, uint32_t* ids, uint64_t* count,
                         qverr::Status* status) {
    statusLastCall(status, [&] {
        checkNotNull(count);
        session(handle).getPartitionList(accessor, ids, count);
    });
}

void da_getPartitionPath(uint64_t handle, uint64_t accessor, uint32_t partition, char* path,
                         uint64_t* size, qverr::Status* status) {
    statusLastCall(status, [&] {
        checkNotNull(size);
        session(handle).getPartitionPath(accessor, partition, path, size);
    });
}

void da_readPartition(uint64_t handle, uint64_t accessor, uint32_t partition, void* buffer,
                      uint64_t* size, uint32_t* sequence, qverr::Status* status) {
    statusLastCall(status, [&] {
        checkNotNull(sequence);
        checkNotNull(size);
        session(handle).readPartition(accessor, partition, buffer, size, sequence);
    });
}

void da_writePartition(uint64_t handle, uint64_t accessor, uint32_t partition, int32_t hardCopy,
                       const void* data, uint64_t size, uint32_t* sequence, qverr::Status* status) {
    statusLastCall(status, [&] {
        checkNotNull(sequence);
        session(handle).writePartition(accessor, partition, (hardCopy & 0xFF) != 0, data, size,
                                       sequence);
    });
}

void da_deletePartition(uint64_t handle, uint64_t accessor, uint32_t partition, uint32_t* sequence,
                        qverr::Status* status) {
    statusLastCall(status, [&] {
        checkNotNull(sequence);
        session(handle).deletePartition(accessor, partition, sequence);
    });
}

void da_flushPartition(uint64_t handle, uint64_t accessor, uint32_t partition,
                       qverr::Status* status) {
    statusLastCall(status, [&] { session(handle).flushPartition(accessor, partition); });
}
