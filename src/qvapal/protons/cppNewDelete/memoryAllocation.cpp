#include "qvapal/protons/cppNewDelete/memoryAllocation.h"

#include <new>

#include "qvapal/quarks/raise.h"
#include "qverr/Status.h"

namespace {
// Source name reported by this file's raise sites.
constexpr const char* kSource = "qvapal/protons/cppNewDelete/memoryAllocation";
}  // namespace

void* operator new(std::size_t size, nQVAPALS100::tStatus& status) noexcept {
    if (status.isError()) return nullptr;
    void* memory = ::operator new(size, std::nothrow);
    if (memory == nullptr) QVAPAL_RAISE(status, qverr::qvapalerr_memoryFull, kSource, 274);
    return memory;
}

void* operator new[](std::size_t size, nQVAPALS100::tStatus& status) noexcept {
    if (status.isError()) return nullptr;
    void* memory = ::operator new[](size, std::nothrow);
    if (memory == nullptr) QVAPAL_RAISE(status, qverr::qvapalerr_memoryFull, kSource, 329);
    return memory;
}

void operator delete(void* memory, nQVAPALS100::tStatus&) noexcept {
    ::operator delete(memory);
}

void operator delete[](void* memory, nQVAPALS100::tStatus&) noexcept {
    ::operator delete[](memory);
}
