#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "ExecutableFacts.h"
#include "console/Win32TextStream.h"
#include "demo/DemoScenario.h"
#include "engine/VolumeJournalWatcher.h"
#include "report/JsonSlotWriter.h"
#include "runtime/text/Utf8.h"
#include "sim/JournalReadProbe.h"
#include "sim/SimPlatform.h"
#include "support/JsonObject.h"

// The console program's executables as a user runs them: the simulated one's output for
// the demo's scenario, its options, messages and exit codes; the real one refused under
// Wine, which has no change journal; and the version both report.
namespace {

using Lines = std::vector<std::string>;
using json_test::JsonObject;

std::wstring Wide(const char* utf8) {
    const std::u16string text = FromUtf8(utf8);
    return std::wstring(text.begin(), text.end());
}

Lines SplitCrLf(const std::string& text) {
    Lines lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "<no line end>");
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// A file of the temporary folder, deleted with its handle.
class TemporaryFile {
public:
    TemporaryFile() {
        wchar_t folder[MAX_PATH] = {};
        wchar_t name[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        GetTempFileNameW(folder, L"yzw", 0, name);
        name_ = name;
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        handle_ = CreateFileW(name, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                              CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() { CloseHandle(handle_); }

    // For a child's standard stream.
    HANDLE Handle() const { return handle_; }
    // What is in it: read through a handle of its own, so that a child writing through
    // the inherited one keeps its place.
    std::string Text() const { return FileContents(name_); }

private:
    std::wstring name_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// A pipe for a child's standard stream, read on a thread of its own as the child writes,
// so that a test can wait for what the child says instead of looking again and again.
class CapturedPipe {
public:
    CapturedPipe() {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE read = nullptr;
        HANDLE write = nullptr;
        if (CreatePipe(&read, &write, &inherit, 0)) {
            SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
            read_ = read;
            write_ = write;
            reader_ = std::thread([this] { ReadToTheEnd(); });
        }
    }
    CapturedPipe(const CapturedPipe&) = delete;
    CapturedPipe& operator=(const CapturedPipe&) = delete;
    ~CapturedPipe() {
        CloseWriteEnd();
        if (reader_.joinable()) {
            reader_.join();  // the child has ended by now: the pipe's end comes
        }
        if (read_ != nullptr) {
            CloseHandle(read_);
        }
    }

    // For the child; closed here once the child has its own.
    HANDLE Handle() const { return write_; }
    void CloseWriteEnd() {
        if (write_ != nullptr) {
            CloseHandle(write_);
            write_ = nullptr;
        }
    }
    std::string Text() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return text_;
    }
    // Until the text satisfies `done`, or the child has closed the pipe, or a minute (only
    // a guard for a failing test) has passed; whether `done` holds.
    bool WaitFor(const std::function<bool(const std::string&)>& done) const {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::minutes(1), [&] { return ended_ || done(text_); });
        return done(text_);
    }
    // Until the child has closed the pipe; everything it wrote.
    std::string Rest() const {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::minutes(1), [&] { return ended_; });
        return text_;
    }

private:
    void ReadToTheEnd() {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(read_, buffer, sizeof buffer, &read, nullptr) && read != 0) {
            const std::lock_guard<std::mutex> lock(mutex_);
            text_.append(buffer, read);
            changed_.notify_all();
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
        changed_.notify_all();
    }

    HANDLE read_ = nullptr;
    HANDLE write_ = nullptr;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::string text_;
    bool ended_ = false;
    std::thread reader_;
};

struct Outcome {
    DWORD code = 0xDEAD;
    Lines out;
    Lines err;
    std::string rawOut;
};

// An executable started with `arguments`, its standard output and error in files, or in
// pipes (Stream = CapturedPipe) for a test that waits for what the program says.
template <typename Stream>
class ProcessWith {
public:
    ProcessWith(const char* executable, const std::wstring& arguments, DWORD flags = 0) {
        std::wstring command = L"\"" + Wide(executable) + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        startup.hStdOutput = out_.Handle();
        startup.hStdError = err_.Handle();
        started_ = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, flags, nullptr,
                                  nullptr, &startup, &info_) != FALSE;
        EXPECT_TRUE(started_) << "cannot start " << executable;
        if constexpr (std::is_same_v<Stream, CapturedPipe>) {
            out_.CloseWriteEnd();
            err_.CloseWriteEnd();
        }
    }
    ProcessWith(const ProcessWith&) = delete;
    ProcessWith& operator=(const ProcessWith&) = delete;
    ~ProcessWith() {
        if (started_) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, INFINITE);
            CloseHandle(info_.hThread);
            CloseHandle(info_.hProcess);
        }
    }

    DWORD Id() const { return info_.dwProcessId; }
    const Stream& Out() const { return out_; }
    const Stream& Err() const { return err_; }
    // Waits for the end (at most a minute: then the process is ended and the test fails).
    Outcome Wait() {
        Outcome outcome;
        if (!started_) {
            return outcome;
        }
        if (WaitForSingleObject(info_.hProcess, 60000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "the program did not end within a minute";
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, INFINITE);
        }
        GetExitCodeProcess(info_.hProcess, &outcome.code);
        if constexpr (std::is_same_v<Stream, CapturedPipe>) {
            outcome.rawOut = out_.Rest();
            outcome.err = SplitCrLf(err_.Rest());
        } else {
            outcome.rawOut = out_.Text();
            outcome.err = SplitCrLf(err_.Text());
        }
        outcome.out = SplitCrLf(outcome.rawOut);
        return outcome;
    }

