#include "ui/MainForm.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <dbt.h>

#include "MainFormTestSupport.h"
#include "sim/SimRecord.h"

namespace {

using namespace main_form_test;
using namespace std::chrono_literals;

class MainFormTest : public ::testing::Test {
protected:
    Machine machine;
    std::unique_ptr<MainForm> form = std::make_unique<MainForm>(machine.probe);

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
    EXPECT_EQ(form->WatchedDrive(), u'C');
    EXPECT_TRUE(form->Monitor().IsWatching(u'C'));
    machine.c.MakeFile(machine.other, u"x.txt");
    EXPECT_EQ(Lines(1), (std::vector<std::string>{"[新建文件] C:\\other\\x.txt"}));
    Click(form->StopButton());
    EXPECT_TRUE(Idle());
    EXPECT_FALSE(form->Monitor().IsWatching(u'C'));
}

TEST_F(MainFormTest, ALowerCaseDriveIsTheSameDrive) {
    EXPECT_EQ(StartWith(u"d:\\data\\"), "");
    EXPECT_EQ(form->WatchedDrive(), u'D');
    EXPECT_TRUE(form->Monitor().IsWatching(u'd'));
    EXPECT_TRUE(form->Monitor().IsWatching(u'D'));
    EXPECT_TRUE(Running());
    Click(form->StopButton());
    EXPECT_EQ(form->Monitor().WatchCount(), 0u);
}

// The directory is what the box names, read as Windows reads it: "C:/data" watches C:\data,
// not the whole volume.
TEST_F(MainFormTest, ADirectoryTypedWithSlashesWatchesThatDirectoryOnly) {
    ASSERT_EQ(StartWith(u"C:/data"), "");
    machine.c.MakeFile(machine.other, u"outside.txt");
    machine.c.MakeFile(machine.data, u"inside.txt");
    EXPECT_EQ(Lines(1), (std::vector<std::string>{"[新建文件] C:\\data\\inside.txt"}));
}

// A junction to another drive is watched there, and the lines show that drive's paths.
TEST_F(MainFormTest, AJunctionToAnotherDriveIsWatchedThere) {
    ASSERT_EQ(StartWith(u"C:\\toD"), "");
    EXPECT_EQ(form->WatchedDrive(), u'D');
    machine.c.MakeFile(machine.other, u"on-c.txt");
    machine.d.MakeFile(machine.dData, u"on-d.txt");
    EXPECT_EQ(Lines(1), (std::vector<std::string>{"[新建文件] D:\\data\\on-d.txt"}));
    Click(form->StopButton());
    EXPECT_FALSE(form->Monitor().IsWatching(u'D'));
    EXPECT_EQ(machine.platform.OpenVolumeCount(), 0u);
}

struct InputCase {
    const char* name;
    std::u16string text;
    const char* warning;  // empty: the watch starts
};

void PrintTo(const InputCase& c, std::ostream* out) {
    *out << c.name;
}

class DirectoryInput : public MainFormTest, public ::testing::WithParamInterface<InputCase> {};

const char kEmpty[] = "先选择路径再开始";
const char kMissing[] = "所选目录不存在，请重新选择";
const char kNotLocal[] = "无法开始监控：不是本机磁盘上的目录";
const char kNoVolume[] = "无法开始监控：没有这个驱动器，或驱动器中没有卷";
const char kRemovable[] = "无法开始监控：这是可移动磁盘，只能监控本机固定磁盘";
const char kNetwork[] = "无法开始监控：这是网络驱动器，只能监控本机固定磁盘";
const char kUnlettered[] =
    "无法开始监控：它所在的卷没有驱动器号（装入的文件夹），请先为该卷分配驱动器号";

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
    // Only fixed drives are looked into before the start: elsewhere the look could stall
    // the window (a network drive) or raise the system's "no disk" box (no media).
    EXPECT_EQ(machine.AskedOffFixedDrives(), "");
}

