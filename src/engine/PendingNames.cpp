#include "engine/PendingNames.h"

#include <iterator>
#include <utility>

void PendingNames::HoldOldName(std::uint64_t file, Name name) {
    if (capacity_ == 0) {
        return;
    }
    Held& held = HeldFor(file);
    if (!held.oldName) {
        held.oldName = std::move(name);
    }
}

void PendingNames::HoldAddedLink(std::uint64_t file, Name link) {
    if (capacity_ == 0) {
        return;
    }
    Held& held = HeldFor(file);
    if (!held.addedLink) {
        held.addedLink = std::move(link);
    }
}

PendingNames::Held PendingNames::Take(std::uint64_t file) {
    const auto found = byFile_.find(file);
    if (found == byFile_.end()) {
        return {};
    }
    Held held = std::move(found->second->held);
    oldestFirst_.erase(found->second);
    byFile_.erase(found);
    return held;
}

void PendingNames::Clear() {
    oldestFirst_.clear();
    byFile_.clear();
}

PendingNames::Held& PendingNames::HeldFor(std::uint64_t file) {
    if (const auto found = byFile_.find(file); found != byFile_.end()) {
        // Still busy: the newest now, the last to be dropped.
        oldestFirst_.splice(oldestFirst_.end(), oldestFirst_, found->second);
        return found->second->held;
    }
    if (byFile_.size() >= capacity_) {
        byFile_.erase(oldestFirst_.front().file);
        oldestFirst_.pop_front();
    }
    oldestFirst_.push_back(Entry{file, {}});
    byFile_.emplace(file, std::prev(oldestFirst_.end()));
    return oldestFirst_.back().held;
}
