#include "sim/SimFileTable.h"

#include <algorithm>
#include <cstring>

#include "ntfs/Win32Codes.h"
#include "sim/SimNames.h"
#include "sim/SimRecord.h"

namespace {

constexpr std::uint64_t kRecordMask = 0xFFFFFFFFFFFFULL;
// Deeper chains of parents are taken as broken (a loop would never end).
constexpr int kMaxDepth = 4096;
// Record numbers a loaded table may place entries at.
constexpr std::uint64_t kMaxPlacedRecord = 1ULL << 28;
// The name pool is rebuilt once this many units are dead and they are half of it.
constexpr std::size_t kCompactionThreshold = 1 << 20;
constexpr std::uint32_t kNextStartSize = 8;

}  // namespace

SimFileTable::SimFileTable() : entries_(kFirstUserRecord) {
    Entry& root = entries_[kRootRecord];
    root.inUse = true;
    root.sequence = kRootRecord;
    root.attributes = ntfs::kAttributeHidden | ntfs::kAttributeSystem | ntfs::kAttributeDirectory;
    root.parent = kRootRecord;
    root.nameStart = StoreName(u".");
    root.nameLength = 1;
    root.linkCount = 1;
    inUse_ = 1;
}

std::uint32_t SimFileTable::RecordOf(std::uint64_t reference) const {
    const std::uint64_t record = reference & kRecordMask;
    if (record >= entries_.size() || !entries_[record].inUse ||
        ReferenceOf(static_cast<std::uint32_t>(record)) != reference) {
        return kNone;
    }
    return static_cast<std::uint32_t>(record);
}

std::uint64_t SimFileTable::ReferenceOf(std::uint32_t record) const {
    return ntfs::MakeFileReference(record, entries_[record].sequence);
}

bool SimFileTable::IsInUse(std::uint32_t record) const {
    return record < entries_.size() && entries_[record].inUse;
}

bool SimFileTable::IsDirectory(std::uint32_t record) const {
    return IsInUse(record) && (entries_[record].attributes & ntfs::kAttributeDirectory) != 0;
}

std::u16string_view SimFileTable::NameOf(std::uint32_t record) const {
    return NameAt(entries_[record].nameStart, entries_[record].nameLength);
}

std::uint32_t SimFileTable::Allocate(std::uint32_t attributes) {
    std::uint32_t record = kNone;
    while (!free_.empty() && record == kNone) {
        // Placing may have taken a free record since it was queued.
        if (!entries_[free_.top()].inUse) {
            record = free_.top();
        }
        free_.pop();
    }
    if (record == kNone) {
        record = static_cast<std::uint32_t>(entries_.size());
        entries_.emplace_back();
    }
    Entry& entry = entries_[record];
    const std::uint16_t sequence = static_cast<std::uint16_t>(entry.sequence + 1);
    entry = Entry{};
    entry.sequence = sequence == 0 ? 1 : sequence;  // 0 would mean "any sequence"
    entry.attributes = attributes;
    entry.inUse = true;
    ++inUse_;
    return record;
}

bool SimFileTable::Place(std::uint64_t reference, std::uint32_t attributes) {
    const std::uint64_t record = reference & kRecordMask;
    if (record >= kMaxPlacedRecord) {
        return false;
    }
    while (entries_.size() <= record) {
        free_.push(static_cast<std::uint32_t>(entries_.size()));
        entries_.emplace_back();
    }
    Entry& entry = entries_[record];
    if (entry.inUse) {
        return false;
    }
    entry = Entry{};
    entry.sequence = static_cast<std::uint16_t>(reference >> 48);
    entry.attributes = attributes;
    entry.inUse = true;
    ++inUse_;
    return true;
}

void SimFileTable::Free(std::uint32_t record) {
    Entry& entry = entries_[record];
    if (!entry.inUse || record < kSystemRecords) {
        return;
    }
    const std::uint16_t sequence = entry.sequence;
    entry = Entry{};
    entry.sequence = sequence;
    --inUse_;
    free_.push(record);
}