// The text is read as Windows reads it (the simulated process's current directory is
// C:\): relative paths, "/" and the "\\?\\" form name the directory they name on Windows.
INSTANTIATE_TEST_SUITE_P(
    Table, DirectoryInput,
    ::testing::Values(
        InputCase{"empty", u"", kEmpty}, InputCase{"only_spaces", u"   ", kEmpty},
        InputCase{"drive_and_colon", u"C:", ""}, InputCase{"root", u"C:\\", ""},
        InputCase{"lower_case_directory", u"c:\\data", ""},
        InputCase{"directory_with_backslash", u"C:\\data\\sub\\", ""},
        InputCase{"forward_slashes", u"C:/data/sub", ""},
        InputCase{"trailing_dot", u"C:\\data.", ""}, InputCase{"relative_path", u"data\\sub", ""},
        InputCase{"no_colon", u"data", ""}, InputCase{"long_form", u"\\\\?\\C:\\data", ""},
        InputCase{"subst_drive", u"S:\\sub", ""},
        InputCase{"junction_to_another_drive", u"C:\\toD", ""},
        InputCase{"unc_path", u"\\\\server\\share\\data", kNotLocal},
        InputCase{"very_long_path", u"C:\\" + std::u16string(300, u'x'), kMissing},
        InputCase{"a_file", u"C:\\data\\a.txt", kMissing},
        InputCase{"missing_directory", u"C:\\missing", kMissing},
        InputCase{"folder_of_a_volume_without_a_letter", u"C:\\mnt\\backup", kUnlettered},
        InputCase{"drive_without_a_volume", u"Q:\\", kNoVolume},
        InputCase{"removable_drive", u"E:\\data", kRemovable},
        InputCase{"missing_directory_on_a_removable_drive", u"E:\\missing", kRemovable},
        InputCase{"network_drive", u"N:\\data", kNetwork},
        InputCase{"trailing_spaces", u"C:\\data  ", ""},
        InputCase{"trailing_space_after_the_root", u"C:\\ ", ""},
        InputCase{"trailing_spaces_after_a_missing_directory", u"C:\\missing ", kMissing},
        InputCase{"leading_spaces", u"  C:\\data", kMissing},
        InputCase{"colon_first", u":\\data", kMissing}),
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
    EXPECT_EQ(form->WatchedDrive(), 0);
}

struct WarningCase {
    const char* name;
    std::u16string text;
    const char* message;
};

void PrintTo(const WarningCase& c, std::ostream* out) {
    *out << c.name;
}

class Warnings : public MainFormTest, public ::testing::WithParamInterface<WarningCase> {};

TEST_P(Warnings, AreOwnedByTheWindowShowTheWarningIconAndGiveTheFocusBack) {
    machine.Later();
    form->DirectoryEdit().SetCaption(CWString(GetParam().text));
    DialogAnswerer answerer(GetCurrentThreadId(), IDOK);
    Click(form->StartButton());
    ASSERT_TRUE(answerer.Answered());
    EXPECT_EQ(answerer.Message(), GetParam().message);
    EXPECT_EQ(answerer.Caption(), "信息:");
    EXPECT_TRUE(answerer.HasWarningIcon());
    EXPECT_EQ(answerer.Owner(), form->Handle());
    EXPECT_EQ(GetFocus(), form->StartButton().Handle());
    EXPECT_TRUE(Idle());
}

