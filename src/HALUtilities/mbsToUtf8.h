// Text conversion applied to every path and resource name before it reaches
// the FPGA interface library: UTF-8 to the multibyte encoding of the process
// locale.
#pragma once

#include <cstdint>
#include <string>

namespace qv3377hal {

// 0 with the converted text in `out` (untouched for a null or empty text;
// pure ASCII is taken as it is); -52027 for text that is not valid UTF-8 or
// has no form in the locale's encoding; -52002 for flags other than 0;
// -52000 when memory runs out.
int32_t utf8ToMbs(const char* text, uint32_t flags, std::string& out);

}  // namespace qv3377hal