void SimFileTable::AddLink(std::uint32_t record, std::uint32_t parent, std::u16string_view name) {
    Entry& entry = entries_[record];
    if (entry.linkCount == 0) {
        SetFirstName(record, parent, name);
    } else {
        const std::uint32_t start = StoreName(name);
        extraLinks_.push_back({record, parent, start, static_cast<std::uint16_t>(name.size())});
        IndexExtraLink(extraLinks_.size() - 1, true);
    }
    ++entries_[record].linkCount;
}

bool SimFileTable::RemoveLink(std::uint32_t record, std::uint32_t parent,
                              std::u16string_view name) {
    Entry& entry = entries_[record];
    if (entry.linkCount == 0) {
        return false;
    }
    if (entry.parent == parent && sim_names::Equal(NameOf(record), name)) {
        DropFirstName(record);
        // Another name, if there is one, becomes the first.
        const auto extra =
            std::find_if(extraLinks_.begin(), extraLinks_.end(),
                         [record](const ExtraLink& link) { return link.record == record; });
        if (extra != extraLinks_.end()) {
            const std::u16string promoted(NameAt(extra->nameStart, extra->nameLength));
            const std::uint32_t promotedParent = extra->parent;
            EraseExtraLink(static_cast<std::size_t>(extra - extraLinks_.begin()));
            SetFirstName(record, promotedParent, promoted);
        }
    } else {
        const std::size_t i = FindExtraLink(record, parent, name);
        if (i == extraLinks_.size()) {
            return false;
        }
        EraseExtraLink(i);
    }
    --entries_[record].linkCount;
    CompactNamesIfWasteful();
    return true;
}

bool SimFileTable::RenameLink(std::uint32_t record, std::uint32_t oldParent,
                              std::u16string_view oldName, std::uint32_t newParent,
                              std::u16string_view newName) {
    Entry& entry = entries_[record];
    if (entry.linkCount > 0 && entry.parent == oldParent &&
        sim_names::Equal(NameOf(record), oldName)) {
        const std::u16string name(newName);  // may view the pool that changes below
        DropFirstName(record);
        SetFirstName(record, newParent, name);
    } else {
        const std::size_t i = FindExtraLink(record, oldParent, oldName);
        if (i == extraLinks_.size()) {
            return false;
        }
        const std::uint32_t start = StoreName(newName);
        IndexExtraLink(i, false);
        ReleaseName(extraLinks_[i].nameLength);
        extraLinks_[i].parent = newParent;
        extraLinks_[i].nameStart = start;
        extraLinks_[i].nameLength = static_cast<std::uint16_t>(newName.size());
        IndexExtraLink(i, true);
    }
    CompactNamesIfWasteful();
    return true;
}

std::vector<SimFileTable::Link> SimFileTable::LinksOf(std::uint32_t record) const {
    std::vector<Link> links;
    if (!IsInUse(record) || entries_[record].linkCount == 0) {
        return links;
    }
    links.push_back({entries_[record].parent, std::u16string(NameOf(record))});
    for (const ExtraLink& link : extraLinks_) {
        if (link.record == record) {
            links.push_back({link.parent, std::u16string(NameAt(link.nameStart, link.nameLength))});
        }
    }
    return links;
}

std::uint32_t SimFileTable::FindChild(std::uint32_t parent, std::u16string_view name) const {
    const std::uint32_t found = index_.Find(sim_names::Hash(parent, name), [&](std::uint32_t id) {
        if ((id & kExtraLinkBit) != 0) {
            const ExtraLink& link = extraLinks_[id & ~kExtraLinkBit];
            return link.parent == parent &&
                   sim_names::Equal(NameAt(link.nameStart, link.nameLength), name);
        }
        return entries_[id].parent == parent && sim_names::Equal(NameOf(id), name);
    });
    if (found == SimNameIndex::kNone) {
        return kNone;
    }
    return (found & kExtraLinkBit) != 0 ? extraLinks_[found & ~kExtraLinkBit].record : found;
}

