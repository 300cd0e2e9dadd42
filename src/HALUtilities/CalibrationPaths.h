// Names of the calibration-file directories and of the board.
#pragma once

#include <cstdint>
#include <string>

namespace qv3377hal {

// "PIDx" and the product id in upper-case hexadecimal, at least 4 digits.
std::string pidDirectoryName(uint32_t productId);
// <shared state directory>/qvqrx/calfiles/<pidDirectoryName>/<a>/<b>.
std::string calibrationFilePath(uint32_t productId, const std::string& a, const std::string& b);
// The text right-aligned in 8 characters filled with "0"; longer texts stay
// as they are; null gives "".
std::string zeroPadTo8(const char* text);

}  // namespace qv3377hal
