#include "engine/BatchWalk.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/PendingNames.h"
#include "ntfs/JournalRecords.h"
#include "runtime/text/Utf8.h"

// A batch is walked record by record with every length checked: what cannot be walked
// ends the batch, what is not a version-2 record with its name inside is stepped over.
namespace {

struct Built {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(8, 0);

    // Appends a record; `edit` may spoil its header afterwards.
    Built& Add(const std::u16string& name, std::int64_t usn = 100,
               std::function<void(ntfs::UsnRecordV2Header&)> edit = nullptr) {
        ntfs::UsnRecordV2Header h{};
        h.RecordLength = static_cast<std::uint32_t>(
            (ntfs::kUsnRecordV2HeaderSize + name.size() * 2 + 7) / 8 * 8);
        h.MajorVersion = 2;
        h.Usn = usn;
        h.Reason = ntfs::kReasonClose;
        h.FileNameLength = static_cast<std::uint16_t>(name.size() * 2);
        h.FileNameOffset = static_cast<std::uint16_t>(ntfs::kUsnRecordV2HeaderSize);
        const std::size_t at = bytes.size();
        bytes.resize(at + h.RecordLength, 0);
        std::memcpy(bytes.data() + at + ntfs::kUsnRecordV2HeaderSize, name.data(), name.size() * 2);
        if (edit) {
            edit(h);
        }
        std::memcpy(bytes.data() + at, &h, ntfs::kUsnRecordV2HeaderSize);
        return *this;
    }
    Built& Garbage(std::size_t count) {
        bytes.resize(bytes.size() + count, 0xAB);
        return *this;
    }
};

std::vector<std::string> Walk(const std::vector<std::uint8_t>& bytes, std::size_t returned,
                              std::int64_t fromUsn) {
    std::vector<std::string> names;
    journal::WalkBatch(bytes.data(), returned, fromUsn, [&](const ntfs::UsnRecordV2& r) {
        std::u16string name(static_cast<std::size_t>(r.NameUnits()), u'\0');
        std::memcpy(name.data(), r.Name(), name.size() * 2);
        names.push_back(ToUtf8(name));
    });
    return names;
}

struct WalkCase {
    const char* name;
    Built batch;
    std::vector<std::string> handed;
    std::int64_t fromUsn = 0;
    int cut = 0;            // bytes the read reports fewer than the batch holds
    int returnedOnly = -1;  // or the byte count the read reports
};

class RecordWalk : public ::testing::TestWithParam<WalkCase> {};

TEST_P(RecordWalk, HandsOnOnlyWhatCanBeTrusted) {
    const WalkCase& c = GetParam();
    const std::size_t returned = c.returnedOnly >= 0
                                     ? static_cast<std::size_t>(c.returnedOnly)
                                     : c.batch.bytes.size() - static_cast<std::size_t>(c.cut);
    EXPECT_EQ(Walk(c.batch.bytes, returned, c.fromUsn), c.handed);
}

using H = ntfs::UsnRecordV2Header;

INSTANTIATE_TEST_SUITE_P(
    Table, RecordWalk,
    ::testing::Values(
        WalkCase{"two_records", Built().Add(u"a").Add(u"b"), {"a", "b"}},
        WalkCase{"fewer_than_eight_bytes", Built().Add(u"a"), {}, 0, 0, 4},
        WalkCase{"only_the_next_usn", Built(), {}},
        WalkCase{"length_below_the_header_ends_the_batch",
                 Built().Add(u"a", 100, [](H& h) { h.RecordLength = 40; }).Add(u"b"),
                 {}},
        WalkCase{"length_zero_ends_the_batch",
                 Built().Add(u"a").Add(u"b", 100, [](H& h) { h.RecordLength = 0; }),
                 {"a"}},
        WalkCase{"length_not_a_multiple_of_eight",
                 Built().Add(u"a").Add(u"b", 100, [](H& h) { h.RecordLength += 2; }).Add(u"c"),
                 {"a"}},
        WalkCase{"length_past_what_remains", Built().Add(u"a").Add(u"b"), {"a"}, 0, 8},
        WalkCase{"other_version_is_stepped_over",
                 Built().Add(u"a", 100, [](H& h) { h.MajorVersion = 4; }).Add(u"b"),
                 {"b"}},
        WalkCase{"name_past_the_record_is_stepped_over",
                 Built().Add(u"a", 100, [](H& h) { h.FileNameLength = 200; }).Add(u"b"),
                 {"b"}},
        WalkCase{"name_inside_the_header_is_stepped_over",
                 Built().Add(u"a", 100, [](H& h) { h.FileNameOffset = 8; }).Add(u"b"),
                 {"b"}},
        // Where the pass began, records count; before it, they are old.
        WalkCase{"records_before_the_pass_start_are_dropped",
                 Built().Add(u"old", 4096).Add(u"start", 4176).Add(u"new", 4256),
                 {"start", "new"},
                 4176},
        WalkCase{"trailing_bytes_too_short_for_a_record", Built().Add(u"a").Garbage(40), {"a"}},
        WalkCase{"trailing_garbage_of_record_size", Built().Add(u"a").Garbage(200), {"a"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PendingNames, PairsByFileAndDropsTheOldestBeyondItsCapacity) {
    PendingNames pending(3);
    for (std::uint64_t file = 1; file <= 4; ++file) {
        pending.HoldOldName(file, {u"n", file * 10});
    }
    EXPECT_EQ(pending.Size(), 3u);
    EXPECT_FALSE(pending.Take(1).oldName.has_value()) << "the oldest was not dropped";
    // A second old name of the same file (a → b → c) keeps the first, and makes the file
    // the newest.
    pending.HoldOldName(2, {u"again", 99});
    pending.HoldAddedLink(2, {u"link", 77});
    pending.HoldAddedLink(2, {u"second link", 78});
    pending.HoldOldName(5, {u"five", 50});
    EXPECT_EQ(pending.Size(), 3u);
    EXPECT_FALSE(pending.Take(3).oldName.has_value()) << "3 was the oldest now";
    const PendingNames::Held two = pending.Take(2);
    ASSERT_TRUE(two.oldName.has_value());
    EXPECT_EQ(two.oldName->name, u"n");
    EXPECT_EQ(two.oldName->parent, 20u);
    ASSERT_TRUE(two.addedLink.has_value());
    EXPECT_EQ(two.addedLink->name, u"link");
    EXPECT_EQ(two.addedLink->parent, 77u);
    const PendingNames::Held again = pending.Take(2);
    EXPECT_FALSE(again.oldName.has_value());
    EXPECT_FALSE(again.addedLink.has_value());
    EXPECT_TRUE(pending.Take(4).oldName.has_value());
    pending.Clear();
    EXPECT_FALSE(pending.Take(5).oldName.has_value());
    EXPECT_EQ(pending.Size(), 0u);
}

}  // namespace
