#pragma once

// Shared by the mirror's tests: journal records as short texts, and the trees of the
// folder and of its mirror side by side.

#include <map>
#include <string>
#include <vector>

#include "FakeFolder.h"
#include "demo/FolderMirror.h"
#include "ntfs/JournalRecords.h"
#include "runtime/text/Utf8.h"
#include "sim/SimNames.h"
#include "sim/SimVolume.h"

namespace mirror_test {

// "DATA_EXTEND|FILE_CREATE|CLOSE": the reason bits by their names, lowest bit first.
inline std::string ReasonText(std::uint32_t reason) {
    static const std::pair<std::uint32_t, const char*> kNames[] = {
        {ntfs::kReasonDataOverwrite, "DATA_OVERWRITE"},
        {ntfs::kReasonDataExtend, "DATA_EXTEND"},
        {ntfs::kReasonDataTruncation, "DATA_TRUNCATION"},
        {ntfs::kReasonFileCreate, "FILE_CREATE"},
        {ntfs::kReasonFileDelete, "FILE_DELETE"},
        {ntfs::kReasonSecurityChange, "SECURITY_CHANGE"},
        {ntfs::kReasonRenameOldName, "RENAME_OLD_NAME"},
        {ntfs::kReasonRenameNewName, "RENAME_NEW_NAME"},
        {ntfs::kReasonBasicInfoChange, "BASIC_INFO_CHANGE"},
        {ntfs::kReasonHardLinkChange, "HARD_LINK_CHANGE"},
        {ntfs::kReasonObjectIdChange, "OBJECT_ID_CHANGE"},
        {ntfs::kReasonClose, "CLOSE"},
    };
    std::string text;
    std::uint32_t rest = reason;
    for (const auto& [bit, name] : kNames) {
        if ((reason & bit) != 0) {
            text += (text.empty() ? "" : "|") + std::string(name);
            rest &= ~bit;
        }
    }
    if (rest != 0) {
        text += (text.empty() ? "" : "|") + std::to_string(rest);
    }
    return text;
}

// Paths below the mirror ("sub\a.txt", "" for the mirror itself) by reference, as far as
// the volume holds them now; collected before and after a change, so that records of
// entries deleted since still name their directory.
class PathBook {
public:
    void Note(const SimVolume& volume) {
        const std::uint64_t mirror = volume.Lookup(FolderMirror::kMirrorPath);
        if (mirror == 0) {
            return;
        }
        paths_[mirror] = u"";
        std::vector<std::uint64_t> pending{mirror};
        while (!pending.empty()) {
            const std::uint64_t dir = pending.back();
            pending.pop_back();
            for (const auto& [child, name] : volume.Children(dir)) {
                const std::u16string& parent = paths_[dir];
                paths_[child] = parent.empty() ? name : parent + u"\\" + name;
                pending.push_back(child);
            }
        }
    }
    // "sub\a.txt" for a record of a.txt in sub.
    std::string PathOf(const SimRecord& record) const {
        const auto parent = paths_.find(record.parentReference);
        if (parent == paths_.end()) {
            return "?\\" + ToUtf8(record.name);
        }
        return ToUtf8(parent->second.empty() ? record.name : parent->second + u"\\" + record.name);
    }

private:
    std::map<std::uint64_t, std::u16string> paths_;
};

inline std::vector<std::string> RecordTexts(const std::vector<SimRecord>& records,
                                            const PathBook& book) {
    std::vector<std::string> texts;
    for (const SimRecord& record : records) {
        texts.push_back(ReasonText(record.reason) + " " + book.PathOf(record));
    }
    return texts;
}

// One line per entry, "path size attributes" (no size for a directory), in path order.
inline std::vector<std::string> TreeOf(const SimVolume& volume) {
    std::vector<std::string> lines;
    const std::uint64_t mirror = volume.Lookup(FolderMirror::kMirrorPath);
    std::vector<std::pair<std::uint64_t, std::u16string>> pending{{mirror, u""}};
    while (!pending.empty()) {
        const auto [dir, path] = pending.back();
        pending.pop_back();
        for (const auto& [child, name] : volume.Children(dir)) {
            const std::u16string childPath = path.empty() ? name : path + u"\\" + name;
            const SimFileInfo info = *volume.Info(child);
            const bool directory = (info.attributes & ntfs::kAttributeDirectory) != 0;
            lines.push_back(ToUtf8(childPath) + (directory ? "" : " " + std::to_string(info.size)) +
                            " " + std::to_string(info.attributes));
            if (directory) {
                pending.emplace_back(child, childPath);
            }
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The same for the folder: what a mirror of it must hold. Names the volume cannot hold are
// left out, and so is everything below a directory that is a link.
inline std::vector<std::string> TreeOf(const FakeFolder& folder) {
    std::vector<std::string> lines;
    for (const auto& [path, entry] : folder.Entries()) {
        bool held = true;
        for (std::u16string_view rest = path; held && !rest.empty();) {
            held = sim_names::IsValid(FakeFolder::Leaf(std::u16string(rest)));
            const std::u16string_view parent = FakeFolder::Parent(rest);
            if (held && !parent.empty()) {
                const auto up = folder.Entries().find(std::u16string(parent));
                held = up != folder.Entries().end() && !up->second.IsReparsePoint();
            }
            rest = parent;
        }
        if (held) {
            lines.push_back(ToUtf8(path) +
                            (entry.IsDirectory() ? "" : " " + std::to_string(entry.size)) + " " +
                            std::to_string(entry.attributes));
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace mirror_test
