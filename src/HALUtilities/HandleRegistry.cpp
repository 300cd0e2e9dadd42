#include "HALUtilities/HandleRegistry.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <mutex>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace qv3377hal {
namespace {

// Every family call looks its handle up, so a look-up takes no lock. The
// set is an open-addressed table of atomic slots that only changes under
// the mutex; a change makes `sequence` odd while it lasts, and a reader
// keeps what it found only when `sequence` was even and unchanged around
// its reading (else it looks again under the mutex). Every access is
// sequentially consistent, which orders the slots against `sequence`
// without fences (the thread checker cannot follow fences; on x86 such
// loads cost what plain ones do).
//
// The current table follows the live count, up and down: dropOwnedBy walks
// it whole, so after a peak it must not stay the peak's size. A reader may
// still be probing a table the registry has moved off, so no table is ever
// freed: there is one of each size in static storage. A drop marks its slot
// and may move the live handles into a smaller table: it allocates nothing
// and cannot fail.

constexpr uint8_t kDropped = 0;  // no HandleKind is 0

// Plain fields, read and written only through atomic_ref: a table of
// std::atomic would be constant-initialised slot by slot, which the
// compiler cannot do for a million slots; plain ones are zero for free.
struct Slot {
    uint64_t handle;  // 0: never used (probes stop here)
    uint64_t owner;
    uint8_t kind;
    uint8_t ownerKind;
};

template <class T>
T load(T& field) {
    return std::atomic_ref(field).load();
}

template <class T>
void store(T& field, std::type_identity_t<T> value) {
    std::atomic_ref(field).store(value);
}

constexpr unsigned kSmallestBits = 6;
// The largest table, 2^19 slots, holds up to 2^18 live handles (filled to
// half, where the others are made at most a quarter full), several times any
// host's sessions, contexts and iterators; beyond, an add fails as out of
// memory. Each size more would double the address space the tables take,
// which a host that locks its memory pays in full.
constexpr unsigned kLargestBits = 19;

// Tables of 2^12 slots (96 KiB) and more give their pages back when left.
constexpr unsigned kGivenBackFromBits = 12;

// The tables of 2^6 to 2^19 slots one after another, that of 2^b slots from
// slot 2^b - 2^6 on: 24 MiB of address space, zero so in no page of the
// file, and resident only where written. Static storage lasts as long as
// the code that reads it: through the library's destructors at exit, for
// late callers, and no longer than an unload.
constinit Slot allSlots[(size_t{2} << kLargestBits) - (size_t{1} << kSmallestBits)]{};

struct Table {
    explicit Table(unsigned tableBits)
        : bits(tableBits), slots(&allSlots[(size_t{1} << bits) - (size_t{1} << kSmallestBits)]) {}
    size_t capacity() const { return size_t{1} << bits; }
    // Fibonacci hashing: handles are addresses, alike in their low bits.
    size_t home(uint64_t handle) const {
        return static_cast<size_t>((handle * 0x9E3779B97F4A7C15ull) >> (64 - bits));
    }

    unsigned bits;
    Slot* slots;
};

// The size of table that `count` live handles fill at most a quarter of.
unsigned bitsFor(size_t count) {
    return std::max(kSmallestBits, static_cast<unsigned>(std::bit_width(count * 4 - 1)));
}

struct Found {
    uint8_t kind = kDropped;
    uint64_t owner = 0;
    uint8_t ownerKind = kDropped;
};

// The slot of `handle` in `table`, or null. Safe while the table changes
// (every load is atomic and the loop is bounded); only a quiet table gives
// a meaningful answer.
Slot* probe(const Table& table, uint64_t handle) {
    const size_t mask = table.capacity() - 1;
    size_t index = table.home(handle);
    for (size_t step = 0; step <= mask; ++step, index = (index + 1) & mask) {
        const uint64_t held = load(table.slots[index].handle);
        if (held == handle) return &table.slots[index];
        if (held == 0) return nullptr;
    }
    return nullptr;
}

Found read(Slot* slot) {
    if (slot == nullptr) return {};
    return {load(slot->kind), load(slot->owner), load(slot->ownerKind)};
}

class Registry {
public:
    Found find(uint64_t handle) const {
        const uint64_t before = sequence_.load();
        if (before % 2 == 0) {
            const Found found = read(probe(current(), handle));
            if (sequence_.load() == before) return found;
        }
        std::lock_guard guard(lock_);
        return read(probe(current(), handle));
    }

    void add(uint64_t handle, const Found& entry) {
        std::lock_guard guard(lock_);
        if ((used_ + 1) * 2 > current().capacity()) rebuild();
        Change change(sequence_);
        place(current(), handle, entry);
    }

    bool drop(uint64_t handle, HandleKind kind) {
        std::lock_guard guard(lock_);
        Slot* slot = probe(current(), handle);
        if (slot == nullptr || load(slot->kind) != static_cast<uint8_t>(kind)) return false;
        Change change(sequence_);
        store(slot->kind, kDropped);
        --live_;
        shrinkWhenSparse();
        return true;
    }

