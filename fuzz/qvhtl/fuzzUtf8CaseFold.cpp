// UTF-8 decoding and case-folded comparison of arbitrary bytes: the first
// byte splits the rest into two texts, each copied into a block of its exact
// size so that any read past a text's end is caught.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "qvhtl/utf8/utf8.h"

namespace {

struct Text {
    std::unique_ptr<char[]> bytes;
    size_t size;
    const char* begin() const { return bytes.get(); }
    const char* end() const { return bytes.get() + size; }
};

Text copyOf(const uint8_t* data, size_t size) {
    Text text{std::make_unique<char[]>(size), size};
    if (size > 0) std::memcpy(text.bytes.get(), data, size);
    return text;
}

void require(bool condition) {
    if (!condition) std::abort();
}

// Walks the text with both decoders; true when it is valid UTF-8 throughout.
bool walk(const Text& text) {
    bool valid = true;
    const char* cursor = text.begin();
    while (cursor < text.end()) {
        const char* checked = cursor;
        uint32_t codePoint = 0;
        const int result = qvsstutf8::nextCodePointChecked(checked, text.end(), codePoint);
        const char* unchecked = cursor;
        const uint32_t decoded = qvsstutf8::nextCodePoint(unchecked, text.end());
        require(unchecked > cursor && unchecked <= text.end());
        if (result == qvsstutf8::kDecodeOk) {
            require(checked == unchecked && decoded == codePoint && codePoint <= 0x10FFFF);
            uint32_t folded[3];
            const int count = qvsstutf8::foldCase(codePoint, folded);
            require(count >= 1 && count <= 3);
        } else {
            require(checked == cursor && result >= 1 && result <= 5);
            valid = false;
        }
        cursor = unchecked;
    }
    return valid;
}

int compare(const Text& a, const Text& b) {
    return qvzek::compareCaseFolded(a.begin(), a.end(), b.begin(), b.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t split = data[0] % size;
    const Text a = copyOf(data + 1, split);
    const Text b = copyOf(data + 1 + split, size - 1 - split);

    const bool aValid = walk(a);
    walk(b);

    const int ab = compare(a, b);
    require(ab >= -1 && ab <= 1);
    require(compare(b, a) == -ab);
    require(compare(a, a) == 0);

    if (aValid) {
        // Changing the case of ASCII letters never changes the order.
        Text upper = copyOf(reinterpret_cast<const uint8_t*>(a.begin()), a.size);
        for (size_t i = 0; i < upper.size; ++i) {
            char& c = upper.bytes[i];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
        require(compare(upper, a) == 0);
        require(compare(upper, b) == ab);
    }
    return 0;
}