private:
    Stream out_;
    Stream err_;
    PROCESS_INFORMATION info_{};
    bool started_ = false;
};
using Process = ProcessWith<TemporaryFile>;
using WatchedProcess = ProcessWith<CapturedPipe>;

Outcome RunExecutable(const char* executable, const std::wstring& arguments) {
    return Process(executable, arguments).Wait();
}

Outcome RunDemo(const std::wstring& arguments) {
    return RunExecutable(CONSOLE_DEMO_EXE, arguments);
}

std::int64_t SystemFileTime() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return static_cast<std::int64_t>((std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime);
}

// The engine's calls for the demo's scenario, step after step, as JSON lines: the same
// machine as the simulated program's, watched in-process with the same writer.
std::vector<JsonObject> ExpectedCalls(const std::u16string& directory, std::size_t steps) {
    SimPlatform platform;
    DemoScenario scenario(platform.AddDrive(u'C'));
    scenario.Prepare();
    platform.Clock().Advance(60 * ntfs::kFileTimeTicksPerSecond);
    std::mutex mutex;
    Lines lines;
    JournalReadProbe probe(platform);
    VolumeJournalWatcher watcher(probe);
    CMStringArray paths;
    paths.Add(CWString(directory));
    const JsonSlotWriter writer([&](const std::string& line) {
        const std::lock_guard<std::mutex> lock(mutex);
        lines.push_back(line);
    });
    EXPECT_TRUE(watcher.Open(u'C', paths, writer.Slots()));
    SimVolume& volume = *platform.Drive(u'C');
    EXPECT_TRUE(probe.WaitCaughtUp(volume.JournalData()->NextUsn));
    for (std::size_t i = 0; i < steps; ++i) {
        scenario.Step();
        EXPECT_TRUE(probe.WaitCaughtUp(volume.JournalData()->NextUsn));
    }
    watcher.Stop();
    std::vector<JsonObject> calls;
    for (const std::string& line : lines) {
        JsonObject call;
        EXPECT_TRUE(json_test::ParseJsonObject(line, call)) << line;
        call.erase("time");
        calls.push_back(call);
    }
    return calls;
}

