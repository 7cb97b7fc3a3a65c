#include "engine/FileRecordIndex.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace {

// At most 7/8 of the slots hold entries: Robin Hood probing keeps runs short at that load.
// Growth adds a quarter, so after it the table is 70% full: between 22.9 and 28.6 bytes
// per entry (a 16-byte slot and its name's place).
std::uint64_t MaxEntries(std::uint64_t slots) {
    return slots - slots / 8;
}
std::uint64_t SlotsFor(std::uint64_t entries) {
    return (entries * 8 + 6) / 7;
}
constexpr std::uint64_t kMinSlots = 16;  // a free slot always remains, which ends every probe
// The home of a key scales its 32-bit hash onto the slots.
constexpr std::uint64_t kMaxSlots = std::uint64_t{1} << 32;

std::size_t NextOld(std::size_t at, std::size_t size) {
    return at + 1 == size ? 0 : at + 1;
}

// The pool grows by an eighth of what it holds, so that the last block's room not yet
// taken is about a sixteenth of the names on average; it is compacted once a quarter of it
// is garbage.
constexpr std::size_t kMinNameUnits = 256;
// A name's length is one unit in front of it; NTFS names are at most 255 units anyway.
constexpr std::size_t kLongestName = 0xFFFF;
constexpr std::size_t kMaxNameUnits = std::uint32_t{0xFFFFFFFFu};

}  // namespace

void FileRecordIndex::Set(std::uint64_t directory, std::uint64_t parent, std::u16string_view name) {
    if (directory == kFreeKey) {
        if (!hasFreeKey_) {
            hasFreeKey_ = true;
            freeKeyEntry_ = Slot{kFreeKey, parent};
            freeKeyName_ = kNoName;
        }
        freeKeyEntry_.parent = parent;
        Rename(freeKeyName_, name);
        return;
    }
    if (const std::size_t at = SlotOf(directory); at != kNowhere) {
        slots_[at].parent = parent;
        Rename(nameOf_[at], name);
        return;
    }
    const std::uint32_t stored = StoreName(name);
    if (used_ + 1 > MaxEntries(slots_.size())) {
        const std::uint64_t slots = slots_.size();
        Rehash(std::max({SlotsFor(used_ + 1), slots + slots / 4, kMinSlots}));
    }
    Place(Entry{Slot{directory, parent}, stored});
}

void FileRecordIndex::Erase(std::uint64_t directory) {
    if (directory == kFreeKey) {
        if (hasFreeKey_) {
            ReleaseName(freeKeyName_);
            hasFreeKey_ = false;
            freeKeyEntry_ = Slot{};
            freeKeyName_ = kNoName;
            CompactNamesIfWasteful();
        }
        return;
    }
    std::size_t at = SlotOf(directory);
    if (at == kNowhere) {
        return;
    }
    ReleaseName(nameOf_[at]);
    // Backward shift: the entries after it move one slot nearer their homes, up to a free
    // slot or an entry already at home, so every probe still finds what it looks for.
    for (std::size_t next = NextSlot(at);
         slots_[next].key != kFreeKey && HomeOf(Hash(slots_[next].key)) != next;
         next = NextSlot(next)) {
        slots_[at] = slots_[next];
        nameOf_[at] = nameOf_[next];
        at = next;
    }
    slots_[at] = Slot{};
    nameOf_[at] = kNoName;
    --used_;
    CompactNamesIfWasteful();
}

void FileRecordIndex::Reserve(std::size_t directories) {
    if (directories == 0 || directories > MaxEntries(MaxSlots())) {
        return;  // no hint, or one beyond what the table can address
    }
    const std::uint64_t slots = std::max(SlotsFor(directories), kMinSlots);
    if (slots > slots_.size()) {
        Rehash(slots);
    }
}

std::size_t FileRecordIndex::LongestProbe() const {
    std::size_t longest = 0;
    for (std::size_t at = 0; at < slots_.size(); ++at) {
        if (slots_[at].key != kFreeKey) {
            longest = std::max(longest, DistanceFrom(HomeOf(Hash(slots_[at].key)), at));
        }
    }
    return longest;
}

std::uint64_t FileRecordIndex::MaxSlots() const {
    return std::min<std::uint64_t>(kMaxSlots, slots_.max_size());
}

void FileRecordIndex::Place(Entry entry) {
    std::uint64_t hash = Hash(entry.slot.key);
    std::size_t at = HomeOf(hash);
    for (std::size_t distance = 0;; ++distance) {
        Slot& slot = slots_[at];
        if (slot.key == kFreeKey) {
            slot = entry.slot;
            nameOf_[at] = entry.name;
            ++used_;
            return;
        }
        // The entry that comes first in the order of homes, then hashes, takes the slot
        // (Robin Hood: the one further from its home); the other one moves on.
        const std::uint64_t residentHash = Hash(slot.key);
        const std::size_t residentDistance = DistanceFrom(HomeOf(residentHash), at);
        if (residentDistance < distance || (residentDistance == distance && residentHash > hash)) {
            std::swap(slot, entry.slot);
            std::swap(nameOf_[at], entry.name);
            hash = residentHash;
            distance = residentDistance;
        }
        at = NextSlot(at);
    }
}

