#include "engine/FileRecordIndex.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ntfs/JournalRecords.h"

namespace {

std::u16string NameOf(const FileRecordIndex& index, std::uint64_t directory) {
    std::uint64_t parent = 0;
    std::u16string_view name;
    return index.FindEntry(directory, parent, name) ? std::u16string(name) : u"<none>";
}

TEST(FileRecordIndex, SetEntersOrRenamesAndEraseRemoves) {
    FileRecordIndex index;
    index.Set(10, 5, u"first");
    index.Set(10, 7, u"moved");
    std::uint64_t parent = 0;
    ASSERT_TRUE(index.FindParent(10, parent));
    EXPECT_EQ(parent, 7u);
    EXPECT_EQ(NameOf(index, 10), u"moved");
    EXPECT_EQ(index.Size(), 1u);
    index.Set(10, 8, u"moved");  // a new parent under the same name
    ASSERT_TRUE(index.FindParent(10, parent));
    EXPECT_EQ(parent, 8u);
    EXPECT_EQ(NameOf(index, 10), u"moved");
    index.Set(11, 10, u"");  // a name not known
    EXPECT_EQ(NameOf(index, 11), u"");
    index.Erase(10);
    EXPECT_FALSE(index.FindParent(10, parent));
    EXPECT_EQ(NameOf(index, 10), u"<none>");
    // All 64 bits count: a reused record with a higher sequence is another directory.
    index.Set(ntfs::MakeFileReference(40, 1), 5, u"old");
    EXPECT_FALSE(index.FindParent(ntfs::MakeFileReference(40, 2), parent));
}

// Reference number 0 means "none", but a malformed record may carry it as a directory, and
// every bit pattern of a parent is kept as it came.
TEST(FileRecordIndex, HoldsAnyKeyAndParentIncludingZeroAndAllOnes) {
    FileRecordIndex index;
    std::uint64_t parent = 99;
    EXPECT_FALSE(index.FindParent(0, parent));
    EXPECT_EQ(parent, 99u) << "a failed lookup leaves the answer alone";
    index.Set(0, 7, u"zero");
    index.Set(~0ULL, 0, u"ones");
    index.Set(3, ~0ULL, u"three");
    EXPECT_EQ(index.Size(), 3u);
    ASSERT_TRUE(index.FindParent(0, parent));
    EXPECT_EQ(parent, 7u);
    EXPECT_EQ(NameOf(index, 0), u"zero");
    ASSERT_TRUE(index.FindParent(~0ULL, parent));
    EXPECT_EQ(parent, 0u);
    ASSERT_TRUE(index.FindParent(3, parent));
    EXPECT_EQ(parent, ~0ULL);
    index.Set(0, 9, u"zero again");
    ASSERT_TRUE(index.FindParent(0, parent));
    EXPECT_EQ(parent, 9u);
    EXPECT_EQ(NameOf(index, 0), u"zero again");
    index.Erase(0);
    EXPECT_FALSE(index.FindParent(0, parent));
    EXPECT_EQ(index.Size(), 2u);
}

// A name handed in may be one the index hands out: it is copied before the pool moves.
TEST(FileRecordIndex, ANameOfItsOwnIsTakenBeforeThePoolGrows) {
    FileRecordIndex index;
    index.Set(1, 5, u"shared name");
    for (std::uint64_t key = 2; key < 3000; ++key) {
        std::uint64_t parent = 0;
        std::u16string_view name;
        ASSERT_TRUE(index.FindEntry(key - 1, parent, name));
        index.Set(key, key - 1, name);
    }
    EXPECT_EQ(NameOf(index, 2999), u"shared name");
}

// The keys of one run of operations: reference numbers as volumes hand them out, and as
// malformed records might.
enum class Keys {
    kDenseRecords,          // record numbers one after another, sequence 1
    kRandomSequences,       // dense records under any 16-bit sequence
    kSequencesOfOneRecord,  // one record reused again and again
    kStride64K,             // only bits 16 and up vary
    kStride4G,              // only the high half varies
    kAnyBits,               // anything, 0 and all ones first
};

std::vector<std::uint64_t> MakeKeys(Keys kind, std::size_t count, std::mt19937_64& random) {
    std::vector<std::uint64_t> keys;
    for (std::uint64_t i = 0; i < count; ++i) {
        switch (kind) {
            case Keys::kDenseRecords:
                keys.push_back(ntfs::MakeFileReference(24 + i, 1));
                break;
            case Keys::kRandomSequences:
                keys.push_back(
                    ntfs::MakeFileReference(24 + i, static_cast<std::uint16_t>(random())));
                break;
            case Keys::kSequencesOfOneRecord:
                keys.push_back(ntfs::MakeFileReference(1000, static_cast<std::uint16_t>(i)));
                break;
            case Keys::kStride64K:
                keys.push_back((i + 1) << 16);
                break;
            case Keys::kStride4G:
                keys.push_back((i + 1) << 32);
                break;
            case Keys::kAnyBits:
                keys.push_back(i == 0 ? 0 : i == 1 ? ~0ULL : random());
                break;
        }
    }
    return keys;
}

// A hash that let these patterns pile up in one place would make every lookup a long scan;
// dense record numbers are what every volume hands out. (Defined first, so that it runs
// before the sequences below, which such a hash would slow to a crawl.)
struct Spread {
    const char* name;
    Keys keys;
    std::size_t count;
};

void PrintTo(const Spread& spread, std::ostream* out) {
    *out << spread.name;
}

class IndexSpread : public ::testing::TestWithParam<Spread> {};

TEST_P(IndexSpread, KeepsEveryEntryNearItsHome) {
    std::mt19937_64 random(7);
    FileRecordIndex index;
    for (const std::uint64_t key : MakeKeys(GetParam().keys, GetParam().count, random)) {
        index.Set(key, 5, u"name");
        if (index.Size() % 1024 == 0) {  // early, before a pile-up gets slow
            ASSERT_LE(index.LongestProbe(), 40u) << "at " << index.Size();
        }
    }
    ASSERT_EQ(index.Size(), GetParam().count);
    EXPECT_LE(index.LongestProbe(), 40u);
}

INSTANTIATE_TEST_SUITE_P(
    KeyPatterns, IndexSpread,
    ::testing::Values(Spread{"DenseRecords", Keys::kDenseRecords, 50000},
                      Spread{"RandomSequences", Keys::kRandomSequences, 50000},
                      Spread{"SequencesOfOneRecord", Keys::kSequencesOfOneRecord, 65536},
                      Spread{"Stride64K", Keys::kStride64K, 50000},
                      Spread{"Stride4G", Keys::kStride4G, 50000},
                      Spread{"AnyBits", Keys::kAnyBits, 50000}),
    [](const ::testing::TestParamInfo<Spread>& info) { return std::string(info.param.name); });

struct Sequence {
    const char* name;
    Keys keys;
    std::size_t keyCount;  // the keys the operations pick from
    std::size_t steps;
    int setPercent;       // the rest erases
    std::size_t reserve;  // a hint given before the first step, 0 for none
};

void PrintTo(const Sequence& sequence, std::ostream* out) {
    *out << sequence.name;
}

// A name of 0 to 24 units, sometimes beyond the basic plane.
std::u16string RandomName(std::mt19937_64& random) {
    std::u16string name(random() % 25, u'a');
    for (char16_t& unit : name) {
        unit = random() % 8 == 0 ? static_cast<char16_t>(0xD800 + random() % 0x800)
                                 : static_cast<char16_t>(u'a' + random() % 26);
    }
    return name;
}

// Sets (new entries and renames) and erases at random, checked against an ordered map
// after every step for the key it touched and in full every so often. The names churn,
// so the pool is compacted again and again on the way.
class IndexAgainstModel : public ::testing::TestWithParam<Sequence> {};

TEST_P(IndexAgainstModel, AnswersAsTheMapWould) {
    const Sequence& sequence = GetParam();
    std::mt19937_64 random(std::hash<std::string>{}(sequence.name));
    const std::vector<std::uint64_t> keys = MakeKeys(sequence.keys, sequence.keyCount, random);
    FileRecordIndex index;
    std::map<std::uint64_t, std::pair<std::uint64_t, std::u16string>> model;
    if (sequence.reserve != 0) {
        index.Reserve(sequence.reserve);
    }

    auto expectSame = [&](std::uint64_t key) {
        std::uint64_t parent = 0;
        std::u16string_view name;
        const auto found = model.find(key);
        ASSERT_EQ(index.FindEntry(key, parent, name), found != model.end()) << "key " << key;
        if (found != model.end()) {
            ASSERT_EQ(parent, found->second.first) << "key " << key;
            ASSERT_EQ(name, found->second.second) << "key " << key;
        }
    };
    std::size_t largest = 0;
    std::size_t mostNameBytes = 0;
    for (std::size_t step = 1; step <= sequence.steps; ++step) {
        const std::uint64_t key = keys[random() % keys.size()];
        const std::uint64_t parent = random() % 4 == 0 ? random() : random() % 1000;
        if (static_cast<int>(random() % 100) < sequence.setPercent) {
            std::u16string name = RandomName(random);
            index.Set(key, parent, name);
            model[key] = {parent, std::move(name)};
        } else {
            index.Erase(key);
            model.erase(key);
        }
        ASSERT_NO_FATAL_FAILURE(expectSame(key)) << "after step " << step;
        largest = std::max(largest, model.size());
        mostNameBytes = std::max(mostNameBytes, index.NameBytes());
        if (step % (sequence.steps / 8) == 0 || step == sequence.steps) {
            ASSERT_EQ(index.Size(), model.size()) << "after step " << step;
            for (const std::uint64_t k : keys) {
                ASSERT_NO_FATAL_FAILURE(expectSame(k)) << "after step " << step;
            }
        }
    }
    // Every name held is at most 24 units and its length: the garbage of renames and
    // erases never piles up beyond what compaction leaves.
    EXPECT_LE(mostNameBytes, (largest * 25 * 2 * 2) + 4096);
    RecordProperty("largest", static_cast<int>(largest));
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, IndexAgainstModel,
    ::testing::Values(
        // Growth from empty past many rehashes (over forty, a quarter each).
        Sequence{"GrowthDense", Keys::kDenseRecords, 60000, 120000, 90, 0},
        Sequence{"GrowthRandomSequences", Keys::kRandomSequences, 60000, 120000, 90, 0},
        Sequence{"GrowthAnyBits", Keys::kAnyBits, 60000, 120000, 90, 0},
        Sequence{"GrowthStride4G", Keys::kStride4G, 30000, 60000, 90, 0},
        // Erase-heavy churn, in tables small enough that runs wrap past the last slot.
        Sequence{"ChurnFewKeys", Keys::kAnyBits, 40, 50000, 40, 0},
        Sequence{"ChurnDense", Keys::kDenseRecords, 3000, 100000, 35, 0},
        Sequence{"ChurnSequencesOfOneRecord", Keys::kSequencesOfOneRecord, 5000, 100000, 40, 0},
        Sequence{"ChurnStride64K", Keys::kStride64K, 3000, 100000, 40, 0},
        // Mostly renames: a set of a key the index holds gives it a new name and parent.
        Sequence{"RenameHeavy", Keys::kRandomSequences, 8000, 80000, 95, 0},
        // A hint given first, then more than it said.
        Sequence{"ReservedThenOutgrown", Keys::kDenseRecords, 40000, 80000, 90, 5000}),
    [](const ::testing::TestParamInfo<Sequence>& info) { return std::string(info.param.name); });

// The point of the flat table: whatever size the index grows to, its slots stay at least
// 70% full, under 29 bytes per directory.
TEST(FileRecordIndex, GrowsWithoutLeavingMostOfTheTableEmpty) {
    FileRecordIndex index;
    for (std::uint64_t i = 0; i < 300000; ++i) {
        index.Set(ntfs::MakeFileReference(24 + i * 5, 1), 5, u"name");
        if (index.Size() >= 64) {
            ASSERT_LE(index.TableBytes(), index.Size() * 29) << "at " << index.Size();
        }
    }
}

// Names take about what they hold: the pool's room not yet taken (a new block's, and what
// each full block could not fit) stays within about an eighth of the names, so that a million
// folders' names of 12 units take about 26 bytes each, not a quarter more.
TEST(FileRecordIndex, TheNamePoolHoldsLittleRoomNotTaken) {
    FileRecordIndex index;
    const std::u16string name = u"folder000000";  // 12 units, 13 with its length
    for (std::uint64_t i = 0; i < 300000; ++i) {
        index.Set(ntfs::MakeFileReference(24 + i, 1), 5, name);
        const std::size_t stored = (1 + index.Size() * (1 + name.size())) * sizeof(char16_t);
        ASSERT_LE(index.NameBytes(), stored + stored / 7 + 1024) << "at " << index.Size();
    }
}

TEST(FileRecordIndex, AReservedTableTakesItsEntriesWithoutGrowing) {
    constexpr std::size_t kDirectories = 100000;
    FileRecordIndex index;
    index.Reserve(kDirectories);
    const std::size_t reserved = index.TableBytes();
    EXPECT_GE(reserved, kDirectories * 20);
    EXPECT_LE(reserved, kDirectories * 20 * 8 / 7 + 20);
    for (std::uint64_t i = 0; i < kDirectories; ++i) {
        index.Set(ntfs::MakeFileReference(24 + i, 1), 5, u"name");
    }
    EXPECT_EQ(index.TableBytes(), reserved);
    index.Reserve(10);
    EXPECT_EQ(index.TableBytes(), reserved) << "a smaller hint does not shrink it";
    index.Reserve(SIZE_MAX);
    EXPECT_EQ(index.TableBytes(), reserved) << "an impossible hint is ignored";
    std::uint64_t parent = 0;
    ASSERT_TRUE(index.FindParent(ntfs::MakeFileReference(24 + kDirectories - 1, 1), parent));
    EXPECT_EQ(parent, 5u);
}

}  // namespace
