#include "HALUtilities/HandleRegistry.h"

#include <cstddef>
#include <mutex>
#include <unordered_map>

namespace qv3377hal {
namespace {

struct Entry {
    uint64_t owner = 0;
    HandleKind kind{};
};

// A lock around an ordinary hash map: a look-up costs an uncontended lock
// and one probe, whatever the number of live handles. The map holds the live
// handles only and gives its buckets back when most of them are dropped.
class Registry {
public:
    std::optional<Entry> find(uint64_t handle) const {
        std::lock_guard guard(lock_);
        const auto found = live_.find(handle);
        if (found == live_.end()) return std::nullopt;
        return found->second;
    }

    void add(uint64_t handle, HandleKind kind, uint64_t owner) {
        std::lock_guard guard(lock_);
        live_.insert_or_assign(handle, Entry{owner, kind});
    }

    bool drop(uint64_t handle, HandleKind kind) {
        std::lock_guard guard(lock_);
        const auto found = live_.find(handle);
        if (found == live_.end() || found->second.kind != kind) return false;
        live_.erase(found);
        shrink();
        return true;
    }

    void dropOwnedBy(uint64_t owner) {
        std::lock_guard guard(lock_);
        std::erase_if(live_, [&](const auto& entry) { return entry.second.owner == owner; });
        shrink();
    }

private:
    // Buckets in proportion to the live handles: halved (by rehashing to
    // twice the count) once eight times as many as needed.
    void shrink() {
        constexpr size_t kFewBuckets = 64;
        if (live_.bucket_count() > kFewBuckets && live_.size() * 8 < live_.bucket_count())
            live_.rehash(live_.size() * 2);
    }

    mutable std::mutex lock_;
    std::unordered_map<uint64_t, Entry> live_;
};

// Built at first use (nothing runs at library load) and freed only when the
// library is unloaded: at exit that is after every exit handler and global
// destructor of the host, which may still close the sessions it holds.
Registry* instance = nullptr;

Registry& registry() {
    static Registry* const made = instance = new Registry;
    return *made;
}

__attribute__((destructor)) void freeRegistry() {
    delete instance;
}

}  // namespace

void addHandle(uint64_t handle, HandleKind kind, uint64_t owner) {
    registry().add(handle, kind, owner);
}

bool dropHandle(uint64_t handle, HandleKind kind) {
    return registry().drop(handle, kind);
}

void dropOwnedBy(uint64_t owner) {
    registry().dropOwnedBy(owner);
}

std::optional<uint64_t> ownerOfLiveHandle(uint64_t handle, HandleKind kind) {
    const std::optional<Entry> found = registry().find(handle);
    if (!found || found->kind != kind) return std::nullopt;
    return found->owner;
}

bool isLiveHandle(uint64_t handle, HandleKind kind) {
    const std::optional<Entry> found = registry().find(handle);
    return found && found->kind == kind;
}

}  // namespace qv3377hal
