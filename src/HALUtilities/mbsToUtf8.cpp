#include "HALUtilities/mbsToUtf8.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "qverr/Status.h"
#include "qvhtl/utf8/utf8.h"

namespace qv3377hal {

int32_t utf8ToMbs(const char* text, uint32_t flags, std::string& out) {
    if (text == nullptr || *text == 0) return 0;
    const size_t length = std::strlen(text);
    const char* end = text + length;
    bool ascii = true;
    for (const char* c = text; c != end && ascii; ++c)
        ascii = static_cast<unsigned char>(*c) < 0x80;
    try {
        if (ascii) {
            out.assign(text, length);
            return 0;
        }
        std::vector<wchar_t> wide;
        wide.reserve(length + 1);
        for (const char* cursor = text; cursor != end;) {
            uint32_t codePoint = 0;
            if (qvsstutf8::nextCodePointChecked(cursor, end, codePoint) != qvsstutf8::kDecodeOk) {
                return qverr::kStatusInvalidUTF8;
            }
            wide.push_back(static_cast<wchar_t>(codePoint));
        }
        if (flags != 0) return qverr::qvapalerr_featureUnsupported;
        wide.push_back(0);
        const size_t size = std::wcstombs(nullptr, wide.data(), 0);
        if (size == static_cast<size_t>(-1)) return qverr::kStatusInvalidUTF8;
        std::string converted(size, '\0');
        std::wcstombs(converted.data(), wide.data(), size + 1);
        out = std::move(converted);
        return 0;
    } catch (const std::bad_alloc&) {
        return qverr::qvapalerr_memoryFull;
    }
}

}  // namespace qv3377hal
