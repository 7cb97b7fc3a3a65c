// The raw journals written by real Windows NTFS, scanned as the replay's device serves
// them: the figures an established parser reports, and single records by their offset.

#include <gtest/gtest.h>

#include <algorithm>

#include "ToolTestSupport.h"
#include "sim/SimClock.h"

namespace {

using namespace tool_test;

struct Figures {
    const char* folder;
    std::size_t records;
    std::size_t otherVersions;
    std::int64_t firstUsn;
};

TEST(RealJournalParseTest, CountsMatchAnEstablishedParser) {
    const Figures journals[] = {
        {"windows-explorer-session", 15214, 22, 0},
        {"installer-renames", 104, 0, 92274688},
        {"transacted-excerpt", 6, 0, 8388608},
    };
    if (!std::filesystem::exists(kJournals)) {
        GTEST_SKIP() << "no real journals beside the source tree";
    }
    for (const Figures& figures : journals) {
        SCOPED_TRACE(figures.folder);
        const std::vector<std::uint8_t> stream =
            ReadBytes(kJournals / figures.folder / "usnjrnl.bin");
        ASSERT_FALSE(stream.empty());
        JournalStreamScanner scanner(stream);
        std::vector<std::size_t> offsets;
        while (const auto record = scanner.Next()) {
            offsets.push_back(record->offset);
        }
        const JournalStreamScanner::Counts& counts = scanner.Tally();
        EXPECT_EQ(counts.records, figures.records);
        EXPECT_EQ(offsets.size(), figures.records);
        EXPECT_EQ(counts.otherVersions, figures.otherVersions);
        EXPECT_EQ(counts.malformed, 0u);
        EXPECT_EQ(counts.implausibleSkips, 0u);
        const std::vector<StreamRecord> records = DecodeStream(stream);
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records.front().record.usn, figures.firstUsn);
        EXPECT_TRUE(std::is_sorted(
            records.begin(), records.end(),
            [](const auto& a, const auto& b) { return a.record.usn < b.record.usn; }));
    }
}

TEST(RealJournalParseTest, TheExplorerSessionRecordByRecord) {
    const auto path = kJournals / "windows-explorer-session" / "usnjrnl.bin";
    if (!std::filesystem::exists(path)) {
        GTEST_SKIP() << "no real journals beside the source tree";
    }
    const std::vector<std::uint8_t> stream = ReadBytes(path);
    const std::vector<StreamRecord> records = DecodeStream(stream);
    std::size_t closes = 0;
    for (const StreamRecord& r : records) {
        ASSERT_EQ(r.record.usn, static_cast<std::int64_t>(r.offset));  // Usn is the offset
        closes += (r.record.reason & ntfs::kReasonClose) != 0 ? 1 : 0;
    }
    EXPECT_EQ(closes, 4106u);  // 4,128 with the version-4 ones

    // The version-4 record at 66,256 (one extent) is passed over; the next one is read.
    std::uint16_t major = 0;
    std::memcpy(&major, stream.data() + 66256 + 4, sizeof major);
    EXPECT_EQ(major, 4);
    const auto at = std::find_if(records.begin(), records.end(),
                                 [](const StreamRecord& r) { return r.offset >= 66256; });
    ASSERT_NE(at, records.end());
    EXPECT_EQ(at->offset, 66336u);
    EXPECT_EQ(at->record.name, u"is-15P26.tmp");
    // 2021-09-08 07:49:50.607420 UTC, to the microsecond.
    const std::int64_t expected = SimClock::FromUnixSeconds(1631087390) + 6074200;
    EXPECT_LT(std::abs(at->record.timeStamp - expected), 20);
}

}  // namespace
