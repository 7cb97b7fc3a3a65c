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
#include <utility>
#include <vector>

#include "engine/VolumePlatform.h"
#include "ntfs/JournalRecords.h"
#include "ntfs/Win32Codes.h"
#include "sim/SimClock.h"
#include "sim/SimDevice.h"
#include "sim/SimHandleCalls.h"
#include "sim/SimJournal.h"
#include "sim/SimJournalDeletion.h"
#include "sim/SimNtfs.h"
#include "sim/SimOpenFile.h"
#include "sim/SimRecord.h"

// An in-memory NTFS volume, thread-safe: the NTFS model (SimNtfs: the tree, the journal,
// the handles and the records each operation writes) and the device's answers (SimDevice)
// behind one lock, so that an engine's worker can read the journal while a test or a
// scenario thread changes files; and the faults a test switches on (failing requests, a
// volume removed, a hook that paces the requests, which runs outside the lock).
// Operations taking a file reference act on the file's first name; they answer 0 or
// false when the reference is stale or the change is refused.
class SimVolume final : private SimHandleCalls {
public:
    static constexpr std::uint64_t kRoot = SimNtfs::kRoot;
    static constexpr std::u16string_view kDefaultUserSid = SimNtfs::kDefaultUserSid;
    static constexpr std::u16string_view kRecycleBinName = SimNtfs::kRecycleBinName;

    // A volume with an active journal (as a system volume has), empty but for the root.
    // `seed` makes the journal identifiers and recycle-bin names repeatable.
    explicit SimVolume(std::shared_ptr<SimClock> clock = std::make_shared<SimClock>(),
                       std::uint64_t seed = 1);
    SimVolume(const SimVolume&) = delete;
    SimVolume& operator=(const SimVolume&) = delete;
    ~SimVolume();

    SimClock& Clock() const { return model_.Clock(); }
    // What GetVolumeInformationW and GetFileInformationByHandle give as the volume's serial
    // number: drawn from the seed, so that volumes of other seeds differ.
    std::uint32_t SerialNumber() const { return serialNumber_; }

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
    static constexpr int kDeletionRequests = SimDevice::kDeletionRequests;
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
    using Lock = std::unique_lock<std::mutex>;

    // A call of the model or the device under the lock.
    template <typename Call>
    auto Locked(Call&& call) const {
        const Lock lock(mutex_);
        return call();
    }
    SimOpenFile Handed(SimNtfs::Opened opened) {
        return opened.handle == 0 ? SimOpenFile()
                                  : SimOpenFile(this, opened.handle, opened.reference);
    }

    // SimOpenFile's calls.
    bool HandleWrite(std::uint64_t handle, std::uint64_t offset, std::uint64_t length) override;
    bool HandleSetLength(std::uint64_t handle, std::uint64_t length) override;
    bool HandleRename(std::uint64_t handle, std::uint64_t newParent, std::u16string_view newName,
                      bool replaceExisting) override;
    bool HandleSetAttributes(std::uint64_t handle, std::uint32_t attributes) override;
    bool HandleNoteChange(std::uint64_t handle, std::uint32_t reasons) override;
    bool HandleAddHardLink(std::uint64_t handle, std::uint64_t parent,
                           std::u16string_view name) override;
    bool HandleMarkForDelete(std::uint64_t handle) override;
    void HandleClose(std::uint64_t handle) override;

    const std::uint32_t serialNumber_;
    mutable std::mutex mutex_;
    SimNtfs model_;
    SimDevice device_{model_};
    bool removed_ = false;
    int failuresLeft_ = 0;
    std::uint32_t failCode_ = 0;
    std::uint32_t failError_ = 0;
    std::shared_ptr<const std::function<void(std::uint32_t)>> hook_;
    std::map<std::uint32_t, std::uint64_t> requestCounts_;
};