std::vector<std::pair<std::uint32_t, std::u16string>> SimFileTable::ChildrenOf(
    std::uint32_t dir) const {
    std::vector<std::pair<std::uint32_t, std::u16string>> children;
    for (std::uint32_t child = entries_[dir].firstChild; child != kNone;
         child = entries_[child].nextSibling) {
        children.emplace_back(child, NameOf(child));
    }
    for (const ExtraLink& link : extraLinks_) {
        if (link.parent == dir) {
            children.emplace_back(link.record, NameAt(link.nameStart, link.nameLength));
        }
    }
    std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) {
        return sim_names::Compare(a.second, b.second) < 0;
    });
    return children;
}

bool SimFileTable::HasChildren(std::uint32_t dir) const {
    if (entries_[dir].firstChild != kNone) {
        return true;
    }
    return std::any_of(extraLinks_.begin(), extraLinks_.end(),
                       [dir](const ExtraLink& link) { return link.parent == dir; });
}

bool SimFileTable::IsWithin(std::uint32_t record, std::uint32_t ancestor) const {
    for (int depth = 0; depth < kMaxDepth && IsInUse(record); ++depth) {
        if (record == ancestor) {
            return true;
        }
        if (record == kRootRecord) {
            return false;
        }
        record = entries_[record].parent;
    }
    return false;
}

bool SimFileTable::PathOf(std::uint32_t record, std::u16string& path) const {
    std::vector<std::uint32_t> chain;
    while (record != kRootRecord) {
        if (!IsInUse(record) || entries_[record].linkCount == 0 || chain.size() >= kMaxDepth) {
            return false;
        }
        chain.push_back(record);
        record = entries_[record].parent;
    }
    path.assign(1, u'\\');  // the root's own path
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (it != chain.rbegin()) {
            path.push_back(u'\\');
        }
        path.append(NameOf(*it));
    }
    return true;
}

std::uint32_t SimFileTable::Enumerate(const ntfs::MftEnumDataV0& request, std::uint8_t* out,
                                      std::uint32_t outSize, std::uint32_t& returned) const {
    returned = 0;
    if (out == nullptr || outSize < kNextStartSize) {
        return win32::kErrorInsufficientBuffer;
    }
    const std::uint64_t start = request.StartFileReferenceNumber & kRecordMask;
    std::uint32_t used = kNextStartSize;
    std::uint64_t next = entries_.size();
    for (std::uint64_t r = std::max<std::uint64_t>(start, kSystemRecords); r < entries_.size();
         ++r) {
        const auto record = static_cast<std::uint32_t>(r);
        const Entry& entry = entries_[record];
        if (!entry.inUse || entry.linkCount == 0 || entry.lastUsn < request.LowUsn ||
            entry.lastUsn > request.HighUsn) {
            continue;
        }
        const std::u16string_view name = NameOf(record);
        const std::uint32_t length = SimRecord::LengthFor(name.size());
        if (length > outSize - used) {
            if (used == kNextStartSize) {
                return win32::kErrorInsufficientBuffer;
            }
            next = r;
            break;
        }
        ntfs::UsnRecordV2Header header{};
        header.MajorVersion = 2;
        header.FileReferenceNumber = ReferenceOf(record);
        header.ParentFileReferenceNumber = ReferenceOf(entry.parent);
        header.Usn = entry.lastUsn;
        header.FileAttributes = entry.attributes;
        SimRecord::EncodeTo(header, name, out + used);
        used += length;
    }
    if (used == kNextStartSize) {
        return win32::kErrorHandleEof;  // nothing left: how an enumeration ends
    }
    std::memcpy(out, &next, sizeof next);
    returned = used;
    return win32::kErrorSuccess;
}

std::size_t SimFileTable::MemoryBytes() const {
    return entries_.capacity() * sizeof(Entry) + names_.capacity() * sizeof(char16_t) +
           extraLinks_.capacity() * sizeof(ExtraLink) + index_.MemoryBytes();
}

std::u16string_view SimFileTable::NameAt(std::uint32_t start, std::uint16_t length) const {
    return {names_.data() + start, length};
}

