#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ntfs/JournalRecords.h"
#include "engine/VolumePlatform.h"
#include "sim/SimClock.h"
#include "sim/SimFileTable.h"
#include "sim/SimJournal.h"
#include "sim/SimJournalDeletion.h"
#include "sim/SimOpenFile.h"
#include "sim/SimRecord.h"
#include "ntfs/Win32Codes.h"

// What a simulated volume knows of one of its files.
struct SimFileInfo {
    std::uint64_t reference = 0;
    std::uint64_t parent = 0;  // of the first name
    std::u16string name;       // the first name
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    std::int64_t lastUsn = 0;
    int links = 0;
    int openHandles = 0;
};

// Where a delete to the recycle bin put an item.
struct SimRecycled {
    std::uint64_t item = 0;      // the item, now named `name` in `folder`
    std::uint64_t infoFile = 0;  // the $I… file beside it
    std::uint64_t folder = 0;    // $RECYCLE.BIN\<SID>
    std::u16string name;         // $R…

    explicit operator bool() const { return item != 0; }
};

// An in-memory NTFS volume: its directory tree (SimFileTable), its change journal
// (SimJournal), open handles, and the answers to the volume's control requests, byte
// for byte as Windows gives them. Operations write journal records in the sequences
// real NTFS writes (reasons gathered per file while handles are open, a close record at
// the last close), stamped by the shared SimClock.
//
// Thread-safe: every call takes the volume's lock, so an engine's worker can read the
// journal while a test or a scenario thread changes files. The request hook runs
// outside the lock. Operations taking a file reference act on the file's first name;
// they answer 0 or false when the reference is stale or the change is refused.
class SimVolume {
public:
    static constexpr std::uint64_t kRoot = ntfs::kRootFileReference;
    static constexpr std::u16string_view kDefaultUserSid =
        u"S-1-5-21-3623811015-3361044348-30300820-1001";
    static constexpr std::u16string_view kRecycleBinName = u"$RECYCLE.BIN";

    // A volume with an active journal (as a system volume has), empty but for the root.
    // `seed` makes the journal identifiers and recycle-bin names repeatable.
    explicit SimVolume(std::shared_ptr<SimClock> clock = std::make_shared<SimClock>(),
                       std::uint64_t seed = 1);
    SimVolume(const SimVolume&) = delete;
    SimVolume& operator=(const SimVolume&) = delete;
    ~SimVolume();

    SimClock& Clock() const { return *clock_; }

    // ---- Lookups (tests and tools)
    // The entry at a path from the root ("\dir\sub", "dir/sub", "\" for the root; any
    // letter case); 0 when missing.
    std::uint64_t Lookup(std::u16string_view path) const;
    std::uint64_t ChildByName(std::uint64_t dir, std::u16string_view name) const;
    // The names a directory holds and what they name, in the order of its index.
    std::vector<std::pair<std::uint64_t, std::u16string>> Children(std::uint64_t dir) const;
    // "\dir\sub" by first names; nothing for a stale reference.
    std::optional<std::u16string> PathOf(std::uint64_t reference) const;
    std::optional<SimFileInfo> Info(std::uint64_t reference) const;
    // Every name of a file as a path from the root.
    std::vector<std::u16string> PathsOf(std::uint64_t reference) const;
    std::size_t EntryCount() const;
    // Bytes the file table and the journal hold.
    std::size_t MemoryBytes() const;

    // ---- Handles
    SimOpenFile Open(std::uint64_t reference);
    SimOpenFile OpenPath(std::u16string_view path);
    // A new file or directory, open: FILE_CREATE. Directories carry the directory bit.
    SimOpenFile CreateOpen(std::uint64_t parent, std::u16string_view name,
                           std::uint32_t attributes = ntfs::kAttributeArchive);

