#include "qvapal/protons/containers/tBasicString.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "qvapal/status/tStatus.h"
#include "qvhtl/detail/storage.h"

namespace sdihal::nQVAPAL000 {

namespace {
constexpr const char* kSource = "qvapal/protons/containers/tBasicString";
}

tBasicString& tBasicString::operator=(tBasicString&& other) noexcept {
    tBasicString(std::move(other)).swap(*this);
    return *this;
}

tBasicString::~tBasicString() {
    std::free(data_);
}

void tBasicString::swap(tBasicString& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(capacity_, other.capacity_);
    std::swap(length_, other.length_);
    std::swap(allocationFailed_, other.allocationFailed_);
}

bool tBasicString::reallocate(uint64_t capacity) {
    char* fresh = nullptr;
    if (capacity < SIZE_MAX) fresh = static_cast<char*>(std::malloc(capacity + 1));
    if (fresh == nullptr) {
        allocationFailed_ = true;
        return false;
    }
    if (length_ > 0) std::memcpy(fresh, data_, length_);
    fresh[length_] = '\0';
    std::free(data_);
    data_ = fresh;
    capacity_ = capacity;
    return true;
}

void tBasicString::assign(const char* text, uint64_t n) {
    if (n == 0) {
        erase(0, length_);
        return;
    }
    if (n > capacity_) {
        char* fresh = nullptr;
        if (n < SIZE_MAX) fresh = static_cast<char*>(std::malloc(n + 1));
        if (fresh == nullptr) {
            allocationFailed_ = true;
            return;
        }
        std::memcpy(fresh, text, n);
        std::free(data_);
        data_ = fresh;
        capacity_ = n;
    } else {
        std::memmove(data_, text, n);
    }
    data_[n] = '\0';
    length_ = n;
}

void tBasicString::assign(const char* text, nQVAPALS100::tStatus& status) {
    if (status.isError()) return;
    const bool failedBefore = allocationFailed_;
    allocationFailed_ = false;
    assign(text, text ? std::strlen(text) : 0);
    if (allocationFailed_) {
        status.setCode(nQVAPALS100::tStatus::kMemoryFull, nQVAPALS100::kPlatformComponent, kSource,
                       1641);
    }
    allocationFailed_ = allocationFailed_ || failedBefore;
}

void tBasicString::append(const char* text, uint64_t n) {
    if (n == 0) return;
    if (n > UINT64_MAX - 1 - length_) {
        allocationFailed_ = true;
        return;
    }
    const uint64_t needed = length_ + n;
    if (needed > capacity_) {
        const bool inside = qvhtl::detail::pointsInto(text, data_, length_);
        const uint64_t offset = inside ? static_cast<uint64_t>(text - data_) : 0;
        uint64_t grown = capacity_ + capacity_ / 2;
        if (grown < capacity_) grown = needed;
        if (!reallocate(std::max(needed, grown))) return;
        if (inside) text = data_ + offset;
    }
    std::memmove(data_ + length_, text, n);
    length_ = needed;
    data_[length_] = '\0';
}

void tBasicString::resize(uint64_t n, char fill) {
    if (n <= length_) {
        erase(n, length_ - n);
        return;
    }
    if (n > capacity_ && !reallocate(n)) return;
    std::memset(data_ + length_, fill, n - length_);
    length_ = n;
    data_[length_] = '\0';
}

void tBasicString::erase(uint64_t position, uint64_t n) {
    qvhtl::detail::eraseChars(data_, length_, position, n);
}

}  // namespace sdihal::nQVAPAL000
