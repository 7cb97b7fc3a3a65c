#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <queue>
#include <string>
#include <string_view>
#include <vector>

#include "ntfs/JournalRecords.h"
#include "sim/SimNameIndex.h"

// The master file table of a simulated volume: one flat entry per record number, the
// names in one pool of UTF-16 units, each directory's entries in an intrusive list, and
// a hash index from (directory, upper-case name) to the entry or further name. A million entries
// take about 56 bytes each plus their names and 16 bytes of index, with no allocation per entry.
// Record 5 is the root directory (sequence 5, its own parent); records below 16 are the volume's
// own files: never allocated nor enumerated, but a loaded table may place its system directories
// there ($Extend is record 11). New entries take the lowest free record from 64 on, and a record
// used again gets the next sequence number. A file may have further names (hard
// links) in other directories.
//
// It knows nothing of handles or the journal; its volume keeps those and serialises
// access. Name views it hands out are valid until the next change.
class SimFileTable {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    static constexpr std::uint32_t kRootRecord = 5;
    static constexpr std::uint32_t kSystemRecords = 16;
    static constexpr std::uint32_t kFirstUserRecord = 64;

    struct Entry {
        std::int64_t lastUsn = 0;  // Usn of the entry's latest journal record
        std::uint64_t size = 0;    // bytes of data
        std::uint32_t nameStart = 0;
        std::uint32_t parent = kNone;
        std::uint32_t attributes = 0;
        std::uint32_t firstChild = kNone;
        std::uint32_t nextSibling = kNone;
        std::uint32_t prevSibling = kNone;
        std::uint32_t reasons = 0;  // gathered since the last handle closed
        std::uint16_t nameLength = 0;
        std::uint16_t sequence = 0;
        std::uint16_t linkCount = 0;
        std::uint16_t openCount = 0;
        bool inUse = false;
        bool deletePending = false;
    };

    struct Link {
        std::uint32_t parent;
        std::u16string name;
    };

    SimFileTable();

    // The in-use record that `reference` names, sequence included; kNone otherwise.
    std::uint32_t RecordOf(std::uint64_t reference) const;
    std::uint64_t ReferenceOf(std::uint32_t record) const;
    bool IsInUse(std::uint32_t record) const;
    bool IsDirectory(std::uint32_t record) const;
    Entry& At(std::uint32_t record) { return entries_[record]; }
    const Entry& At(std::uint32_t record) const { return entries_[record]; }
    // The entry's first name (the one its own fields hold).
    std::u16string_view NameOf(std::uint32_t record) const;

    // A new in-use entry without a name yet: the lowest free record, next sequence.
    std::uint32_t Allocate(std::uint32_t attributes);
    // An in-use entry at the record number and sequence of `reference` (loading a real
    // table, the volume's own directories included); false for a record in use.
    bool Place(std::uint64_t reference, std::uint32_t attributes);
    // Releases an entry whose names are all removed; its sequence is kept for reuse.
    void Free(std::uint32_t record);

    void AddLink(std::uint32_t record, std::uint32_t parent, std::u16string_view name);
    bool RemoveLink(std::uint32_t record, std::uint32_t parent, std::u16string_view name);
    bool RenameLink(std::uint32_t record, std::uint32_t oldParent, std::u16string_view oldName,
                    std::uint32_t newParent, std::u16string_view newName);
    std::vector<Link> LinksOf(std::uint32_t record) const;

    // The entry that directory `parent` holds as `name` (any letter case), or kNone.
    std::uint32_t FindChild(std::uint32_t parent, std::u16string_view name) const;
    // The names a directory holds, in the order of its index.
    std::vector<std::pair<std::uint32_t, std::u16string>> ChildrenOf(std::uint32_t dir) const;
    bool HasChildren(std::uint32_t dir) const;
    // Whether `record` is `ancestor` or lies below it.
    bool IsWithin(std::uint32_t record, std::uint32_t ancestor) const;
    // "\dir\sub" by first names from the root ("\" for the root); false when the chain
    // of parents is broken.
    bool PathOf(std::uint32_t record, std::u16string& path) const;

    // FSCTL_ENUM_USN_DATA: the next start, then one record per in-use entry from the
    // start on whose last Usn lies in LowUsn..HighUsn. Answers a Win32 error code.
    std::uint32_t Enumerate(const ntfs::MftEnumDataV0& request, std::uint8_t* out,
                            std::uint32_t outSize, std::uint32_t& returned) const;

    std::size_t InUseCount() const { return inUse_; }
    std::size_t MemoryBytes() const;

private:
    // Index entries of further names carry this bit and the name's place in extraLinks_.
    static constexpr std::uint32_t kExtraLinkBit = 0x80000000u;

    struct ExtraLink {
        std::uint32_t record;
        std::uint32_t parent;
        std::uint32_t nameStart;
        std::uint16_t nameLength;
    };

    std::u16string_view NameAt(std::uint32_t start, std::uint16_t length) const;
    std::uint32_t StoreName(std::u16string_view name);
    void ReleaseName(std::uint16_t length);
    void CompactNamesIfWasteful();
    void SetFirstName(std::uint32_t record, std::uint32_t parent, std::u16string_view name);
    void DropFirstName(std::uint32_t record);
    void IndexExtraLink(std::size_t i, bool insert);
    // Removes a further name; the last one moves into its place.
    void EraseExtraLink(std::size_t i);
    std::size_t FindExtraLink(std::uint32_t record, std::uint32_t parent,
                              std::u16string_view name) const;

    std::vector<Entry> entries_;
    std::vector<char16_t> names_;
    std::size_t deadNameUnits_ = 0;
    std::vector<ExtraLink> extraLinks_;
    SimNameIndex index_;
    std::priority_queue<std::uint32_t, std::vector<std::uint32_t>, std::greater<>> free_;
    std::size_t inUse_ = 0;
};
