#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ntfs/JournalRecords.h"
#include "sim/SimClock.h"
#include "sim/SimFileInfo.h"
#include "sim/SimFileTable.h"
#include "sim/SimJournal.h"
#include "sim/SimJournalDeletion.h"
#include "sim/SimRecycled.h"

// The NTFS model of one simulated volume, without a lock: its directory tree
// (SimFileTable), its change journal (SimJournal), its open handles, and every operation
// that changes them, writing journal records in the sequences real NTFS writes (reasons
// gathered per file while handles are open, a close record at the last close), stamped by
// the shared SimClock. SimVolume serialises every call.
//
// Files are named by their file reference numbers, handles by their numbers; an operation
// on a stale reference or a closed handle answers 0 or false, as does a refused change.
class SimNtfs {
public:
    static constexpr std::uint64_t kRoot = ntfs::kRootFileReference;
    static constexpr std::u16string_view kRecycleBinName = u"$RECYCLE.BIN";
    static constexpr std::u16string_view kDefaultUserSid =
        u"S-1-5-21-3623811015-3361044348-30300820-1001";

    // An open handle: its number and the file's reference; both 0 when the open failed.
    struct Opened {
        std::uint64_t handle = 0;
        std::uint64_t reference = 0;
    };

    SimNtfs(std::shared_ptr<SimClock> clock, std::uint64_t seed);

    SimClock& Clock() const { return *clock_; }
    SimFileTable& Files() { return files_; }
    const SimFileTable& Files() const { return files_; }
    SimJournal& Journal() { return journal_; }
    const SimJournal& Journal() const { return journal_; }
    SimJournalDeletion& Deletion() { return deletion_; }
    const SimJournalDeletion& Deletion() const { return deletion_; }
    // A fresh journal identifier, never the current one's.
    std::uint64_t NewJournalId();

    // ---- Lookups
    std::uint64_t Lookup(std::u16string_view path) const;
    std::uint64_t ChildByName(std::uint64_t dir, std::u16string_view name) const;
    std::vector<std::pair<std::uint64_t, std::u16string>> Children(std::uint64_t dir) const;
    std::optional<std::u16string> PathOf(std::uint64_t reference) const;
    std::optional<SimFileInfo> Info(std::uint64_t reference) const;
    std::vector<std::u16string> PathsOf(std::uint64_t reference) const;
    std::size_t EntryCount() const { return files_.InUseCount(); }
    std::size_t MemoryBytes() const { return files_.MemoryBytes() + journal_.MemoryBytes(); }
    // The rights denied on an entry (an open asking for any of them is refused).
    std::uint32_t DeniedRights(std::uint64_t reference) const;

    // ---- Handles
    Opened Open(std::uint64_t reference);
    Opened OpenPath(std::u16string_view path);
    Opened CreateOpen(std::uint64_t parent, std::u16string_view name, std::uint32_t attributes);
    bool Write(std::uint64_t handle, std::uint64_t offset, std::uint64_t length);
    bool SetLength(std::uint64_t handle, std::uint64_t length);
    bool Rename(std::uint64_t handle, std::uint64_t newParent, std::u16string_view newName,
                bool replaceExisting);
    bool SetAttributes(std::uint64_t handle, std::uint32_t attributes);
    bool NoteChange(std::uint64_t handle, std::uint32_t reasons);
    bool AddHardLink(std::uint64_t handle, std::uint64_t parent, std::u16string_view name);
    bool MarkForDelete(std::uint64_t handle);
    void Close(std::uint64_t handle);

    // ---- Operations: open, act, close
    std::uint64_t MakeDirectory(std::uint64_t parent, std::u16string_view name);
    std::uint64_t MakeDirectories(std::u16string_view path);
    std::uint64_t MakeFile(std::uint64_t parent, std::u16string_view name, std::uint64_t bytes);
    bool Delete(std::uint64_t item);
    bool DeleteTree(std::uint64_t item);
    SimRecycled Recycle(std::uint64_t item, std::u16string_view sid);
    bool EmptyRecycleBin(std::u16string_view sid);
    std::uint64_t RecycleFolder(std::u16string_view sid) const;
    void DenyAccess(std::uint64_t reference, std::uint32_t rights);

    // ---- Entries that were there before the journal: no records
    std::uint64_t AddExisting(std::uint64_t parent, std::u16string_view name,
                              std::uint32_t attributes, std::uint64_t size);
    bool PlaceExisting(std::uint64_t reference, std::uint64_t parent, std::u16string_view name,
                       std::uint32_t attributes);

private:
    struct Handle {
        std::uint32_t record;
        std::uint32_t parent;  // the name it was opened through
        std::u16string name;
        bool deleteOnClose = false;
    };
    struct Visit {
        std::uint32_t record;
        std::uint32_t parent;
        std::u16string name;
    };

    std::uint64_t OpenName(std::uint32_t record, std::uint32_t parent, std::u16string_view name);
    std::uint64_t OpenFirstName(std::uint32_t record);
    std::uint64_t CreateIn(std::uint32_t parent, std::u16string_view name,
                           std::uint32_t attributes);
    Handle* FindHandle(std::uint64_t id);
    bool WriteThrough(Handle& handle, std::uint64_t offset, std::uint64_t length);
    bool SetLengthThrough(Handle& handle, std::uint64_t length);
    bool RenameThrough(Handle& handle, std::uint32_t newParent, std::u16string_view newName,
                       bool replaceExisting);
    bool SetAttributesThrough(Handle& handle, std::uint32_t attributes);
    bool AddHardLinkThrough(Handle& handle, std::uint32_t parent, std::u16string_view name);
    bool MarkForDeleteThrough(Handle& handle);
    // Gathers reason bits on the file; a record when a bit is new.
    void Note(const Handle& handle, std::uint32_t reasons);
    void Emit(std::uint32_t record, std::uint32_t parent, std::u16string_view name,
              std::uint32_t reason);
    bool DeleteName(std::uint32_t record, std::uint32_t parent, std::u16string_view name);
    bool DeleteTreeAt(std::uint32_t record);
    std::uint32_t Walk(std::span<const std::u16string_view> names) const;
    std::uint32_t DirectoryRecord(std::uint64_t reference) const;
    std::uint32_t EnsureDirectory(std::uint32_t parent, std::u16string_view name,
                                  std::uint32_t attributes);
    std::uint32_t RecycleFolderRecord(std::u16string_view sid) const;
    // Everything below a directory, each entry's contents before it, in index order.
    std::vector<Visit> Below(std::uint32_t dir) const;
    std::uint64_t NextRandom();

    std::shared_ptr<SimClock> clock_;
    SimFileTable files_;
    SimJournal journal_;
    SimJournalDeletion deletion_;
    std::unordered_map<std::uint64_t, Handle> handles_;
    std::uint64_t nextHandleId_ = 1;
    std::uint64_t random_;
    // By reference, sequence included: a record used again starts without rules.
    std::unordered_map<std::uint64_t, std::uint32_t> deniedRights_;
};
