// The state file of --state: its text, what is refused, and that its replacement leaves the
// old state or the new one whatever step a crash comes at.

#include "console/WatchState.h"

#include <gtest/gtest.h>

#include <string>

#include "ConsoleTestSupport.h"
#include "console/StateFile.h"

namespace {

WatchState Two() {
    WatchState state;
    state.Set({u'D', 7, 0x01D7A4861AA03980ULL, 8192});
    state.Set({u'C', 4000000000u, 18446744073709551615ULL, 0x7FFFFFFFFFFF0000LL});
    return state;
}

TEST(WatchStateTest, ItsTextReadsBackAsWrittenInLetterOrder) {
    const WatchState state = Two();
    const std::string text = state.Text();
    EXPECT_EQ(text,
              "{\n"
              "  \"format\": \"yzwatch-state-1\",\n"
              "  \"drives\": [\n"
              "    {\"drive\": \"C\", \"serial\": 4000000000, \"journalId\": 18446744073709551615, "
              "\"usn\": 9223372036854710272},\n"
              "    {\"drive\": \"D\", \"serial\": 7, \"journalId\": 132755609910000000, \"usn\": "
              "8192}\n"
              "  ]\n"
              "}\n");
    std::string error;
    const auto read = WatchState::Parse(text, error);
    ASSERT_TRUE(read.has_value()) << error;
    EXPECT_EQ(*read, state);
    const auto none = WatchState::Parse(WatchState().Text(), error);
    ASSERT_TRUE(none.has_value()) << error;
    EXPECT_TRUE(none->Drives().empty());
    // Any spacing.
    const auto compact = WatchState::Parse(
        R"({"drives":[{"usn":1,"journalId":2,"serial":3,"drive":"E"}],"format":"yzwatch-state-1"})",
        error);
    ASSERT_TRUE(compact.has_value()) << error;
    EXPECT_EQ(*compact->Find(u'E'), (WatchState::Drive{u'E', 3, 2, 1}));
}

TEST(WatchStateTest, TextThatIsNoStateIsRefused) {
    const std::string good = Two().Text();
    const char* const bad[] = {
        "",
        "not json",
        R"({"format":"yzwatch-state-1"})",
        R"({"format":"another-program","drives":[]})",
        R"({"format":"yzwatch-state-1","drives":[{"drive":"C","serial":1,"journalId":2}]})",
        R"({"format":"yzwatch-state-1","drives":[{"drive":"c","serial":1,"journalId":2,"usn":3}]})",
        R"({"format":"yzwatch-state-1","drives":[{"drive":"C","serial":1,"journalId":2,"usn":-3}]})",
        R"({"format":"yzwatch-state-1","drives":[{"drive":"C","serial":4294967296,"journalId":2,"usn":3}]})",
        R"({"format":"yzwatch-state-1","drives":[{"drive":"C","serial":1,"journalId":2,"usn":3,"usn":4}]})",
        R"({"format":"yzwatch-state-1","drives":[{"drive":"C","serial":1,"journalId":2,"usn":3},)"
        R"({"drive":"C","serial":1,"journalId":2,"usn":3}]})",
        R"({"format":"yzwatch-state-1","drives":[]} trailing)",
    };
    for (const char* text : bad) {
        std::string error;
        EXPECT_FALSE(WatchState::Parse(text, error).has_value()) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    // A file cut short anywhere is refused: a torn write never passes for a state.
    for (std::size_t length = 0; length + 1 < good.size(); ++length) {
        std::string error;
        const std::string torn = good.substr(0, length);
        if (torn.find_last_not_of(" \n") != std::string::npos &&
            torn[torn.find_last_not_of(" \n")] == '}' && torn.rfind("]") != std::string::npos) {
            continue;  // the text's own end, but for its final line end
        }
        EXPECT_FALSE(WatchState::Parse(torn, error).has_value()) << length;
    }
}

// Every step of the replacement may be the last before a crash: what the disk then holds
// is the old state or the new one, never a broken file.
TEST(StateFileTest, ACrashAtAnyStepOfAReplacementLeavesTheOldStateOrTheNew) {
    WatchState before;
    before.Set({u'C', 1, 2, 4096});
    const WatchState after = Two();
    for (int crashAfter = 0;; ++crashAfter) {
        SCOPED_TRACE(crashAfter);
        console_test::FakeHost host;
        StateFile file(host, u"C:\\logs\\watch.state");
        ASSERT_TRUE(file.Save(before));
        host.CrashAfter(crashAfter);
        const bool saved = file.Save(after);
        host.Restart();
        std::u16string error;
        const std::optional<WatchState> found = file.Load(error);
        ASSERT_TRUE(found.has_value()) << ToUtf8(error);
        EXPECT_TRUE(*found == before || *found == after);
        if (saved) {
            EXPECT_EQ(*found, after);
            break;  // no step left to crash at
        }
    }
}

// The same checker catches a file written in place: a crash after it was emptied leaves
// nothing a state can be read from.
TEST(StateFileTest, TheCheckerCatchesAStateWrittenInPlace) {
    WatchState before;
    before.Set({u'C', 1, 2, 4096});
    bool broken = false;
    for (int crashAfter = 0; crashAfter < 3; ++crashAfter) {
        console_test::FakeHost host;
        StateFile file(host, u"C:\\logs\\watch.state");
        ASSERT_TRUE(file.Save(before));
        host.CrashAfter(crashAfter);
        host.WriteDurably(u"C:\\logs\\watch.state", Two().Text());
        host.Restart();
        std::u16string error;
        broken = broken || !file.Load(error).has_value();
    }
    EXPECT_TRUE(broken);
}

}  // namespace
