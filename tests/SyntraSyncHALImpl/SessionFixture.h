// A Syntra synchronization session over the shared simulated module, as the
// device session makes it for context 19.
#pragma once

#include <memory>
#include <string>

#include "SyntraSyncHALImpl/SyntraSyncSession.h"
#include "apal_qv3377k/tInterfaceProxy_qv3377k.h"
#include "module/SimulatedModule.h"
#include "support/TempDir.h"

namespace syntrasynctest {

using qvtest::thrownStatus;

// The module's kernel-driver proxy, opened on its device file.
inline std::shared_ptr<sdihal::tInterfaceProxy_qv3377k> openProxy(qvsim::SimulatedModule& module) {
    auto proxy = std::make_shared<sdihal::tInterfaceProxy_qv3377k>();
    nQVAPALS100::tStatus status;
    sdihal::nQVAPAL000::tInterfacePath path;
    snprintf(path.path, sizeof path.path, "%s", module.devicePath().c_str());
    proxy->open(path, status);
    return proxy;
}

inline std::unique_ptr<syntrasynchal::SyntraSyncSession> makeSession(
    qvsim::SimulatedModule& module) {
    std::shared_ptr<sdihal::tInterfaceProxy_qv3377k> proxy = openProxy(module);
    std::shared_ptr<sdihal::iInterfaceProxy_syntrasync> sub(proxy, proxy.get());
    return std::make_unique<syntrasynchal::SyntraSyncSession>(
        new syntrasynchal::SyntraSyncControlProxy(std::move(sub)));
}

// A valid configuration record (the driver's or the module's own), with
// distinct values so that fields read from the wrong offsets show.
template <class Record>
Record validRecord() {
    Record record;
    record.valid = 1;
    record.startClockDelayCycles = 15;
    record.mclkMultiplier = 8;
    record.mclkDivisor = 2;
    record.mclkTimebaseRateNumerator = 100'000'000;
    record.mclkTimebaseRateDenominator = 4;
    record.startClockRateNumerator = 200'000'000;
    record.startClockRateDenominator = 2;
    return record;
}

// An unsigned whole number as a fixed-point register value.
inline sdihal::tFixedPointValue wholeValue(uint64_t value) {
    sdihal::tFixedPointValue fixed;
    fixed.bits = value;
    fixed.format = {false, 32, 32};
    return fixed;
}

}  // namespace syntrasynctest