INSTANTIATE_TEST_SUITE_P(Table, Warnings,
                         ::testing::Values(WarningCase{"empty", u"", kEmpty},
                                           WarningCase{"missing", u"C:\\missing", kMissing},
                                           WarningCase{"refused", u"E:\\data", kRemovable}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainFormTest, TrailingSpacesAreNoPartOfTheWatchedDirectory) {
    ASSERT_EQ(StartWith(u"C:\\data  "), "");
    machine.c.MakeFile(machine.other, u"outside.txt");
    machine.c.MakeFile(machine.data, u"inside.txt");
    EXPECT_EQ(Lines(1), (std::vector<std::string>{"[新建文件] C:\\data\\inside.txt"}));
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

TEST_F(MainFormTest, TheFocusGoesToTheButtonThatTakesOverFromTheOneBeingDisabled) {
    ASSERT_EQ(StartWith(u"C:\\data"), "");  // the click gave 开始 the focus
    EXPECT_EQ(GetFocus(), form->StopButton().Handle());
    Click(form->StopButton());
    EXPECT_EQ(GetFocus(), form->StartButton().Handle());
}

TEST_F(MainFormTest, AFocusElsewhereStaysWhereItIsAtStartAndStop) {
    const HWND box = form->DirectoryEdit().Handle();
    SetFocus(box);
    const auto press = [&](CVolWinButton& button) {
        // A click as the parent hears it, without the button taking the focus first.
        SendMessageW(form->Handle(), WM_COMMAND,
                     MAKEWPARAM(GetDlgCtrlID(button.Handle()), BN_CLICKED),
                     reinterpret_cast<LPARAM>(button.Handle()));
    };
    press(form->StartButton());
    EXPECT_TRUE(Running());
    EXPECT_EQ(GetFocus(), box);
    press(form->StopButton());
    EXPECT_TRUE(Idle());
    EXPECT_EQ(GetFocus(), box);
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
    machine.c.Rename(made, machine.other, u"moved.txt");
    EXPECT_EQ(Lines(7), (std::vector<std::string>{
                            "[新建文件] C:\\data\\new.txt", "[文件修改] C:\\data\\a.txt",
                            "[重命名] C:\\data\\renamed.txt  (原名:new.txt)",
                            "[新建文件] C:\\data\\sub\\gone.txt",
                            "[彻底删除] C:\\data\\sub\\gone.txt", "[移到回收站] C:\\data\\a.txt",
                            "[移动] C:\\other\\moved.txt  (原位置:C:\\data\\renamed.txt)"}));
}

// Whatever the boxes say: a watch that lost changes, or ended by itself, says so, and the
// window goes back to Idle when the watch has ended.
TEST_F(MainFormTest, AGapAndAnEndAreSaidWhateverTheBoxesSayAndTheWindowGoesIdle) {
    ASSERT_EQ(StartWith(u"C:\\data\\"), "");
    for (CVolWinCheckBox* box :
         {&form->CreateCheck(), &form->DeleteCheck(), &form->ModifyCheck(), &form->RenameCheck()}) {
        SendMessageW(box->Handle(), BM_CLICK, 0, 0);
        ASSERT_FALSE(box->IsChecked());
    }
    machine.c.RecreateJournal();
    machine.c.MakeFile(machine.data, u"unseen.txt");  // its box is cleared
    EXPECT_EQ(Lines(1), (std::vector<std::string>{
                            "[可能遗漏] C:\\  (更改日志已被删除并重建，其间的变化无法显示)"}));
    machine.c.SetRemoved(true);
    EXPECT_EQ(Lines(2).back(), "[监控中止] C:\\  (磁盘卷已不可用)");
    EXPECT_TRUE(PumpUntil([&] { return Idle(); })) << "the window still shows a running watch";
    EXPECT_FALSE(form->Monitor().IsWatching(u'C'));
}

// Safely Remove Hardware: the system asks the window before it removes the disk; the watch
// ends, saying so, and closes the volume, so that the removal can go on.
TEST_F(MainFormTest, ARemovalAskedForEndsTheWatchAndLetsTheDiskGo) {
    ASSERT_EQ(StartWith(u"C:\\data\\"), "");
    ASSERT_EQ(machine.platform.OpenVolumeCount(), 1u);
    DEV_BROADCAST_HANDLE notice{};
    notice.dbch_size = sizeof notice;
    notice.dbch_devicetype = DBT_DEVTYP_HANDLE;
    notice.dbch_handle = reinterpret_cast<HANDLE>(form->Monitor().VolumeOf(u'C') + 1);
    // Another volume's device: not this watch's.
    SendMessageW(form->Handle(), WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE,
                 reinterpret_cast<LPARAM>(&notice));
    EXPECT_TRUE(Running());
    notice.dbch_handle = reinterpret_cast<HANDLE>(form->Monitor().VolumeOf(u'C'));
    EXPECT_EQ(SendMessageW(form->Handle(), WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE,
                           reinterpret_cast<LPARAM>(&notice)),
              TRUE);
    EXPECT_EQ(machine.platform.OpenVolumeCount(), 0u) << "the open volume holds up the removal";
    EXPECT_EQ(Lines(1), (std::vector<std::string>{"[监控中止] C:\\  (磁盘正在被安全移除)"}));
    EXPECT_TRUE(PumpUntil([&] { return Idle(); }));
}

TEST_F(MainFormTest, MovesIntoOutOfAndWithinTheTreeNameTheFormerPlace) {
    const auto incoming = machine.c.MakeFile(machine.other, u"in.txt");
    ASSERT_EQ(StartWith(u"C:\\data\\"), "");
    machine.c.Rename(incoming, machine.data, u"in.txt");
    machine.c.Rename(machine.a, machine.sub, u"a.txt");
    // Paths are resolved when a line is made: the folder moves once its file's line is in.
    ASSERT_EQ(Lines(2).size(), 2u);
    machine.c.Rename(machine.sub, machine.other, u"sub2");  // a folder, renamed on its way out
    EXPECT_EQ(Lines(3),
              (std::vector<std::string>{"[移动] C:\\data\\in.txt  (原位置:C:\\other\\in.txt)",
                                        "[移动] C:\\data\\sub\\a.txt  (原位置:C:\\data\\a.txt)",
                                        "[移动] C:\\other\\sub2  (原位置:C:\\data\\sub)"}));
}

TEST_F(MainFormTest, AMoveWhoseFormerNameCameBeforeTheWatchShowsTheFormerPlaceAsUnknown) {
    // The two halves of a move, the first written before the watch began.
    SimRecord half;
    half.fileReference = machine.c.MakeFile(machine.other, u"came.txt");
    half.parentReference = machine.other;
    half.timeStamp = machine.platform.Clock().FileTime();
    half.reason = ntfs::kReasonRenameOldName;
    half.attributes = ntfs::kAttributeArchive;
    half.name = u"came.txt";
    ASSERT_GE(machine.c.AppendRecord(half), 0);
    ASSERT_EQ(StartWith(u"C:\\data"), "");
    half.parentReference = machine.data;
    half.timeStamp = machine.platform.Clock().FileTime();
    half.reason = ntfs::kReasonRenameNewName | ntfs::kReasonClose;
    ASSERT_GE(machine.c.AppendRecord(half), 0);
    EXPECT_EQ(Lines(1), (std::vector<std::string>{"[移动] C:\\data\\came.txt  (原位置:未知)"}));
}

struct GateCase {
    const char* name;
    CVolWinCheckBox& (MainForm::*box)();
    std::vector<std::string> shown;
};

void PrintTo(const GateCase& c, std::ostream* out) {
    *out << c.name;
}

const char kMove[] = "[移动] C:\\data\\sub\\r.txt  (原位置:C:\\data\\r.txt)";

class KindGates : public MainFormTest, public ::testing::WithParamInterface<GateCase> {};

TEST_P(KindGates, AClearedBoxHidesItsKindsWhileTheWatchRuns) {
    const auto marker = machine.c.MakeFile(machine.data, u"marker.txt");
    ASSERT_EQ(StartWith(u"C:\\data"), "");
    SendMessageW(((*form).*GetParam().box)().Handle(), BM_CLICK, 0, 0);  // cleared while running
    const auto made = machine.c.MakeFile(machine.data, u"n.txt", 10);
    machine.c.Write(machine.a, 0, 100);
    machine.c.Rename(made, machine.data, u"r.txt");
    machine.c.Rename(made, machine.sub, u"r.txt");
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
                 {"[文件修改] C:\\data\\a.txt", "[重命名] C:\\data\\r.txt  (原名:n.txt)", kMove,
                  "[彻底删除] C:\\data\\sub\\r.txt", "[移到回收站] C:\\data\\a.txt"}},
        GateCase{"delete_hides_both_deletes",
                 &MainForm::DeleteCheck,
                 {"[新建文件] C:\\data\\n.txt", "[文件修改] C:\\data\\a.txt",
                  "[重命名] C:\\data\\r.txt  (原名:n.txt)", kMove}},
        GateCase{"modify",
                 &MainForm::ModifyCheck,
                 {"[新建文件] C:\\data\\n.txt", "[重命名] C:\\data\\r.txt  (原名:n.txt)", kMove,
                  "[彻底删除] C:\\data\\sub\\r.txt", "[移到回收站] C:\\data\\a.txt"}},
        GateCase{"rename_hides_renames_and_moves",
                 &MainForm::RenameCheck,
                 {"[新建文件] C:\\data\\n.txt", "[文件修改] C:\\data\\a.txt",
                  "[彻底删除] C:\\data\\sub\\r.txt", "[移到回收站] C:\\data\\a.txt"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The ways a box changes its state: a click, a state sent from another thread (as an
// automation tool sets it), the space key.
struct BoxChange {
    const char* name;
    void (*tick)(HWND box, bool ticked);
};

void PrintTo(const BoxChange& c, std::ostream* out) {
    *out << c.name;
}

void ClickTo(HWND box, bool ticked) {
    if ((SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED) != ticked) {
        SendMessageW(box, BM_CLICK, 0, 0);
    }
}

void SendFromAnotherThread(HWND box, bool ticked) {
    std::atomic<bool> done{false};
    std::thread sender([&] {
        SendMessageW(box, BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
        done = true;
    });
    PumpUntil([&] { return done.load(); });
    sender.join();
}

void PressSpaceTo(HWND box, bool ticked) {
    if ((SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED) != ticked) {
        SendMessageW(box, WM_KEYDOWN, VK_SPACE, 0);
        SendMessageW(box, WM_KEYUP, VK_SPACE, 0xC0000001);
    }
}

class BoxChanges : public MainFormTest, public ::testing::WithParamInterface<BoxChange> {};

// Bursts of new files, each written, while the boxes change between them: every line in
// the order its change came, shown as its box stood when the change arrived. The last
// change of each burst is of a kind still shown, so its line tells that the worker has
// handled the whole burst before a box changes again.
TEST_P(BoxChanges, LinesOfBurstsBetweenBoxChangesComeInOrderAsTheirBoxesSaidOnArrival) {
    ASSERT_EQ(StartWith(u"C:\\data\\"), "");
    const HWND create = form->CreateCheck().Handle();
    const HWND modify = form->ModifyCheck().Handle();
    std::vector<std::string> expected;
    const auto burst = [&](char letter, bool createShown, bool modifyShown) {
        for (int i = 0; i < 20; ++i) {
            const std::string name = letter + std::to_string(i) + ".txt";
            const auto made = machine.c.MakeFile(machine.data, FromUtf8(name), 10);
            machine.c.Write(made, 0, 20);
            if (createShown) {
                expected.push_back("[新建文件] C:\\data\\" + name);
            }
            if (modifyShown) {
                expected.push_back("[文件修改] C:\\data\\" + name);
            }
        }
        EXPECT_EQ(Lines(expected.size()), expected);
    };
    burst('a', true, true);
    GetParam().tick(create, false);
    burst('b', false, true);
    GetParam().tick(create, true);
    GetParam().tick(modify, false);
    burst('c', true, false);
    // The last of burst c was a hidden write: a new file closes it.
    machine.c.MakeFile(machine.data, u"end.txt");
    expected.push_back("[新建文件] C:\\data\\end.txt");
    EXPECT_EQ(Lines(expected.size()), expected);
}

INSTANTIATE_TEST_SUITE_P(Table, BoxChanges,
                         ::testing::Values(BoxChange{"click", ClickTo},
                                           BoxChange{"sent_from_another_thread",
                                                     SendFromAnotherThread},
                                           BoxChange{"space_key", PressSpaceTo}),
                         [](const auto& info) { return std::string(info.param.name); });

// What the user sees of the information box.
struct BoxView {
    DWORD start = 0;
    DWORD end = 0;
    LRESULT firstLine = 0;
    int horizontal = 0;
    bool caretAtStart = false;
};

BoxView ViewOf(HWND box) {
    BoxView view;
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&view.start),
                 reinterpret_cast<LPARAM>(&view.end));
    view.firstLine = SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0);
    view.horizontal = GetScrollPos(box, SB_HORZ);
    POINT caret{};
    GetCaretPos(&caret);
    const LRESULT at = SendMessageW(box, EM_POSFROMCHAR, view.start, 0);
    view.caretAtStart =
        caret.x == static_cast<short>(LOWORD(at)) && caret.y == static_cast<short>(HIWORD(at));
    return view;
}

bool LastLineInView(HWND box) {
    RECT format{};
    SendMessageW(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    // The start of the last line with text: the one before the empty line after the break.
    const LRESULT last = SendMessageW(box, EM_GETLINECOUNT, 0, 0) - 2;
    const LRESULT at =
        SendMessageW(box, EM_POSFROMCHAR, SendMessageW(box, EM_LINEINDEX, last, 0), 0);
    const int y = static_cast<short>(HIWORD(at));
    return at != -1 && y >= format.top && y < format.bottom;
}

TEST_F(MainFormTest, TheViewFollowsNewLinesWhileTheCaretIsAtTheEnd) {
    ASSERT_EQ(StartWith(u"C:\\data\\"), "");
    const HWND box = form->LogEdit().Handle();
    for (int i = 0; i < 80; ++i) {
        machine.c.MakeFile(machine.data, u"f" + FromUtf8(std::to_string(i)) + u".txt");
    }
    ASSERT_EQ(Lines(80).size(), 80u);
    EXPECT_GT(SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    EXPECT_TRUE(LastLineInView(box));
    const LRESULT length = SendMessageW(box, WM_GETTEXTLENGTH, 0, 0);
    EXPECT_EQ(SendMessageW(box, EM_GETSEL, 0, 0), MAKELONG(length, length));
}

// A user reading earlier lines: a selection made backwards, the view scrolled up and to
// the right. Lines keep arriving below; nothing moves. Back at the end, the view follows
// again.
TEST_F(MainFormTest, AUsersSelectionAndScrollPositionStayWhileLinesArriveBelow) {
    ASSERT_EQ(StartWith(u"C:\\data\\"), "");
    const HWND box = form->LogEdit().Handle();
    const std::u16string longName(150, u'n');
    machine.c.MakeFile(machine.data, longName + u".txt");
    for (int i = 0; i < 80; ++i) {
        machine.c.MakeFile(machine.data, u"f" + FromUtf8(std::to_string(i)) + u".txt");
    }
    ASSERT_EQ(Lines(81).size(), 81u);
    SetForegroundWindow(form->Handle());
    SetFocus(box);
    const LRESULT from = SendMessageW(box, EM_LINEINDEX, 10, 0);
    SendMessageW(box, EM_SETSEL, from + 30, from + 5);  // the caret at the start
    SendMessageW(box, WM_VSCROLL, SB_TOP, 0);
    SendMessageW(box, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 3), 0);
    SendMessageW(box, WM_HSCROLL, SB_PAGERIGHT, 0);
    const BoxView before = ViewOf(box);
    ASSERT_EQ(before.firstLine, 3);
    ASSERT_GT(before.horizontal, 0);
    ASSERT_TRUE(before.caretAtStart);

    for (int i = 0; i < 60; ++i) {
        machine.c.MakeFile(machine.data, u"g" + FromUtf8(std::to_string(i)) + u".txt");
    }
    ASSERT_EQ(Lines(141).size(), 141u);
    const BoxView after = ViewOf(box);
    EXPECT_EQ(after.start, before.start);
    EXPECT_EQ(after.end, before.end);
    EXPECT_EQ(after.firstLine, before.firstLine);
    EXPECT_EQ(after.horizontal, before.horizontal);
    EXPECT_TRUE(after.caretAtStart);

    // Ctrl+End: the caret at the end, the last line in view.
    const LRESULT length = SendMessageW(box, WM_GETTEXTLENGTH, 0, 0);
    SendMessageW(box, EM_SETSEL, length, length);
    SendMessageW(box, EM_SCROLLCARET, 0, 0);
    for (int i = 0; i < 60; ++i) {
        machine.c.MakeFile(machine.data, u"h" + FromUtf8(std::to_string(i)) + u".txt");
    }
    ASSERT_EQ(Lines(201).size(), 201u);
    EXPECT_TRUE(LastLineInView(box));
}

// Scrolled up with the caret at the end: the view stays, the caret stays at the end, and
// the view follows again once the user scrolls back down.
TEST_F(MainFormTest, ACaretAtTheEndStaysThereWhileTheUserLooksAtEarlierLines) {
    ASSERT_EQ(StartWith(u"C:\\data\\"), "");
    const HWND box = form->LogEdit().Handle();
    for (int i = 0; i < 80; ++i) {
        machine.c.MakeFile(machine.data, u"f" + FromUtf8(std::to_string(i)) + u".txt");
    }
    ASSERT_EQ(Lines(80).size(), 80u);
    SendMessageW(box, WM_VSCROLL, SB_TOP, 0);
    for (int i = 0; i < 20; ++i) {
        machine.c.MakeFile(machine.data, u"g" + FromUtf8(std::to_string(i)) + u".txt");
    }
    ASSERT_EQ(Lines(100).size(), 100u);
    EXPECT_EQ(SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    const LRESULT length = SendMessageW(box, WM_GETTEXTLENGTH, 0, 0);
    EXPECT_EQ(SendMessageW(box, EM_GETSEL, 0, 0), MAKELONG(length, length));
    SendMessageW(box, WM_VSCROLL, SB_BOTTOM, 0);
    for (int i = 0; i < 20; ++i) {
        machine.c.MakeFile(machine.data, u"h" + FromUtf8(std::to_string(i)) + u".txt");
    }
    ASSERT_EQ(Lines(120).size(), 120u);
    EXPECT_TRUE(LastLineInView(box));
}

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
        // Lines arrive meanwhile. Each start reads the journal from its first record, so on
        // a busy machine later rounds may stop before the worker reaches new ones: the
        // first waits until lines flow.
        if (round == 0) {
            PumpUntil([&] { return !Log().empty(); });
        } else {
            PumpUntil([] { return false; }, 10ms);
        }
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

// Runs an action whenever its window is about to handle one kind of message.
class BeforeMessage final : public IWindowProcFilter {
public:
    BeforeMessage(UINT message, std::function<void()> action)
        : message_(message), action_(std::move(action)) {}

    bool FilterMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT*) override {
        if (message == message_) {
            action_();
        }
        return false;
    }

private:
    UINT message_;
    std::function<void()> action_;
};

// Automation tools click with a sent BM_CLICK. A stop waits for the worker while serving
// sent messages, so such a click can run inside the stop: it must do nothing there. Once
// the stop has begun, the worker's next journal read sends the click and waits for it,
// which only the stop's wait can serve.
TEST_F(MainFormTest, AStopClickSentFromAnotherThreadWhileTheStopWaitsDoesNothing) {
    machine.platform.Clock().FollowSystemClock(true);
    std::atomic<bool> producing{true};
    std::thread producer([&] {
        for (int i = 0; producing; ++i) {
            machine.c.MakeFile(machine.data, u"k" + FromUtf8(std::to_string(i)) + u".txt");
        }
    });
    const HWND stopWindow = form->StopButton().Handle();
    std::atomic<bool> stopping{false};
    std::atomic<bool> clickSent{false};
    machine.reads.BeforeEachJournalRead([&] {
        if (stopping && !clickSent.exchange(true)) {
            SendMessageW(stopWindow, BM_CLICK, 0, 0);
        }
    });
    int clicksInStop = 0;
    BeforeMessage click(BM_CLICK, [&] { clicksInStop += stopping ? 1 : 0; });
    form->StopButton().NativeWindow().Filters().Add(&click);

    form->DirectoryEdit().SetCaption(CWString(u"C:\\data"));
    int rounds = 0;
    // The stop may find the worker past its last read; such a round is run again.
    for (; rounds < 20 && clicksInStop < 2; ++rounds) {
        Click(form->StartButton());
        if (!Running()) {
            ADD_FAILURE() << "no start in round " << rounds;
            break;
        }
        // The worker reads on once it has read past the journal's older records.
        const std::size_t before = Log().size();
        PumpUntil([&] { return Log().size() > before; });
        clicksInStop = 0;
        clickSent = false;
        stopping = true;
        Click(form->StopButton());
        stopping = false;
        if (!Idle() || form->Monitor().IsWatching(u'C')) {
            ADD_FAILURE() << "not stopped in round " << rounds;
            break;
        }
    }
    machine.reads.BeforeEachJournalRead(nullptr);
    form->StopButton().NativeWindow().Filters().Remove(&click);
    producing = false;
    producer.join();

    // The stop's own click and the one served inside it.
    EXPECT_EQ(clicksInStop, 2) << "no click ran inside a stop in " << rounds << " rounds";
    EXPECT_EQ(machine.platform.OpenVolumeCount(), 0u);
    // The window still starts and stops.
    Click(form->StartButton());
    EXPECT_TRUE(Running());
    Click(form->StopButton());
    EXPECT_TRUE(Idle());
}

// Closed while lines stream in: the window goes promptly, no line reaches the box once the
// window is being destroyed, and the worker, which reads on until the window's object
// goes, finds nowhere to put its lines.
TEST_F(MainFormTest, ClosingTheWindowWhileLinesStreamEndsPromptlyAndAppendsNothingAfter) {
    machine.platform.Clock().FollowSystemClock(true);
    std::atomic<bool> producing{true};
    std::thread producer([&] {
        for (int i = 0; producing; ++i) {
            machine.c.MakeFile(machine.data, u"c" + FromUtf8(std::to_string(i)) + u".txt");
        }
    });
    std::atomic<int> reads{0};
    machine.reads.BeforeEachJournalRead([&] { ++reads; });
    bool destroying = false;
    int appendsWhileDestroying = 0;
    BeforeMessage destroy(WM_DESTROY, [&] { destroying = true; });
    BeforeMessage append(EM_REPLACESEL, [&] { appendsWhileDestroying += destroying ? 1 : 0; });
    form->NativeWindow().Filters().Add(&destroy);
    form->LogEdit().NativeWindow().Filters().Add(&append);
    form->DirectoryEdit().SetCaption(CWString(u"C:\\data"));
    Click(form->StartButton());
    ASSERT_TRUE(PumpUntil([&] { return Log().size() > 200; }));
    auto before = std::chrono::steady_clock::now();
    PostMessageW(form->Handle(), WM_CLOSE, 0, 0);
    PumpUntil([&] { return form->Handle() == nullptr; });
    auto took = std::chrono::steady_clock::now() - before;
    EXPECT_EQ(form->LogEdit().Handle(), nullptr);
    // The worker reads and hands over lines a while longer.
    const int readsAtClose = reads;
    PumpUntil([&] { return reads > readsAtClose + 3; });
    before = std::chrono::steady_clock::now();
    form.reset();  // the watch ends with the window's object
    took += std::chrono::steady_clock::now() - before;
    machine.reads.BeforeEachJournalRead(nullptr);
    producing = false;
    producer.join();
    forms_test::PumpMessages();
    EXPECT_TRUE(destroying);
    EXPECT_EQ(appendsWhileDestroying, 0);
    EXPECT_LT(took, 2s);
    EXPECT_EQ(machine.platform.OpenVolumeCount(), 0u);
}

}  // namespace
