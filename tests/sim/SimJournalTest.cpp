// The journal store on its own: where records land, how it wraps, what a raw $J gives.

#include "sim/SimJournal.h"

#include <gtest/gtest.h>

#include <cstring>

#include "SimTestSupport.h"
#include "ntfs/Win32Codes.h"

namespace {

SimRecord Named(std::size_t units, std::uint32_t reason = ntfs::kReasonFileCreate) {
    SimRecord record;
    record.fileReference = ntfs::MakeFileReference(100, 1);
    record.parentReference = ntfs::kRootFileReference;
    record.reason = reason;
    record.name.assign(units, u'n');
    return record;
}

TEST(SimJournalTest, RecordsNeverCrossAPage) {
    SimJournal journal;
    journal.Create(7, 0, 0);
    std::int64_t expected = 0;
    for (int i = 0; i < 500; ++i) {
        const SimRecord record = Named(1 + (i * 37) % 200);
        const std::uint32_t length = SimRecord::LengthFor(record.name.size());
        if (expected % SimJournal::kPageSize + length > SimJournal::kPageSize) {
            expected = (expected / SimJournal::kPageSize + 1) * SimJournal::kPageSize;
        }
        const std::int64_t usn = journal.Append(record.Encode(), true);
        ASSERT_EQ(usn, expected) << i;
        expected += length;
    }
    EXPECT_EQ(journal.NextUsn(), expected);
    for (const SimRecord& record : journal.RecordsSince(0)) {
        EXPECT_LE(record.usn % SimJournal::kPageSize + SimRecord::LengthFor(record.name.size()),
                  SimJournal::kPageSize);
    }
}

TEST(SimJournalTest, GrowingPastTheMaximumDropsTheOldest) {
    SimJournal journal;
    journal.Create(7, 10000, 0);
    for (int i = 0; i < 1000; ++i) {
        journal.Append(Named(10).Encode(), true);
    }
    EXPECT_LE(journal.NextUsn() - journal.FirstUsn(), 10000);
    const std::vector<SimRecord> kept = journal.RecordsSince(0);
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(kept.front().usn, journal.FirstUsn());
    EXPECT_EQ(journal.RecordCount(), kept.size());

    journal.DropBefore(kept[5].usn);
    EXPECT_EQ(journal.FirstUsn(), kept[5].usn);
    journal.DropBefore(journal.NextUsn());
    EXPECT_EQ(journal.RecordCount(), 0u);
    EXPECT_EQ(journal.FirstUsn(), journal.NextUsn());
}

TEST(SimJournalTest, RawBytesAreKeptAsGiven) {
    SimJournal journal;
    journal.Create(7, 0, 0);
    std::vector<std::uint8_t> bytes = Named(3).Encode();
    bytes.resize(bytes.size() - 3);  // a length no longer a multiple of 8
    const std::int64_t usn = journal.Append(bytes, false);
    EXPECT_EQ(journal.NextUsn() % 8, 0);
    const std::int64_t second = journal.Append(Named(3).Encode(), true);
    EXPECT_EQ(second, 72);
    EXPECT_EQ(journal.NextUsn(), 144);

    ntfs::ReadUsnJournalDataV0 request{};
    request.StartUsn = usn;
    request.ReasonMask = ntfs::kReasonFileCreate;
    request.UsnJournalID = 7;
    std::vector<std::uint8_t> out(4096);
    std::uint32_t returned = 0;
    ASSERT_EQ(journal.Read(request, out.data(), 4096, returned), win32::kErrorSuccess);
    ASSERT_EQ(returned, 8 + bytes.size() + 72);
    EXPECT_EQ(std::memcmp(out.data() + 8, bytes.data(), bytes.size()), 0);
    std::int64_t storedUsn;
    std::memcpy(&storedUsn, out.data() + 8 + 24, sizeof storedUsn);
    EXPECT_EQ(storedUsn, 0);  // not stamped

    EXPECT_EQ(journal.Append({}, false), -1);
    journal.Delete();
    EXPECT_EQ(journal.Append(Named(3).Encode(), true), -1);
}

TEST(SimJournalTest, AStreamKeepsItsOwnUsnsAndOnlyVersionTwo) {
    // Two records at 4096 and 4176 after a zero-filled page, one version-4 record
    // between them, then garbage.
    std::vector<std::uint8_t> stream(4096, 0);
    const auto add = [&stream](SimRecord record) {
        record.usn = static_cast<std::int64_t>(stream.size());
        const std::vector<std::uint8_t> bytes = record.Encode();
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    };
    add(Named(5));
    SimRecord other = Named(5);
    other.majorVersion = 4;
    add(other);
    add(Named(8, ntfs::kReasonClose));
    stream.insert(stream.end(), {0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4});

    SimJournal journal;
    journal.Create(7, 0, 0);
    const JournalStreamLoad load = journal.LoadStream(stream);
    EXPECT_EQ(load.loaded, 2u);
    EXPECT_EQ(load.scanned.records, 2u);
    EXPECT_EQ(load.scanned.otherVersions, 1u);
    EXPECT_EQ(load.scanned.zeroBytes, 4096u);
    EXPECT_EQ(load.scanned.implausibleSkips, 1u);
    EXPECT_EQ(load.badUsn, 0u);
    const std::vector<SimRecord> records = journal.RecordsSince(0);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].usn, 4096);
    EXPECT_EQ(records[1].usn, 4096 + 72 + 72);
    EXPECT_EQ(journal.FirstUsn(), 4096);
    EXPECT_EQ(journal.NextUsn(), 4096 + 72 + 72 + 80);
}

TEST(SimJournalTest, AStreamIsLoadedWholeAndInOrder) {
    // Usn values far apart are all kept, past the default maximum size; a record whose
    // Usn goes back, or lies past the largest a journal has, is left out and counted.
    std::vector<std::uint8_t> stream;
    const auto add = [&stream](std::int64_t usn) {
        SimRecord record = Named(4);
        record.usn = usn;
        const std::vector<std::uint8_t> bytes = record.Encode();
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    };
    const std::int64_t far = static_cast<std::int64_t>(SimJournal::kDefaultMaximumSize) * 2;
    add(4096);
    add(far);
    add(far + 8);  // inside the record before it
    add(SimJournal::kMaxUsn);
    add(far + 4096);

    SimJournal journal;
    journal.Create(7, 0, 0);
    const JournalStreamLoad load = journal.LoadStream(stream);
    EXPECT_EQ(load.scanned.records, 5u);
    EXPECT_EQ(load.loaded, 3u);
    EXPECT_EQ(load.badUsn, 2u);
    const std::vector<SimRecord> records = journal.RecordsSince(0);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].usn, 4096);
    EXPECT_EQ(records[1].usn, far);
    EXPECT_EQ(records[2].usn, far + 4096);
    EXPECT_GE(journal.Data().MaximumSize, static_cast<std::uint64_t>(far));
}

TEST(SimJournalTest, ANewInstanceStartsOnTheNextPage) {
    SimJournal journal;
    journal.Create(7, 0, 0);
    journal.Append(Named(3).Encode(), true);
    journal.Delete();
    EXPECT_FALSE(journal.IsActive());
    journal.Create(8, 0, 0);
    EXPECT_EQ(journal.Id(), 8u);
    EXPECT_EQ(journal.FirstUsn(), SimJournal::kPageSize);
    EXPECT_EQ(journal.Data().LowestValidUsn, SimJournal::kPageSize);
    EXPECT_EQ(journal.RecordCount(), 0u);
}

}  // namespace
