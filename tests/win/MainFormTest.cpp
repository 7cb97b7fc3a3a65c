#include "ui/MainForm.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "MainFormTestSupport.h"

namespace {

using namespace main_form_test;
using namespace std::chrono_literals;

class MainFormTest : public ::testing::Test {
protected:
    Machine machine;
    std::unique_ptr<MainForm> form = std::make_unique<MainForm>(machine.platform);

    void SetUp() override { ASSERT_TRUE(form->CreateTopLevel()); }
    void TearDown() override {
        if (form != nullptr && form->Handle() != nullptr) {
            DestroyWindow(form->Handle());
        }
        form.reset();
        forms_test::PumpMessages();
    }

    bool Running() { return !form->StartButton().IsEnabled() && form->StopButton().IsEnabled(); }
    bool Idle() { return form->StartButton().IsEnabled() && !form->StopButton().IsEnabled(); }
    std::string Log() { return ToUtf8(form->LogEdit().GetText()); }

    void Click(CVolWinButton& button) { SendMessageW(button.Handle(), BM_CLICK, 0, 0); }

    // Types a directory and presses start; answers the warning's message, if one came.
    std::string StartWith(const std::u16string& directory) {
        machine.Later();
        form->DirectoryEdit().SetCaption(CWString(directory));
        DialogAnswerer answerer(GetCurrentThreadId(), IDOK);
        Click(form->StartButton());
        forms_test::PumpMessages();
        return answerer.Answered() ? answerer.Message() : std::string();
    }

    // Waits until the information box has `count` lines and answers them without their
    // time, which is checked to be hh:mm:ss.
    std::vector<std::string> Lines(std::size_t count) {
        std::vector<std::string> lines;
        PumpUntil([&] {
            lines.clear();
            const std::string text = Log();
            std::size_t start = 0;
            for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos;
                 start = end + 2) {
                lines.push_back(text.substr(start, end - start));
            }
            return lines.size() >= count;
        });
        for (std::string& line : lines) {
            const bool timed = line.size() > 8 && isdigit(line[0]) && isdigit(line[1]) &&
                               line[2] == ':' && isdigit(line[3]) && isdigit(line[4]) &&
                               line[5] == ':' && isdigit(line[6]) && isdigit(line[7]);
            EXPECT_TRUE(timed) << line;
            line = line.substr(8);
        }
        return lines;
    }
};

// ---- Flows

TEST_F(MainFormTest, StartWithTheInitialTextWatchesTheWholeVolume) {
    EXPECT_EQ(ToUtf8(form->DirectoryEdit().GetText()), "C:\\");
    EXPECT_EQ(StartWith(u"C:\\"), "");
    EXPECT_TRUE(Running());
    EXPECT_EQ(ToUtf8(form->WatchedDrive()), "C");
    EXPECT_TRUE(form->Monitor().IsWatching(u'C'));
    machine.c.MakeFile(machine.other, u"x.txt");
    EXPECT_EQ(Lines(1), (std::vector<std::string>{"[新建文件] C:\\other\\x.txt"}));
    Click(form->StopButton());
    EXPECT_TRUE(Idle());
    EXPECT_FALSE(form->Monitor().IsWatching(u'C'));
}

TEST_F(MainFormTest, ALowerCaseDriveIsItsOwnDriveText) {
    EXPECT_EQ(StartWith(u"d:\\data\\"), "");
    EXPECT_EQ(ToUtf8(form->WatchedDrive()), "d");
    EXPECT_TRUE(form->Monitor().IsWatching(u'd'));
    EXPECT_TRUE(Running());
}

struct InputCase {
    const char* name;
    std::u16string text;
    const char* warning;  // empty: the watch starts
};

class DirectoryInput : public MainFormTest, public ::testing::WithParamInterface<InputCase> {};

const char kEmpty[] = "先选择路径再开始";
const char kMissing[] = "所选目录不存在，请重新选择";
const char kRefused[] = "无法开始监控：该目录不在本机 NTFS 固定磁盘上，或无法打开其更改日志";

