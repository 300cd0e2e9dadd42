// The platform layer's string: a failed allocation sets allocationFailed and
// leaves the old text in place; the operations that take a platform status
// also raise -52000 there.
#pragma once

#include <cstdint>

namespace nQVAPALS100 {
struct tStatus;
}

namespace sdihal::nQVAPAL000 {

class tBasicString {
public:
    tBasicString() = default;
    tBasicString(tBasicString&& other) noexcept { swap(other); }
    tBasicString& operator=(tBasicString&& other) noexcept;
    tBasicString(const tBasicString&) = delete;
    tBasicString& operator=(const tBasicString&) = delete;
    ~tBasicString();

    // Copies n characters of `text` (which may lie inside this string); a
    // larger text gets exactly n + 1 bytes. n = 0 erases.
    void assign(const char* text, uint64_t n);
    // assign of a NUL-terminated text; nothing when the status already holds
    // an error, -52000 when the allocation fails.
    void assign(const char* text, nQVAPALS100::tStatus& status);
    // Appends n characters, growing to at least 1.5 x the capacity.
    void append(const char* text, uint64_t n);
    // Shortens the text to n characters or pads it with `fill`.
    void resize(uint64_t n, char fill = '\0');
    void erase(uint64_t position, uint64_t n);
    void clear() { erase(0, length_); }
    void swap(tBasicString& other) noexcept;

    const char* c_str() const { return data_ ? data_ : ""; }
    uint64_t length() const { return length_; }
    uint64_t capacity() const { return capacity_; }
    bool empty() const { return length_ == 0; }
    bool allocationFailed() const { return allocationFailed_; }

private:
    bool reallocate(uint64_t capacity);

    char* data_ = nullptr;
    uint64_t capacity_ = 0;
    uint64_t length_ = 0;
    bool allocationFailed_ = false;
};

}  // namespace sdihal::nQVAPAL000
