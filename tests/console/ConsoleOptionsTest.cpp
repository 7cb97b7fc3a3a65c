// The console program's command line: what good command lines ask for, and the exit code
// and message of bad ones, as the program answers them.

#include "console/ConsoleOptions.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "ConsoleTestSupport.h"
#include "console/ConsoleProgram.h"
#include "sim/SimPlatform.h"

namespace {

using namespace std::chrono_literals;
using Args = std::vector<std::u16string>;

struct GoodCase {
    const char* name;
    Args args;
    std::function<void(ConsoleOptions&)> expected;  // changes the defaults to what is asked
};

ChangeKindSet Kinds(std::initializer_list<ChangeKind> kinds) {
    ChangeKindSet set;
    for (const ChangeKind kind : kinds) {
        set.Add(kind);
    }
    return set;
}

TEST(ConsoleOptionsTest, GoodCommandLines) {
    const GoodCase cases[] = {
        {"one_directory", {u"C:\\data"}, [](ConsoleOptions& o) { o.directories = {u"C:\\data"}; }},
        {"directories_in_their_order",
         {u"D:\\b", u"--json", u"C:\\a", u"relative"},
         [](ConsoleOptions& o) {
             o.directories = {u"D:\\b", u"C:\\a", u"relative"};
             o.json = true;
         }},
        {"kinds_in_any_letter_case",
         {u"--kinds", u"created,Renamed,OTHER", u"C:\\"},
         [](ConsoleOptions& o) {
             o.directories = {u"C:\\"};
             o.kinds = Kinds({ChangeKind::Created, ChangeKind::Renamed, ChangeKind::Other});
         }},
        {"value_after_equals",
         {u"--kinds=moved", u"--for=10", u"--count=3", u"C:\\"},
         [](ConsoleOptions& o) {
             o.directories = {u"C:\\"};
             o.kinds = Kinds({ChangeKind::Moved});
             o.duration = 10s;
             o.count = 3;
         }},
        {"the_last_kinds_count",
         {u"--kinds", u"created", u"--kinds", u"deleted,recycled", u"C:\\"},
         [](ConsoleOptions& o) {
             o.directories = {u"C:\\"};
             o.kinds = Kinds({ChangeKind::Deleted, ChangeKind::Recycled});
         }},
        {"seconds_with_a_fraction",
         {u"--for", u"2.5", u"C:\\"},
         [](ConsoleOptions& o) {
             o.directories = {u"C:\\"};
             o.duration = 2500ms;
         }},
        {"one_millisecond",
         {u"--for", u"0.0019", u"C:\\"},
         [](ConsoleOptions& o) {
             o.directories = {u"C:\\"};
             o.duration = 1ms;
         }},
        {"longest_time",
         {u"--for", u"1000000000", u"C:\\"},
         [](ConsoleOptions& o) {
             o.directories = {u"C:\\"};
             o.duration = std::chrono::milliseconds(1'000'000'000'000);
         }},
        {"largest_count",
         {u"--count", u"18446744073709551615", u"C:\\"},
         [](ConsoleOptions& o) {
             o.directories = {u"C:\\"};
             o.count = std::numeric_limits<std::uint64_t>::max();
         }},
        {"after_two_dashes_only_directories",
         {u"--", u"--json", u"/?"},
         [](ConsoleOptions& o) {
             o.directories = {u"--json", u"/?"};
         }},
        {"a_path_from_the_root_of_the_current_drive",
         {u"/data"},
         [](ConsoleOptions& o) { o.directories = {u"/data"}; }},
        {"a_state_file",
         {u"--state", u"C:\\logs\\docs.state", u"C:\\"},
         [](ConsoleOptions& o) {
             o.directories = {u"C:\\"};
             o.stateFile = u"C:\\logs\\docs.state";
         }},
        // "D:\My Dir\" in quotes reaches the program as D:\My Dir" by the C runtime's rules,
        // with what followed the quote on the command line in the same argument.
        {"a_backslash_before_the_closing_quote",
         {u"D:\\My Dir\""},
         [](ConsoleOptions& o) { o.directories = {u"D:\\My Dir\\"}; }},
        {"more_arguments_after_the_closing_quote",
         {u"D:\\My Dir\" --json  C:\\a\"", u"--for", u"1"},
         [](ConsoleOptions& o) {
             o.directories = {u"D:\\My Dir\\", u"C:\\a\\"};
             o.json = true;
             o.duration = 1s;
         }},
        {"a_closing_quote_after_two_dashes",
         {u"--", u"D:\\--x\" --json"},
         [](ConsoleOptions& o) {
             o.directories = {u"D:\\--x\\", u"--json"};
         }},
        {"help", {u"--help"}, [](ConsoleOptions& o) { o.help = true; }},
        {"help_short", {u"-h"}, [](ConsoleOptions& o) { o.help = true; }},
        {"help_as_windows_asks", {u"/?"}, [](ConsoleOptions& o) { o.help = true; }},
        {"version", {u"--version"}, [](ConsoleOptions& o) { o.version = true; }},
    };
    for (const GoodCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::u16string error;
        const auto parsed = ConsoleOptions::Parse(c.args, error);
        ASSERT_TRUE(parsed.has_value()) << ToUtf8(error);
        ConsoleOptions expected;
        c.expected(expected);
        EXPECT_EQ(parsed->directories, expected.directories);
        EXPECT_TRUE(parsed->kinds == expected.kinds);
        EXPECT_EQ(parsed->json, expected.json);
        EXPECT_EQ(parsed->duration, expected.duration);
        EXPECT_EQ(parsed->count, expected.count);
        EXPECT_EQ(parsed->help, expected.help);
        EXPECT_EQ(parsed->version, expected.version);
        EXPECT_EQ(parsed->stateFile, expected.stateFile);
    }
}

struct BadCase {
    const char* name;
    Args args;
    std::string message;  // after "yzwatch: "
};

TEST(ConsoleOptionsTest, BadCommandLinesEndWithTwoTheReasonAndTheUsageOnStandardError) {
    const std::string kinds =
        "（可用：created,deleted,modified,renamed,recycled,moved,"
        "attributes,other）";
    const std::string seconds = "--for 需要大于 0 的秒数（最多 1000000000），而不是";
    const BadCase cases[] = {
        {"nothing", {}, "没有给出要监控的目录"},
        {"options_only", {u"--json", u"--for", u"3"}, "没有给出要监控的目录"},
        {"unknown_option", {u"--bogus", u"C:\\"}, "未知的选项：--bogus"},
        {"unknown_short_option", {u"-x", u"C:\\"}, "未知的选项：-x"},
        {"unknown_option_with_value", {u"--colour=red", u"C:\\"}, "未知的选项：--colour"},
        {"a_lone_dash", {u"-"}, "未知的选项：-"},
        {"flag_with_a_value", {u"--json=yes", u"C:\\"}, "--json 不带值"},
        {"missing_value", {u"C:\\", u"--for"}, "--for 后面缺少值"},
        {"missing_count", {u"C:\\", u"--count"}, "--count 后面缺少值"},
        {"missing_kinds", {u"C:\\", u"--kinds"}, "--kinds 后面缺少值"},
        {"missing_state_file", {u"C:\\", u"--state"}, "--state 后面缺少值"},
        {"empty_state_file", {u"--state=", u"C:\\"}, "--state 需要一个文件"},
        {"zero_seconds", {u"--for", u"0", u"C:\\"}, seconds + "“0”"},
        {"too_little_for_a_millisecond", {u"--for", u"0.0009", u"C:\\"}, seconds + "“0.0009”"},
        {"negative_seconds", {u"--for", u"-1", u"C:\\"}, seconds + "“-1”"},
        {"seconds_in_exponent_form", {u"--for", u"1e3", u"C:\\"}, seconds + "“1e3”"},
        {"no_digit_before_the_point", {u"--for", u".5", u"C:\\"}, seconds + "“.5”"},
        {"no_digit_after_the_point", {u"--for", u"1.", u"C:\\"}, seconds + "“1.”"},
        {"seconds_too_many", {u"--for", u"1000000001", u"C:\\"}, seconds + "“1000000001”"},
        {"count_zero", {u"--count", u"0", u"C:\\"}, "--count 需要正整数，而不是“0”"},
        {"count_not_a_number", {u"--count", u"5x", u"C:\\"}, "--count 需要正整数，而不是“5x”"},
        {"count_overflows",
         {u"--count", u"18446744073709551616", u"C:\\"},
         "--count 需要正整数，而不是“18446744073709551616”"},
        {"unknown_kind",
         {u"--kinds", u"created,bogus", u"C:\\"},
         "未知的变化类型：“bogus”" + kinds},
        {"empty_kind",
         {u"--kinds", u"created,,deleted", u"C:\\"},
         "--kinds 的类型列表中有空项：“created,,deleted”"},
        {"no_kind", {u"--kinds=", u"C:\\"}, "--kinds 的类型列表中有空项：“”"},
        {"empty_directory", {u"C:\\", u""}, "目录不能是空文本"},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        SimPlatform platform;
        console_test::FakeHost host;
        StopSignal stop;
        ConsoleProgram program(u"yzwatch", platform, host);
        EXPECT_EQ(program.Run(c.args, stop), ConsoleProgram::kBadArguments);
        EXPECT_TRUE(host.out.Lines().empty());
        const auto err = host.err.Lines();
        ASSERT_GE(err.size(), 2u);
        EXPECT_EQ(err[0], "yzwatch: " + c.message);
        EXPECT_EQ(err[1], "用法：yzwatch [选项] 目录 [目录 ...]");
    }
}

TEST(ConsoleOptionsTest, HelpAndVersionGoToStandardOutputWithZero) {
    SimPlatform platform;
    StopSignal stop;
    {
        console_test::FakeHost host;
        EXPECT_EQ(ConsoleProgram(u"yzwatch", platform, host).Run(Args{u"/?"}, stop), 0);
        const auto out = host.out.Lines();
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(out[0], "用法：yzwatch [选项] 目录 [目录 ...]");
        EXPECT_EQ(out.back(), "或输出无法写入；2 参数错误，或状态文件无法读取。");
        EXPECT_TRUE(host.err.Lines().empty());
    }
    {
        console_test::FakeHost host;
        EXPECT_EQ(ConsoleProgram(u"yzwatch-demo", platform, host).Run(Args{u"--version"}, stop), 0);
        EXPECT_EQ(host.out.Lines(), std::vector<std::string>{"yzwatch-demo " VOL_VERSION_TEXT
                                                             "（砚舟文件监控 命令行版）"});
    }
}

}  // namespace
