// Where the fixed system directories live. The real root unless a test or
// the simulator has moved it under a directory of its own.
#pragma once

#include <string>

namespace qvsysq::internal {

// The prefix of every fixed system path ("" for the real root).
std::string systemRoot();
// Sets the prefix; not for the shipped library's own use.
void setSystemRoot(const std::string& root);
// absolutePath under the current root.
std::string rooted(const char* absolutePath);

}  // namespace qvsysq::internal
