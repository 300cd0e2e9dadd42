// Sets (or, given null, unsets) an environment variable for its lifetime.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace qvtest {

struct ScopedEnvironment {
    ScopedEnvironment(const char* name, const char* value) : name(name) {
        if (const char* old = std::getenv(name)) previous = old;
        value != nullptr ? setenv(name, value, 1) : unsetenv(name);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment() { previous ? setenv(name, previous->c_str(), 1) : unsetenv(name); }
    const char* name;
    std::optional<std::string> previous;
};

}  // namespace qvtest
