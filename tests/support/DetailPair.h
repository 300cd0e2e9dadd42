// The "key": "text" member that names a refusal in a raised status's JSON
// detail, as the compact writer prints it.
#pragma once

#include <string>

namespace qvtest {

inline std::string detailPair(const std::string& key, const std::string& text) {
    return "\"" + key + "\":\"" + text + "\"";
}

}  // namespace qvtest
