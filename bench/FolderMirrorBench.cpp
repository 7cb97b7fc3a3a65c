// The folder mirror's own cost per notification, without Wine: bursts of new files, as a
// watch reports them (ten a read, each with its file looked at), applied to a simulated
// volume; beside it, in the same run, the same files created on the volume directly, for
// the ratio of the mirror's work to the journal's.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "../tests/demo/FakeFolder.h"
#include "demo/FolderMirror.h"
#include "sim/SimVolume.h"

namespace {

constexpr int kFiles = 10000;
constexpr int kPerRead = 10;

std::u16string Name(int i) {
    const std::string digits = std::to_string(i);
    return u"file-" + std::u16string(digits.begin(), digits.end()) + u".txt";
}

void BurstThroughTheMirror(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        FakeFolder folder;
        SimVolume volume;
        FolderMirror mirror(volume, folder);
        mirror.Prepare();
        std::vector<std::vector<FolderChange>> reads(kFiles / kPerRead);
        for (int i = 0; i < kFiles; ++i) {
            folder.PutFile(Name(i), 0);
            reads[i / kPerRead].push_back({FolderAction::kAdded, Name(i)});
        }
        state.ResumeTiming();
        for (const auto& read : reads) {
            mirror.Apply(read);
        }
        mirror.Settle();
        benchmark::DoNotOptimize(volume.JournalData());
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BurstThroughTheMirror)->Unit(benchmark::kMillisecond);

void BurstOnTheVolume(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        SimVolume volume;
        const std::uint64_t dir =
            volume.AddExisting(SimVolume::kRoot, u"demo", ntfs::kAttributeDirectory);
        state.ResumeTiming();
        for (int i = 0; i < kFiles; ++i) {
            SimOpenFile file = volume.CreateOpen(dir, Name(i));
        }
        benchmark::DoNotOptimize(volume.JournalData());
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BurstOnTheVolume)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
