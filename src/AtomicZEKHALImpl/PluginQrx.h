// The entry points through which a host of FPGA devices uses this library as
// the FPGA driver of its modules. Reference counted: the first initialize
// builds the plug-in's objects (PXI chassis library, device manager, session
// factory, alias services), the last finalize destroys them. Each returns 0
// or a negative status code.
#pragma once

#include <cstdint>

#include "HALUtilities/ErrorHandling.h"

namespace qvzek {
class IDeviceList;
}

QV_EXPORT int32_t qvzek_initializePlugin();
// interfaceVersion 0 only. On success *out receives a new device list the
// caller deletes; valid between an initialize and the last finalize (-52010
// outside that span).
QV_EXPORT int32_t qvzek_getPluginInterface(int32_t interfaceVersion, qvzek::IDeviceList** out);
// -52010 when there is no initialize left to balance; nothing changes then.
QV_EXPORT int32_t qvzek_finalizePlugin();
