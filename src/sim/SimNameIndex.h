#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Finds the entry a directory holds under a name, in O(1): an open-addressing table of
// (hash, record number) pairs, 8 bytes a slot, with linear probing and deletion by
// backward shift (no tombstones). The caller computes the hash from the parent and the
// upper-case name and confirms candidates with its own comparison, so the table stores
// no names. Not thread-safe.
class SimNameIndex {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    void Insert(std::uint32_t hash, std::uint32_t record);
    void Erase(std::uint32_t hash, std::uint32_t record);

    // The first record with this hash that `matches` accepts, kNone when there is none.
    template <typename Match>
    std::uint32_t Find(std::uint32_t hash, Match&& matches) const {
        if (slots_.empty()) {
            return kNone;
        }
        for (std::size_t i = Home(hash);; i = (i + 1) & mask_) {
            const Slot& slot = slots_[i];
            if (slot.record == kNone) {
                return kNone;
            }
            if (slot.hash == hash && matches(slot.record)) {
                return slot.record;
            }
        }
    }

    std::size_t Count() const { return count_; }
    std::size_t MemoryBytes() const { return slots_.capacity() * sizeof(Slot); }

private:
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t record = kNone;
    };

    // The slot a hash belongs in: its bits mixed (Fibonacci hashing) so that hashes
    // differing only in their high bits still spread over the table.
    std::size_t Home(std::uint32_t hash) const {
        return static_cast<std::uint32_t>(hash * 2654435769u) >> shift_;
    }
    void Grow();
    void Place(Slot slot);

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    int shift_ = 32;  // 32 - log2 of the number of slots
    std::size_t count_ = 0;
};
