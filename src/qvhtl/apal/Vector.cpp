#include "qvhtl/apal/Vector.h"

#include <cstdlib>
#include <utility>

#include "qvapal/status/tStatus.h"
#include "qvhtl/detail/storage.h"

namespace qvhtl::apal {

Vector& Vector::operator=(Vector&& other) noexcept {
    Vector(std::move(other)).swap(*this);
    return *this;
}

Vector::~Vector() {
    std::free(data_);
}

void Vector::swap(Vector& other) noexcept {
    std::swap(capacity_, other.capacity_);
    std::swap(size_, other.size_);
    std::swap(data_, other.data_);
}

void Vector::insertRange(uint64_t position, const uint8_t* first, const uint8_t* last,
                         nQVAPALS100::tStatus& status) {
    if (last <= first) return;
    insert(position, first, static_cast<uint64_t>(last - first), 0, status);
}

void Vector::insertRange(uint64_t position, uint64_t count, uint8_t fill,
                         nQVAPALS100::tStatus& status) {
    insert(position, nullptr, count, fill, status);
}

void Vector::insert(uint64_t position, const uint8_t* first, uint64_t count, uint8_t fill,
                    nQVAPALS100::tStatus& status) {
    if (status.isError() || count == 0) return;
    void* data = data_;
    auto result =
        detail::insertElements(data, capacity_, size_, 1, position, first, count, &fill, 8);
    data_ = static_cast<uint8_t*>(data);
    if (result == detail::GrowResult::kSizeOverflow) {
        status.setCode(nQVAPALS100::tStatus::kMemoryFull, nQVAPALS100::kPlatformComponent,
                       "qvhtl/apal/Allocator", 32);
    } else if (result == detail::GrowResult::kAllocationFailed) {
        status.setCode(nQVAPALS100::tStatus::kMemoryFull, nQVAPALS100::kPlatformComponent,
                       "qvapal/quarks/memory", 393);
    }
}

}  // namespace qvhtl::apal
