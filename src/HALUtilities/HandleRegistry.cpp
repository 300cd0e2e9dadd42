#include "HALUtilities/HandleRegistry.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "HALUtilities/ForkSafety.h"

namespace qv3377hal {
namespace {

// Every family call looks its handle up, so a look-up takes no lock. The
// set is an open-addressed table of atomic slots that only changes under
// the mutex; a change makes `sequence` odd while it lasts, and a reader
// keeps what it found only when `sequence` was even and unchanged around
// its reading (else it looks again under the mutex). Every access is
// sequentially consistent, which orders the slots against `sequence`
// without fences (the thread checker cannot follow fences; on x86 such
// loads cost what plain ones do). A table replaced by a
// larger one is kept until unload, since a reader may still be probing it;
// tables grow only with the peak count of live handles. A drop only marks
// its slot: it allocates nothing and cannot fail.

constexpr uint8_t kDropped = 0;  // no HandleKind is 0

struct Slot {
    std::atomic<uint64_t> handle{0};  // 0: never used (probes stop here)
    std::atomic<uint64_t> owner{0};
    std::atomic<uint8_t> kind{kDropped};
    std::atomic<uint8_t> ownerKind{kDropped};
};

// The slots are mapped pages rather than heap blocks: never given back, they
// stay valid for late callers, and are no leak once the library is unloaded.
struct Table {
    // Throws std::bad_alloc.
    void make(unsigned tableBits) {
        const size_t count = size_t{1} << tableBits;
        void* pages = mmap(nullptr, count * sizeof(Slot), PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pages == MAP_FAILED) throw std::bad_alloc();
        slots = static_cast<Slot*>(pages);
        std::uninitialized_value_construct_n(slots, count);
        bits = tableBits;
    }
    size_t capacity() const { return size_t{1} << bits; }
    // Fibonacci hashing: handles are addresses, alike in their low bits.
    size_t home(uint64_t handle) const {
        return static_cast<size_t>((handle * 0x9E3779B97F4A7C15ull) >> (64 - bits));
    }

    unsigned bits = 0;
    Slot* slots = nullptr;
};

struct Found {
    uint8_t kind = kDropped;
    uint64_t owner = 0;
    uint8_t ownerKind = kDropped;
};

// The slot of `handle` in `table`, or null. Safe while the table changes
// (every load is atomic and the loop is bounded); only a quiet table gives
// a meaningful answer.
Slot* probe(const Table* table, uint64_t handle) {
    if (table == nullptr) return nullptr;
    const size_t mask = table->capacity() - 1;
    size_t index = table->home(handle);
    for (size_t step = 0; step <= mask; ++step, index = (index + 1) & mask) {
        const uint64_t held = table->slots[index].handle.load();
        if (held == handle) return &table->slots[index];
        if (held == 0) return nullptr;
    }
    return nullptr;
}

Found read(const Slot* slot) {
    if (slot == nullptr) return {};
    return {slot->kind.load(), slot->owner.load(), slot->ownerKind.load()};
}

class Registry {
public:
    Found find(uint64_t handle) const {
        const uint64_t before = sequence_.load();
        if (before % 2 == 0) {
            const Found found = read(probe(table_.load(), handle));
            if (sequence_.load() == before) return found;
        }
        std::lock_guard guard(lock_);
        return read(probe(table_.load(), handle));
    }

    void add(uint64_t handle, const Found& entry) {
        const auto guard = lockWriters();
        Table* table = table_.load();
        if (table == nullptr || (used_ + 1) * 2 > table->capacity()) rebuild();
        Change change(sequence_);
        place(table_.load(), handle, entry);
    }

    bool drop(uint64_t handle, HandleKind kind) {
        const auto guard = lockWriters();
        Slot* slot = probe(table_.load(), handle);
        if (slot == nullptr || slot->kind.load() != static_cast<uint8_t>(kind)) return false;
        Change change(sequence_);
        slot->kind.store(kDropped);
        return true;
    }

    void dropOwnedBy(uint64_t owner, uint8_t ownerKind) {
        const auto guard = lockWriters();
        Table* table = table_.load();
        if (table == nullptr) return;
        Change change(sequence_);
        for (size_t i = 0; i < table->capacity(); ++i) {
            Slot& slot = table->slots[i];
            if (slot.kind.load() != kDropped && slot.owner.load() == owner &&
                slot.ownerKind.load() == ownerKind)
                slot.kind.store(kDropped);
        }
    }

