// Path variables of the translators ("$_qvShared32Dir/errors") and their
// expansion.
#pragma once

#include <string>

#include "qverr/Status.h"

namespace qvxlator {

// The value of a path variable: "_qvShared32Dir" and "_qvSharedDir" (the
// shared data directory), "_multiarchlibdir", "_commonAppDataDir",
// "_tempDir"; "" for any other name. Nothing when the status holds an error.
std::string lookupVariable(const char* name, qverr::Status& status);

// Replaces each "$name" that a '/' follows by the variable's value. A '$'
// without a '/' after it is -52005 ("plugin dll path invalid"); the name
// then runs to the end.
std::string expandPath(const std::string& path, qverr::Status& status);

// The shared data directory followed by "/errors".
std::string standardErrorsDirectory(qverr::Status& status);

}  // namespace qvxlator
