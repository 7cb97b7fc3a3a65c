#include "runtime/text/CVolMem.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct GrowthCase {
    const char* name;
    int step;
    std::vector<int> sizes;       // successive Resize calls
    std::vector<int> capacities;  // capacity after each
};

class CVolMemGrowth : public ::testing::TestWithParam<GrowthCase> {};

TEST_P(CVolMemGrowth, CapacityFollowsTheStepRule) {
    const GrowthCase& c = GetParam();
    CVolMem mem(c.step);
    for (std::size_t i = 0; i < c.sizes.size(); ++i) {
        mem.Resize(c.sizes[i]);
        EXPECT_EQ(mem.Size(), c.sizes[i]) << "after resize " << i;
        EXPECT_EQ(mem.Capacity(), c.capacities[i]) << "after resize " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CVolMemGrowth,
    ::testing::Values(
        // Fits: only the size changes, also at exactly the capacity.
        GrowthCase{"fits", 64, {10, 64, 1}, {64, 64, 64}},
        // Too small: step + n - n mod step.
        GrowthCase{"grows", 64, {65, 200, 257}, {128, 256, 320}},
        // More than one step spare: shrinks by the same rule.
        GrowthCase{"shrinks", 64, {300, 100, 99}, {320, 128, 128}},
        // A step of 0 or less means 64.
        GrowthCase{"zero_step", 0, {1, 70}, {64, 128}}, GrowthCase{"negative_step", -5, {1}, {64}},
        // The text buffer's step.
        GrowthCase{"text_step", 254, {8, 254, 255, 600}, {254, 254, 508, 762}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CVolMem, AppendingOneByteAtATimeReallocatesOncePerStep) {
    CVolMem mem(64);
    int changes = 0;
    int last = 0;
    for (int i = 0; i < 640; ++i) {
        const std::uint8_t b = static_cast<std::uint8_t>(i);
        mem.Append(&b, 1);
        if (mem.Capacity() != last) {
            ++changes;
            last = mem.Capacity();
        }
    }
    EXPECT_EQ(changes, 10);
    for (int i = 0; i < 640; ++i) {
        ASSERT_EQ(mem.Data()[i], static_cast<std::uint8_t>(i));
    }
}

TEST(CVolMem, AppendFromItsOwnBytesSurvivesTheMove) {
    CVolMem mem(4);
    const char text[] = "abcd";
    mem.Append(text, 4);
    mem.Append(mem.Data() + 1, 3);  // forces a reallocation with the source inside
    ASSERT_EQ(mem.Size(), 7);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mem.Data()), 7), "abcdbcd");
}

TEST(CVolMem, CopiesOwnTheirBytesAndMovesLeaveNothing) {
    CVolMem a;
    a.Append("xyz", 3);
    CVolMem b = a;
    b.Data()[0] = 'q';
    EXPECT_EQ(a.Data()[0], 'x');
    CVolMem c = std::move(a);
    EXPECT_EQ(a.Size(), 0);
    EXPECT_EQ(a.Data(), nullptr);
    EXPECT_EQ(c.Size(), 3);
    c.Free();
    EXPECT_EQ(c.Capacity(), 0);
    EXPECT_EQ(c.Data(), nullptr);
}

}  // namespace