    // ---- Operations: open, act, close
    std::uint64_t MakeDirectory(std::uint64_t parent, std::u16string_view name);
    // Creates the directories of a path from the root that are missing; the last one.
    std::uint64_t MakeDirectories(std::u16string_view path);
    // A new file, written with `bytes` bytes when not 0.
    std::uint64_t MakeFile(std::uint64_t parent, std::u16string_view name, std::uint64_t bytes = 0);
    bool Write(std::uint64_t file, std::uint64_t offset, std::uint64_t length);
    bool Truncate(std::uint64_t file, std::uint64_t length = 0);
    // Replaces a file's content as opening it with TRUNCATE_EXISTING and writing does.
    bool Rewrite(std::uint64_t file, std::uint64_t length);
    bool Rename(std::uint64_t item, std::uint64_t newParent, std::u16string_view newName,
                bool replaceExisting = false);
    bool SetAttributes(std::uint64_t item, std::uint32_t attributes);
    bool ChangeSecurity(std::uint64_t item);
    bool NoteChange(std::uint64_t item, std::uint32_t reasons);
    bool AddHardLink(std::uint64_t file, std::uint64_t parent, std::u16string_view name);
    // Deletes the first name for good (a directory must be empty): FILE_DELETE|CLOSE,
    // or HARD_LINK_CHANGE|CLOSE while the file has other names. Waits for the file's
    // other handles to close.
    bool Delete(std::uint64_t item);
    // Deletes one name of a file, given by its path.
    bool DeletePath(std::u16string_view path);
    // Deletes a directory with everything below it, deepest first; false when something
    // in it is still open and so stays.
    bool DeleteTree(std::uint64_t item);
    // A delete to the recycle bin as Explorer does it: the $I… file is created in the
    // user's folder under $RECYCLE.BIN (both folders made on first use), the item is
    // renamed into it as $R… with the same extension, then its security changes (every
    // entry below a directory first, in index order). Empty when refused.
    SimRecycled Recycle(std::uint64_t item, std::u16string_view sid = kDefaultUserSid);
    // Deletes everything in the user's folder, in index order.
    bool EmptyRecycleBin(std::u16string_view sid = kDefaultUserSid);
    // The user's folder under $RECYCLE.BIN; 0 until its first use.
    std::uint64_t RecycleFolder(std::u16string_view sid = kDefaultUserSid) const;

    // The rights an entry's access rules deny the user (an administrator too: a deny rule
    // holds for everyone it names). An open asking for any of them is refused.
    void DenyAccess(std::uint64_t reference, std::uint32_t rights);

    // ---- Entries that were there before the journal: no records (set-up, loading)
    std::uint64_t AddExisting(std::uint64_t parent, std::u16string_view name,
                              std::uint32_t attributes = ntfs::kAttributeArchive,
                              std::uint64_t size = 0);
    // At the record number and sequence of `reference`; the parent must be there first.
    bool PlaceExisting(std::uint64_t reference, std::uint64_t parent, std::u16string_view name,
                       std::uint32_t attributes);

    // ---- Records as they are
    // Any fields, another major version too, stamped with the next Usn; readers get it
    // as it is (tests of unusual records). Answers its Usn, -1 without a journal.
    std::int64_t AppendRecord(const SimRecord& record);
    // Any bytes, exactly as given, even ones no reader can walk (tests of malformed
    // records).
    std::int64_t AppendRaw(std::span<const std::uint8_t> bytes);
    // The version-2 records of a raw $J stream, each at its own Usn; what the scan skipped.
    JournalStreamLoad LoadJournalStream(std::span<const std::uint8_t> stream);
    std::vector<SimRecord> RecordsSince(std::int64_t usn) const;
    std::optional<ntfs::UsnJournalDataV0> JournalData() const;

    // ---- The journal's life and faults on demand
    // As FSCTL_CREATE_USN_JOURNAL: a new journal where there is none; an active one is set
    // to the sizes given, 0 meaning the default size, as for a new one.
    void CreateJournal(std::uint64_t maximumSize = 0, std::uint64_t allocationDelta = 0);
    // Deletes the journal and creates it again: a new identifier, no records.
    void RecreateJournal();
    // The journal is gone, its deletion over.
    void DeleteJournal();
    // The journal is gone, and its deletion goes on for the next `requests` control
    // requests on the journal (or until FinishJournalDeletion), which fail with
    // ERROR_JOURNAL_DELETE_IN_PROGRESS. FSCTL_DELETE_USN_JOURNAL starts one of
    // kDeletionRequests.
    static constexpr int kDeletionRequests = 3;
    void DeleteJournalInBackground(int requests = SimJournalDeletion::kUntilFinished);
    void FinishJournalDeletion();
    bool JournalDeletionInProgress() const;
    // A wrap: the records below `usn` are gone and FirstUsn moves on.
    void DropRecordsBefore(std::int64_t usn);
    void SetJournalMaximumSize(std::uint64_t bytes);
    // The next `count` control requests (of `code` only, when not 0) fail with `error`.
    void FailNextRequests(int count, std::uint32_t code = 0,
                          std::uint32_t error = win32::kErrorInvalidFunction);
    // A removed volume fails every request and cannot be opened; its drive has no root.
    void SetRemoved(bool removed);
    bool IsRemoved() const;
    // Called at the start of every control request, outside the lock, with its code:
    // lets a test count, pace or block requests.
    void SetRequestHook(std::function<void(std::uint32_t code)> hook);
    std::uint64_t RequestCount(std::uint32_t code) const;

