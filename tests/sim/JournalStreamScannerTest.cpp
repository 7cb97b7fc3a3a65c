// The scan of a raw $J stream: which bytes become records, and what is stepped over how.

#include "sim/JournalStreamScanner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim/SimRecord.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Append(Bytes& stream, const Bytes& more) {
    if (more.empty()) {
        return;
    }
    const std::size_t at = stream.size();
    stream.resize(at + more.size());
    std::memcpy(stream.data() + at, more.data(), more.size());
}

Bytes Record(std::u16string name, std::uint16_t major = 2) {
    SimRecord record;
    record.fileReference = ntfs::MakeFileReference(100, 1);
    record.parentReference = ntfs::kRootFileReference;
    record.reason = ntfs::kReasonClose;
    record.name = std::move(name);
    record.majorVersion = major;
    return record.Encode();
}

// Eight bytes whose first four are `length`, as the start of a would-be record.
Bytes LengthWord(std::uint32_t length) {
    Bytes bytes(8, 0xAB);
    std::memcpy(bytes.data(), &length, sizeof length);
    return bytes;
}

struct Scanned {
    std::vector<std::size_t> offsets;
    JournalStreamScanner::Counts counts;
};

Scanned Scan(const Bytes& stream) {
    JournalStreamScanner scanner(stream);
    Scanned scanned;
    while (const auto record = scanner.Next()) {
        std::uint32_t length;
        std::memcpy(&length, record->bytes.data(), sizeof length);
        EXPECT_EQ(length, record->bytes.size());
        EXPECT_EQ(record->bytes.data(), stream.data() + record->offset);
        scanned.offsets.push_back(record->offset);
    }
    scanned.counts = scanner.Tally();
    return scanned;
}

struct Case {
    const char* name;
    Bytes stream;
    std::vector<std::size_t> offsets;  // of the records found
    std::size_t otherVersions, malformed, zeroBytes, implausibleSkips;
};

std::vector<Case> Cases() {
    const Bytes a = Record(u"a.txt");  // 72 bytes
    std::vector<Case> cases;
    cases.push_back({"empty", {}, {}, 0, 0, 0, 0});
    cases.push_back({"one_record", a, {0}, 0, 0, 0, 0});
    {
        Bytes s(4096, 0);
        Append(s, a);
        s.resize(s.size() + 16, 0);
        cases.push_back({"zero_regions_around_a_record", s, {4096}, 0, 0, 4112, 0});
    }
    {
        Bytes s = Record(u"range", 4);
        Append(s, a);
        cases.push_back({"another_version_is_stepped_over_whole", s, {72}, 1, 0, 0, 0});
    }
    {
        Bytes bad = Record(u"bad");
        const std::uint16_t offset = 200;  // the name would lie past the record's end
        std::memcpy(bad.data() + 58, &offset, sizeof offset);
        Append(bad, a);
        cases.push_back({"name_outside_the_record", bad, {72}, 0, 1, 0, 0});
    }
    for (const std::uint32_t length : {52u, 66u, 0xFFFFFFFFu}) {
        Bytes s = LengthWord(length);
        Append(s, a);
        cases.push_back({"implausible_length_is_skipped_by_eight", s, {8}, 0, 0, 0, 1});
    }
    {
        Bytes s = LengthWord(4096);  // longer than what is left
        Append(s, a);
        cases.push_back({"length_past_the_end", s, {8}, 0, 0, 0, 1});
    }
    {
        // The largest plausible record, its name inside, then one just over the limit
        // whose body is zeros.
        Bytes big = Record(std::u16string((65536 - 64) / 2, u'x'));
        EXPECT_EQ(big.size(), 65536u);
        Bytes over(65536 + 8, 0);
        const std::uint32_t overLength = 65536 + 8;
        std::memcpy(over.data(), &overLength, sizeof overLength);
        Bytes s = big;
        Append(s, over);
        Append(s, a);
        cases.push_back({"sixty_four_kib_is_the_limit", s, {0, 65536 + 65544}, 0, 0, 65536, 1});
    }
    {
        Bytes s = a;
        s.insert(s.end(), {1, 2, 3});
        cases.push_back({"short_tail_of_garbage", s, {0}, 0, 0, 0, 1});
        Bytes z = a;
        z.insert(z.end(), {0, 0, 0, 0, 0});
        cases.push_back({"short_tail_of_zeros", z, {0}, 0, 0, 5, 0});
    }
    return cases;
}

TEST(JournalStreamScannerTest, FindsTheVersionTwoRecordsAndCountsTheRest) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        const Scanned scanned = Scan(c.stream);
        EXPECT_EQ(scanned.offsets, c.offsets);
        EXPECT_EQ(scanned.counts.records, c.offsets.size());
        EXPECT_EQ(scanned.counts.otherVersions, c.otherVersions);
        EXPECT_EQ(scanned.counts.malformed, c.malformed);
        EXPECT_EQ(scanned.counts.zeroBytes, c.zeroBytes);
        EXPECT_EQ(scanned.counts.implausibleSkips, c.implausibleSkips);
    }
}

TEST(JournalStreamScannerTest, FindsItsFootingAfterGarbage) {
    // Records planted among zero blocks and blocks of garbage whose length word is odd:
    // every record is found at its offset, every block counted once.
    std::uint32_t seed = 7;
    const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 200; ++round) {
        Bytes stream;
        std::vector<std::size_t> planted;
        std::size_t zeroBlocks = 0;
        std::size_t garbageBlocks = 0;
        while (stream.size() < 3000) {
            switch (next() % 3) {
                case 0:
                    planted.push_back(stream.size());
                    Append(stream, Record(std::u16string(next() % 40, u'r')));
                    break;
                case 1:
                    stream.resize(stream.size() + 8, 0);
                    ++zeroBlocks;
                    break;
                default:
                    for (int i = 0; i < 8; ++i) {
                        stream.push_back(static_cast<std::uint8_t>(next() >> 8));
                    }
                    stream[stream.size() - 8] |= 1;
                    ++garbageBlocks;
            }
        }
        const Scanned scanned = Scan(stream);
        EXPECT_EQ(scanned.offsets, planted);
        EXPECT_EQ(scanned.counts.zeroBytes, zeroBlocks * 8);
        EXPECT_EQ(scanned.counts.implausibleSkips, garbageBlocks);
    }
}

}  // namespace
