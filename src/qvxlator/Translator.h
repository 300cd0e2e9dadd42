// The translator record an error-translation host receives from
// qvxlator_exported_create, and the conventions of its operations.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qverr/Status.h"

namespace qvxlator {

// The host's allocator for returned texts. Translators call it with `old`
// null and the text's length plus one, and fill the block only when the
// status holds no error; the block then belongs to the host.
using AllocFn = char* (*)(void* old, size_t size, void* allocContext, qverr::Status* status);

struct Translator;

using DestroyFn = void (*)(Translator* translator);
using GetStaticDescFn = char* (*)(Translator* translator, int32_t code, uint32_t flags,
                                  AllocFn allocFn, void* allocContext, qverr::Status* status);
using GetDynamicDescFn = char* (*)(Translator* translator, const char* errorContextJson,
                                   uint32_t flags, const char* format, AllocFn allocFn,
                                   void* allocContext, qverr::Status* status);

// What the host sees: the first four words. A translator kind may keep
// private state after them.
struct Translator {
    uint64_t size;  // kPublicSize
    DestroyFn destroy;
    GetStaticDescFn getStaticDesc;
    GetDynamicDescFn getDynamicDesc;  // null when there is no dynamic description
};

inline constexpr uint64_t kPublicSize = 32;
static_assert(sizeof(Translator) == kPublicSize);

// Factory of one named translator.
using FactoryFn = Translator* (*)(const char* name, const char* registrationInfo,
                                  qverr::Status* status);

// flags: bits 0-7 the language (0 English, 1 French, 2 German, 3 Japanese,
// 4 Korean, 5 Simplified Chinese), bits 8-11 the development-environment
// hint; other bits are ignored.
inline uint32_t languageOf(uint32_t flags) {
    return flags & 0xFF;
}
inline uint32_t adeOf(uint32_t flags) {
    return (flags >> 8) & 0xF;
}

// Hands `text` to the host: allocates length + 1 bytes through allocFn and
// copies the text with its NUL. A null block with a clean status is an
// out-of-memory error (-52000). A block the status forbids filling comes
// back as an empty text, never with stale bytes.
char* copyToHost(const char* text, size_t length, AllocFn allocFn, void* allocContext,
                 qverr::Status* status);

}  // namespace qvxlator
