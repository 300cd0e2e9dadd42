#include "qvhtl/err/String.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "qvapal/status/tStatus.h"

namespace qvhtl::err {

namespace {

// Every growth failure of these containers is reported at one site.
constexpr qverr::SourceLocation kAllocatorLocation{
    "qvhtl/err/Allocator", 0, nQVAPALS100::kPlatformComponent, "qvapalerr_memoryFull"};

constexpr uint64_t kMinimumCapacity = 127;

}  // namespace

void raiseMemoryFull(qverr::Status& status) {
    status.setCode(qverr::qvapalerr_memoryFull, kAllocatorLocation);
    // The detail buffer exists even when the code was not taken; an earlier
    // error and its detail are left as they are.
    status.getJsonInsertPoint(0);
}

String::String(const String& other, qverr::Status& status) {
    if (other.size_ > 0) assign(other.data_, other.size_, status);
}

String::~String() {
    std::free(data_);
}

void String::swap(String& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(capacity_, other.capacity_);
    std::swap(size_, other.size_);
}

void String::reserve(uint64_t n, qverr::Status& status) {
    if (status.isError() || (capacity_ >= n && capacity_ != 0)) return;
    uint64_t grown = capacity_ + capacity_ / 2;
    if (grown < capacity_) grown = UINT64_MAX;
    const uint64_t newCapacity = std::max({kMinimumCapacity, n, grown});
    char* fresh = nullptr;
    if (newCapacity < SIZE_MAX) fresh = static_cast<char*>(std::malloc(newCapacity + 1));
    if (fresh == nullptr) {
        raiseMemoryFull(status);
        return;
    }
    if (size_ > 0) std::memcpy(fresh, data_, size_);
    fresh[size_] = '\0';
    std::free(data_);
    data_ = fresh;
    capacity_ = newCapacity;
}

void String::assign(const char* text, uint64_t n, qverr::Status& status) {
    if (status.isError()) return;
    if (n == 0) {
        erase(0, size_);
        return;
    }
    if (n > capacity_) {
        // Built aside so that a failure leaves the old text in place.
        String copy;
        copy.reserve(n, status);
        if (status.isError()) return;
        std::memcpy(copy.data_, text, n);
        copy.data_[n] = '\0';
        copy.size_ = n;
        swap(copy);
        return;
    }
    std::memmove(data_, text, n);
    data_[n] = '\0';
    size_ = n;
}

void String::assignCString(const char* text, qverr::Status& status) {
    assign(text, text ? std::strlen(text) : 0, status);
}

void String::insertRange(const char* first, const char* last, qverr::Status& status) {
    if (status.isError() || last <= first) return;
    const auto n = static_cast<uint64_t>(last - first);
    if (n > UINT64_MAX - 1 - size_) {
        raiseMemoryFull(status);
        return;
    }
    const uint64_t needed = size_ + n;
    if (needed > capacity_) {
        // A range inside this string moves with it.
        const bool inside = detail::pointsInto(first, data_, size_);
        const uint64_t offset = inside ? static_cast<uint64_t>(first - data_) : 0;
        reserve(needed, status);
        if (status.isError()) return;
        if (inside) first = data_ + offset;
    }
    std::memmove(data_ + size_, first, n);
    size_ = needed;
    data_[size_] = '\0';
}

void String::erase(uint64_t position, uint64_t n) {
    detail::eraseChars(data_, size_, position, n);
}

StringTriple::StringTriple(const qverr::Status& source) {
    status.assign(source);
}

StringTriple::StringTriple(const StringTriple& other) {
    qverr::Status copyStatus;
    first = String(other.first, copyStatus);
    second = String(other.second, copyStatus);
    third = String(other.third, copyStatus);
    status.assign(other.status);
    // Taking over the other's status must not hide a copy that failed.
    status.mergeMove(copyStatus);
}

void StringTriple::swap(StringTriple& other) noexcept {
    first.swap(other.first);
    second.swap(other.second);
    third.swap(other.third);
}

}  // namespace qvhtl::err
