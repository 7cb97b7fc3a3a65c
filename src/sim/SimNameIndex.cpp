#include "sim/SimNameIndex.h"

#include <utility>

namespace {

constexpr std::size_t kInitialSlots = 1024;

}  // namespace

void SimNameIndex::Insert(std::uint32_t hash, std::uint32_t record) {
    // At most half full, so probes stay short.
    if ((count_ + 1) * 2 > slots_.size()) {
        Grow();
    }
    Place({hash, record});
    ++count_;
}

void SimNameIndex::Erase(std::uint32_t hash, std::uint32_t record) {
    if (slots_.empty()) {
        return;
    }
    std::size_t hole = Home(hash);
    while (!(slots_[hole].hash == hash && slots_[hole].record == record)) {
        if (slots_[hole].record == kNone) {
            return;
        }
        hole = (hole + 1) & mask_;
    }
    // Shift later members of the probe run back into the hole, where their home allows.
    for (std::size_t i = (hole + 1) & mask_; slots_[i].record != kNone; i = (i + 1) & mask_) {
        const std::size_t home = Home(slots_[i].hash);
        const bool homeInsideGap =
            hole <= i ? (home <= hole || home > i) : (home <= hole && home > i);
        if (homeInsideGap) {
            slots_[hole] = slots_[i];
            hole = i;
        }
    }
    slots_[hole] = Slot{};
    --count_;
}

void SimNameIndex::Grow() {
    std::vector<Slot> old = std::exchange(slots_, {});
    slots_.assign(old.empty() ? kInitialSlots : old.size() * 2, Slot{});
    mask_ = slots_.size() - 1;
    shift_ = 32;
    for (std::size_t size = slots_.size(); size > 1; size >>= 1) {
        --shift_;
    }
    for (const Slot& slot : old) {
        if (slot.record != kNone) {
            Place(slot);
        }
    }
}

void SimNameIndex::Place(Slot slot) {
    std::size_t i = Home(slot.hash);
    while (slots_[i].record != kNone) {
        i = (i + 1) & mask_;
    }
    slots_[i] = slot;
}
