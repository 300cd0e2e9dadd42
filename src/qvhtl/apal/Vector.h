// A byte vector that reports a failed growth into a platform status
// (-52000) and inserts nothing then. Serialisers build their byte images in
// it: they insert fill bytes at the end and overwrite them while the status
// holds no error.
#pragma once

#include <cstdint>

namespace nQVAPALS100 {
struct tStatus;
}

namespace qvhtl::apal {

class Vector {
public:
    Vector() = default;
    Vector(Vector&& other) noexcept { swap(other); }
    Vector& operator=(Vector&& other) noexcept;
    Vector(const Vector&) = delete;
    Vector& operator=(const Vector&) = delete;
    ~Vector();

    // Inserts the bytes [first, last) (which may lie inside this vector) at
    // `position`; nothing when the status already holds an error.
    void insertRange(uint64_t position, const uint8_t* first, const uint8_t* last,
                     nQVAPALS100::tStatus& status);
    // Inserts `count` copies of `fill` at `position`.
    void insertRange(uint64_t position, uint64_t count, uint8_t fill, nQVAPALS100::tStatus& status);
    void clear() { size_ = 0; }
    void swap(Vector& other) noexcept;

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    uint64_t size() const { return size_; }
    uint64_t capacity() const { return capacity_; }
    bool empty() const { return size_ == 0; }

private:
    void insert(uint64_t position, const uint8_t* first, uint64_t count, uint8_t fill,
                nQVAPALS100::tStatus& status);

    uint64_t capacity_ = 0;
    uint64_t size_ = 0;
    uint8_t* data_ = nullptr;
};

}  // namespace qvhtl::apal
