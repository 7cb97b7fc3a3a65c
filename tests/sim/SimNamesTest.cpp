// File names compared as NTFS compares them, and the name index behind the lookups.

#include "sim/SimNames.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "sim/SimNameIndex.h"

namespace {

TEST(SimNamesTest, UpcaseCoversTheAlphabets) {
    struct Case {
        char16_t lower;
        char16_t upper;
    };
    const Case cases[] = {
        {u'a', u'A'}, {u'z', u'Z'},   {u'é', u'É'}, {u'ÿ', u'Ÿ'},   {u'ā', u'Ā'}, {u'ł', u'Ł'},
        {u'ž', u'Ž'}, {u'α', u'Α'},   {u'ς', u'Σ'}, {u'ω', u'Ω'},   {u'ά', u'Ά'}, {u'я', u'Я'},
        {u'ё', u'Ё'}, {u'ｚ', u'Ｚ'}, {u'1', u'1'}, {u'中', u'中'}, {u'_', u'_'}, {u'÷', u'÷'},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sim_names::Upcase(c.lower), c.upper) << static_cast<int>(c.lower);
        EXPECT_EQ(sim_names::Upcase(c.upper), c.upper) << static_cast<int>(c.upper);
    }
}

TEST(SimNamesTest, CompareIgnoresCaseAndOrdersByUpperCaseUnits) {
    EXPECT_TRUE(sim_names::Equal(u"ReadMe.TXT", u"readme.txt"));
    EXPECT_FALSE(sim_names::Equal(u"readme.txt", u"readme.tx"));
    EXPECT_EQ(sim_names::Compare(u"logman", u"IDStore"), 1);
    EXPECT_EQ(sim_names::Compare(u"RTWorks", u"services.exe"), -1);
    EXPECT_EQ(sim_names::Compare(u"test.txt", u"TimeEvents"), -1);
    EXPECT_EQ(sim_names::Compare(u"_a", u"b"), 1);  // '_' (0x5F) sorts after upper-case letters
    EXPECT_EQ(sim_names::Compare(u"abc", u"ABC"), 0);
    EXPECT_EQ(sim_names::Hash(7, u"Abc"), sim_names::Hash(7, u"aBC"));
    EXPECT_NE(sim_names::Hash(7, u"abc"), sim_names::Hash(8, u"abc"));
}

TEST(SimNamesTest, ExtensionIsFromTheLastDot) {
    EXPECT_EQ(sim_names::Extension(u"a.txt"), u".txt");
    EXPECT_EQ(sim_names::Extension(u"new_entry.txt.txt"), u".txt");
    EXPECT_EQ(sim_names::Extension(u"Food For Thought"), u"");
    EXPECT_EQ(sim_names::Extension(u".gitignore"), u".gitignore");
}

// Inserts and erases against a plain list as the reference, enough to grow the table
// several times and to exercise the shifts after deletions.
TEST(SimNameIndexTest, AgreesWithAPlainList) {
    SimNameIndex index;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> reference;  // hash, record
    std::mt19937 random(12345);
    std::uint32_t nextRecord = 0;
    for (int step = 0; step < 60000; ++step) {
        const bool insert = reference.empty() || random() % 3 != 0;
        if (insert) {
            const std::uint32_t hash = random() % 5000;  // many collisions
            index.Insert(hash, nextRecord);
            reference.emplace_back(hash, nextRecord);
            ++nextRecord;
        } else {
            const std::size_t victim = random() % reference.size();
            index.Erase(reference[victim].first, reference[victim].second);
            reference[victim] = reference.back();
            reference.pop_back();
        }
        if (step % 997 == 0) {
            for (const auto& [hash, record] : reference) {
                ASSERT_EQ(
                    index.Find(hash, [r = record](std::uint32_t found) { return found == r; }),
                    record);
            }
        }
    }
    EXPECT_EQ(index.Count(), reference.size());
    EXPECT_EQ(index.Find(999999, [](std::uint32_t) { return true; }), SimNameIndex::kNone);
}

}  // namespace
