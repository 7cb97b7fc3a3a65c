// Figures of the main window under Wine, printed, not asserted (a timed tool run):
//   lines per second appended to the information box when it is empty and when it holds
//   99,000 lines; the process's memory with 100,000 lines; the time from starting the
//   executable to its window; how long a stop takes while changes stream in (20 stops);
//   the process's memory after 200,000 and after 1,000,000 lines through the real path.
//
//   main_window_bench [--budget SECONDS]    the long watch gives up after SECONDS (900)
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "FormsTestSupport.h"
#include "runtime/text/Utf8.h"
#include "sim/SimPlatform.h"
#include "sim/SimVolume.h"
#include "ui/MainForm.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

std::wstring Wide(const char* utf8) {
    const std::u16string text = FromUtf8(utf8);
    return std::wstring(text.begin(), text.end());
}

int LinesIn(HWND box) {
    return static_cast<int>(SendMessageW(box, EM_GETLINECOUNT, 0, 0)) - 1;
}

// Runs what is queued for this thread, sent messages included, waiting up to 50 ms for it.
void PumpAWhile() {
    MsgWaitForMultipleObjectsEx(0, nullptr, 50, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Times `count` lines appended through the real path (raised on a worker thread, shown by
// this one) into a box that already holds `before` lines: from the first raise until the
// box holds them all.
double TimeAppends(MainForm& form, int before, int count) {
    const HWND box = form.LogEdit().Handle();
    std::wstring text;
    text.reserve(static_cast<std::size_t>(before) * 48);
    for (int i = 1; i <= before; ++i) {
        wchar_t line[64];
        swprintf(line, 64, L"12:00:00[新建文件] C:\\data\\reports\\2024\\report-%06d.txt\r\n", i);
        text += line;
    }
    SetWindowTextW(box, text.c_str());
    const auto start = Clock::now();
    std::thread worker([&] {
        FileChange change{.kind = ChangeKind::Created, .dir = u"C:\\data\\reports\\2024\\"};
        CWString name;
        for (int i = before + 1; i <= before + count; ++i) {
            name.Format(u"report-%06d.txt", i);
            change.name = name.View();
            form.Monitor().Raise(change);
        }
    });
    while (LinesIn(box) < before + count) {
        PumpAWhile();
    }
    const double took = Seconds(Clock::now() - start);
    worker.join();
    return took;
}

void MeasureAppends() {
    SimPlatform platform;
    platform.AddDrive(u'C');
    MainForm form(platform);
    form.CreateTopLevel();
    // Wine's edit control lays out its whole text again on every change, so each append
    // costs in proportion to what the box holds; the box is filled at once to the size
    // where the late lines go, rather than one line at a time for hours.
    constexpr int kLines = 1000;
    const double first = TimeAppends(form, 0, kLines);
    std::printf("lines 1-%d: %.2f s, %.0f lines/s\n", kLines, first, kLines / first);
    std::fflush(stdout);
    const double late = TimeAppends(form, 99000, kLines);
    std::printf("lines 99,001-100,000: %.2f s, %.0f lines/s; ratio to the first %d: %.1f\n", late,
                kLines / late, kLines, late / first);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                         sizeof memory);
    std::printf(
        "memory with 100,000 lines in the box: working set %.1f MB, private %.1f MB; %d "
        "characters\n",
        memory.WorkingSetSize / 1048576.0, memory.PrivateUsage / 1048576.0,
        GetWindowTextLengthW(form.LogEdit().Handle()));
    std::fflush(stdout);
    DestroyWindow(form.Handle());
}

// Stops of a watch of C:\data while another thread keeps creating files there: each round
// starts, lets lines stream for a while, then times the click on 停止.
void MeasureStops() {
    SimPlatform platform;
    platform.Clock().FollowSystemClock(true);
    SimVolume& volume = platform.AddDrive(u'C');
    const std::uint64_t data = volume.MakeDirectory(SimVolume::kRoot, u"data");
    MainForm form(platform);
    form.CreateTopLevel();
    std::atomic<bool> producing{true};
    std::thread producer([&] {
        for (int i = 0; producing; ++i) {
            volume.MakeFile(data, u"s" + FromUtf8(std::to_string(i)) + u".txt");
        }
    });
    form.DirectoryEdit().SetCaption(CWString(u"C:\\data"));
    std::vector<double> stops;
    for (int round = 0; round < 20; ++round) {
        SendMessageW(form.StartButton().Handle(), BM_CLICK, 0, 0);
        const int before = LinesIn(form.LogEdit().Handle());
        for (const auto until = Clock::now() + std::chrono::milliseconds(300);
             Clock::now() < until || LinesIn(form.LogEdit().Handle()) == before;) {
            PumpAWhile();
        }
        const auto start = Clock::now();
        SendMessageW(form.StopButton().Handle(), BM_CLICK, 0, 0);
        stops.push_back(Seconds(Clock::now() - start) * 1000);
    }
    producing = false;
    producer.join();
    std::sort(stops.begin(), stops.end());
    std::printf("stop while lines stream in, 20 stops: median %.1f ms, maximum %.1f ms\n",
                (stops[9] + stops[10]) / 2, stops.back());
    std::fflush(stdout);
    DestroyWindow(form.Handle());
}

// The number in the box's last line (report-NNNNNNN.txt), 0 without one.
int LastReportNumber(HWND box) {
    const int lines = LinesIn(box);
    if (lines <= 0) {
        return 0;
    }
    wchar_t line[256] = {};
    *reinterpret_cast<WORD*>(line) = 255;
    const auto copied = SendMessageW(box, EM_GETLINE, lines - 1, reinterpret_cast<LPARAM>(line));
    line[std::clamp<LRESULT>(copied, 0, 255)] = L'\0';
    const wchar_t* number = wcsstr(line, L"report-");
    return number != nullptr ? static_cast<int>(std::wcstol(number + 7, nullptr, 10)) : 0;
}

struct Memory {
    double workingSet;
    double privateBytes;
};

Memory MemoryNow() {
    PROCESS_MEMORY_COUNTERS_EX memory{};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                         sizeof memory);
    return {memory.WorkingSetSize / 1048576.0, memory.PrivateUsage / 1048576.0};
}

// A long watch: 1,000,000 lines raised on a worker in steps of 10,000, each step once the
// window shows the one before (a steady stream the window keeps up with); the process's
// memory once 200,000 and once 1,000,000 lines have been shown.
void MeasureLongWatch(double budgetSeconds) {
    SimPlatform platform;
    platform.AddDrive(u'C');
    MainForm form(platform);
    form.CreateTopLevel();
    const HWND box = form.LogEdit().Handle();
    constexpr int kStep = 10000;
    constexpr int kTotal = 1000000;
    std::atomic<int> shown{0};
    std::atomic<bool> giveUp{false};
    std::atomic<bool> workerDone{false};
    const HANDLE caughtUp = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const HWND formWindow = form.Handle();
    std::thread worker([&] {
        FileChange change{.kind = ChangeKind::Created, .dir = u"C:\\data\\reports\\2024\\"};
        CWString name;
        for (int step = 0; step < kTotal && !giveUp; step += kStep) {
            for (int i = step + 1; i <= step + kStep && !giveUp; ++i) {
                name.Format(u"report-%07d.txt", i);
                change.name = name.View();
                form.Monitor().Raise(change);
            }
            PostMessageW(formWindow, WM_NULL, 0, 0);
            while (shown < step + kStep && !giveUp) {
                WaitForSingleObject(caughtUp, INFINITE);
            }
        }
        workerDone = true;
    });
    const auto start = Clock::now();
    Memory at200k{};
    Memory atEnd{};
    while (shown < kTotal) {
        PumpAWhile();
        const int last = LastReportNumber(box);
        if (last > shown) {
            if (shown < 200000 && last >= 200000) {
                at200k = MemoryNow();
                std::printf("after 200,000 lines (%.0f s): working set %.1f MB, private %.1f MB\n",
                            Seconds(Clock::now() - start), at200k.workingSet, at200k.privateBytes);
                std::fflush(stdout);
            }
            shown = last;
            SetEvent(caughtUp);
        }
        if (Seconds(Clock::now() - start) > budgetSeconds) {
            break;
        }
    }
    const double took = Seconds(Clock::now() - start);
    // A worker still raising may be waiting for this thread: serve it until it has ended.
    giveUp = true;
    while (!workerDone) {
        SetEvent(caughtUp);
        PumpAWhile();
    }
    worker.join();
    CloseHandle(caughtUp);
    if (shown < kTotal) {
        std::printf(
            "long watch: gave up after %.0f s with %d lines shown (%.0f lines/s); "
            "1,000,000 lines would take about %.1f hours\n",
            took, shown.load(), shown / took, kTotal / (shown / took) / 3600);
    } else {
        atEnd = MemoryNow();
        std::printf(
            "after 1,000,000 lines (%.0f s, %.0f lines/s): working set %.1f MB, private %.1f MB; "
            "%d lines in the box; working set ratio to 200,000 lines: %.2f\n",
            took, kTotal / took, atEnd.workingSet, atEnd.privateBytes, LinesIn(box),
            atEnd.workingSet / at200k.workingSet);
    }
    std::fflush(stdout);
    DestroyWindow(form.Handle());
}

void MeasureStartToWindow(const std::wstring& exe) {
    for (int run = 0; run < 3; ++run) {
        std::wstring command = L"\"" + exe + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        const auto start = Clock::now();
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info)) {
            std::printf("could not start the executable\n");
            return;
        }
        HWND window = nullptr;
        while ((window = FindWindowW(L"VolWinForm", nullptr)) == nullptr ||
               !IsWindowVisible(window)) {
            Sleep(1);
        }
        std::printf("start to window: %.0f ms\n", Seconds(Clock::now() - start) * 1000);
        std::fflush(stdout);
        PostMessageW(window, WM_CLOSE, 0, 0);
        WaitForSingleObject(info.hProcess, 10000);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
}

}  // namespace

int main(int argc, char** argv) {
    double budget = 900;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--budget") {
            budget = std::atof(argv[i + 1]);
        }
    }
    MeasureStartToWindow(Wide(MONITOR_EXE));
    MeasureAppends();
    MeasureStops();
    MeasureLongWatch(budget);
    return 0;
}
