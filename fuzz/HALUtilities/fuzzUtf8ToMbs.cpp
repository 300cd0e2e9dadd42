// The conversion of paths and resource names from the session parameters:
// arbitrary bytes (cut at the first NUL, as a C string is) in a UTF-8
// locale either fail with the invalid-UTF-8 code or come back unchanged.
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "HALUtilities/mbsToUtf8.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) std::setlocale(LC_CTYPE, "C");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const bool utf8Locale = std::string(std::setlocale(LC_CTYPE, nullptr)) != "C";
    std::string out;
    const int32_t result = qv3377hal::utf8ToMbs(text.c_str(), 0, out);
    if (result != 0 && result != -52027) std::abort();
    const std::string given(text.c_str());
    if (result == 0 && !given.empty() && utf8Locale && out != given) std::abort();
    // Flags other than 0 never convert what needs converting.
    std::string flagged;
    const int32_t withFlags = qv3377hal::utf8ToMbs(text.c_str(), 1, flagged);
    if (withFlags == 0 && !flagged.empty() && flagged != given) std::abort();
    return 0;
}
