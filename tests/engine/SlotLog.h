#pragma once

#include <string>
#include <vector>

#include "runtime/text/Utf8.h"
#include "support/ChangeShortText.h"
#include "support/SlotRecorder.h"

// The engine's reports in the short form the engine tests expect (ShortText).
class SlotLog {
public:
    WatcherSlots Slots() { return recorder_.Slots(); }

    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (const FileChange& change : recorder_.Changes()) {
            lines.push_back(Short(change));
        }
        return lines;
    }
    // The lines without the "Started" ones.
    std::vector<std::string> Changes() const {
        std::vector<std::string> changes;
        for (const auto& line : Lines()) {
            if (line != "Started") {
                changes.push_back(line);
            }
        }
        return changes;
    }
    int Count(const std::string& line) const {
        int n = 0;
        for (const auto& l : Lines()) {
            n += l == line ? 1 : 0;
        }
        return n;
    }
    void Clear() { recorder_.Clear(); }
    // Until `count` calls have come (the start of a watch included).
    bool WaitForCount(std::size_t count) const { return recorder_.WaitForCount(count); }

    static std::string Short(const FileChange& change) { return ShortText(change); }

private:
    SlotRecorder recorder_;
};
