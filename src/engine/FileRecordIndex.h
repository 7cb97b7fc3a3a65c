#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string_view>
#include <vector>

// Every directory of the volume by file reference number (all 64 bits of both), with its
// parent and its name: what the directory's path is built from. Only directories are
// entered. An entry is set when its directory is enumerated, created or renamed (moved),
// and erased when it is deleted.
//
// Every close record on the volume walks this index up towards the root, so it is a flat
// open-addressed table: a lookup reads one short run of adjacent 16-byte slots instead of
// descending through a tree of separately allocated nodes. Runs keep Robin Hood order (by
// home, and by hash within one home), which keeps them short at 7/8 full and lets a lookup
// stop early. The slot count need not be a power of two, so growth adds just a quarter: a
// table that has grown is at least 70% full. Deletion shifts the following entries back,
// so no tombstones build up; the table never shrinks.
//
// The names live in a pool of UTF-16 units, each behind its length; a slot holds where
// its name starts. The pool grows by blocks of an eighth of what it holds, so that growth
// never copies the names already held (nor touches their pages again). A rename or an
// erase leaves the old name's units behind as garbage; the pool is compacted once the
// garbage is a quarter of it.
class FileRecordIndex {
public:
    // Enters `directory` with its parent and name, or gives the one it holds them anew. An
    // empty name is a name not known.
    void Set(std::uint64_t directory, std::uint64_t parent, std::u16string_view name);
    void Erase(std::uint64_t directory);
    // The parent of a known directory; false for one the index does not hold.
    bool FindParent(std::uint64_t directory, std::uint64_t& parent) const {
        const Slot* slot = Find(directory);
        if (slot == nullptr) {
            return false;
        }
        parent = slot->parent;
        return true;
    }
    // The parent and the name of a known directory; the name stays valid until the next
    // change of the index.
    bool FindEntry(std::uint64_t directory, std::uint64_t& parent,
                   std::u16string_view& name) const {
        if (directory == kFreeKey) {
            if (!hasFreeKey_) {
                return false;
            }
            parent = freeKeyEntry_.parent;
            name = NameAt(freeKeyName_);
            return true;
        }
        const std::size_t at = SlotOf(directory);
        if (at == kNowhere) {
            return false;
        }
        parent = slots_[at].parent;
        name = NameAt(nameOf_[at]);
        return true;
    }
    std::size_t Size() const { return used_ + (hasFreeKey_ ? 1 : 0); }

    // Makes room for `directories` entries without growing the table, for a caller that
    // knows about how many will come. Never shrinks; ignores a hint beyond what the table
    // can address.
    void Reserve(std::size_t directories);

    // Bytes the table takes (the same in 32-bit and 64-bit builds: its slots hold two
    // 64-bit values, and each a 32-bit name's place beside them).
    std::size_t TableBytes() const {
        return slots_.size() * (sizeof(Slot) + sizeof(std::uint32_t));
    }
    // Bytes the name pool holds, garbage and room to grow included.
    std::size_t NameBytes() const { return nameCapacity_ * sizeof(char16_t); }
    // The furthest any entry lies from its home slot, in slots: how well the hash spreads.
    std::size_t LongestProbe() const;

private:
    // What the walk up the ancestry reads; each slot's name has its place beside it, in
    // nameOf_, so that the walk reads no more than it needs.
    struct Slot {
        std::uint64_t key;
        std::uint64_t parent;
    };
    static_assert(sizeof(Slot) == 16);
    // An entry on its way into the table.
    struct Entry {
        Slot slot;
        std::uint32_t name;  // where the name starts in the pool
    };

    // Marks a free slot. As a file reference it means "none", yet a malformed record may
    // still carry it, so its entry is kept beside the table.
    static constexpr std::uint64_t kFreeKey = 0;
    // The pool's first unit: the empty name every entry without one shares.
    static constexpr std::uint32_t kNoName = 0;

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

    const Slot* Find(std::uint64_t directory) const {
        if (directory == kFreeKey) {
            return hasFreeKey_ ? &freeKeyEntry_ : nullptr;
        }
        const std::size_t at = SlotOf(directory);
        return at == kNowhere ? nullptr : &slots_[at];
    }
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
    void Place(Entry entry);
    void Rehash(std::uint64_t slotCount);
    std::uint64_t MaxSlots() const;

    // A block of the name pool: its units from `start` on, `used` of `capacity` taken.
    struct NameBlock {
        std::uint32_t start = 0;
        std::uint32_t used = 0;
        std::uint32_t capacity = 0;
        std::unique_ptr<char16_t[]> units;
    };

    std::u16string_view NameAt(std::uint32_t start) const { return NameIn(nameBlocks_, start); }
    // The name at `start` in `blocks`: in the block holding it, the last that begins at or
    // before it.
    static std::u16string_view NameIn(const std::vector<NameBlock>& blocks, std::uint32_t start) {
        const auto after = std::upper_bound(
            blocks.begin(), blocks.end(), start,
            [](std::uint32_t at, const NameBlock& block) { return at < block.start; });
        const char16_t* unit = std::prev(after)->units.get() + (start - std::prev(after)->start);
        return {unit + 1, unit[0]};
    }
    // Gives the slot whose name is at `place` the name, storing it unless it has it.
    void Rename(std::uint32_t& place, std::u16string_view name);
    std::uint32_t StoreName(std::u16string_view name);
    void ReleaseName(std::uint32_t start);
    void CompactNamesIfWasteful();

    std::vector<Slot> slots_;
    std::vector<std::uint32_t> nameOf_;  // beside slots_: the place of each slot's name
    std::size_t used_ = 0;               // slots holding an entry
    bool hasFreeKey_ = false;
    Slot freeKeyEntry_{};
    std::uint32_t freeKeyName_ = 0;
    // The shared empty name first, in a block of its own.
    std::vector<NameBlock> nameBlocks_ = OneBlockWithTheEmptyName();
    std::size_t nameCapacity_ = 1;  // units of all blocks
    std::size_t nameUnits_ = 1;     // units stored, garbage included
    std::size_t garbageUnits_ = 0;  // units of names no entry holds any more

    static std::vector<NameBlock> OneBlockWithTheEmptyName();
    // Room for `units` more in the last block, adding a block when it has none.
    NameBlock& BlockWithRoomFor(std::size_t units);
};
