// Replaces the program's global operator new; include it in one source file
// of a test program only. On the calling thread, allocations can be counted,
// or refused with std::bad_alloc (other threads are never affected).
#pragma once

#include <cstdlib>
#include <new>

namespace qvtest::allocations {
inline thread_local bool counting = false;
inline thread_local int count = 0;
inline thread_local bool refusing = false;

// Runs `body` with every allocation of this thread refused.
template <class Body>
void refusedDuring(Body&& body) {
    refusing = true;
    body();
    refusing = false;
}
}  // namespace qvtest::allocations

void* operator new(std::size_t size) {
    if (qvtest::allocations::refusing) throw std::bad_alloc();
    if (qvtest::allocations::counting) ++qvtest::allocations::count;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}
// The library's own allocations ask without exceptions; this delete frees
// them too.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (qvtest::allocations::refusing) return nullptr;
    if (qvtest::allocations::counting) ++qvtest::allocations::count;
    return std::malloc(size == 0 ? 1 : size);
}
// The replacement pair: what this new returns, this delete frees.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
#pragma GCC diagnostic pop
