// The library's version record: key=value texts, null-terminated.
#pragma once

namespace qv3377hal {

const char* const* versionRecord();

}  // namespace qv3377hal
