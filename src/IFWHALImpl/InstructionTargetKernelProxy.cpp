#include "IFWHALImpl/InstructionTargetKernelProxy.h"

namespace qvifw {

void InstructionTargetKernelProxy::open(const char* deviceInterfacePath, uint32_t type,
                                        uint32_t instance, nQVAPALS100::tStatus& status) {
    proxy_.open(deviceInterfacePath, status);
    proxy_.open(type, instance, status);
}

void InstructionTargetKernelProxy::read(const Location& location, uint64_t* value, uint32_t option,
                                        nQVAPALS100::tStatus& status) {
    // The caller's value stays as it was when the request failed.
    uint64_t read = 0;
    proxy_.read(sdihal::tRecord<16>::from(location), &read, option, status);
    if (!status.isError()) *value = read;
}

void InstructionTargetKernelProxy::readArray(void* buffer, uint32_t count, uint64_t reference,
                                             uint32_t option, nQVAPALS100::tStatus& status) {
    proxy_.readArray(reinterpret_cast<uintptr_t>(buffer), count, reference, option, status);
}

void InstructionTargetKernelProxy::write(const LocationWithValue& location, bool flag,
                                         uint32_t option, nQVAPALS100::tStatus& status) {
    proxy_.write(sdihal::tRecord<24>::from(location), flag ? 1 : 0, option, status);
}

void InstructionTargetKernelProxy::writeArray(const void* buffer, uint32_t count, bool flag,
                                              uint32_t option, nQVAPALS100::tStatus& status) {
    proxy_.writeArray(reinterpret_cast<uintptr_t>(buffer), count, flag ? 1 : 0, option, status);
}

void InstructionTargetKernelProxy::finish(nQVAPALS100::tStatus& status) { proxy_.close(status); }

}  // namespace qvifw
