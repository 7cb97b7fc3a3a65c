// The console program over a simulated machine: the lines it writes for the changes of
// its directories, its messages on standard error and its exit codes, and how it ends.

#include "console/ConsoleProgram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <regex>
#include <thread>

#include "ConsoleTestSupport.h"
#include "console/WatchState.h"
#include "ntfs/Win32Codes.h"
#include "sim/JournalReadProbe.h"
#include "sim/SimPlatform.h"
#include "support/EveryKindOfChange.h"
#include "support/LinkedDrives.h"

namespace {

using namespace std::chrono_literals;
using Args = std::vector<std::u16string>;
using Lines = std::vector<std::string>;

std::u16string Number(int n) {
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

class ConsoleProgramTest : public ::testing::Test {
protected:
    // In this order, so that the program and its workers have ended before the machine goes.
    SimPlatform platform;
    SimVolume& c = platform.AddDrive(u'C');
    std::uint64_t data = c.MakeDirectory(SimVolume::kRoot, u"data");
    std::uint64_t other = c.MakeDirectory(SimVolume::kRoot, u"other");
    std::uint64_t elsewhere = c.MakeDirectory(SimVolume::kRoot, u"elsewhere");
    JournalReadProbe probe{platform};
    console_test::FakeHost host;
    StopSignal stop;

    ~ConsoleProgramTest() override {
        if (running_.joinable()) {
            stop.Set();
            running_.join();
        }
    }

    // What is there now happened before the program starts.
    void SetUp() override { platform.Clock().Advance(2 * ntfs::kFileTimeTicksPerSecond); }

    int Run(const Args& args) { return ConsoleProgram(u"yzwatch", probe, host).Run(args, stop); }

    // Runs the program on a thread of its own until `watches` have started and read the
    // journal of drive C to its end.
    void Start(const Args& args, std::size_t watches = 1) {
        // A later run of the same program: its own stop, its own lines on standard error.
        stop.Reset();
        {
            const std::lock_guard<std::mutex> lock(endMutex_);
            ended_ = false;
        }
        watches += host.err.Lines().size();
        running_ = std::thread([this, args] {
            code_ = Run(args);
            const std::lock_guard<std::mutex> lock(endMutex_);
            ended_ = true;
            endChanged_.notify_all();
        });
        ASSERT_TRUE(host.err.WaitForLines(watches)) << "no watch started";
        CatchUp(c);
    }
    void CatchUp(SimVolume& volume) {
        ASSERT_TRUE(probe.WaitCaughtUp(volume.JournalData()->NextUsn));
    }
    // Asks the program to stop, as Ctrl+C does; its exit code.
    int Stop() {
        stop.Set();
        return Ended();
    }
    // Waits for the program to end by itself; its exit code.
    int Ended() {
        {
            std::unique_lock<std::mutex> lock(endMutex_);
            // The limit only keeps a failing test from hanging.
            EXPECT_TRUE(endChanged_.wait_for(lock, 30s, [this] { return ended_; }))
                << "the program did not end";
        }
        stop.Set();
        running_.join();
        return code_;
    }

    // Standard output's lines without the time of day they begin with.
    Lines Changes() const {
        Lines lines;
        for (const std::string& line : host.out.Lines()) {
            EXPECT_TRUE(std::regex_search(line, std::regex("^[0-9]{2}:[0-9]{2}:[0-9]{2}\\[")))
                << line;
            lines.push_back(line.substr(8));
        }
        return lines;
    }

private:
    std::thread running_;
    std::atomic<int> code_{-1};
    std::mutex endMutex_;
    std::condition_variable endChanged_;
    bool ended_ = false;
};

TEST_F(ConsoleProgramTest, EveryKindOfChangeIsOneLineInTheWindowsFormat) {
    const auto a = c.MakeFile(data, u"a.txt", 10);
    platform.Clock().Advance(2 * ntfs::kFileTimeTicksPerSecond);
    Start({u"C:\\data"});
    MakeEveryKindOfChange(c, data, other, a);
    c.MakeFile(elsewhere, u"not watched.txt");
    CatchUp(c);
    EXPECT_EQ(Stop(), ConsoleProgram::kStopped);
    EXPECT_EQ(Changes(), (Lines{
                             "[新建文件] C:\\data\\b 文件.txt",
                             "[文件修改] C:\\data\\a.txt",
                             "[重命名] C:\\data\\a2.txt  (原名:a.txt)",
                             "[移动] C:\\other\\b 文件.txt  (原位置:C:\\data\\b 文件.txt)",
                             "[属性] C:\\data\\a2.txt",
                             "[新建文件] C:\\data\\link.txt",
                             "[其他] C:\\data\\a2.txt",
                             "[新建文件] C:\\data\\gone.txt",
                             "[彻底删除] C:\\data\\gone.txt",
                             "[移到回收站] C:\\data\\a2.txt",
                         }));
    EXPECT_EQ(host.err.Lines(), Lines{"yzwatch: 开始监控：C:\\data"});
    EXPECT_EQ(platform.OpenVolumeCount(), 0u);
}

TEST_F(ConsoleProgramTest, JsonLinesCarryEveryArgumentOfTheEnginesCalls) {
    Start({u"--json", u"C:\\data\\"});
    const std::string time = std::to_string(platform.Clock().FileTime());
    const auto a = c.MakeFile(data, u"a.txt");
    c.Rename(a, data, u"新名字.txt");
    c.MakeDirectory(data, u"目录");
    CatchUp(c);
    EXPECT_EQ(Stop(), ConsoleProgram::kStopped);
    // Each change names its record: the journal's closing record of that name.
    Lines lines = host.out.Lines();
    const std::regex usnKey(R"(,"usn":([0-9]+)\})");
    const char16_t* const names[] = {u"a.txt", u"新名字.txt", u"目录"};
    for (std::size_t i = 1; i < lines.size() && i <= 3; ++i) {
        std::smatch found;
        ASSERT_TRUE(std::regex_search(lines[i], found, usnKey)) << lines[i];
        const std::vector<SimRecord> from = c.RecordsSince(std::stoll(found[1]));
        ASSERT_FALSE(from.empty());
        EXPECT_EQ(from[0].name, names[i - 1]);
        EXPECT_NE(from[0].reason & ntfs::kReasonClose, 0u);
        lines[i] = std::regex_replace(lines[i], usnKey, "}");
    }
    EXPECT_EQ(lines, (Lines{
                         R"({"slot":"OnStarted"})",
                         R"({"slot":"OnCreated","name":"a.txt","dir":"C:\\data\\","time":)" + time +
                             R"(,"attributes":32})",
                         R"({"slot":"OnRenamed","oldName":"a.txt","newName":"新名字.txt",)"
                         R"("dir":"C:\\data\\","time":)" +
                             time + R"(,"attributes":32})",
                         R"({"slot":"OnCreated","name":"目录","dir":"C:\\data\\","time":)" + time +
                             R"(,"attributes":16})",
                     }));
}

// Nothing lost without a word: a gap is a line whatever --kinds says, and no change for
// --count; a watch that ends by itself says why, and with no watch left the program ends
// with 1 after a line on standard error.
TEST_F(ConsoleProgramTest, AGapAndTheEndOfTheLastWatchAreSaidAndTheProgramEndsWithOne) {
    Start({u"--json", u"--kinds", u"renamed", u"--count", u"1", u"C:\\data"});
    c.RecreateJournal();
    c.MakeFile(data, u"a.txt");  // a kind not asked for
    ASSERT_TRUE(host.out.WaitForLines(2));
    c.SetRemoved(true);
    EXPECT_EQ(Ended(), ConsoleProgram::kFailed);
    const Lines lines = host.out.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], R"({"slot":"OnStarted"})");
    EXPECT_EQ(
        lines[1].rfind(R"({"slot":"OnGap","root":"C:\\","reason":"replaced","firstLostUsn":)", 0),
        0u)
        << lines[1];
    EXPECT_EQ(lines[2], R"({"slot":"OnEnded","root":"C:\\","reason":"volumeGone"})");
    EXPECT_EQ(host.err.Lines(),
              (Lines{"yzwatch: 开始监控：C:\\data", "yzwatch: 所有监控都已中止"}));
}