    // The writers' lock, for the fork handlers (a leaf: taken after every
    // other lock they take).
    std::mutex& writers() { return lock_; }

private:
    // A fork must find the writers' lock free whatever other thread wrote.
    std::unique_lock<std::mutex> lockWriters() { return std::unique_lock(lock_); }

    // Marks the table as changing for its lifetime (the mutex is held).
    class Change {
    public:
        explicit Change(std::atomic<uint64_t>& sequence) : sequence_(sequence) {
            sequence_.store(sequence_.load() + 1);
        }
        ~Change() { sequence_.store(sequence_.load() + 1); }
        Change(const Change&) = delete;
        Change& operator=(const Change&) = delete;

    private:
        std::atomic<uint64_t>& sequence_;
    };

    // Writes `handle` into its own slot, or the first never-used one.
    void place(Table* table, uint64_t handle, const Found& entry) {
        const size_t mask = table->capacity() - 1;
        size_t index = table->home(handle);
        while (true) {
            Slot& slot = table->slots[index];
            const uint64_t held = slot.handle.load();
            if (held == 0 || held == handle) {
                if (held == 0) {
                    slot.handle.store(handle);
                    ++used_;
                }
                slot.owner.store(entry.owner);
                slot.ownerKind.store(entry.ownerKind);
                slot.kind.store(entry.kind);
                return;
            }
            index = (index + 1) & mask;
        }
    }

    // Makes room for one more handle: dropped slots are cleared, and the
    // table is doubled when live handles would fill more than a quarter.
    void rebuild() {
        Table* old = table_.load();
        std::vector<std::pair<uint64_t, Found>> keep;
        if (old != nullptr) {
            for (size_t i = 0; i < old->capacity(); ++i) {
                const Found found = read(&old->slots[i]);
                if (found.kind != kDropped) keep.emplace_back(old->slots[i].handle.load(), found);
            }
        }
        const unsigned bits =
            std::max(6u, static_cast<unsigned>(std::bit_width((keep.size() + 1) * 4 - 1)));
        Change change(sequence_);
        Table* table = old;
        if (old == nullptr || bits > old->bits) {
            table = &tables_[madeTables_];
            table->make(bits);
            ++madeTables_;
        } else {
            for (size_t i = 0; i < old->capacity(); ++i) {
                old->slots[i].kind.store(kDropped);
                old->slots[i].handle.store(0);
            }
        }
        used_ = 0;
        for (const auto& [handle, found] : keep) place(table, handle, found);
        table_.store(table);
    }

    mutable std::mutex lock_;
    std::atomic<uint64_t> sequence_{0};   // odd while the table changes
    std::atomic<Table*> table_{nullptr};  // the current one of tables_
    // Each twice the size of the one before: more than enough.
    std::array<Table, 48> tables_{};
    size_t madeTables_ = 0;
    size_t used_ = 0;  // slots of the current table ever written since it was cleared
};

// Constant-initialised (nothing runs at library load, and no first-use
// guard can be caught half done by a fork) and never destroyed: exports may
// still be called after the library's destructors have run at exit, by a
// host thread or by a plug-in's destructor. It lasts until the library is
// unloaded.
constinit Registry instance;

Registry& registry() {
    return instance;
}

}  // namespace

void lockHandleRegistryWriters() {
    registry().writers().lock();
}

void unlockHandleRegistryWriters() {
    registry().writers().unlock();
}

void addHandle(uint64_t handle, HandleKind kind) {
    registry().add(handle, {static_cast<uint8_t>(kind)});
}

void addHandle(uint64_t handle, HandleKind kind, uint64_t owner, HandleKind ownerKind) {
    registry().add(handle, {static_cast<uint8_t>(kind), owner, static_cast<uint8_t>(ownerKind)});
}

bool dropHandle(uint64_t handle, HandleKind kind) {
    return registry().drop(handle, kind);
}

void dropOwnedBy(uint64_t owner, HandleKind ownerKind) {
    registry().dropOwnedBy(owner, static_cast<uint8_t>(ownerKind));
}

std::optional<uint64_t> ownerOfLiveHandle(uint64_t handle, HandleKind kind) {
    const Found found = registry().find(handle);
    if (found.kind != static_cast<uint8_t>(kind)) return std::nullopt;
    return found.owner;
}

bool isLiveHandle(uint64_t handle, HandleKind kind) {
    return registry().find(handle).kind == static_cast<uint8_t>(kind);
}

}  // namespace qv3377hal
