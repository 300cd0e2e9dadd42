// Where the fixed system directories live: under the root of the platform
// seam, which is the real root unless a simulator has moved it.
#pragma once

#include <string>

namespace qvsysq::internal {

// absolutePath under the system root.
std::string rooted(const char* absolutePath);

}  // namespace qvsysq::internal