// The program's JSON lines without their times, which must lie within the run.
std::vector<JsonObject> Calls(const Outcome& run, std::int64_t from, std::int64_t to) {
    std::vector<JsonObject> calls;
    for (const std::string& line : run.out) {
        JsonObject call;
        EXPECT_TRUE(json_test::ParseJsonObject(line, call)) << line;
        if (call.count("time") != 0) {
            const std::int64_t time = std::stoll(call["time"]);
            EXPECT_TRUE(time >= from && time <= to) << line;
            call.erase("time");
        }
        calls.push_back(call);
    }
    return calls;
}

std::vector<JsonObject> Prefix(const std::vector<JsonObject>& calls, std::size_t count) {
    return {calls.begin(), calls.begin() + std::min(count, calls.size())};
}

constexpr std::int64_t kSecond = 10'000'000;

TEST(ConsoleDemo, ItsJsonIsExactlyTheEnginesCallsForTheScenariosSteps) {
    const std::int64_t from = SystemFileTime() - kSecond;
    const Outcome run = RunDemo(L"--json --for 6 C:\\demo");
    const std::int64_t to = SystemFileTime() + kSecond;
    EXPECT_EQ(run.code, 0u);
    EXPECT_EQ(run.err, Lines{"yzwatch-demo: 开始监控：C:\\demo"});
    const std::vector<JsonObject> calls = Calls(run, from, to);
    // Six seconds at the scenario's pace: several steps, each at least one line.
    ASSERT_GE(calls.size(), 5u) << run.rawOut;
    const std::vector<JsonObject> expected = ExpectedCalls(u"C:\\demo", 12);
    ASSERT_LE(calls.size(), expected.size());
    EXPECT_EQ(calls, Prefix(expected, calls.size())) << run.rawOut;
    EXPECT_EQ(calls[0], (JsonObject{{"slot", "OnStarted"}}));
}

// A round of the scenario ends with its journal deleted and made again: the gap is said
// whatever --kinds lets through.
TEST(ConsoleDemo, KindsLetOnlyThoseKindsThroughAndAGapIsAlwaysSaid) {
    const Outcome run = RunDemo(L"--kinds created,renamed --json --for 15 C:\\");
    EXPECT_EQ(run.code, 0u);
    const std::vector<JsonObject> calls = Calls(run, 0, INT64_MAX);
    ASSERT_GE(calls.size(), 3u) << run.rawOut;
    std::vector<JsonObject> expected;
    for (const JsonObject& call : ExpectedCalls(u"C:\\", 24)) {
        const std::string& slot = call.at("slot");
        if (slot == "OnStarted" || slot == "OnCreated" || slot == "OnRenamed" || slot == "OnGap") {
            expected.push_back(call);
        }
    }
    EXPECT_EQ(calls, Prefix(expected, calls.size())) << run.rawOut;
    const auto gap = std::find_if(calls.begin(), calls.end(), [](const JsonObject& call) {
        return call.at("slot") == "OnGap";
    });
    ASSERT_NE(gap, calls.end()) << run.rawOut;
    EXPECT_EQ(gap->at("reason"), "replaced");
    EXPECT_EQ(gap->at("root"), "C:\\");
}

TEST(ConsoleDemo, CountFiveEndsAfterFiveLinesWithZero) {
    const Outcome run = RunDemo(L"--count 5 C:\\demo\\");
    EXPECT_EQ(run.code, 0u);
    ASSERT_EQ(run.out.size(), 5u) << run.rawOut;
    // The window's lines, with the scenario's first change first.
    EXPECT_NE(run.out[0].find("[新建文件] C:\\demo\\会议记录-1.txt"), std::string::npos)
        << run.out[0];
    for (const std::string& line : run.out) {
        EXPECT_EQ(line[2], ':');
        EXPECT_EQ(line[8], '[') << line;
    }
}

struct MessageCase {
    const wchar_t* arguments;
    DWORD code;
    Lines err;
};

