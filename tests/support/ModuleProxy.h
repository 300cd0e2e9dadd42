// The kernel-driver proxy of the simulated module, opened on its device
// file, as a device session shares it with its sub-sessions.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "apal_qv3377k/tInterfaceProxy_qv3377k.h"
#include "module/SimulatedModule.h"

namespace qvtest {

inline std::shared_ptr<sdihal::tInterfaceProxy_qv3377k> openModuleProxy(
    qvsim::SimulatedModule& module) {
    auto proxy = std::make_shared<sdihal::tInterfaceProxy_qv3377k>();
    nQVAPALS100::tStatus status;
    proxy->open(module.devicePath().c_str(), status);
    // Thrown rather than asserted so that benchmarks can use it too.
    if (status.code != 0)
        throw std::runtime_error("opening the module's device file: " +
                                 std::to_string(status.code));
    return proxy;
}

// Makes every request of "<interface>.<method>" fail with `code` in its reply.
inline void failRequests(qvsim::SimulatedModule& module, const char* method, int32_t code) {
    module.on(method, [code](const qvsim::DecodedRequest&, qvsim::Reply& reply) {
        reply.status(code);
        return 0;
    });
}

}  // namespace qvtest
