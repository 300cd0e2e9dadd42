#include "HALUtilities/AutoKXDVRRefRelease.h"

#include "HALUtilities/KorvexRuntime.h"

namespace qv3377hal {

AutoKXDVRRefRelease::~AutoKXDVRRefRelease() {
    if (dismissed_ || reference_ == nullptr) return;
    // Outside the Korvex run-time the weak import is null.
    if (&KXDVR_ReleaseRef != nullptr) KXDVR_ReleaseRef(*reference_);
    *reference_ = 0;
}

}  // namespace qv3377hal