void FileRecordIndex::Rehash(std::uint64_t slotCount) {
    if (slotCount > MaxSlots()) {
        throw std::length_error("FileRecordIndex: more directories than the table can address");
    }
    std::vector<Slot> old =
        std::exchange(slots_, std::vector<Slot>(static_cast<std::size_t>(slotCount)));
    const std::vector<std::uint32_t> oldNames = std::exchange(
        nameOf_, std::vector<std::uint32_t>(static_cast<std::size_t>(slotCount), kNoName));
    used_ = 0;
    if (old.empty()) {
        return;
    }
    // From its first free slot on, the old table holds its entries in the order of their
    // hashes, and homes rise with the hash: moved in that order, each entry goes to its new
    // home or just after the one before, front to back, without a search. The few that
    // would run past the end, and any out of order, take the general way.
    std::size_t at = 0;
    while (old[at].key != kFreeKey) {
        ++at;
    }
    const std::size_t first = at;
    std::size_t next = 0;  // the first slot after those filled in order
    std::uint64_t lastHash = 0;
    bool inOrder = true;
    for (at = NextOld(first, old.size()); at != first; at = NextOld(at, old.size())) {
        const Entry entry{old[at], oldNames[at]};
        if (entry.slot.key == kFreeKey) {
            continue;
        }
        if (inOrder) {
            const std::uint64_t hash = Hash(entry.slot.key);
            const std::size_t to = std::max(HomeOf(hash), next);
            if (hash >= lastHash && to < slots_.size()) {
                slots_[to] = entry.slot;
                nameOf_[to] = entry.name;
                ++used_;
                next = to + 1;
                lastHash = hash;
                continue;
            }
            inOrder = false;
        }
        Place(entry);
    }
}

void FileRecordIndex::Rename(std::uint32_t& place, std::u16string_view name) {
    if (NameAt(place) == name.substr(0, kLongestName)) {
        return;  // the same name again, as every later record of a renamed directory has it
    }
    const std::uint32_t old = place;
    place = StoreName(name);
    ReleaseName(old);
    CompactNamesIfWasteful();
}

std::vector<FileRecordIndex::NameBlock> FileRecordIndex::OneBlockWithTheEmptyName() {
    std::vector<NameBlock> blocks(1);
    blocks[0].used = 1;
    blocks[0].capacity = 1;
    blocks[0].units = std::make_unique<char16_t[]>(1);  // a zero: the empty name's length
    return blocks;
}

FileRecordIndex::NameBlock& FileRecordIndex::BlockWithRoomFor(std::size_t units) {
    NameBlock& last = nameBlocks_.back();
    if (last.capacity - last.used >= units) {
        return last;
    }
    // What the last block cannot take starts a new one; its rest stays unused.
    const std::size_t capacity = std::max({units, nameCapacity_ / 8, kMinNameUnits});
    if (nameCapacity_ + capacity > kMaxNameUnits) {
        throw std::length_error("FileRecordIndex: more names than the pool can address");
    }
    NameBlock block;
    block.start = static_cast<std::uint32_t>(nameCapacity_);
    block.capacity = static_cast<std::uint32_t>(capacity);
    block.units = std::make_unique_for_overwrite<char16_t[]>(capacity);
    nameCapacity_ += capacity;
    return nameBlocks_.emplace_back(std::move(block));
}

std::uint32_t FileRecordIndex::StoreName(std::u16string_view name) {
    name = name.substr(0, kLongestName);
    if (name.empty()) {
        return kNoName;
    }
    // A name of the pool's own stays where it is: blocks never move.
    NameBlock& block = BlockWithRoomFor(1 + name.size());
    char16_t* at = block.units.get() + block.used;
    at[0] = static_cast<char16_t>(name.size());
    std::copy(name.begin(), name.end(), at + 1);
    const std::uint32_t start = block.start + block.used;
    block.used += static_cast<std::uint32_t>(1 + name.size());
    nameUnits_ += 1 + name.size();
    return start;
}

void FileRecordIndex::ReleaseName(std::uint32_t start) {
    if (start != kNoName) {
        garbageUnits_ += 1 + NameAt(start).size();
    }
}

void FileRecordIndex::CompactNamesIfWasteful() {
    if (garbageUnits_ <= nameUnits_ / 4 || nameUnits_ < kMinNameUnits) {
        return;
    }
    // Into a new pool of one block with room for a quarter more; the old one is read until
    // every name has moved.
    const std::size_t live = nameUnits_ - garbageUnits_;
    std::vector<NameBlock> old = std::exchange(nameBlocks_, OneBlockWithTheEmptyName());
    nameCapacity_ = 1;
    nameUnits_ = 1;
    garbageUnits_ = 0;
    BlockWithRoomFor(std::max(live + live / 4, kMinNameUnits));
    const auto move = [&](std::uint32_t& place) {
        if (place != kNoName) {
            place = StoreName(NameIn(old, place));
        }
    };
    for (std::size_t at = 0; at < slots_.size(); ++at) {
        if (slots_[at].key != kFreeKey) {
            move(nameOf_[at]);
        }
    }
    if (hasFreeKey_) {
        move(freeKeyName_);
    }
}
