// The shipped libqv3377hal.so.1 in a test process, loaded through the
// host-program harness (tests/support/host) as a C driver loads it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/host/qvhost.h"

namespace qvtest {

class HostLibrary {
public:
    explicit HostLibrary(const char* path) : library_(qvhost_load(path)) {
        EXPECT_NE(library_, nullptr) << qvhost_lastError();
    }
    HostLibrary(const HostLibrary&) = delete;
    HostLibrary& operator=(const HostLibrary&) = delete;
    ~HostLibrary() { qvhost_unload(library_); }

    bool loaded() const { return library_ != nullptr; }

    // The export `name` as a function of type F; a test failure when missing.
    template <class F>
    F fn(const std::string& name) {
        void* address = qvhost_resolve(library_, name.c_str());
        EXPECT_NE(address, nullptr) << name << ": " << qvhost_lastError();
        return reinterpret_cast<F>(address);
    }

private:
    qvhost_library* library_;
};

// Runs `call` with a fresh host status; returns its code, and its JSON in *json.
template <class Call>
int32_t runWithStatus(Call&& call, std::string* json = nullptr) {
    qvhost_status status = qvhost_newStatus();
    call(&status);
    const int32_t code = status.code;
    if (json != nullptr) *json = status.json != nullptr ? status.json : "";
    qvhost_release(&status);
    return code;
}

}  // namespace qvtest
