#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "support/JsonObject.h"
#include "support/SlotRecorder.h"

// The engine's calls in the short form the engine tests expect, read back from a
// SlotRecorder's lines: the slot's short name, then its text arguments joined by '|'
// ("Created C:\data\|a.txt", "Renamed a.txt|b.txt|C:\data\"), and the reason mask in hex
// for the kinds that carry one. A line that is not a known slot's stays as it was, so that
// it shows in a failed comparison.
class SlotLog {
public:
    WatcherSlots Slots() { return recorder_.Slots(); }

    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (const std::string& line : recorder_.Lines()) {
            lines.push_back(Short(line));
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

private:
    struct ShortForm {
        const char* slot;
        const char* name;
        std::vector<const char*> texts;
        bool reasons;
    };

    static std::string Short(const std::string& line) {
        static const ShortForm kForms[] = {
            {"OnStarted", "Started", {}, false},
            {"OnCreated", "Created", {"dir", "name"}, false},
            {"OnDeleted", "Deleted", {"dir", "name"}, false},
            {"OnContentChanged", "Content", {"dir", "name"}, false},
            {"OnRenamed", "Renamed", {"oldName", "newName", "dir"}, false},
            {"OnRecycled", "Recycled", {"oldName", "oldDir", "newPath"}, false},
            {"OnMoved", "Moved", {"oldName", "newName", "oldDir", "newDir"}, false},
            {"OnAttributesChanged", "Attributes", {"dir", "name"}, true},
            {"OnOtherChange", "Other", {"dir", "name"}, true},
        };
        json_test::JsonObject object;
        if (!json_test::ParseJsonObject(line, object)) {
            return line;
        }
        for (const ShortForm& form : kForms) {
            if (object["slot"] != form.slot) {
                continue;
            }
            std::string text = form.name;
            for (std::size_t i = 0; i < form.texts.size(); ++i) {
                text += (i == 0 ? " " : "|") + object[form.texts[i]];
            }
            if (form.reasons) {
                char hex[16];
                std::snprintf(hex, sizeof hex, "%lx", std::stoul(object["reasons"]));
                text += std::string(" ") + hex;
            }
            return text;
        }
        return line;
    }

    SlotRecorder recorder_;
};