TEST(ConsoleDemo, MissingDirectoriesDrivesWithoutAVolumeAndBadArgumentsAreSaid) {
    const MessageCase cases[] = {
        {L"C:\\nope", 1, {"yzwatch-demo: 找不到目录：C:\\nope"}},
        {L"Q:\\data", 1, {"yzwatch-demo: 无法监控 Q:：没有这个驱动器，或驱动器中没有卷"}},
        {L"--for 1 Q:\\ C:\\nope",
         1,
         {"yzwatch-demo: 无法监控 Q:：没有这个驱动器，或驱动器中没有卷",
          "yzwatch-demo: 找不到目录：C:\\nope"}},
    };
    for (const MessageCase& c : cases) {
        const Outcome run = RunDemo(c.arguments);
        EXPECT_EQ(run.code, c.code);
        EXPECT_EQ(run.err, c.err);
        EXPECT_TRUE(run.out.empty());
    }
    const Outcome bad = RunDemo(L"--count none C:\\demo");
    EXPECT_EQ(bad.code, 2u);
    ASSERT_GE(bad.err.size(), 2u);
    EXPECT_EQ(bad.err[0], "yzwatch-demo: --count 需要正整数，而不是“none”");
    EXPECT_EQ(bad.err[1], "用法：yzwatch-demo [选项] 目录 [目录 ...]");
    EXPECT_TRUE(bad.out.empty());
}

// A directory typed as Windows reads it, and a quote the C runtime leaves of "C:\demo\"
// read as the closing quote it was meant to be.
TEST(ConsoleDemo, DirectoriesAreReadAsWindowsReadsThem) {
    const MessageCase cases[] = {
        {L"--for 1 C:/demo", 0, {"yzwatch-demo: 开始监控：C:\\demo"}},
        {L"--for 1 \"C:\\demo\\\"", 0, {"yzwatch-demo: 开始监控：C:\\demo"}},
        {L"\"C:\\demo\\\" --for 1", 0, {"yzwatch-demo: 开始监控：C:\\demo"}},
        {L"--for 1 c:demo", 0, {"yzwatch-demo: 开始监控：C:\\demo"}},
        {L"\\\\server\\share\\demo",
         1,
         {"yzwatch-demo: 不是本机磁盘上的目录：\\\\server\\share\\demo"}},
    };
    for (const MessageCase& c : cases) {
        const Outcome run = RunDemo(c.arguments);
        EXPECT_EQ(run.code, c.code)
            << ToUtf8(std::u16string(c.arguments, c.arguments + wcslen(c.arguments)));
        EXPECT_EQ(run.err, c.err);
    }
}

// This test's own answer to Ctrl+C: it goes on.
BOOL WINAPI IgnoreControlKeys(DWORD) {
    return TRUE;
}

TEST(ConsoleDemo, CtrlCStopsEveryWatchAndEndsWithZero) {
    // A console of its own, shared with the program; Ctrl+C is typed into it.
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    WatchedProcess program(CONSOLE_DEMO_EXE, L"C:\\demo D:\\ C:\\Users");
    SetConsoleCtrlHandler(IgnoreControlKeys, TRUE);
    ASSERT_TRUE(program.Err().WaitFor([](const std::string& text) {
        return text.find("D:") != std::string::npos;
    })) << program.Err().Text();
    // A change line or two first.
    ASSERT_TRUE(program.Out().WaitFor([](const std::string& text) {
        return text.find("\r\n") != std::string::npos;
    })) << program.Out().Text();
    HANDLE input =
        CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(input, INVALID_HANDLE_VALUE);
    INPUT_RECORD key{};
    key.EventType = KEY_EVENT;
    key.Event.KeyEvent.bKeyDown = TRUE;
    key.Event.KeyEvent.wRepeatCount = 1;
    key.Event.KeyEvent.wVirtualKeyCode = 'C';
    key.Event.KeyEvent.uChar.UnicodeChar = 'C' - 64;
    key.Event.KeyEvent.dwControlKeyState = LEFT_CTRL_PRESSED;
    DWORD written = 0;
    EXPECT_TRUE(WriteConsoleInputW(input, &key, 1, &written));
    CloseHandle(input);
    const Outcome run = program.Wait();
    SetConsoleCtrlHandler(IgnoreControlKeys, FALSE);
    FreeConsole();
    EXPECT_EQ(run.code, 0u);
    // The directories are read before any watch starts, so the drive refused comes first;
    // then one watch for both directories of drive C, in the order they were given.
    EXPECT_EQ(run.err, (Lines{"yzwatch-demo: 无法监控 D:：没有这个驱动器，或驱动器中没有卷",
                              "yzwatch-demo: 开始监控：C:\\demo、C:\\Users"}));
    EXPECT_GE(run.out.size(), 1u);
    for (const std::string& line : run.out) {
        EXPECT_EQ(line.find("<no line end>"), std::string::npos) << "a line was cut";
    }
}

