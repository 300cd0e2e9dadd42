// The "key": "text" member that names a refusal in a raised status's JSON
// detail, as the compact writer prints it.
#pragma once

#include <regex>
#include <string>

namespace qvtest {

inline std::string detailPair(const std::string& key, const std::string& text) {
    return "\"" + key + "\":\"" + text + "\"";
}

// Whether the detail holds the source-location fields and nothing else.
inline bool locationOnly(const std::string& json) {
    static const std::regex kLocation(
        R"(\{"error_constant":"[^"]*","file":"[^"]*","line":-?\d+,"component":"[^"]*"\})");
    return std::regex_match(json, kLocation);
}

}  // namespace qvtest
