// Raise sites of the platform layer: the code goes into a platform status
// with the platform component and this source line.
#pragma once

#include "qvapal/status/tStatus.h"

#define QVAPAL_RAISE(status, code) \
    (status).setCode((code), ::nQVAPALS100::kPlatformComponent, __FILE__, __LINE__)
#define QVAPAL_RAISE_ERRNO(status, err) ::nQVAPALS100::setErrnoStatus((status), (err), __FILE__, __LINE__)
