#include "HALUtilities/HandleRegistry.h"

#include <mutex>
#include <unordered_map>

namespace qv3377hal {
namespace {

struct Entry {
    HandleKind kind;
    uint64_t owner;
};

struct Registry {
    std::mutex lock;
    std::unordered_map<uint64_t, Entry> entries;
};

// Built at first use (nothing runs at library load); gone when the library
// is unloaded, with every object a handle could name.
Registry& registry() {
    static Registry instance;
    return instance;
}

}  // namespace

void addHandle(uint64_t handle, HandleKind kind, uint64_t owner) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    r.entries.insert_or_assign(handle, Entry{kind, owner});
}

bool dropHandle(uint64_t handle, HandleKind kind) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    const auto found = r.entries.find(handle);
    if (found == r.entries.end() || found->second.kind != kind) return false;
    r.entries.erase(found);
    return true;
}

void dropOwnedBy(uint64_t owner) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    std::erase_if(r.entries, [&](const auto& entry) { return entry.second.owner == owner; });
}

std::optional<uint64_t> ownerOfLiveHandle(uint64_t handle, HandleKind kind) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    const auto found = r.entries.find(handle);
    if (found == r.entries.end() || found->second.kind != kind) return std::nullopt;
    return found->second.owner;
}

bool isLiveHandle(uint64_t handle, HandleKind kind) { return ownerOfLiveHandle(handle, kind).has_value(); }

}  // namespace qv3377hal
