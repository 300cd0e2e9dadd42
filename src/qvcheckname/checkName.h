// Acceptance rules for user-given names (such as waveform names).
#pragma once

#include <cstdint>

#include "qverr/Status.h"

namespace qvcheckname {

// Raises into `status` the first rule that `name` breaks: null, empty, a
// forbidden character (controls and ASCII punctuation other than '-' and
// '_'), a space where spaces are forbidden, a leading '_', or a length above
// maxLength. The error context names the offending position or value for the
// translator. An earlier error in the status stays; nothing is thrown.
void checkName(const char* name, bool spacesForbidden, uint64_t maxLength, qverr::Status& status);

}  // namespace qvcheckname