TEST_F(ConsoleProgramTest, ARemovalAskedForEndsItsWatchAndClosesTheVolume) {
    SimVolume& d = platform.AddDrive(u'D');
    d.MakeDirectory(SimVolume::kRoot, u"logs");
    Start({u"C:\\data", u"D:\\logs"}, 2);
    ASSERT_TRUE(host.AskToRemove(1));  // D:
    EXPECT_EQ(platform.OpenVolumeCount(), 1u) << "the open volume holds up the removal";
    ASSERT_TRUE(host.out.WaitForLines(1));
    c.MakeFile(data, u"still.txt");  // C: goes on
    ASSERT_TRUE(host.out.WaitForLines(2));
    EXPECT_EQ(Stop(), ConsoleProgram::kStopped);
    EXPECT_EQ(Changes(),
              (Lines{"[监控中止] D:\\  (磁盘正在被安全移除)", "[新建文件] C:\\data\\still.txt"}));
}

// ---- --state: what changed while nobody watched

class ResumeTest : public ConsoleProgramTest {
protected:
    const std::u16string stateFile = u"C:\\logs\\data.state";
    const Args args{u"--state", u"C:\\logs\\data.state", u"C:\\data"};

    // A first run that saw `a.txt` made and stopped; the lines written so far.
    void FirstRun() {
        Start(args);
        c.MakeFile(data, u"a.txt");
        CatchUp(c);
        ASSERT_EQ(Stop(), ConsoleProgram::kStopped);
        ASSERT_TRUE(host.FileText(stateFile).has_value()) << "no state was kept";
    }
    // Change lines written from line `from` on, without their time.
    Lines ChangesFrom(std::size_t from) const {
        const Lines all = Changes();
        return Lines(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
    }
};

TEST_F(ResumeTest, ASecondRunReportsWhatChangedSinceTheFirstOnceAndInOrderThenGoesOn) {
    FirstRun();
    const std::size_t seen = Changes().size();
    c.MakeFile(data, u"b.txt");  // while nobody watched
    c.Rename(c.Lookup(u"\\data\\a.txt"), data, u"a2.txt");
    c.MakeFile(elsewhere, u"not watched.txt");
    Start(args);
    c.MakeFile(data, u"c.txt");  // live
    CatchUp(c);
    EXPECT_EQ(Stop(), ConsoleProgram::kStopped);
    EXPECT_EQ(ChangesFrom(seen),
              (Lines{"[新建文件] C:\\data\\b.txt", "[重命名] C:\\data\\a2.txt  (原名:a.txt)",
                     "[新建文件] C:\\data\\c.txt"}));
    // A third run right away has nothing to catch up on.
    const std::size_t all = Changes().size();
    Start(args);
    EXPECT_EQ(Stop(), ConsoleProgram::kStopped);
    EXPECT_EQ(Changes().size(), all);
}

// What the journal no longer holds is said, and the rest still comes.
TEST_F(ResumeTest, AJournalThatMovedOnWhileNobodyWatchedIsSaid) {
    struct Case {
        const char* name;
        std::function<void()> meanwhile;  // makes a "kept" file the next run must report
        const char* gap;
        const char* kept;
    };
    const Case cases[] = {
        {"wrapped",
         [this] {
             c.MakeFile(data, u"lost.txt");
             const std::int64_t kept = c.JournalData()->NextUsn;
             c.MakeFile(data, u"kept.txt");
             c.DropRecordsBefore(kept);
         },
         "[可能遗漏] C:\\  (更改日志在上次监控之后已被覆盖，其间的变化无法显示)",
         "[新建文件] C:\\data\\kept.txt"},
        {"replaced",
         [this] {
             c.MakeFile(data, u"lost 2.txt");
             c.RecreateJournal();
             c.MakeFile(data, u"kept 2.txt");
         },
         "[可能遗漏] C:\\  (更改日志已被删除并重建，其间的变化无法显示)",
         "[新建文件] C:\\data\\kept 2.txt"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        host.PutFile(stateFile, WatchState().Text());
        Start(args);
        ASSERT_EQ(Stop(), ConsoleProgram::kStopped);
        const std::size_t seen = Changes().size();
        k.meanwhile();
        Start(args);
        CatchUp(c);
        EXPECT_EQ(Stop(), ConsoleProgram::kStopped);
        EXPECT_EQ(ChangesFrom(seen), (Lines{k.gap, k.kept}));
    }
}

TEST_F(ResumeTest, AnotherVolumeInTheSameLetterStartsAfresh) {
    FirstRun();
    const std::size_t seen = Changes().size();
    c.MakeFile(data, u"b.txt");
    c.SetSerialNumber(c.SerialNumber() + 1);  // as if another disk took the letter
    Start(args);
    c.MakeFile(data, u"c.txt");
    CatchUp(c);
    EXPECT_EQ(Stop(), ConsoleProgram::kStopped);
    EXPECT_EQ(ChangesFrom(seen), (Lines{"[新建文件] C:\\data\\c.txt"}));
    const Lines err = host.err.Lines();
    EXPECT_NE(
        std::find(err.begin(), err.end(),
                  "yzwatch: 驱动器 C: 上已是另一个卷，状态文件中的位置不适用，从现在开始监控"),
        err.end());
}

// Changes the output did not take (--count reached) come at the next run.
TEST_F(ResumeTest, ChangesACountLeftUnwrittenComeNextTime) {
    FirstRun();
    const std::size_t seen = Changes().size();
    for (const char16_t* name : {u"1.txt", u"2.txt", u"3.txt"}) {
        c.MakeFile(data, name);
    }
    // Ends by itself once it has written the first: no catching up with the journal.
    stop.Reset();
    EXPECT_EQ(Run({u"--state", stateFile, u"--count", u"1", u"C:\\data"}),
              ConsoleProgram::kStopped);
    Start(args);
    EXPECT_EQ(Stop(), ConsoleProgram::kStopped);
    EXPECT_EQ(ChangesFrom(seen), (Lines{"[新建文件] C:\\data\\1.txt", "[新建文件] C:\\data\\2.txt",
                                        "[新建文件] C:\\data\\3.txt"}));
}

TEST_F(ResumeTest, AStateFileThatCannotBeReadIsAnErrorAndIsLeftAsItIs) {
    host.PutFile(stateFile, "{\"format\": \"yzwatch-state-1\", \"dri");  // torn
    EXPECT_EQ(Run(args), ConsoleProgram::kBadArguments);
    EXPECT_EQ(host.FileText(stateFile), "{\"format\": \"yzwatch-state-1\", \"dri");
    ASSERT_EQ(host.err.Lines().size(), 1u);
    EXPECT_EQ(host.err.Lines()[0].rfind("yzwatch: 状态文件无法解析：C:\\logs\\data.state：", 0), 0u)
        << host.err.Lines()[0];
    host.MakeUnreadable(stateFile);
    EXPECT_EQ(Run(args), ConsoleProgram::kBadArguments);
    EXPECT_EQ(host.err.Lines().back(), "yzwatch: 无法读取状态文件：C:\\logs\\data.state");
    EXPECT_EQ(platform.OpenVolumeCount(), 0u);
}

TEST_F(ConsoleProgramTest, KindsLetOnlyTheirChangesThrough) {
    Start({u"--kinds", u"renamed,recycled", u"C:\\data"});
    const auto a = c.MakeFile(data, u"a.txt", 10);
    c.Rename(a, data, u"b.txt");
    c.Write(a, 0, 10);
    c.Recycle(a);
    CatchUp(c);
    EXPECT_EQ(Stop(), ConsoleProgram::kStopped);
    EXPECT_EQ(Changes(),
              (Lines{"[重命名] C:\\data\\b.txt  (原名:a.txt)", "[移到回收站] C:\\data\\b.txt"}));
}

TEST_F(ConsoleProgramTest, CountEndsTheProgramAfterThatManyChangesWithZero) {
    Start({u"--json", u"--count", u"3", u"C:\\data"});
    for (int i = 0; i < 6; ++i) {
        c.MakeFile(data, u"file" + Number(i));
    }
    EXPECT_EQ(Ended(), ConsoleProgram::kStopped);
    const Lines lines = host.out.Lines();
    ASSERT_EQ(lines.size(), 4u) << "the start and three changes";
    EXPECT_EQ(lines[0], R"({"slot":"OnStarted"})");
    EXPECT_NE(lines[3].find(R"("name":"file2")"), std::string::npos) << lines[3];
    EXPECT_EQ(platform.OpenVolumeCount(), 0u);
}

TEST_F(ConsoleProgramTest, ForEndsTheProgramAfterItsTimeWithZero) {
    EXPECT_EQ(Run({u"--for", u"0.2", u"C:\\data"}), ConsoleProgram::kStopped);
    EXPECT_EQ(host.err.Lines(), Lines{"yzwatch: 开始监控：C:\\data"});
    EXPECT_EQ(platform.OpenVolumeCount(), 0u);
}

TEST_F(ConsoleProgramTest, DirectoriesOfOneDriveAreOneWatchInAnyLetterCase) {
    Start({u"C:\\data", u"c:\\other"});
    EXPECT_EQ(platform.OpenVolumeCount(), 1u);
    c.MakeFile(data, u"1.txt");
    c.MakeFile(elsewhere, u"2.txt");
    c.MakeFile(other, u"3.txt");
    CatchUp(c);
    EXPECT_EQ(Stop(), ConsoleProgram::kStopped);
    EXPECT_EQ(Changes(), (Lines{"[新建文件] C:\\data\\1.txt", "[新建文件] C:\\other\\3.txt"}));
    EXPECT_EQ(host.err.Lines(), Lines{"yzwatch: 开始监控：C:\\data、C:\\other"});
}

TEST_F(ConsoleProgramTest, DirectoriesOnTwoDrivesAreTwoWatchesWritingIntoOneOutput) {
    SimVolume& d = platform.AddDrive(u'D');
    const auto logs = d.MakeDirectory(SimVolume::kRoot, u"logs");
    platform.Clock().Advance(2 * ntfs::kFileTimeTicksPerSecond);
    Start({u"D:\\logs", u"C:\\data"}, 2);
    EXPECT_EQ(host.err.Lines(),
              (Lines{"yzwatch: 开始监控：D:\\logs", "yzwatch: 开始监控：C:\\data"}));
    for (int i = 0; i < 50; ++i) {
        c.MakeFile(data, u"c" + Number(i));
        d.MakeFile(logs, u"d" + Number(i));
    }
    CatchUp(c);
    CatchUp(d);
    EXPECT_EQ(Stop(), ConsoleProgram::kStopped);
    EXPECT_EQ(Changes().size(), 100u);
}

struct MessageCase {
    const char* name;
    std::function<void(SimPlatform&, SimVolume&, console_test::FakeHost&)> setUp;
    Args args;
    int code;
    Lines err;  // after "yzwatch: "
};

void Nothing(SimPlatform&, SimVolume&, console_test::FakeHost&) {}

constexpr std::uint32_t kErrorSharingViolation = 32;

TEST_F(ConsoleProgramTest, EachWatchThatStartsOrIsRefusedAndEachMissingDirectoryIsOneLine) {
    const std::string admin =
        "无法监控 C:：拒绝访问：打开磁盘卷需要管理员权限，请在“以管理员身份运行”的命令提示符中启动";
    const MessageCase cases[] = {
        {"missing_directory", Nothing, {u"C:\\nope"}, 1, {"找不到目录：C:\\nope"}},
        {"a_file_is_no_directory",
         [](auto&, SimVolume& v, auto&) { v.MakeFile(v.Lookup(u"\\data"), u"f.txt"); },
         {u"C:\\data\\f.txt"},
         1,
         {"找不到目录：C:\\data\\f.txt"}},
        {"missing_beside_one_that_exists",
         Nothing,
         {u"--for", u"0.05", u"C:\\nope", u"C:\\data"},
         0,
         {"找不到目录：C:\\nope", "开始监控：C:\\data"}},
        {"drive_without_a_volume",
         Nothing,
         {u"Q:\\data", u"q:\\"},
         1,
         {"无法监控 Q:：没有这个驱动器，或驱动器中没有卷"}},
        {"removed_volume",
         [](auto&, SimVolume& v, auto&) { v.SetRemoved(true); },
         {u"C:\\data"},
         1,
         {"无法监控 C:：没有这个驱动器，或驱动器中没有卷"}},
        {"removable_drive",
         [](SimPlatform& p, auto&, auto&) {
             p.AddDrive(u'E');
             p.SetDriveType(u'E', ntfs::kDriveRemovable);
         },
         {u"E:\\"},
         1,
         {"无法监控 E:：这是可移动磁盘，只能监控本机固定磁盘"}},
        {"network_drive_asked_nothing_of_its_file_system",
         [](SimPlatform& p, auto&, auto&) {
             p.AddDrive(u'N').MakeDirectory(SimVolume::kRoot, u"x");
             p.SetDriveType(u'N', ntfs::kDriveRemote);
         },
         {u"N:\\x", u"n:\\"},
         1,
         {"无法监控 N:：这是网络驱动器，只能监控本机固定磁盘"}},
        {"not_ntfs",
         [](SimPlatform& p, auto&, auto&) { p.SetFileSystemName(u'C', u"FAT32"); },
         {u"C:\\data"},
         1,
         {"无法监控 C:：不是 NTFS 卷"}},
        {"no_administrator_rights",
         [](SimPlatform& p, auto&, console_test::FakeHost& h) {
             p.FailVolumeOpens(win32::kErrorAccessDenied);
             h.elevated = false;
         },
         {u"C:\\data"},
         1,
         {admin}},
        {"volume_not_opened_with_the_rights",
         [](SimPlatform& p, auto&, auto&) { p.FailVolumeOpens(kErrorSharingViolation); },
         {u"C:\\data"},
         1,
         {"无法监控 C:：无法打开磁盘卷"}},
        {"journal_unavailable",
         [](auto&, SimVolume& v, auto&) {
             v.DeleteJournal();
             v.FailNextRequests(1, ntfs::kFsctlCreateUsnJournal);
         },
         {u"C:\\data"},
         1,
         {"无法监控 C:：无法打开它的 NTFS 更改日志"}},
        {"network_path",
         Nothing,
         {u"\\\\server\\share\\data"},
         1,
         {"不是本机磁盘上的目录：\\\\server\\share\\data"}},
        {"one_drive_refused_the_other_watched",
         Nothing,
         {u"--for", u"0.05", u"Q:\\", u"C:\\data"},
         0,
         {"无法监控 Q:：没有这个驱动器，或驱动器中没有卷", "开始监控：C:\\data"}},
        {"relative_to_the_current_directory",
         [](SimPlatform& p, auto&, auto&) { p.SetCurrentDirectory(u"C:\\"); },
         {u"--for", u"0.05", u"data"},
         0,
         {"开始监控：C:\\data"}},
        {"relative_to_the_current_directory_of_the_drive",
         [](SimPlatform& p, SimVolume& v, auto&) {
             v.MakeDirectories(u"\\work\\data");
             p.SetCurrentDirectory(u"C:\\work");
         },
         {u"--for", u"0.05", u"C:data", u"c:/data"},
         0,
         {"开始监控：C:\\work\\data、C:\\data"}},
        {"a_junction_to_another_drive_is_watched_there",
         [](SimPlatform& p, auto&, auto&) { LinkedDrives{p}; },
         {u"--for", u"0.05", u"C:\\toD", u"C:\\data"},
         0,
         {"开始监控：D:\\data", "开始监控：C:\\data"}},
        {"a_subst_drive_is_its_folders_drive",
         [](SimPlatform& p, auto&, auto&) { LinkedDrives{p}; },
         {u"--for", u"0.05", u"S:\\"},
         0,
         {"开始监控：C:\\data"}},
        {"a_folder_where_a_volume_without_a_letter_is_mounted",
         [](SimPlatform& p, auto&, auto&) { LinkedDrives{p}; },
         {u"C:\\mnt\\backup"},
         1,
         {"无法监控 C:\\mnt\\backup：它所在的卷没有驱动器号（装入的文件夹），请先为该卷分配驱动器号"}},
        {"win32_file_namespace",
         Nothing,
         {u"--for", u"0.05", u"\\\\?\\C:\\data"},
         0,
         {"开始监控：C:\\data"}},
    };
    for (const MessageCase& test : cases) {
        SCOPED_TRACE(test.name);
        SimPlatform machine;
        SimVolume& volume = machine.AddDrive(u'C');
        volume.MakeDirectory(SimVolume::kRoot, u"data");
        console_test::FakeHost caseHost;
        test.setUp(machine, volume, caseHost);
        StopSignal caseStop;
        EXPECT_EQ(ConsoleProgram(u"yzwatch", machine, caseHost).Run(test.args, caseStop),
                  test.code);
        Lines expected;
        for (const std::string& line : test.err) {
            expected.push_back("yzwatch: " + line);
        }
        EXPECT_EQ(caseHost.err.Lines(), expected);
        EXPECT_TRUE(caseHost.out.Lines().empty());
        EXPECT_EQ(machine.OpenVolumeCount(), 0u);
    }
}

TEST_F(ConsoleProgramTest, StopWhileLinesStreamEndsEveryWatchWithWholeLines) {
    Start({u"C:\\"});
    std::atomic<bool> done{false};
    // Bounded: a writer that runs free on a loaded machine outpaces the reader until the
    // journal wraps, and the lines it dropped are another test's matter.
    constexpr int kMostFiles = 5000;
    std::thread writer([&] {
        for (int i = 0; !done && i < kMostFiles; ++i) {
            c.MakeFile(data, u"stream " + Number(i) + u".txt");
        }
    });
    ASSERT_TRUE(host.out.WaitForLines(200));
    const int code = Stop();
    done = true;
    writer.join();
    EXPECT_EQ(code, ConsoleProgram::kStopped);
    EXPECT_EQ(platform.OpenVolumeCount(), 0u);
    const Lines lines = Changes();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i], "[新建文件] C:\\data\\stream " + std::to_string(i) + ".txt");
    }
}

TEST_F(ConsoleProgramTest, AnOutputThatCannotBeWrittenEndsTheProgramWithOneAndSaysSo) {
    host.out.FailFrom(1, TextStream::Result::Failed);
    Start({u"C:\\data"});
    c.MakeFile(data, u"1.txt");
    c.MakeFile(data, u"2.txt");
    EXPECT_EQ(Ended(), ConsoleProgram::kFailed);
    EXPECT_EQ(host.out.Lines().size(), 1u);
    EXPECT_EQ(host.err.Lines(),
              (Lines{"yzwatch: 开始监控：C:\\data", "yzwatch: 无法写入标准输出"}));
    EXPECT_EQ(platform.OpenVolumeCount(), 0u);
}

TEST_F(ConsoleProgramTest, AReaderThatClosesThePipeEndsTheProgramWithZero) {
    host.out.FailFrom(1, TextStream::Result::ReaderGone);
    Start({u"C:\\data"});
    c.MakeFile(data, u"1.txt");
    c.MakeFile(data, u"2.txt");
    EXPECT_EQ(Ended(), ConsoleProgram::kStopped);
    EXPECT_EQ(host.err.Lines(), Lines{"yzwatch: 开始监控：C:\\data"});
}

}  // namespace
