// A handle opened through a library's C interface and owned by the test: it
// is closed when it goes out of scope, so a failed ASSERT neither leaks it
// nor makes the fixture's teardown checks fail a second, misleading time.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>

namespace qvtest {

class OwnedHandle {
public:
    OwnedHandle() = default;
    OwnedHandle(uint64_t handle, std::function<void(uint64_t)> closeFn)
        : handle_(handle), close_(std::move(closeFn)) {}
    OwnedHandle(OwnedHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, 0)), close_(std::move(other.close_)) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) {
            close();
            handle_ = std::exchange(other.handle_, 0);
            close_ = std::move(other.close_);
        }
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() { close(); }

    // The handle as the C interface takes it; 0 once closed. Not from a
    // temporary, which would close it before its first use.
    operator uint64_t() const& { return handle_; }
    operator uint64_t() && = delete;
    // Closes now (a test that checks what closing does); later calls and
    // the destructor do nothing.
    void close() {
        if (handle_ != 0 && close_) close_(std::exchange(handle_, 0));
    }

private:
    uint64_t handle_ = 0;
    std::function<void(uint64_t)> close_;
};

}  // namespace qvtest