    // ---- The device, as the platform reaches it
    // DeviceIoControl on the volume: answers success; `error` gets the Win32 error code.
    bool DeviceIoControl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                         std::uint32_t outSize, std::uint32_t& returned, std::uint32_t& error);
    // Open by file id asking for `desiredAccess`, and FileNameInformation: the path from
    // the root. NTSTATUS.
    std::int32_t QueryNameById(std::uint64_t fileId, void* buffer, std::uint32_t size,
                               std::uint32_t desiredAccess = file_access::kReadAttributes) const;

private:
    friend class SimOpenFile;

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
    using Lock = std::unique_lock<std::mutex>;

    // SimOpenFile's calls.
    bool HandleWrite(std::uint64_t id, std::uint64_t offset, std::uint64_t length);
    bool HandleSetLength(std::uint64_t id, std::uint64_t length);
    bool HandleRename(std::uint64_t id, std::uint64_t newParent, std::u16string_view newName,
                      bool replaceExisting);
    bool HandleSetAttributes(std::uint64_t id, std::uint32_t attributes);
    bool HandleNoteChange(std::uint64_t id, std::uint32_t reasons);
    bool HandleAddHardLink(std::uint64_t id, std::uint64_t parent, std::u16string_view name);
    bool HandleMarkForDelete(std::uint64_t id);
    void HandleClose(std::uint64_t id);

    // The same, with the lock held.
    std::uint64_t OpenLocked(std::uint32_t record, std::uint32_t parent, std::u16string_view name);
    std::uint64_t OpenFirstNameLocked(std::uint32_t record);
    std::uint64_t CreateLocked(std::uint32_t parent, std::u16string_view name,
                               std::uint32_t attributes);
    Handle* FindHandle(std::uint64_t id);
    bool WriteLocked(Handle& handle, std::uint64_t offset, std::uint64_t length);
    bool SetLengthLocked(Handle& handle, std::uint64_t length);
    bool RenameLocked(Handle& handle, std::uint32_t newParent, std::u16string_view newName,
                      bool replaceExisting);
    bool SetAttributesLocked(Handle& handle, std::uint32_t attributes);
    bool AddHardLinkLocked(Handle& handle, std::uint32_t parent, std::u16string_view name);
    bool MarkForDeleteLocked(Handle& handle);
    void CloseLocked(std::uint64_t id);
    // Gathers reason bits on the file; a record when a bit is new.
    void NoteLocked(const Handle& handle, std::uint32_t reasons);
    void EmitLocked(std::uint32_t record, std::uint32_t parent, std::u16string_view name,
                    std::uint32_t reason);
    bool DeleteNameLocked(std::uint32_t record, std::uint32_t parent, std::u16string_view name);
    bool DeleteTreeLocked(std::uint32_t record);
    std::uint32_t LookupLocked(std::u16string_view path) const;
    std::uint32_t WalkLocked(std::span<const std::u16string_view> names) const;
    std::uint32_t DirectoryRecordLocked(std::uint64_t reference) const;
    std::uint32_t EnsureDirectoryLocked(std::uint32_t parent, std::u16string_view name,
                                        std::uint32_t attributes);
    std::uint32_t RecycleFolderLocked(std::u16string_view sid) const;
    // Everything below a directory, each entry's contents before it, in index order.
    std::vector<Visit> BelowLocked(std::uint32_t dir) const;
    std::uint32_t AnswerLocked(std::uint32_t code, const std::uint8_t* in, std::uint32_t inSize,
                               std::uint8_t* out, std::uint32_t outSize, std::uint32_t& returned);
    void CreateJournalLocked(std::uint64_t maximumSize, std::uint64_t allocationDelta);
    std::uint32_t DeleteJournalLocked(const std::uint8_t* in, std::uint32_t inSize);
    std::uint64_t NextRandom();
    std::uint64_t NewJournalId();

    mutable std::mutex mutex_;
    std::shared_ptr<SimClock> clock_;
    SimFileTable files_;
    SimJournal journal_;
    SimJournalDeletion deletion_;
    std::unordered_map<std::uint64_t, Handle> handles_;
    std::uint64_t nextHandleId_ = 1;
    std::uint64_t random_;
    bool removed_ = false;
    int failuresLeft_ = 0;
    std::uint32_t failCode_ = 0;
    std::uint32_t failError_ = 0;
    std::shared_ptr<const std::function<void(std::uint32_t)>> hook_;
    std::map<std::uint32_t, std::uint64_t> requestCounts_;
    // By reference, sequence included: a record used again starts without rules.
    std::unordered_map<std::uint64_t, std::uint32_t> deniedRights_;
};
