// Arbitrary bytes as journal read results, walked as the reader walks a batch and handed
// to classification over a small simulated volume that answers its name queries. Whatever
// the bytes, nothing is read outside them, no text is used after it is gone, and the held
// names stay bounded.
//
// Input: one byte of settings, then batches, each a 16-bit little-endian length and that
// many bytes (at most a read's 4096).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>

#include "engine/BatchWalk.h"
#include "engine/ChangeClassifier.h"
#include "engine/FileRecordIndex.h"
#include "engine/VolumeJournalWatcher.h"
#include "engine/WatcherSlots.h"
#include "report/ChangeJson.h"
#include "sim/SimPlatform.h"

namespace {

struct Volume {
    SimPlatform platform;
    SimVolume& disk = platform.AddDrive(u'C');
    std::uint64_t data = disk.MakeDirectory(SimVolume::kRoot, u"data");
    std::uint64_t sub = disk.MakeDirectory(data, u"sub");
    std::uint64_t deep = disk.MakeDirectories(u"\\data\\sub\\a\\b\\c");
    std::uint64_t recycle = disk.Recycle(disk.MakeFile(data, u"x.txt")).folder;
    PlatformHandle handle = platform.OpenVolume(CWString(u"\\\\.\\C:"));
};

Volume& TheVolume() {
    static Volume volume;
    return volume;
}

// Reference numbers mostly among those the volume knows, so that the ancestry walk, the
// index upkeep and the name queries are reached; a set top bit keeps the value as it is.
std::uint64_t Remap(std::uint64_t value, const Volume& v) {
    if (value >> 63) {
        return value;
    }
    const std::uint64_t known[] = {
        v.data, v.sub, v.deep, SimVolume::kRoot, v.recycle, 0, ntfs::MakeFileReference(0x77, 1)};
    return known[value % (sizeof known / sizeof known[0])];
}

// The kinds chosen by the bits of `wanted`, each change written as its JSON line, which
// reads every text it is given, so that a text that is not valid is noticed.
WatcherSlots Slots(std::uint8_t wanted) {
    return WatcherSlots::Every(
        [](const FileChange& change) { (void)ChangeJsonLine(change).size(); },
        [wanted](ChangeKind kind) { return ((wanted >> IndexOf(kind)) & 1) != 0; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    Volume& v = TheVolume();
    const std::uint8_t settings = bytes[0];
    const bool filter = (settings & 1) != 0;
    const WatcherSlots slots = Slots(settings & 2 ? 0xFF : bytes[1]);
    std::set<std::uint64_t> watched{v.data};
    FileRecordIndex index;
    index.Set(v.data, SimVolume::kRoot, u"data");
    index.Set(v.sub, v.data, u"sub");
    // Not `deep`: its path is asked of the volume.
    const WatchScope scope{v.platform, v.handle, u"C:\\", filter ? &watched : nullptr, &index,
                           slots};
    ChangeClassifier classifier(scope);
    const std::int64_t fromUsn = settings & 4 ? INT64_MIN : 0;

    std::size_t at = 2;
    while (at + 2 <= size) {
        std::size_t length = bytes[at] | (std::size_t{bytes[at + 1]} << 8);
        at += 2;
        length = std::min({length, size - at, std::size_t{JournalReader::kReadBufferSize}});
        // A copy of exactly the batch's bytes, so that a read past it is caught.
        std::uint8_t* batch = static_cast<std::uint8_t*>(std::malloc(length == 0 ? 1 : length));
        std::memcpy(batch, bytes + at, length);
        journal::WalkBatch(batch, length, fromUsn, [&](const ntfs::UsnRecordV2& record) {
            // The record's own copy, its reference numbers mapped onto the small volume.
            std::uint8_t* copy = static_cast<std::uint8_t*>(std::malloc(record.RecordLength()));
            std::memcpy(copy, record.Bytes(), record.RecordLength());
            const std::uint64_t file = Remap(record.FileReferenceNumber(), v);
            const std::uint64_t parent = Remap(record.ParentFileReferenceNumber(), v);
            std::memcpy(copy + offsetof(ntfs::UsnRecordV2Header, FileReferenceNumber), &file,
                        sizeof file);
            std::memcpy(copy + offsetof(ntfs::UsnRecordV2Header, ParentFileReferenceNumber),
                        &parent, sizeof parent);
            classifier.ClassifyRecord(ntfs::UsnRecordV2(copy, record.RecordLength()));
            std::free(copy);
        });
        std::free(batch);
        at += length;
    }
    if (classifier.PendingNameCount() > PendingNames::kDefaultCapacity) {
        std::abort();
    }
    return 0;
}