std::uint32_t SimFileTable::StoreName(std::u16string_view name) {
    const std::less<const char16_t*> before;
    if (!before(name.data(), names_.data()) && before(name.data(), names_.data() + names_.size())) {
        return StoreName(std::u16string(name));  // the pool may move while it grows
    }
    const auto start = static_cast<std::uint32_t>(names_.size());
    names_.insert(names_.end(), name.begin(), name.end());
    return start;
}

void SimFileTable::ReleaseName(std::uint16_t length) {
    deadNameUnits_ += length;
}

void SimFileTable::CompactNamesIfWasteful() {
    if (deadNameUnits_ < kCompactionThreshold || deadNameUnits_ * 2 < names_.size()) {
        return;
    }
    std::vector<char16_t> live;
    live.reserve(names_.size() - deadNameUnits_);
    const auto move = [&](std::uint32_t& start, std::uint16_t length) {
        const auto newStart = static_cast<std::uint32_t>(live.size());
        live.insert(live.end(), names_.begin() + start, names_.begin() + start + length);
        start = newStart;
    };
    for (Entry& entry : entries_) {
        if (entry.inUse) {
            move(entry.nameStart, entry.nameLength);
        }
    }
    for (ExtraLink& link : extraLinks_) {
        move(link.nameStart, link.nameLength);
    }
    names_.swap(live);
    deadNameUnits_ = 0;
}

void SimFileTable::SetFirstName(std::uint32_t record, std::uint32_t parent,
                                std::u16string_view name) {
    const std::uint32_t start = StoreName(name);
    Entry& entry = entries_[record];
    entry.nameStart = start;
    entry.nameLength = static_cast<std::uint16_t>(name.size());
    entry.parent = parent;
    entry.prevSibling = kNone;
    entry.nextSibling = entries_[parent].firstChild;
    if (entry.nextSibling != kNone) {
        entries_[entry.nextSibling].prevSibling = record;
    }
    entries_[parent].firstChild = record;
    index_.Insert(sim_names::Hash(parent, name), record);
}

void SimFileTable::DropFirstName(std::uint32_t record) {
    Entry& entry = entries_[record];
    index_.Erase(sim_names::Hash(entry.parent, NameOf(record)), record);
    if (entry.prevSibling != kNone) {
        entries_[entry.prevSibling].nextSibling = entry.nextSibling;
    } else {
        entries_[entry.parent].firstChild = entry.nextSibling;
    }
    if (entry.nextSibling != kNone) {
        entries_[entry.nextSibling].prevSibling = entry.prevSibling;
    }
    ReleaseName(entry.nameLength);
    entry.nextSibling = kNone;
    entry.prevSibling = kNone;
    entry.nameLength = 0;
}

void SimFileTable::IndexExtraLink(std::size_t i, bool insert) {
    const ExtraLink& link = extraLinks_[i];
    const std::uint32_t hash =
        sim_names::Hash(link.parent, NameAt(link.nameStart, link.nameLength));
    const auto id = static_cast<std::uint32_t>(i) | kExtraLinkBit;
    if (insert) {
        index_.Insert(hash, id);
    } else {
        index_.Erase(hash, id);
    }
}

void SimFileTable::EraseExtraLink(std::size_t i) {
    IndexExtraLink(i, false);
    ReleaseName(extraLinks_[i].nameLength);
    const std::size_t last = extraLinks_.size() - 1;
    if (i != last) {
        // The last link takes the freed place, and its index entry follows it.
        IndexExtraLink(last, false);
        extraLinks_[i] = extraLinks_[last];
        IndexExtraLink(i, true);
    }
    extraLinks_.pop_back();
}

std::size_t SimFileTable::FindExtraLink(std::uint32_t record, std::uint32_t parent,
                                        std::u16string_view name) const {
    for (std::size_t i = 0; i < extraLinks_.size(); ++i) {
        const ExtraLink& link = extraLinks_[i];
        if (link.record == record && link.parent == parent &&
            sim_names::Equal(NameAt(link.nameStart, link.nameLength), name)) {
            return i;
        }
    }
    return extraLinks_.size();
}
