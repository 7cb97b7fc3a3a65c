#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Parent of every directory of the volume, by file reference number (all 64 bits of both).
// Only directories are entered. Entries are never changed in place: an insert keeps the
// first entry of a key; a move is an erase followed by an insert.
//
// Every close record on the volume walks this index up towards the root, so it is a flat
// open-addressed table: a lookup reads one short run of adjacent 16-byte slots instead of
// descending through a tree of separately allocated nodes. Runs keep Robin Hood order (by
// home, and by hash within one home), which keeps them short at 7/8 full and lets a lookup
// stop early. The slot count need not be a power of two, so growth adds just a quarter: a
// table that has grown is at least 70% full, under 23 bytes per directory at any size.
// Deletion shifts the following entries back, so no tombstones build up; the table never
// shrinks.
class FileRecordIndex {
public:
    // Inserts directory -> parent unless the directory is already there.
    void Insert(std::uint64_t directory, std::uint64_t parent);
    void Erase(std::uint64_t directory);
    // A directory that got a new parent.
    void Repoint(std::uint64_t directory, std::uint64_t parent) {
        Erase(directory);
        Insert(directory, parent);
    }
    // The parent of a known directory; false for one the index does not hold.
    bool FindParent(std::uint64_t directory, std::uint64_t& parent) const {
        if (directory == kFreeKey) {
            if (hasFreeKey_) {
                parent = freeKeyParent_;
            }
            return hasFreeKey_;
        }
        const std::size_t at = SlotOf(directory);
        if (at == kNowhere) {
            return false;
        }
        parent = slots_[at].parent;
        return true;
    }
    std::size_t Size() const { return used_ + (hasFreeKey_ ? 1 : 0); }

    // Makes room for `directories` entries without growing, for a caller that knows about
    // how many will come. Never shrinks; ignores a hint beyond what the table can address.
    void Reserve(std::size_t directories);

    // Bytes the table takes (the same in 32-bit and 64-bit builds: its slots hold two
    // 64-bit values).
    std::size_t TableBytes() const { return slots_.size() * sizeof(Slot); }
    // The furthest any entry lies from its home slot, in slots: how well the hash spreads.
    std::size_t LongestProbe() const;

private:
    struct Slot {
        std::uint64_t key;
        std::uint64_t parent;
    };
    static_assert(sizeof(Slot) == 16);

    // Marks a free slot. As a file reference it means "none", yet a malformed record may
    // still carry it, so its entry is kept beside the table.
    static constexpr std::uint64_t kFreeKey = 0;

    // File references are dense record numbers under a 16-bit sequence. The fold carries
    // the high half into every bit of the product, whose high half then depends on every
    // bit of the key: dense numbers land evenly spread (Fibonacci hashing). A bijection, so
    // distinct keys never share a hash.
    static std::uint64_t Hash(std::uint64_t key) {
        return (key ^ (key >> 32)) * 0x9E3779B97F4A7C15ULL;
    }
    // The slot an entry belongs in: the hash's high 32 bits scaled onto the slots (no
    // power-of-two mask, no division). Rises with the hash.
    std::size_t HomeOf(std::uint64_t hash) const {
        return static_cast<std::size_t>(((hash >> 32) * slots_.size()) >> 32);
    }
    std::size_t DistanceFrom(std::size_t home, std::size_t at) const {
        return at >= home ? at - home : at + slots_.size() - home;
    }

    static constexpr std::size_t kNowhere = static_cast<std::size_t>(-1);

    // The slot holding `key` (not the free key), or kNowhere.
    std::size_t SlotOf(std::uint64_t key) const {
        if (used_ == 0) {
            return kNowhere;
        }
        const std::uint64_t hash = Hash(key);
        std::size_t at = HomeOf(hash);
        for (std::size_t distance = 0;; ++distance) {
            const std::uint64_t resident = slots_[at].key;
            if (resident == key) {
                return at;
            }
            if (resident == kFreeKey) {
                return kNowhere;
            }
            // A run holds its entries in the order of their homes, and of their hashes
            // within one home: past an entry that would come after the key, it is not there.
            const std::uint64_t residentHash = Hash(resident);
            const std::size_t residentDistance = DistanceFrom(HomeOf(residentHash), at);
            if (residentDistance < distance ||
                (residentDistance == distance && residentHash > hash)) {
                return kNowhere;
            }
            at = NextSlot(at);
        }
    }
    std::size_t NextSlot(std::size_t at) const { return at + 1 == slots_.size() ? 0 : at + 1; }

    // Places an entry whose key the table does not hold, in its order in its run; the
    // entries after it move on by one.
    void Place(Slot entry);
    void Rehash(std::uint64_t slotCount);
    std::uint64_t MaxSlots() const;

    std::vector<Slot> slots_;
    std::size_t used_ = 0;  // slots holding an entry
    bool hasFreeKey_ = false;
    std::uint64_t freeKeyParent_ = 0;
};
