// Test helpers: a temporary directory removed with its contents, small file
// helpers, and the status of an exception.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include "qverr/Exception.h"

namespace qvtest {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvtestXXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void writeFile(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The number of entries in a directory.
inline size_t entryCount(const std::string& directory) {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        count += entry.exists() ? 1 : 0;
    return count;
}

// The code and JSON detail of the qverr::Exception that body throws.
template <typename Body>
std::pair<int32_t, std::string> thrownStatus(Body&& body) {
    try {
        body();
    } catch (const qverr::Exception& exception) {
        return {exception.status.code, exception.what()};
    }
    ADD_FAILURE() << "no status exception thrown";
    return {0, ""};
}

}  // namespace qvtest
