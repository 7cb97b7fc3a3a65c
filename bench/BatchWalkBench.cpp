// The reader's walk of a journal batch with its time filter, handing each record to a
// stand-in for classification, against a bare loop that only sums the RecordLength fields
// of the same bytes. The walk should cost no more than a few times that bare loop.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/BatchWalk.h"
#include "engine/JournalRecords.h"

namespace {

constexpr std::int64_t kWatchStart = 133000000000000000LL;

// One 4096-byte read result: the next USN, then version-2 records with names of 12 to 30
// characters, half of them stamped before the watch start.
std::vector<std::uint8_t> MakeBatch() {
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
        h.FileReferenceNumber = ntfs::MakeFileReference(100 + i, 1);
        h.ParentFileReferenceNumber = ntfs::kRootFileReference;
        h.Usn = static_cast<std::int64_t>(offset);
        h.TimeStamp = kWatchStart + (i % 2 == 0 ? 1 : -1);
        h.Reason = ntfs::kReasonClose | ntfs::kReasonDataExtend;
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

void BM_WalkWithTimeFilter(benchmark::State& state) {
    const auto batch = MakeBatch();
    for (auto _ : state) {
        std::uint64_t handed = 0;
        journal::WalkBatch(batch.data(), batch.size(), kWatchStart,
                           [&](const ntfs::UsnRecordV2& r) {
                               handed += r.header.Reason + static_cast<std::uint64_t>(r.nameUnits);
                           });
        benchmark::DoNotOptimize(handed);
    }
    state.SetItemsProcessed(state.iterations() * CountRecords(batch));
}
BENCHMARK(BM_WalkWithTimeFilter);

void BM_BareLengthSum(benchmark::State& state) {
    const auto batch = MakeBatch();
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
