// Figures of the main window under Wine, printed, not asserted (a timed tool run):
//   lines per second appended to the information box when it is empty and when it holds
//   99,000 lines; the process's memory with 100,000 lines; the time from starting the
//   executable to its window.
#include <windows.h>

#include <psapi.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "FormsTestSupport.h"
#include "runtime/text/Utf8.h"
#include "sim/SimPlatform.h"
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

// Times `count` lines appended through the real path (raised on a worker thread, carried
// out by sent messages on this one) into a box that already holds `before` lines.
double TimeAppends(MainForm& form, int before, int count) {
    std::wstring text;
    text.reserve(static_cast<std::size_t>(before) * 48);
    for (int i = 1; i <= before; ++i) {
        wchar_t line[64];
        swprintf(line, 64, L"12:00:00[新建文件] C:\\data\\reports\\2024\\report-%06d.txt\r\n", i);
        text += line;
    }
    SetWindowTextW(form.LogEdit().Handle(), text.c_str());
    std::atomic<bool> done{false};
    Clock::duration took{};
    std::thread worker([&] {
        CWString drive(u"C");
        CWString dir(u"C:\\data\\reports\\2024\\");
        CWString name;
        const auto start = Clock::now();
        for (int i = before + 1; i <= before + count; ++i) {
            name.Format(u"report-%06d.txt", i);
            form.Monitor().RaiseFileCreated(drive, name, dir);
        }
        took = Clock::now() - start;
        done = true;
        PostMessageW(form.Handle(), WM_NULL, 0, 0);  // wakes the loop below
    });
    // The program's own kind of loop: GetMessage serves sent messages as they come.
    MSG message;
    while (!done && GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    worker.join();
    return Seconds(took);
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

int main() {
    MeasureStartToWindow(Wide(MONITOR_EXE));
    MeasureAppends();
    return 0;
}
