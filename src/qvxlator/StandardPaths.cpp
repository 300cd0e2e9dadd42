#include "qvxlator/StandardPaths.h"

#include <cstdio>
#include <cstdlib>

namespace qvxlator::paths {

namespace {
// Trailing blanks, NULs and slashes go, then leading blanks.
std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '/' || text.back() == '\0' ||
                             text.back() == ' ' || (text.back() >= '\t' && text.back() <= '\r'))) {
        text.pop_back();
    }
    size_t start = 0;
    while (start < text.size() &&
           (text[start] == ' ' || (text[start] >= '\t' && text[start] <= '\r'))) {
        ++start;
    }
    return text.substr(start);
}
}  // namespace

std::string sharedDataDir(qverr::Status&) {
    FILE* file = std::fopen("/etc/vorlane/share/share.dir", "rbe");
    if (!file) {
        return "/usr/local/vorlane/share";
    }
    std::string content;
    char buffer[512];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        content.append(buffer, count);
    }
    std::fclose(file);
    return trimmed(content);
}

std::string multiarchLibDir(qverr::Status&) { return "/usr/lib/x86_64-linux-gnu"; }

std::string commonAppDataDir(qverr::Status&) { return "/var/local/vorlane"; }

std::string tempDir(qverr::Status&) {
    const char* value = std::getenv("TMPDIR");
    return value ? value : "/tmp";
}

}  // namespace qvxlator::paths
