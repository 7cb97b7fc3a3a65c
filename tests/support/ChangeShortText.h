#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>

#include "engine/FileChange.h"
#include "runtime/text/Utf8.h"

// A change in the short form tests compare: the kind's short name, then its texts joined
// by '|' ("Created C:\data\|a.txt", "Renamed a.txt|b.txt|C:\data\"), and the reason
// mask in hex for the kinds that carry one; notices by their reason ("Gap overwritten
// 4096..8192", "Ended volumeGone").
inline std::string ShortText(const FileChange& c) {
    const auto joined = [](const char* name, std::initializer_list<std::u16string> texts) {
        std::string text = name;
        const char* separator = " ";
        for (const std::u16string& t : texts) {
            text += separator + ToUtf8(t);
            separator = "|";
        }
        return text;
    };
    const auto withReasons = [&](const char* name) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(c.reasons));
        return joined(name, {c.dir, c.name}) + " " + hex;
    };
    switch (c.kind) {
        case ChangeKind::Started:
            return "Started";
        case ChangeKind::Created:
            return joined("Created", {c.dir, c.name});
        case ChangeKind::Deleted:
            return joined("Deleted", {c.dir, c.name});
        case ChangeKind::ContentChanged:
            return joined("Content", {c.dir, c.name});
        case ChangeKind::Renamed:
            return joined("Renamed", {c.oldName, c.name, c.dir});
        case ChangeKind::Recycled:
            return joined("Recycled", {c.oldName, c.oldDir, c.newPath});
        case ChangeKind::Moved:
            return joined("Moved", {c.oldName, c.name, c.oldDir, c.dir});
        case ChangeKind::AttributesChanged:
            return withReasons("Attributes");
        case ChangeKind::Other:
            return withReasons("Other");
        case ChangeKind::Gap: {
            static const char* const kWhy[] = {"?", "overwritten", "replaced",
                                               "overwrittenWhileAway"};
            return std::string("Gap ") + kWhy[c.why] + " " + std::to_string(c.firstLostUsn) +
                   ".." + std::to_string(c.resumeUsn);
        }
        case ChangeKind::Ended: {
            static const char* const kWhy[] = {"?", "volumeGone", "journalUnavailable",
                                               "removalRequested"};
            return std::string("Ended ") + kWhy[c.why];
        }
    }
    return "?";
}
