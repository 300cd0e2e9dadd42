// Allocation that reports into a platform status instead of throwing:
// `new (status) T(...)` is null when the status already holds an error or
// when memory runs out (-52000). Objects made so are released by plain delete.
#pragma once

#include <cstddef>

#include "qvapal/status/tStatus.h"

void* operator new(std::size_t size, nQVAPALS100::tStatus& status) noexcept;
void* operator new[](std::size_t size, nQVAPALS100::tStatus& status) noexcept;
// Called only when a constructor run by the forms above throws.
void operator delete(void* memory, nQVAPALS100::tStatus& status) noexcept;
void operator delete[](void* memory, nQVAPALS100::tStatus& status) noexcept;