    void dropOwnedBy(uint64_t owner, uint8_t ownerKind) {
        std::lock_guard guard(lock_);
        const Table table = current();
        Change change(sequence_);
        for (size_t i = 0; i < table.capacity(); ++i) {
            Slot& slot = table.slots[i];
            if (load(slot.kind) != kDropped && load(slot.owner) == owner &&
                load(slot.ownerKind) == ownerKind) {
                store(slot.kind, kDropped);
                --live_;
            }
        }
        shrinkWhenSparse();
    }

    // The writers' lock, for the fork handlers (a leaf: taken after every
    // other lock they take).
    std::mutex& writers() { return lock_; }

private:
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

    Table current() const { return Table(bits_.load()); }

    // Writes `handle` into its own slot, or the first never-used one.
    void place(const Table& table, uint64_t handle, const Found& entry) {
        const size_t mask = table.capacity() - 1;
        size_t index = table.home(handle);
        while (true) {
            Slot& slot = table.slots[index];
            const uint64_t held = load(slot.handle);
            if (held == 0 || held == handle) {
                if (held == 0) {
                    store(slot.handle, handle);
                    ++used_;
                }
                if (load(slot.kind) == kDropped) ++live_;
                store(slot.owner, entry.owner);
                store(slot.ownerKind, entry.ownerKind);
                store(slot.kind, entry.kind);
                return;
            }
            index = (index + 1) & mask;
        }
    }

    static void clear(const Table& table) {
        for (size_t i = 0; i < table.capacity(); ++i) {
            store(table.slots[i].kind, kDropped);
            store(table.slots[i].handle, 0);
        }
    }

    // Makes room for one more handle: dropped slots are cleared, and the
    // live handles move to the table they will fill a quarter of, or half of
    // the largest. Throws std::bad_alloc, before any change, when even that
    // is too small.
    void rebuild() {
        unsigned bits = bitsFor(live_ + 1);
        if (bits > kLargestBits) {
            if ((live_ + 1) * 2 > Table(kLargestBits).capacity()) throw std::bad_alloc();
            bits = kLargestBits;
        }
        if (bits != bits_.load()) {
            Change change(sequence_);
            moveTo(bits);
            return;
        }
        const Table table = current();
        std::vector<std::pair<uint64_t, Found>> keep;
        keep.reserve(live_);
        for (size_t i = 0; i < table.capacity(); ++i) {
            const Found found = read(&table.slots[i]);
            if (found.kind != kDropped) keep.emplace_back(load(table.slots[i].handle), found);
        }
        Change change(sequence_);
        clear(table);
        used_ = 0;
        live_ = 0;
        for (const auto& [handle, found] : keep) place(table, handle, found);
    }

    // After a drop: a table left under 1/16 full hands its live handles to
    // the one they fill a quarter of. A move leaves its table 1/8 to 1/4
    // full, so some capacity/16 drops or capacity/4 adds come before the
    // next: a drop and an add at a boundary do not move back and forth.
    void shrinkWhenSparse() {
        const Table table = current();
        if (table.bits > kSmallestBits && live_ * 16 < table.capacity()) moveTo(bitsFor(live_ + 1));
    }

    // Moves the live handles straight into the table of 2^bits slots,
    // cleared first (it may hold what was left when the registry last moved
    // off it). Allocates nothing. The caller has marked the change.
    void moveTo(unsigned bits) {
        const Table from = current();
        const Table to(bits);
        clear(to);
        used_ = 0;
        live_ = 0;
        for (size_t i = 0; i < from.capacity(); ++i) {
            const Found found = read(&from.slots[i]);
            if (found.kind != kDropped) place(to, load(from.slots[i].handle), found);
        }
        bits_.store(bits);
        giveBack(from);
    }

    // Gives the pages wholly inside a large table moved off back to the
    // system (they read as zero again); when it refuses (locked pages), they
    // stay, and clear() still empties the table when it is used again. The
    // small ones, a few pages together, are kept: a host that opens and
    // closes a session with its contexts moves between them every time.
    static void giveBack(const Table& table) {
        if (table.bits < kGivenBackFromBits) return;
        const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
        const auto begin = reinterpret_cast<uintptr_t>(table.slots);
        const uintptr_t first = (begin + page - 1) / page * page;
        const uintptr_t last = (begin + table.capacity() * sizeof(Slot)) / page * page;
        if (first < last) madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
    }

    mutable std::mutex lock_;
    std::atomic<uint64_t> sequence_{0};          // odd while the table changes
    std::atomic<unsigned> bits_{kSmallestBits};  // the current table's size
    size_t used_ = 0;  // slots of the current table ever written since it was cleared
    size_t live_ = 0;  // live handles
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
