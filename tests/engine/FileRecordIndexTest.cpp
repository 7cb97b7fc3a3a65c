#include "engine/FileRecordIndex.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "ntfs/JournalRecords.h"

namespace {

TEST(FileRecordIndex, KeepsTheFirstEntryOfAKeyAndMovesByEraseAndInsert) {
    FileRecordIndex index;
    index.Insert(10, 5);
    index.Insert(10, 7);
    std::uint64_t parent = 0;
    ASSERT_TRUE(index.FindParent(10, parent));
    EXPECT_EQ(parent, 5u);
    index.Repoint(10, 8);
    ASSERT_TRUE(index.FindParent(10, parent));
    EXPECT_EQ(parent, 8u);
    index.Erase(10);
    EXPECT_FALSE(index.FindParent(10, parent));
    // All 64 bits count: a reused record with a higher sequence is another directory.
    index.Insert(ntfs::MakeFileReference(40, 1), 5);
    EXPECT_FALSE(index.FindParent(ntfs::MakeFileReference(40, 2), parent));
}

// Reference number 0 means "none", but a malformed record may carry it as a directory, and
// every bit pattern of a parent is kept as it came.
TEST(FileRecordIndex, HoldsAnyKeyAndParentIncludingZeroAndAllOnes) {
    FileRecordIndex index;
    std::uint64_t parent = 99;
    EXPECT_FALSE(index.FindParent(0, parent));
    EXPECT_EQ(parent, 99u) << "a failed lookup leaves the answer alone";
    index.Insert(0, 7);
    index.Insert(0, 8);
    index.Insert(~0ULL, 0);
    index.Insert(3, ~0ULL);
    EXPECT_EQ(index.Size(), 3u);
    ASSERT_TRUE(index.FindParent(0, parent));
    EXPECT_EQ(parent, 7u);
    ASSERT_TRUE(index.FindParent(~0ULL, parent));
    EXPECT_EQ(parent, 0u);
    ASSERT_TRUE(index.FindParent(3, parent));
    EXPECT_EQ(parent, ~0ULL);
    index.Repoint(0, 9);
    ASSERT_TRUE(index.FindParent(0, parent));
    EXPECT_EQ(parent, 9u);
    index.Erase(0);
    EXPECT_FALSE(index.FindParent(0, parent));
    EXPECT_EQ(index.Size(), 2u);
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
        index.Insert(key, 5);
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
    int insertPercent;    // the rest is split evenly between erase and re-point
    std::size_t reserve;  // a hint given before the first step, 0 for none
};

void PrintTo(const Sequence& sequence, std::ostream* out) {
    *out << sequence.name;
}

// Inserts, erases and re-points at random, checked against an ordered map after every
// step for the key it touched and in full every so often.
class IndexAgainstModel : public ::testing::TestWithParam<Sequence> {};

TEST_P(IndexAgainstModel, AnswersAsTheMapWould) {
    const Sequence& sequence = GetParam();
    std::mt19937_64 random(std::hash<std::string>{}(sequence.name));
    const std::vector<std::uint64_t> keys = MakeKeys(sequence.keys, sequence.keyCount, random);
    FileRecordIndex index;
    std::map<std::uint64_t, std::uint64_t> model;
    if (sequence.reserve != 0) {
        index.Reserve(sequence.reserve);
    }

    auto expectSame = [&](std::uint64_t key) {
        std::uint64_t parent = 0;
        const auto found = model.find(key);
        ASSERT_EQ(index.FindParent(key, parent), found != model.end()) << "key " << key;
        if (found != model.end()) {
            ASSERT_EQ(parent, found->second) << "key " << key;
        }
    };
    std::size_t largest = 0;
    for (std::size_t step = 1; step <= sequence.steps; ++step) {
        const std::uint64_t key = keys[random() % keys.size()];
        const std::uint64_t parent = random() % 4 == 0 ? random() : random() % 1000;
        const int roll = static_cast<int>(random() % 100);
        if (roll < sequence.insertPercent) {
            index.Insert(key, parent);
            model.emplace(key, parent);
        } else if (roll % 2 == 0) {
            index.Erase(key);
            model.erase(key);
        } else {
            index.Repoint(key, parent);
            model.erase(key);
            model.emplace(key, parent);
        }
        ASSERT_NO_FATAL_FAILURE(expectSame(key)) << "after step " << step;
        largest = std::max(largest, model.size());
        if (step % (sequence.steps / 8) == 0 || step == sequence.steps) {
            ASSERT_EQ(index.Size(), model.size()) << "after step " << step;
            for (const std::uint64_t k : keys) {
                ASSERT_NO_FATAL_FAILURE(expectSame(k)) << "after step " << step;
            }
        }
    }
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
        // Mostly moves: every re-point erases and inserts again.
        Sequence{"RepointHeavy", Keys::kRandomSequences, 8000, 80000, 20, 0},
        // A hint given first, then more than it said.
        Sequence{"ReservedThenOutgrown", Keys::kDenseRecords, 40000, 80000, 90, 5000}),
    [](const ::testing::TestParamInfo<Sequence>& info) { return std::string(info.param.name); });

// The point of the flat table: whatever size the index grows to, its slots stay at least
// 70% full, under 23 bytes per directory.
TEST(FileRecordIndex, GrowsWithoutLeavingMostOfTheTableEmpty) {
    FileRecordIndex index;
    for (std::uint64_t i = 0; i < 300000; ++i) {
        index.Insert(ntfs::MakeFileReference(24 + i * 5, 1), 5);
        if (index.Size() >= 64) {
            ASSERT_LE(index.TableBytes(), index.Size() * 23) << "at " << index.Size();
        }
    }
}

TEST(FileRecordIndex, AReservedTableTakesItsEntriesWithoutGrowing) {
    constexpr std::size_t kDirectories = 100000;
    FileRecordIndex index;
    index.Reserve(kDirectories);
    const std::size_t reserved = index.TableBytes();
    EXPECT_GE(reserved, kDirectories * 16);
    EXPECT_LE(reserved, kDirectories * 16 * 8 / 7 + 16);
    for (std::uint64_t i = 0; i < kDirectories; ++i) {
        index.Insert(ntfs::MakeFileReference(24 + i, 1), 5);
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
