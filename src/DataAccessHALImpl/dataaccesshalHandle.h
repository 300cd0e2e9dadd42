// The da_ family's handle: the DataAccessHALSession that device_getContext hands
// out for context 32; status last style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace dataaccesshal {
class DataAccessHALSession;
}

QV_CONTEXT_HANDLE_HOOKS(dataaccesshal, ::dataaccesshal::DataAccessHALSession, dataAccessContext)

QV_CONTEXT_HANDLE_DECLARE_STATUS_LAST(da)

extern "C" {
QV_EXPORT void da_getAccessors(uint64_t handle, uint64_t* ids, uint64_t* count,
                               qverr::Status* status);
QV_EXPORT void da_getAccessorDescriptor(uint64_t handle, uint64_t accessor, uint32_t* type,
                                        char* name, uint64_t* size, qverr::Status* status);
QV_EXPORT void da_getPartitionList(uint64_t handle, uint64_t accessor, uint32_t* ids,
                                   uint64_t* count, qverr::Status* status);
QV_EXPORT void da_getPartitionPath(uint64_t handle, uint64_t accessor, uint32_t partition,
                                   char* path, uint64_t* size, qverr::Status* status);
QV_EXPORT void da_readPartition(uint64_t handle, uint64_t accessor, uint32_t partition,
                                void* buffer, uint64_t* size, uint32_t* sequence,
                                qverr::Status* status);
QV_EXPORT void da_writePartition(uint64_t handle, uint64_t accessor, uint32_t partition,
                                 int32_t hardCopy, const void* data, uint64_t size,
                                 uint32_t* sequence, qverr::Status* status);
QV_EXPORT void da_deletePartition(uint64_t handle, uint64_t accessor, uint32_t partition,
                                  uint32_t* sequence, qverr::Status* status);
QV_EXPORT void da_flushPartition(uint64_t handle, uint64_t accessor, uint32_t partition,
                                 qverr::Status* status);
}
