#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Where each drive's watch got to, as a state file keeps it between runs: the volume (its
// serial number, so that another volume in the same letter is not taken for it), the
// journal, and the Usn up to which every record has been reported. Small and readable:
//   {
//     "format": "yzwatch-state-1",
//     "drives": [
//       {"drive": "C", "serial": 2868901554, "journalId": 132754924240731112, "usn": 4096}
//     ]
//   }
// Only the program writes it; anything else in its place is refused, never overwritten.
class WatchState {
public:
    struct Drive {
        char16_t letter = 0;  // upper case
        std::uint32_t serial = 0;
        std::uint64_t journalId = 0;
        std::int64_t usn = 0;

        friend bool operator==(const Drive&, const Drive&) = default;
    };

    // The state a file's text holds; nothing, with the reason, for text that is not one.
    static std::optional<WatchState> Parse(std::string_view text, std::string& error);
    std::string Text() const;

    const Drive* Find(char16_t letter) const;
    // Replaces the drive's entry, or adds one (kept in letter order).
    void Set(const Drive& drive);
    const std::vector<Drive>& Drives() const { return drives_; }

    friend bool operator==(const WatchState&, const WatchState&) = default;

private:
    std::vector<Drive> drives_;
};
