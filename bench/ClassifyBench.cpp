// Classification of close records in a directory eight levels deep, through the walk of a
// 4096-byte read result, with the ancestry test and the path of every record built from
// the directory index (and, as the baseline, from the name query by id against a simulated
// volume); beside it, in the same run, the walk alone over the same batch and a bare loop
// over the record lengths, for the ratios. Then attribute changes inside the tree with the
// slots the window binds, which has no line for them: no path may be built for them.
//
// Then the same at the size of a large file server: an index of 1,000,000 directories and
// close records in directories eight levels deep outside the watched tree, which the
// classifier drops after walking their ancestry up to the root; beside it the walk alone,
// over the directory index and over the std::map it replaced, kept here as the baseline.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/BatchWalk.h"
#include "engine/ChangeClassifier.h"
#include "engine/DirectoryEnumeration.h"
#include "sim/SimPlatform.h"

namespace {

constexpr std::int64_t kWatchStart = 133000000000000000LL;
constexpr std::uint32_t kContentChange = ntfs::kReasonClose | ntfs::kReasonDataExtend;
constexpr std::uint32_t kAttributeChange = ntfs::kReasonClose | ntfs::kReasonBasicInfoChange;

// One read result: the next USN, then close records of content changes of files in the
// directories `nextParent` names, names of 12 to 30 characters, all stamped after the start.
template <class NextParent>
std::vector<std::uint8_t> MakeBatch(NextParent nextParent, std::uint32_t reason = kContentChange) {
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
        h.ParentFileReferenceNumber = nextParent();
        h.Usn = static_cast<std::int64_t>(offset);
        h.TimeStamp = kWatchStart + 1;
        h.Reason = reason;
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

// Args: how many levels above the records' directory the watched one lies (0: the records
// are in the watched directory itself; 7: the watched one is level1); whether the index
// holds the directories' names (1: each path is built from it; 0: as before the index kept
// names, each path comes from the name query by id, the baseline).
void BM_ClassifyCloseRecords(benchmark::State& state) {
    DeepVolume volume;
    if (state.range(1) == 0) {
        for (const std::uint64_t level : volume.levels) {
            std::uint64_t parent = 0;
            volume.index.FindParent(level, parent);
            volume.index.Set(level, parent, u"");  // a name not known
        }
    }
    const std::set<std::uint64_t> watched{
        volume.levels[7 - static_cast<std::size_t>(state.range(0))]};
    std::int64_t reported = 0;
    WatcherSlots slots;
    slots[ChangeKind::ContentChanged] = [&reported](const FileChange& change) {
        reported += static_cast<std::int64_t>(change.name.size() + change.dir.size());
    };
    const WatchScope scope{volume.platform, volume.handle, u"C:\\", &watched, &volume.index, slots};
    ChangeClassifier classifier(scope);
    const auto batch = MakeBatch([&] { return volume.levels[7]; });
    for (auto _ : state) {
        journal::WalkBatch(batch.data(), batch.size(), INT64_MIN,
                           [&](const ntfs::UsnRecordV2& r) { classifier.ClassifyRecord(r); });
    }
    benchmark::DoNotOptimize(reported);
    state.SetItemsProcessed(state.iterations() * CountRecords(batch));
}
BENCHMARK(BM_ClassifyCloseRecords)
    ->ArgNames({"levels_above", "named"})
    ->Args({0, 1})
    ->Args({7, 1})
    ->Args({7, 0});

// 1,000,000 attribute changes (the basic information: times, the read-only bit) of files
// eight levels inside the watched tree, with the slots the window binds: it shows no line
// for them, so none may cost a path. Reports the paths built per record.
void BM_ClassifyAttributeChangesForTheWindow(benchmark::State& state) {
    DeepVolume volume;
    const std::set<std::uint64_t> watched{volume.levels[0]};
    std::int64_t reported = 0;
    WatcherSlots slots;
    for (const ChangeKind kind :
         {ChangeKind::Created, ChangeKind::Deleted, ChangeKind::ContentChanged, ChangeKind::Renamed,
          ChangeKind::Recycled, ChangeKind::Moved, ChangeKind::Started, ChangeKind::Gap,
          ChangeKind::Ended}) {
        slots[kind] = [&reported](const FileChange&) { ++reported; };
    }
    slots.SetFilter([](ChangeKind) { return true; });  // every box ticked
    const WatchScope scope{volume.platform, volume.handle, u"C:\\", &watched, &volume.index, slots};
    ChangeClassifier classifier(scope);
    const auto batch = MakeBatch([&] { return volume.levels[7]; }, kAttributeChange);
    const std::int64_t perBatch = CountRecords(batch);
    std::int64_t records = 0;
    for (auto _ : state) {
        for (std::int64_t done = 0; done < 1000000; done += perBatch) {
            journal::WalkBatch(batch.data(), batch.size(), INT64_MIN,
                               [&](const ntfs::UsnRecordV2& r) { classifier.ClassifyRecord(r); });
            records += perBatch;
        }
    }
    if (reported != 0) {
        state.SkipWithError("an attribute change reached the window's slots");
    }
    state.counters["paths_per_record"] =
        static_cast<double>(classifier.PathsBuilt()) / static_cast<double>(records);
    state.SetItemsProcessed(records);
}
BENCHMARK(BM_ClassifyAttributeChangesForTheWindow)->Unit(benchmark::kMillisecond);

// The walk alone, handing each record to a stand-in for classification.
void BM_WalkOnly(benchmark::State& state) {
    const auto batch = MakeBatch([] { return ntfs::kRootFileReference; });
    for (auto _ : state) {
        std::uint64_t handed = 0;
        journal::WalkBatch(batch.data(), batch.size(), INT64_MIN, [&](const ntfs::UsnRecordV2& r) {
            handed += r.Reason() + static_cast<std::uint64_t>(r.NameUnits());
        });
        benchmark::DoNotOptimize(handed);
    }
    state.SetItemsProcessed(state.iterations() * CountRecords(batch));
}
BENCHMARK(BM_WalkOnly);

// A loop that only steps over the records by their lengths.
void BM_BareLengthSum(benchmark::State& state) {
    const auto batch = MakeBatch([] { return ntfs::kRootFileReference; });
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

// The directory index before the flat table, kept only as the baseline of the walk.
class MapParentIndex {
public:
    void Insert(std::uint64_t directory, std::uint64_t parent) {
        parents_.emplace(directory, parent);
    }
    bool FindParent(std::uint64_t directory, std::uint64_t& parent) const {
        const auto it = parents_.find(directory);
        if (it == parents_.end()) {
            return false;
        }
        parent = it->second;
        return true;
    }

private:
    std::map<std::uint64_t, std::uint64_t> parents_;
};

// The ancestry test as the classifier makes it, over either index.
template <class Index>
bool IsInsideWatched(const Index& index, const std::set<std::uint64_t>& watched,
                     std::uint64_t directory) {
    for (int depth = 0; depth < ChangeClassifier::kMaxAncestry; ++depth) {
        if (watched.count(directory) != 0) {
            return true;
        }
        std::uint64_t parent = 0;
        if (!index.FindParent(directory, parent) || parent == directory) {
            return false;
        }
        directory = parent;
    }
    return false;
}

// 1,000,000 directories in eight levels of 125,000, each below a random one of the level
// above, the first level below the root; and one more below the root, the watched one,
// with nothing below it. Record numbers are handed out densely, four files between two
// directories, in an order unrelated to the tree, and both indexes are filled in the
// order of the master file table, as the enumeration fills them.
struct MillionDirectories {
    static constexpr int kLevels = 8;
    static constexpr int kPerLevel = 125000;

    FileRecordIndex index;
    MapParentIndex map;
    std::set<std::uint64_t> watched;
    // Read results of close records in random directories of the eighth level.
    std::vector<std::vector<std::uint8_t>> batches;

    MillionDirectories() {
        std::mt19937_64 random(17);
        const int count = kLevels * kPerLevel + 1;
        std::vector<std::uint64_t> references(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            const std::uint64_t record = 64 + 5 * static_cast<std::uint64_t>(i);
            references[static_cast<std::size_t>(i)] =
                ntfs::MakeFileReference(record, static_cast<std::uint16_t>(1 + record % 13));
        }
        std::shuffle(references.begin(), references.end(), random);
        std::vector<std::pair<std::uint64_t, std::uint64_t>> entries;
        entries.reserve(references.size());
        for (int i = 0; i < kLevels * kPerLevel; ++i) {
            const std::uint64_t parent =
                i < kPerLevel ? ntfs::kRootFileReference
                              : references[static_cast<std::size_t>(
                                    (i / kPerLevel - 1) * kPerLevel + random() % kPerLevel)];
            entries.emplace_back(references[static_cast<std::size_t>(i)], parent);
        }
        watched.insert(references.back());
        entries.emplace_back(references.back(), ntfs::kRootFileReference);
        std::sort(entries.begin(), entries.end());
        for (const auto& [directory, parent] : entries) {
            index.Set(directory, parent, u"directory 12");
            map.Insert(directory, parent);
        }
        const auto deepest = references.begin() + (kLevels - 1) * kPerLevel;
        for (int i = 0; i < 4096; ++i) {
            batches.push_back(MakeBatch([&] { return deepest[random() % kPerLevel]; }));
        }
    }
};

MillionDirectories& Million() {
    static MillionDirectories directories;
    return directories;
}

// Close records in directories eight levels deep outside the watched tree, through the
// walk of the read result and the classifier, which drops every one after the ancestry
// walk.
void BM_ClassifyOutsideTheTree(benchmark::State& state) {
    MillionDirectories& directories = Million();
    SimPlatform platform;
    platform.AddDrive(u'C');
    const PlatformHandle handle = platform.OpenVolume(CWString(u"\\\\.\\C:"));
    std::int64_t reported = 0;
    WatcherSlots slots;
    slots[ChangeKind::ContentChanged] = [&reported](const FileChange&) { ++reported; };
    const WatchScope scope{platform,           handle, u"C:\\", &directories.watched,
                           &directories.index, slots};
    ChangeClassifier classifier(scope);
    std::int64_t records = 0;
    std::size_t next = 0;
    for (auto _ : state) {
        const auto& batch = directories.batches[next++ % directories.batches.size()];
        journal::WalkBatch(batch.data(), batch.size(), INT64_MIN, [&](const ntfs::UsnRecordV2& r) {
            classifier.ClassifyRecord(r);
            ++records;
        });
    }
    platform.CloseVolume(handle);
    if (reported != 0) {
        state.SkipWithError("a record outside the watched tree was reported");
    }
    state.SetItemsProcessed(records);
}
BENCHMARK(BM_ClassifyOutsideTheTree);

// The ancestry walk alone for the same records, over the directory index or the old map.
template <class Index>
void AncestryWalk(benchmark::State& state, const MillionDirectories& directories,
                  const Index& index) {
    std::vector<std::vector<std::uint64_t>> parents;
    for (const auto& batch : directories.batches) {
        parents.emplace_back();
        journal::WalkBatch(batch.data(), batch.size(), INT64_MIN, [&](const ntfs::UsnRecordV2& r) {
            parents.back().push_back(r.ParentFileReferenceNumber());
        });
    }
    std::int64_t records = 0;
    std::int64_t inside = 0;
    std::size_t next = 0;
    for (auto _ : state) {
        for (const std::uint64_t parent : parents[next++ % parents.size()]) {
            inside += IsInsideWatched(index, directories.watched, parent) ? 1 : 0;
            ++records;
        }
    }
    if (inside != 0) {
        state.SkipWithError("a directory outside the watched tree was found inside");
    }
    state.SetItemsProcessed(records);
}
void BM_AncestryWalkDirectoryIndex(benchmark::State& state) {
    AncestryWalk(state, Million(), Million().index);
}
BENCHMARK(BM_AncestryWalkDirectoryIndex);

void BM_AncestryWalkStdMapBaseline(benchmark::State& state) {
    AncestryWalk(state, Million(), Million().map);
}
BENCHMARK(BM_AncestryWalkStdMapBaseline);

}  // namespace

BENCHMARK_MAIN();
