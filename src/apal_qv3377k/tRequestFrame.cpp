#include "apal_qv3377k/tRequestFrame.h"

namespace sdihal::nRequestFrame {

bool send(nQVAPAL000::tDeviceInterfaceProxy& device, uint32_t code, const void* in,
          uint32_t inSize, void* out, uint32_t outSize, nQVAPALS100::tStatus& status) {
    nQVAPALS100::tStatus local;
    device.ioctl(code, in, inSize, out, outSize, local);
    if (!local.isError()) return true;
    status.merge(local);
    return false;
}

void raiseReply(nQVAPALS100::tStatus& status, const uint8_t* out, std::size_t offset,
                const char* file, uint32_t line) {
    status.setCode(take<int32_t>(out, offset), kComponent, file, line);
}

}  // namespace sdihal::nRequestFrame
