// The machine's standard directories as the translators need them: one
// place that asks the system-paths service.
#pragma once

#include <string>

#include "qverr/Status.h"

namespace qvxlator::paths {

std::string sharedDataDir(qverr::Status& status);
std::string multiarchLibDir(qverr::Status& status);
std::string commonAppDataDir(qverr::Status& status);
std::string tempDir(qverr::Status& status);

}  // namespace qvxlator::paths
