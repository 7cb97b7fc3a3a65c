// The simulated volume at the size of a real system volume: a million entries, 200,000
// of them directories. Reports the memory each entry takes and the speed of the calls
// an engine makes against it.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "LargeVolume.h"
#include "ntfs/JournalRecords.h"
#include "sim/SimPlatform.h"
#include "sim/SimVolume.h"

namespace {

using large_volume::NameOf;
using large_volume::Populate;

void BM_PopulateMillionEntries(benchmark::State& state) {
    for (auto _ : state) {
        SimVolume volume;
        Populate(volume);
        state.counters["entries"] = static_cast<double>(volume.EntryCount());
        state.counters["bytes_per_entry"] =
            static_cast<double>(volume.MemoryBytes()) / static_cast<double>(volume.EntryCount());
    }
}
BENCHMARK(BM_PopulateMillionEntries)->Unit(benchmark::kMillisecond)->Iterations(1);

// The whole table in 10,240-byte portions, as the engine enumerates at the start.
void BM_EnumerateMillionEntries(benchmark::State& state) {
    SimPlatform platform;
    Populate(platform.AddDrive(u'C'));
    const PlatformHandle volume = platform.OpenVolume(CWString(u"\\\\.\\C:"));
    std::vector<std::uint8_t> buffer(10240);
    std::int64_t records = 0;
    for (auto _ : state) {
        ntfs::MftEnumDataV0 request{0, 0, 0x7FFFFFFFFFFFFFFFLL};
        std::uint32_t returned = 0;
        while (platform.DeviceIoControl(volume, ntfs::kFsctlEnumUsnData, &request, sizeof request,
                                        buffer.data(), static_cast<std::uint32_t>(buffer.size()),
                                        returned)) {
            request.StartFileReferenceNumber = ntfs::ReadU64(buffer.data());
            records += returned / 80;
        }
    }
    benchmark::DoNotOptimize(records);
    platform.CloseVolume(volume);
}
BENCHMARK(BM_EnumerateMillionEntries)->Unit(benchmark::kMillisecond);

// Operations that write records: create, rename, delete.
void BM_FileLifeCycle(benchmark::State& state) {
    SimVolume volume;
    const std::uint64_t dir = volume.MakeDirectory(SimVolume::kRoot, u"work");
    int i = 0;
    for (auto _ : state) {
        const std::u16string name = NameOf(u"file ", i++);
        const std::uint64_t file = volume.MakeFile(dir, name, 100);
        volume.Rename(file, dir, name + u".bak");
        volume.Delete(file);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FileLifeCycle);

// Reading a full journal in 4,096-byte batches.
void BM_ReadJournal(benchmark::State& state) {
    SimPlatform platform;
    SimVolume& disk = platform.AddDrive(u'C');
    const std::uint64_t dir = disk.MakeDirectory(SimVolume::kRoot, u"work");
    for (int i = 0; i < 50000; ++i) {
        disk.MakeFile(dir, NameOf(u"file ", i), 10);
    }
    const PlatformHandle volume = platform.OpenVolume(CWString(u"\\\\.\\C:"));
    const std::uint64_t id = disk.JournalData()->UsnJournalID;
    std::vector<std::uint8_t> buffer(4096);
    for (auto _ : state) {
        ntfs::ReadUsnJournalDataV0 request{0, 0xFFFFFFFFu, 0, 0, 0, id};
        std::uint32_t returned = 0;
        std::int64_t bytes = 0;
        while (platform.DeviceIoControl(volume, ntfs::kFsctlReadUsnJournal, &request,
                                        sizeof request, buffer.data(), 4096, returned) &&
               returned > 8) {
            request.StartUsn = static_cast<std::int64_t>(ntfs::ReadU64(buffer.data()));
            bytes += returned;
        }
        state.SetBytesProcessed(state.bytes_processed() + bytes);
    }
    platform.CloseVolume(volume);
}
BENCHMARK(BM_ReadJournal)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
