// The enumeration at the start of a filtered watch: every directory of a simulated master
// file table of 1,000,000 entries, 200,000 of them directories, into the directory index;
// and the heap the index takes per directory.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <string>
#include <vector>

#include "engine/DirectoryEnumeration.h"
#include "sim/SimPlatform.h"

namespace {

constexpr int kDirectories = 200000;
constexpr int kFilesPerDirectory = 4;

std::u16string NameOf(const char16_t* stem, int i) {
    std::u16string name(stem);
    for (const char digit : std::to_string(i)) {
        name += static_cast<char16_t>(digit);
    }
    return name;
}

// 1,000 top directories of 199 subdirectories each, four files in every directory.
void Populate(SimVolume& volume) {
    std::vector<std::uint64_t> directories;
    directories.reserve(kDirectories);
    for (int i = 0; i < kDirectories; ++i) {
        const std::uint64_t parent = i < 1000 ? SimVolume::kRoot : directories[i % 1000];
        directories.push_back(
            volume.AddExisting(parent, NameOf(u"directory ", i), ntfs::kAttributeDirectory));
    }
    for (int i = 0; i < kDirectories * kFilesPerDirectory; ++i) {
        volume.AddExisting(directories[i % kDirectories], NameOf(u"document ", i) + u".txt");
    }
}

std::size_t HeapInUse() {
    return mallinfo2().uordblks;
}

void BM_EnumerateIntoIndex(benchmark::State& state) {
    SimPlatform platform;
    SimVolume& disk = platform.AddDrive(u'C');
    Populate(disk);
    const PlatformHandle volume = platform.OpenVolume(CWString(u"\\\\.\\C:"));
    StopSignal stop;
    std::size_t directories = 0;
    double bytesPerDirectory = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto index = std::make_unique<FileRecordIndex>();
        const std::size_t before = HeapInUse();
        state.ResumeTiming();
        EnumerateDirectories(platform, volume, stop, *index);
        state.PauseTiming();
        directories = index->Size();
        // The enumeration's own buffer is gone by now: what is left is the index.
        bytesPerDirectory =
            static_cast<double>(HeapInUse() - before) / static_cast<double>(directories);
        index.reset();
        state.ResumeTiming();
    }
    platform.CloseVolume(volume);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(directories));
    state.counters["entries"] = static_cast<double>(disk.EntryCount());
    state.counters["directories"] = static_cast<double>(directories);
    state.counters["index_bytes_per_directory"] = bytesPerDirectory;
}
BENCHMARK(BM_EnumerateIntoIndex)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
