// The cost of a watch while nothing happens on its volume: the journal reads it makes per
// second and the processor time it takes in a minute (getrusage of the whole process, whose
// main thread only sleeps meanwhile). Runs for a minute of real time.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <thread>

#include "engine/VolumeJournalWatcher.h"
#include "sim/JournalReadProbe.h"
#include "sim/SimPlatform.h"

namespace {

double ProcessorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Arg: seconds to watch; the second one with a directory filter.
void BM_IdleWatch(benchmark::State& state) {
    SimPlatform platform;
    SimVolume& disk = platform.AddDrive(u'C');
    disk.MakeDirectories(u"\\data\\sub");
    JournalReadProbe probe(platform);
    VolumeJournalWatcher watcher(probe);
    CMStringArray paths;
    if (state.range(1) != 0) {
        paths.Add(CWString(u"C:\\data"));
    }
    const auto duration = std::chrono::seconds(state.range(0));
    for (auto _ : state) {
        if (!watcher.Open(u'C', paths)) {
            state.SkipWithError("the watch did not open");
            return;
        }
        probe.WaitCaughtUp(disk.JournalData()->NextUsn);
        const std::uint64_t readsBefore = probe.ReadCount();
        const double processorBefore = ProcessorSeconds();
        std::this_thread::sleep_for(duration);
        const double processor = ProcessorSeconds() - processorBefore;
        const double reads = static_cast<double>(probe.ReadCount() - readsBefore);
        watcher.Stop();
        const double seconds = static_cast<double>(state.range(0));
        state.counters["reads_per_second"] = reads / seconds;
        state.counters["cpu_ms_per_minute"] = processor * 1000.0 * 60.0 / seconds;
        state.counters["cpu_us_per_read"] = reads > 0 ? processor * 1e6 / reads : 0.0;
    }
}
BENCHMARK(BM_IdleWatch)
    ->Args({60, 0})
    ->Args({60, 1})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
