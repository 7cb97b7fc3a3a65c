#pragma once

#include <optional>
#include <string>

#include "console/ConsoleHost.h"
#include "console/WatchState.h"

// The state file of --state: read once at the start, replaced as a whole whenever the
// watches move on. A crash or a power cut at any moment leaves the old state or the new
// one, never a torn file: the new text is written beside it and flushed, then moved over
// it in one step.
class StateFile {
public:
    StateFile(ConsoleHost& host, std::u16string path)
        : host_(host), path_(std::move(path)), staged_(path_ + u".new") {}

    // The state the file holds (none yet: an empty one); nothing, with the reason, when it
    // cannot be read or is not a state file.
    std::optional<WatchState> Load(std::u16string& error);
    bool Save(const WatchState& state);
    const std::u16string& Path() const { return path_; }

private:
    ConsoleHost& host_;
    std::u16string path_;
    std::u16string staged_;
};
