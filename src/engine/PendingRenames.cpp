#include "engine/PendingRenames.h"

void PendingRenames::Hold(std::uint64_t file, OldName oldName) {
    if (const auto found = byFile_.find(file); found != byFile_.end()) {
        oldestFirst_.erase(found->second);
        byFile_.erase(found);
    }
    if (capacity_ == 0) {
        return;
    }
    if (byFile_.size() >= capacity_) {
        byFile_.erase(oldestFirst_.front().file);
        oldestFirst_.pop_front();
    }
    oldestFirst_.push_back(Entry{file, std::move(oldName)});
    byFile_.emplace(file, std::prev(oldestFirst_.end()));
}

std::optional<PendingRenames::OldName> PendingRenames::Take(std::uint64_t file) {
    const auto found = byFile_.find(file);
    if (found == byFile_.end()) {
        return std::nullopt;
    }
    OldName oldName = std::move(found->second->oldName);
    oldestFirst_.erase(found->second);
    byFile_.erase(found);
    return oldName;
}

void PendingRenames::Clear() {
    oldestFirst_.clear();
    byFile_.clear();
}
