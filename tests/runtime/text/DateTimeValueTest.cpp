#include "runtime/text/DateTimeValue.h"

#include <gtest/gtest.h>

#include "runtime/text/TimePlatform.h"
#include "runtime/text/Utf8.h"

// One table for both builds: under Wine the Windows calls must give what the native
// arithmetic gives.
namespace {

constexpr double kSecond = 1.0 / 86400.0;

struct MakeCase {
    const char* name;
    int year, month, day, hour, minute, second, millisecond;
    double expected;
};

class MakeDateTimeTable : public ::testing::TestWithParam<MakeCase> {};

TEST_P(MakeDateTimeTable, ClampsAndConverts) {
    const MakeCase& c = GetParam();
    const double value =
        MakeDateTime(c.year, c.month, c.day, c.hour, c.minute, c.second, c.millisecond, -1.0e9);
    EXPECT_NEAR(value, c.expected, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MakeDateTimeTable,
    ::testing::Values(
        MakeCase{"epoch", 1899, 12, 30, 0, 0, 0, 0, 0.0},
        MakeCase{"y2k", 2000, 1, 1, 0, 0, 0, 0, 36526.0},
        MakeCase{"noon_and_a_half_second", 2000, 1, 1, 12, 0, 0, 500, 36526.5 + 0.5 * kSecond},
        MakeCase{"clamped_to_28_february_2023", 2023, 2, 30, 25, 61, 61, 1500,
                 44985.0 + 86399.999 * kSecond},
        MakeCase{"clamped_to_29_february_2024", 2024, 2, 30, 25, 61, 61, 1500,
                 45351.0 + 86399.999 * kSecond},
        MakeCase{"not_a_leap_century", 1900, 2, 29, 0, 0, 0, 0, 60.0},
        MakeCase{"leap_quadcentury", 2000, 2, 31, 0, 0, 0, 0, 36585.0},
        MakeCase{"before_the_epoch_counts_time_forward", 1899, 12, 29, 6, 0, 0, 0, -1.25},
        MakeCase{"year_clamped_up_to_100", 7, 1, 1, 0, 0, 0, 0, -657434.0},
        MakeCase{"year_clamped_down_to_9999", 12000, 12, 31, 0, 0, 0, 0, 2958465.0},
        MakeCase{"negative_fields_clamped", 2020, -3, -9, -1, -1, -1, -1, 43831.0}),
    [](const auto& info) { return std::string(info.param.name); });

struct FormatCase {
    const char* name;
    double value;
    std::u16string dateFormat;
    std::u16string timeFormat;
    bool force24;
    std::u16string expected;
};

class FormatDateTimeTable : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatDateTimeTable, RendersDateThenTime) {
    const FormatCase& c = GetParam();
    const CWString text =
        FormatDateTime(c.value, CWString(c.dateFormat), CWString(c.timeFormat), c.force24);
    EXPECT_EQ(text.View(), c.expected) << ToUtf8(text);
}

const double k2024Feb29 = 45351.0;
const double k1405 = (14 * 3600 + 5 * 60 + 9) * kSecond;

INSTANTIATE_TEST_SUITE_P(
    Table, FormatDateTimeTable,
    ::testing::Values(
        FormatCase{"afternoon_24h", k2024Feb29 + k1405, u"", u"hh:mm:ss", true, u"14:05:09"},
        FormatCase{"afternoon_12h", k2024Feb29 + k1405, u"", u"hh:mm:ss", false, u"02:05:09"},
        FormatCase{"half_past_midnight_24h", k2024Feb29 + 1800 * kSecond, u"", u"hh:mm:ss", true,
                   u"00:30:00"},
        FormatCase{"half_past_midnight_12h", k2024Feb29 + 1800 * kSecond, u"", u"hh:mm:ss", false,
                   u"12:30:00"},
        FormatCase{"rounds_up_to_the_next_day", k2024Feb29 + 86399.6 * kSecond, u"yyyy-MM-dd ",
                   u"HH:mm:ss", true, u"2024-03-01 00:00:00"},
        FormatCase{"rounds_down", k2024Feb29 + (9 * 3600 + 7 * 60 + 3.4) * kSecond, u"",
                   u"hh:mm:ss", true, u"09:07:03"},
        FormatCase{"chinese_picture", k2024Feb29 + k1405, u"yyyy'年'M'月'd'日'", u"H'时'mm'分'",
                   true, u"2024年2月29日14时05分"},
        FormatCase{"before_the_epoch", -1.25, u"yyyy-MM-dd ", u"HH:mm", true, u"1899-12-29 06:00"},
        FormatCase{"first_valid_day_has_no_date_rendering", -657434.0, u"yyyy-MM-dd", u"", true,
                   u""},
        FormatCase{"first_day_of_1601", -109205.0, u"yyyy-MM-dd", u"", true, u"1601-01-01"},
        FormatCase{"last_valid_day", 2958465.5, u"yyyy-MM-dd ", u"HH:mm", true,
                   u"9999-12-31 12:00"},
        FormatCase{"past_the_last_day", 2958466.0, u"yyyy", u"HH", true, u""},
        FormatCase{"before_the_first_day", -657435.0, u"yyyy", u"HH", true, u""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TimeOfDayText, FollowsTheUsersClockAndRoundsToTheSecond) {
    const bool twentyFour = time_platform::UserTimeSetting() == 1;
    struct Case {
        double value;
        const char16_t* on24;
        const char16_t* on12;
    } cases[] = {
        {k2024Feb29 + 86399.6 * kSecond, u"00:00:00", u"12:00:00"},
        {k2024Feb29 + (9 * 3600 + 7 * 60 + 3.4) * kSecond, u"09:07:03", u"09:07:03"},
        {k2024Feb29 + k1405, u"14:05:09", u"02:05:09"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TimeOfDayText(c.value), twentyFour ? c.on24 : c.on12) << c.value;
    }
}

TEST(Now, IsTheLocalClockAsADateValue) {
    auto asValue = [](const CalendarTime& t) {
        return MakeDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond, 0);
    };
    const double before = asValue(time_platform::LocalNow());
    const double now = Now();
    const double after = asValue(time_platform::LocalNow());
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
    EXPECT_GT(now, 45000.0);  // later than 2023
}

}  // namespace
