// The enumeration at the start of a watch: every directory of a simulated master file table
// into the directory index with its name, without and with the reserve hint of a caller
// that knows the count; and the heap the index takes per directory. Two volumes: 1,000,000
// entries of which 200,000 are directories ("directory N", 16 units on average), and
// 1,000,000 directories named in 12 units each ("folder000123"), with a file each.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>
#include <string>
#include <vector>

#include "LargeVolume.h"
#include "engine/DirectoryEnumeration.h"
#include "sim/SimPlatform.h"

namespace {

// Blocks in the heap's arenas and blocks mapped on their own: a table of megabytes is
// usually one of the latter.
std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// The larger volume's directories have names of the length of a typical folder's name.
constexpr int kManyDirectories = 1000000;
constexpr std::size_t kTypicalNameUnits = 12;

struct Volume {
    int directories;
    int filesPerDirectory;
    SimPlatform platform;
    SimVolume& disk = platform.AddDrive(u'C');

    Volume(int directoryCount, int files) : directories(directoryCount), filesPerDirectory(files) {
        large_volume::Populate(disk, directoryCount, files,
                               directoryCount == kManyDirectories ? kTypicalNameUnits : 0);
    }
};

// Populating the larger volume takes seconds: each shape is built once, for all the
// repetitions of the benchmarks that use it.
Volume& VolumeOf(int directories, int filesPerDirectory) {
    static std::unique_ptr<Volume> last;
    if (!last || last->directories != directories || last->filesPerDirectory != filesPerDirectory) {
        last.reset();
        last = std::make_unique<Volume>(directories, filesPerDirectory);
    }
    return *last;
}

// Args: directories, files per directory, whether the enumeration is told the count.
void BM_EnumerateIntoIndex(benchmark::State& state) {
    Volume& volume = VolumeOf(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const bool hinted = state.range(2) != 0;
    const PlatformHandle handle = volume.platform.OpenVolume(CWString(u"\\\\.\\C:"));
    StopSignal stop;
    std::size_t directories = 0;
    double heapBytesPerDirectory = 0;
    double tableBytesPerDirectory = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto index = std::make_unique<FileRecordIndex>();
        const std::size_t before = HeapInUse();
        state.ResumeTiming();
        EnumerateDirectories(volume.platform, handle, stop, *index,
                             hinted ? static_cast<std::size_t>(volume.directories) + 8 : 0);
        state.PauseTiming();
        directories = index->Size();
        // The enumeration's own buffer is gone by now: what is left is the index.
        heapBytesPerDirectory =
            static_cast<double>(HeapInUse() - before) / static_cast<double>(directories);
        tableBytesPerDirectory =
            static_cast<double>(index->TableBytes()) / static_cast<double>(directories);
        index.reset();
        state.ResumeTiming();
    }
    volume.platform.CloseVolume(handle);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(directories));
    state.counters["entries"] = static_cast<double>(volume.disk.EntryCount());
    // Records the enumeration hands over (files and directories) per second.
    state.counters["records_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(volume.disk.EntryCount()),
        benchmark::Counter::kIsRate);
    state.counters["directories"] = static_cast<double>(directories);
    // The allocator's count, as the process sees it.
    state.counters["index_bytes_per_directory"] = heapBytesPerDirectory;
    // The table alone: the 32-bit build's figure too, its slots being two 64-bit values.
    state.counters["slot_bytes_per_directory"] = tableBytesPerDirectory;
}
BENCHMARK(BM_EnumerateIntoIndex)
    ->ArgNames({"directories", "files_each", "hinted"})
    ->Args({large_volume::kDirectories, large_volume::kFilesPerDirectory, 0})
    ->Args({large_volume::kDirectories, large_volume::kFilesPerDirectory, 1})
    ->Args({kManyDirectories, 1, 0})
    ->Args({kManyDirectories, 1, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
