// Text and vectors that report an allocation failure into a qverr::Status
// (-52000) instead of throwing, leaving their contents unchanged. Every
// operation that takes a status does nothing when it already holds an error.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>

#include "qverr/Status.h"
#include "qvhtl/detail/storage.h"

namespace qvhtl::err {

// Raises -52000 for a container that cannot grow (the first error stays).
void raiseMemoryFull(qverr::Status& status);

class String {
public:
    String() = default;
    // Copies `other`; an allocation failure leaves this string empty.
    String(const String& other, qverr::Status& status);
    String(String&& other) noexcept { swap(other); }
    String& operator=(String&& other) noexcept {
        String(static_cast<String&&>(other)).swap(*this);
        return *this;
    }
    String(const String&) = delete;
    String& operator=(const String&) = delete;
    ~String();

    // Room for n characters: capacity becomes the largest of 127, n and 1.5 x
    // the old capacity.
    void reserve(uint64_t n, qverr::Status& status);
    void assign(const char* text, uint64_t n, qverr::Status& status);
    void assignCString(const char* text, qverr::Status& status);
    // Appends [first, last), which may lie inside this string.
    void insertRange(const char* first, const char* last, qverr::Status& status);
    void erase(uint64_t position, uint64_t n);
    void swap(String& other) noexcept;

    const char* c_str() const { return data_ ? data_ : ""; }
    const char* data() const { return c_str(); }
    uint64_t size() const { return size_; }
    uint64_t capacity() const { return capacity_; }
    bool empty() const { return size_ == 0; }

private:
    char* data_ = nullptr;
    uint64_t capacity_ = 0;
    uint64_t size_ = 0;
};

// A vector of trivially copyable elements.
template <typename T>
class Vector {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    Vector() = default;
    Vector(Vector&& other) noexcept { swap(other); }
    Vector& operator=(Vector&& other) noexcept {
        Vector(static_cast<Vector&&>(other)).swap(*this);
        return *this;
    }
    Vector(const Vector&) = delete;
    Vector& operator=(const Vector&) = delete;
    ~Vector() { std::free(data_); }

    // Appends [first, last), which may lie inside this vector.
    void insertRange(const T* first, const T* last, qverr::Status& status) {
        insertRangeAt(size_, first, last, status);
    }
    void insertRangeAt(uint64_t position, const T* first, const T* last, qverr::Status& status) {
        if (status.isError() || last <= first) return;
        void* data = data_;
        auto result =
            detail::insertElements(data, capacity_, size_, sizeof(T), position, first,
                                   static_cast<uint64_t>(last - first), nullptr, kMinimumCapacity);
        data_ = static_cast<T*>(data);
        if (result != detail::GrowResult::kOk) raiseMemoryFull(status);
    }
    void pushBack(const T& value, qverr::Status& status) {
        insertRange(&value, &value + 1, status);
    }
    void clear() { size_ = 0; }
    void swap(Vector& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(capacity_, other.capacity_);
        std::swap(size_, other.size_);
    }

    T* data() { return data_; }
    const T* data() const { return data_; }
    T* begin() { return data_; }
    T* end() { return data_ + size_; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }
    T& operator[](uint64_t i) { return data_[i]; }
    const T& operator[](uint64_t i) const { return data_[i]; }
    uint64_t size() const { return size_; }
    uint64_t capacity() const { return capacity_; }
    bool empty() const { return size_ == 0; }

private:
    static constexpr uint64_t kMinimumCapacity = 8;
    T* data_ = nullptr;
    uint64_t capacity_ = 0;
    uint64_t size_ = 0;
};

// Three strings with the status of the operation that filled them.
struct StringTriple {
    String first;
    String second;
    String third;
    qverr::Status status;

    StringTriple() = default;
    // Takes over a copy of `source` (code and detail).
    explicit StringTriple(const qverr::Status& source);
    // Copies the strings, then the status; a failed string copy stays
    // reported unless the copied status already holds an error.
    StringTriple(const StringTriple& other);
    StringTriple& operator=(const StringTriple&) = delete;
    // Exchanges the strings; each record keeps its status.
    void swap(StringTriple& other) noexcept;
};

}  // namespace qvhtl::err
