// The enumeration at the start of a filtered watch: every directory of a simulated master
// file table of 1,000,000 entries, 200,000 of them directories, into the directory index;
// and the heap the index takes per directory.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <string>
#include <vector>

#include "LargeVolume.h"
#include "engine/DirectoryEnumeration.h"
#include "sim/SimPlatform.h"

namespace {

using large_volume::Populate;

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
