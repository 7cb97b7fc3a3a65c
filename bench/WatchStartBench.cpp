// What a watch costs at its start on a volume whose journal already holds much: the time
// from Open to OnStarted and to the first new change reported, and the record bytes read
// before that change. Arg: the journal's old records, in MiB. A timed run of one start.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "engine/VolumeJournalWatcher.h"
#include "sim/ForwardingPlatform.h"
#include "sim/SimPlatform.h"

namespace {

using Clock = std::chrono::steady_clock;

// Counts the record bytes the journal reads return.
class CountingPlatform final : public ForwardingPlatform {
public:
    explicit CountingPlatform(VolumePlatform& inner) : ForwardingPlatform(inner) {}
    bool DeviceIoControl(PlatformHandle volume, std::uint32_t code, const void* in,
                         std::uint32_t inSize, void* out, std::uint32_t outSize,
                         std::uint32_t& returned) override {
        const bool ok =
            ForwardingPlatform::DeviceIoControl(volume, code, in, inSize, out, outSize, returned);
        if (ok && code == ntfs::kFsctlReadUsnJournal && returned > 8) {
            recordBytes += returned - 8;
        }
        return ok;
    }
    std::atomic<std::uint64_t> recordBytes{0};
};

void BM_WatchStart(benchmark::State& state) {
    SimPlatform platform;
    SimVolume& disk = platform.AddDrive(u'C');
    const std::uint64_t oldBytes = static_cast<std::uint64_t>(state.range(0)) << 20;
    disk.SetJournalMaximumSize(oldBytes * 2);
    SimRecord old;
    old.parentReference = SimVolume::kRoot;
    old.reason = ntfs::kReasonClose | ntfs::kReasonDataExtend;
    old.attributes = ntfs::kAttributeArchive;
    old.name = u"an old change of a file.txt";
    old.timeStamp = platform.Clock().FileTime();
    std::uint64_t n = 0;
    while (static_cast<std::uint64_t>(disk.JournalData()->NextUsn) < oldBytes) {
        old.fileReference = ntfs::MakeFileReference(1000 + (n++ % 100000), 1);
        disk.AppendRecord(old);
    }
    platform.Clock().Advance(10 * ntfs::kFileTimeTicksPerSecond);

    CountingPlatform counting(platform);
    std::mutex mutex;
    std::condition_variable changed;
    Clock::time_point started{};
    Clock::time_point firstChange{};
    std::uint64_t bytesBeforeFirstChange = 0;
    WatcherSlots slots;
    slots[ChangeKind::Started] = [&](const FileChange&) {
        const std::lock_guard<std::mutex> lock(mutex);
        started = Clock::now();
    };
    slots[ChangeKind::Created] = [&](const FileChange& change) {
        if (change.name == u"new.txt") {
            const std::lock_guard<std::mutex> lock(mutex);
            firstChange = Clock::now();
            bytesBeforeFirstChange = counting.recordBytes;
            changed.notify_all();
        }
    };
    for (auto _ : state) {
        VolumeJournalWatcher watcher(counting);
        const Clock::time_point begin = Clock::now();
        if (!watcher.Open(u'C', CMStringArray{}, slots)) {
            state.SkipWithError("the watch did not open");
            return;
        }
        disk.MakeFile(SimVolume::kRoot, u"new.txt");
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return firstChange != Clock::time_point{}; });
        lock.unlock();
        watcher.Stop();
        const auto ms = [&](Clock::time_point at) {
            return std::chrono::duration<double, std::milli>(at - begin).count();
        };
        state.counters["ms_to_started"] = ms(started);
        state.counters["ms_to_first_change"] = ms(firstChange);
        state.counters["old_MiB_read_before_it"] =
            static_cast<double>(bytesBeforeFirstChange) / (1 << 20);
        state.counters["old_records"] = static_cast<double>(n);
    }
}
BENCHMARK(BM_WatchStart)->Arg(1024)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