TEST_P(DirectoryInput, StartsOrWarnsAndStaysIdle) {
    const InputCase& c = GetParam();
    const std::string warning = StartWith(c.text);
    EXPECT_EQ(warning, c.warning);
    if (std::string(c.warning).empty()) {
        EXPECT_TRUE(Running());
        EXPECT_EQ(form->Monitor().WatchCount(), 1u);
    } else {
        EXPECT_TRUE(Idle());
        EXPECT_EQ(form->Monitor().WatchCount(), 0u);
        EXPECT_EQ(machine.platform.OpenVolumeCount(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DirectoryInput,
    ::testing::Values(InputCase{"empty", u"", kEmpty}, InputCase{"drive_and_colon", u"C:", ""},
                      InputCase{"root", u"C:\\", ""},
                      InputCase{"lower_case_directory", u"c:\\data", ""},
                      InputCase{"directory_with_backslash", u"C:\\data\\sub\\", ""},
                      InputCase{"relative_path", u"data\\sub", kRefused},
                      InputCase{"no_colon", u"data", kRefused},
                      InputCase{"unc_path", u"\\\\server\\share\\data", kRefused},
                      InputCase{"device_path", u"\\\\?\\C:\\data", kRefused},
                      InputCase{"very_long_path", u"C:\\" + std::u16string(300, u'x'), kMissing},
                      InputCase{"a_file", u"C:\\data\\a.txt", kMissing},
                      InputCase{"missing_directory", u"C:\\missing", kMissing},
                      InputCase{"drive_without_a_volume", u"Q:\\", kMissing},
                      InputCase{"removable_drive", u"E:\\data", kRefused},
                      InputCase{"leading_spaces", u"  C:\\data", kRefused},
                      InputCase{"colon_first", u":\\data", kRefused}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainFormTest, TheEmptyBoxWarningGivesTheFocusBackAndChangesNothing) {
    form->DirectoryEdit().SetCaption(CWString());
    DialogAnswerer answerer(GetCurrentThreadId(), IDOK);
    Click(form->StartButton());
    EXPECT_TRUE(answerer.Answered());
    EXPECT_EQ(answerer.Caption(), "信息:");
    EXPECT_EQ(answerer.Message(), kEmpty);
    EXPECT_TRUE(answerer.HasWarningIcon());
    // The click gave the start button the focus before the box came; it has it back.
    EXPECT_EQ(GetFocus(), form->StartButton().Handle());
    EXPECT_TRUE(Idle());
    EXPECT_TRUE(form->WatchedDrive().IsEmpty());
}

TEST_F(MainFormTest, CancellingTheFolderDialogEmptiesTheBox) {
    {
        DialogAnswerer answerer(GetCurrentThreadId(), IDCANCEL);
        Click(form->BrowseButton());
        EXPECT_TRUE(answerer.Answered());
    }
    EXPECT_TRUE(form->DirectoryEdit().GetText().IsEmpty());
    EXPECT_EQ(StartWith(u""), kEmpty);
}

TEST_F(MainFormTest, StopActsOnTheDriveOfTheLastStartWhateverTheBoxSays) {
    ASSERT_EQ(StartWith(u"C:\\data"), "");
    form->DirectoryEdit().SetCaption(CWString(u"D:\\data"));
    Click(form->StopButton());
    EXPECT_TRUE(Idle());
    EXPECT_FALSE(form->Monitor().IsWatching(u'C'));
    EXPECT_EQ(machine.platform.OpenVolumeCount(), 0u);
}

// ---- Lines

TEST_F(MainFormTest, EveryKindHasItsLine) {
    ASSERT_EQ(StartWith(u"C:\\data\\"), "");
    const auto made = machine.c.MakeFile(machine.data, u"new.txt", 10);
    machine.c.Write(machine.a, 0, 100);
    machine.c.Rename(made, machine.data, u"renamed.txt");
    const auto gone = machine.c.MakeFile(machine.sub, u"gone.txt");
    machine.c.Delete(gone);
    machine.c.Recycle(machine.a);
    machine.c.Rename(made, machine.other, u"moved.txt");  // moves are not shown
    EXPECT_EQ(Lines(6), (std::vector<std::string>{
                            "[新建文件] C:\\data\\new.txt", "[文件修改] C:\\data\\a.txt",
                            "[重命名] C:\\data\\renamed.txt  (原名:new.txt)",
                            "[新建文件] C:\\data\\sub\\gone.txt",
                            "[彻底删除] C:\\data\\sub\\gone.txt", "[移到回收站] C:\\data\\a.txt"}));
}

struct GateCase {
    const char* name;
    CVolWinCheckBox& (MainForm::*box)();
    std::vector<std::string> shown;
};

class KindGates : public MainFormTest, public ::testing::WithParamInterface<GateCase> {};

TEST_P(KindGates, AClearedBoxHidesItsKindsWhileTheWatchRuns) {
    const auto marker = machine.c.MakeFile(machine.data, u"marker.txt");
    ASSERT_EQ(StartWith(u"C:\\data"), "");
    SendMessageW(((*form).*GetParam().box)().Handle(), BM_CLICK, 0, 0);  // cleared while running
    const auto made = machine.c.MakeFile(machine.data, u"n.txt", 10);
    machine.c.Write(machine.a, 0, 100);
    machine.c.Rename(made, machine.data, u"r.txt");
    machine.c.Delete(made);
    machine.c.Recycle(machine.a);
    // A last change of a kind still shown tells that everything before it was handled.
    std::vector<std::string> shown = GetParam().shown;
    if (GetParam().box == &MainForm::ModifyCheck) {
        machine.c.MakeFile(machine.data, u"end.txt");
        shown.push_back("[新建文件] C:\\data\\end.txt");
    } else {
        machine.c.Write(marker, 0, 10);
        shown.push_back("[文件修改] C:\\data\\marker.txt");
    }
    EXPECT_EQ(Lines(shown.size()), shown);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KindGates,
    ::testing::Values(
        GateCase{"create",
                 &MainForm::CreateCheck,
                 {"[文件修改] C:\\data\\a.txt", "[重命名] C:\\data\\r.txt  (原名:n.txt)",
                  "[彻底删除] C:\\data\\r.txt", "[移到回收站] C:\\data\\a.txt"}},
        GateCase{"delete_hides_both_deletes",
                 &MainForm::DeleteCheck,
                 {"[新建文件] C:\\data\\n.txt", "[文件修改] C:\\data\\a.txt",
                  "[重命名] C:\\data\\r.txt  (原名:n.txt)"}},
        GateCase{"modify",
                 &MainForm::ModifyCheck,
                 {"[新建文件] C:\\data\\n.txt", "[重命名] C:\\data\\r.txt  (原名:n.txt)",
                  "[彻底删除] C:\\data\\r.txt", "[移到回收站] C:\\data\\a.txt"}},
        GateCase{"rename",
                 &MainForm::RenameCheck,
                 {"[新建文件] C:\\data\\n.txt", "[文件修改] C:\\data\\a.txt",
                  "[彻底删除] C:\\data\\r.txt", "[移到回收站] C:\\data\\a.txt"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainFormTest, ClearWhileRunningStartsAFreshFirstLine) {
    ASSERT_EQ(StartWith(u"C:\\data\\"), "");
    machine.c.MakeFile(machine.data, u"one.txt");
    ASSERT_EQ(Lines(1).size(), 1u);
    Click(form->ClearButton());
    EXPECT_EQ(Log(), "");
    machine.c.MakeFile(machine.data, u"two.txt");
    EXPECT_EQ(Lines(1), (std::vector<std::string>{"[新建文件] C:\\data\\two.txt"}));
}

// ---- Stress

TEST_F(MainFormTest, StopReturnsWithinASecondWhileChangesStreamIn) {
    std::atomic<bool> producing{true};
    std::thread producer([&] {
        for (int i = 0; producing; ++i) {
            const auto f =
                machine.c.MakeFile(machine.data, u"s" + FromUtf8(std::to_string(i)) + u".txt");
            machine.c.Delete(f);
        }
    });
    machine.platform.Clock().FollowSystemClock(true);
    form->DirectoryEdit().SetCaption(CWString(u"C:\\data"));
    auto slowest = 0ms;
    for (int round = 0; round < 100; ++round) {
        Click(form->StartButton());
        ASSERT_TRUE(Running());
        PumpUntil([] { return false; }, 10ms);  // lines arrive meanwhile
        const auto before = std::chrono::steady_clock::now();
        Click(form->StopButton());
        slowest = std::max(slowest, std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - before));
        ASSERT_TRUE(Idle());
    }
    producing = false;
    producer.join();
    EXPECT_LT(slowest, 1000ms);
    EXPECT_GT(Log().size(), 0u);
}

TEST_F(MainFormTest, ClosingTheWindowWhileLinesStreamEndsPromptly) {
    machine.platform.Clock().FollowSystemClock(true);
    std::atomic<bool> producing{true};
    std::thread producer([&] {
        for (int i = 0; producing; ++i) {
            machine.c.MakeFile(machine.data, u"c" + FromUtf8(std::to_string(i)) + u".txt");
        }
    });
    form->DirectoryEdit().SetCaption(CWString(u"C:\\data"));
    Click(form->StartButton());
    ASSERT_TRUE(PumpUntil([&] { return Log().size() > 200; }));
    const auto before = std::chrono::steady_clock::now();
    PostMessageW(form->Handle(), WM_CLOSE, 0, 0);
    PumpUntil([&] { return form->Handle() == nullptr; });
    form.reset();  // the watch ends with the window's object
    const auto took = std::chrono::steady_clock::now() - before;
    producing = false;
    producer.join();
    EXPECT_LT(took, 2s);
    EXPECT_EQ(machine.platform.OpenVolumeCount(), 0u);
}

}  // namespace