// The text of a console's screen from `from` on, `count` characters.
std::wstring ScreenText(HANDLE screen, COORD from, DWORD count) {
    std::wstring text(count, L'\0');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(screen, text.data(), count, from, &read);
    text.resize(read);
    return text;
}

// A real folder of this test's own, removed with what it holds at the end.
class TemporaryFolder {
public:
    TemporaryFolder() {
        wchar_t folder[MAX_PATH] = {};
        wchar_t name[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        GetTempFileNameW(folder, L"yzm", 0, name);  // a unique name, made as a file
        DeleteFileW(name);
        path_ = name;
        CreateDirectoryW(name, nullptr);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder() {
        for (const std::wstring& file : made_) {
            DeleteFileW(file.c_str());
        }
        RemoveDirectoryW(path_.c_str());
    }

    const std::wstring& Path() const { return path_; }
    void MakeFile(const std::wstring& name, const std::string& bytes = {}) {
        const std::wstring file = path_ + L"\\" + name;
        const HANDLE made =
            CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(made, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(made);
        Forget(name);
        made_.push_back(file);
    }
    // A file a program made in the folder, to be removed with it.
    void Forget(const std::wstring& name) { made_.push_back(path_ + L"\\" + name); }

private:
    std::wstring path_;
    std::vector<std::wstring> made_;
};

TEST(ConsoleDemo, MirrorsAFolderGivenBeforeItsOwnArguments) {
    TemporaryFolder folder;
    folder.MakeFile(L"old.txt");  // there before the watch: no line
    WatchedProcess program(CONSOLE_DEMO_EXE,
                           L"--mirror \"" + folder.Path() + L"\" --count 1 C:\\demo");
    ASSERT_TRUE(program.Err().WaitFor([](const std::string& text) {
        return text.find("开始监控") != std::string::npos;
    })) << program.Err().Text();
    folder.MakeFile(L"new.txt");
    const Outcome run = program.Wait();
    EXPECT_EQ(run.code, 0u);
    ASSERT_EQ(run.out.size(), 1u);
    EXPECT_NE(run.out[0].find("[新建文件] C:\\demo\\new.txt"), std::string::npos) << run.out[0];

    for (const wchar_t* arguments : {L"--mirror", L"--mirror Z:\\no\\such\\folder C:\\demo"}) {
        const Outcome refused = RunDemo(arguments);
        EXPECT_EQ(refused.code, 2u) << refused.err.size();
        ASSERT_EQ(refused.err.size(), 1u);
        EXPECT_EQ(refused.err[0].rfind("yzwatch-demo: ", 0), 0u) << refused.err[0];
        EXPECT_TRUE(refused.out.empty());
    }
}

TEST(ConsoleStream, AConsoleShowsEveryNameAsItIsWhateverItsLength) {
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    const HANDLE screen =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(screen, INVALID_HANDLE_VALUE);
    const HANDLE standardOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, screen);
    Win32TextStream stream(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, standardOutput);

    CONSOLE_SCREEN_BUFFER_INFO info{};
    ASSERT_TRUE(GetConsoleScreenBufferInfo(screen, &info));
    const std::u16string name = u"12:00:00[新建文件] C:\\数据\\Ünïcødé ελληνικά.txt";
    EXPECT_EQ(stream.WriteLine(name), TextStream::Result::Written);
    const std::wstring shown = ScreenText(screen, info.dwCursorPosition, 80);
    EXPECT_EQ(shown.substr(0, name.size()), std::wstring(name.begin(), name.end()));

    // Longer than one write to the console: nothing lost where the parts meet.
    ASSERT_TRUE(GetConsoleScreenBufferInfo(screen, &info));
    std::u16string longLine(4095, u'x');
    longLine += u"\U0001F600 end";
    EXPECT_EQ(stream.WriteLine(longLine), TextStream::Result::Written);
    const std::wstring tail = ScreenText(screen, info.dwCursorPosition, 4200);
    EXPECT_NE(std::u16string(tail.begin(), tail.end()).find(u"x\U0001F600 end"),
              std::u16string::npos);
    CloseHandle(screen);
    FreeConsole();
}

TEST(ConsoleProgram, UnderWineTheRealProgramIsRefusedForTheJournalWithOne) {
    const Outcome run = RunExecutable(CONSOLE_EXE, L"C:\\");
    EXPECT_EQ(run.code, 1u);
    EXPECT_EQ(run.err, Lines{"yzwatch: 无法监控 C:：无法打开它的 NTFS 更改日志"});
    EXPECT_TRUE(run.out.empty());
}

// ---- The version they report: the one their version block carries (which
// ProgramFilesTest.cpp checks with the rest of what the files carry).

class ConsoleExecutable : public ::testing::TestWithParam<const char*> {};

TEST_P(ConsoleExecutable, ItReportsTheVersionItsVersionBlockCarries) {
    const VersionBlock block(Wide(GetParam()));
    const std::wstring version = block.Text(L"FileVersion");
    ASSERT_FALSE(version.empty());
    const Outcome run = RunExecutable(GetParam(), L"--version");
    EXPECT_EQ(run.code, 0u);
    ASSERT_EQ(run.out.size(), 1u);
    const std::string versionText = ToUtf8(std::u16string(version.begin(), version.end()));
    EXPECT_NE(run.out[0].find(" " + versionText + "（"), std::string::npos) << run.out[0];
}

INSTANTIATE_TEST_SUITE_P(Both, ConsoleExecutable, ::testing::Values(CONSOLE_EXE, CONSOLE_DEMO_EXE));

// --state: the program keeps where its watches got to in a file of its own, reads it back
// at the next start, and refuses one that is not its.
TEST(ConsoleDemo, AStateFileIsKeptAndReadBackAndABadOneEndsWithTwo) {
    TemporaryFolder folder;
    folder.Forget(L"watch.state");
    folder.Forget(L"watch.state.new");
    const std::wstring state = folder.Path() + L"\\watch.state";
    const std::wstring arguments = L"--state \"" + state + L"\" --for 2 C:\\demo";
    const Outcome first = RunDemo(arguments);
    EXPECT_EQ(first.code, 0u) << first.err.size();
    const std::string text = FileContents(state);
    EXPECT_EQ(text.rfind("{\n  \"format\": \"yzwatch-state-1\",\n  \"drives\": [\n", 0), 0u)
        << text;
    EXPECT_NE(text.find("{\"drive\": \"C\", \"serial\": "), std::string::npos) << text;
    const Outcome second = RunDemo(arguments);
    EXPECT_EQ(second.code, 0u);
    EXPECT_EQ(second.err, first.err);

    folder.MakeFile(L"watch.state", "{\"format\": \"yzwatch-state-1\", \"dri");  // torn
    const Outcome refused = RunDemo(arguments);
    EXPECT_EQ(refused.code, 2u);
    ASSERT_EQ(refused.err.size(), 1u);
    EXPECT_EQ(refused.err[0].rfind("yzwatch-demo: 状态文件无法解析：", 0), 0u) << refused.err[0];
    EXPECT_EQ(FileContents(state), "{\"format\": \"yzwatch-state-1\", \"dri");
}

}  // namespace
