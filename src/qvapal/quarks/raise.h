// Raise sites of the platform layer: the code goes into a platform status
// with the platform component and the site's fixed source name and line (the
// ones callers and error descriptions know, not the build's file paths).
#pragma once

#include "qvapal/status/tStatus.h"

#define QVAPAL_RAISE(status, code, source, line) \
    (status).setCode((code), ::nQVAPALS100::kPlatformComponent, (source), (line))
#define QVAPAL_RAISE_ERRNO(status, err, source, line) \
    ::nQVAPALS100::setErrnoStatus((status), (err), (source), (line))
