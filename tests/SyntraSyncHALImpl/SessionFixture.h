// A Syntra synchronization session over the shared simulated module, as the
// device session makes it for context 19.
#pragma once

#include <memory>
#include <string>

#include "SyntraSyncHALImpl/SyntraSyncSession.h"
#include "apal_qv3377k/tInterfaceProxy_qv3377k.h"
#include "module/SimulatedModule.h"
#include "support/ModuleProxy.h"
#include "support/TempDir.h"

namespace syntrasynctest {

using qvtest::thrownStatus;

inline std::unique_ptr<syntrasynchal::SyntraSyncSession> makeSession(
    qvsim::SimulatedModule& module) {
    std::shared_ptr<sdihal::tInterfaceProxy_qv3377k> proxy = qvtest::openModuleProxy(module);
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
