#include "qvsysq/internal/systemRoot.h"

#include <mutex>

namespace qvsysq::internal {

namespace {
std::mutex& rootMutex() {
    static std::mutex mutex;
    return mutex;
}
std::string& rootText() {
    static std::string text;
    return text;
}
}  // namespace

std::string systemRoot() {
    std::lock_guard<std::mutex> lock(rootMutex());
    return rootText();
}

void setSystemRoot(const std::string& root) {
    std::lock_guard<std::mutex> lock(rootMutex());
    rootText() = root;
}

std::string rooted(const char* absolutePath) { return systemRoot() + absolutePath; }

}  // namespace qvsysq::internal
