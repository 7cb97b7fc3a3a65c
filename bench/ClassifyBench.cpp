// Classification of close records in a directory eight levels deep, through the walk of a
// 4096-byte read result, with the ancestry test and the name query of every record against
// a simulated volume; beside it, in the same run, the walk alone over the same batch with
// its time filter and a bare loop over the record lengths, for the ratios.
#include <benchmark/benchmark.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "engine/BatchWalk.h"
#include "engine/ChangeClassifier.h"
#include "engine/DirectoryEnumeration.h"
#include "sim/SimPlatform.h"

namespace {

constexpr std::int64_t kWatchStart = 133000000000000000LL;

// One read result: the next USN, then close records of content changes of files in
// `parent`, names of 12 to 30 characters, all stamped after the start.
std::vector<std::uint8_t> MakeBatch(std::uint64_t parent) {
    std::vector<std::uint8_t> batch(4096, 0);
    std::size_t offset = 8;
    for (int i = 0;; ++i) {
        const std::u16string name =
            u"document-" + std::u16string(static_cast<std::size_t>(3 + i % 19), u'x') + u".txt";
        const std::size_t nameBytes = name.size() * 2;
        const std::size_t length = (ntfs::kUsnRecordV2HeaderSize + nameBytes + 7) / 8 * 8;
        if (offset + length > batch.size()) {
            break;
        }
        ntfs::UsnRecordV2Header h{};
        h.RecordLength = static_cast<std::uint32_t>(length);
        h.MajorVersion = 2;
        h.FileReferenceNumber = ntfs::MakeFileReference(1000 + i, 1);
        h.ParentFileReferenceNumber = parent;
        h.Usn = static_cast<std::int64_t>(offset);
        h.TimeStamp = kWatchStart + 1;
        h.Reason = ntfs::kReasonClose | ntfs::kReasonDataExtend;
        h.FileAttributes = ntfs::kAttributeArchive;
        h.FileNameLength = static_cast<std::uint16_t>(nameBytes);
        h.FileNameOffset = static_cast<std::uint16_t>(ntfs::kUsnRecordV2HeaderSize);
        std::memcpy(batch.data() + offset, &h, ntfs::kUsnRecordV2HeaderSize);
        std::memcpy(batch.data() + offset + ntfs::kUsnRecordV2HeaderSize, name.data(), nameBytes);
        offset += length;
    }
    batch.resize(offset);
    return batch;
}

int CountRecords(const std::vector<std::uint8_t>& batch) {
    int n = 0;
    journal::WalkBatch(batch.data(), batch.size(), INT64_MIN,
                       [&](const ntfs::UsnRecordV2&) { ++n; });
    return n;
}

// C:\level1\…\level8, the directories in the index as the enumeration enters them.
struct DeepVolume {
    SimPlatform platform;
    SimVolume& disk = platform.AddDrive(u'C');
    std::vector<std::uint64_t> levels;  // levels[0] is level1
    PlatformHandle handle = kInvalidPlatformHandle;
    FileRecordIndex index;

    DeepVolume() {
        std::u16string path;
        for (int level = 1; level <= 8; ++level) {
            path += u"\\level" + std::u16string(1, static_cast<char16_t>(u'0' + level));
            levels.push_back(disk.MakeDirectories(path));
        }
        handle = platform.OpenVolume(CWString(u"\\\\.\\C:"));
        StopSignal stop;
        EnumerateDirectories(platform, handle, stop, index);
    }
    ~DeepVolume() { platform.CloseVolume(handle); }
};

// Arg: how many levels above the records' directory the watched one lies (0: the records
// are in the watched directory itself; 7: the watched one is level1).
void BM_ClassifyCloseRecords(benchmark::State& state) {
    DeepVolume volume;
    const std::set<std::uint64_t> watched{
        volume.levels[7 - static_cast<std::size_t>(state.range(0))]};
    const CWString root(u"C:\\");
    const CWString recycle(u"C:\\$RECYCLE.BIN\\S-1-5-21-1-2-3-1000\\");
    std::int64_t reported = 0;
    WatcherSlots slots;
    slots.OnContentChanged = [&reported](CWString& name, CWString& dir, int, FileTime&, int) {
        reported += name.Length() + dir.Length();
        return 0;
    };
    const WatchScope scope{volume.platform, volume.handle, root, recycle,
                           &watched,        &volume.index, slots};
    ChangeClassifier classifier(scope);
    const auto batch = MakeBatch(volume.levels[7]);
    for (auto _ : state) {
        journal::WalkBatch(batch.data(), batch.size(), kWatchStart,
                           [&](const ntfs::UsnRecordV2& r) { classifier.ClassifyRecord(r); });
    }
    benchmark::DoNotOptimize(reported);
    state.SetItemsProcessed(state.iterations() * CountRecords(batch));
}
BENCHMARK(BM_ClassifyCloseRecords)->Arg(0)->Arg(7);

// The walk alone, handing each record to a stand-in for classification.
void BM_WalkOnly(benchmark::State& state) {
    const auto batch = MakeBatch(ntfs::kRootFileReference);
    for (auto _ : state) {
        std::uint64_t handed = 0;
        journal::WalkBatch(batch.data(), batch.size(), kWatchStart,
                           [&](const ntfs::UsnRecordV2& r) {
                               handed += r.Reason() + static_cast<std::uint64_t>(r.NameUnits());
                           });
        benchmark::DoNotOptimize(handed);
    }
    state.SetItemsProcessed(state.iterations() * CountRecords(batch));
}
BENCHMARK(BM_WalkOnly);

// A loop that only steps over the records by their lengths.
void BM_BareLengthSum(benchmark::State& state) {
    const auto batch = MakeBatch(ntfs::kRootFileReference);
    for (auto _ : state) {
        std::uint64_t sum = 0;
        std::size_t offset = 8;
        while (offset < batch.size()) {
            std::uint32_t length;
            std::memcpy(&length, batch.data() + offset, sizeof length);
            sum += length;
            offset += length;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * CountRecords(batch));
}
BENCHMARK(BM_BareLengthSum);

}  // namespace

BENCHMARK_MAIN();
