// Figures of the main window under Wine, printed, not asserted (a timed tool run):
//   lines per second appended to the information box, and the time of lines 90,000 to
//   100,000 against the first 10,000; the process's memory after 100,000 lines; the time
//   from starting the executable to its window.
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "FormsTestSupport.h"
#include "runtime/text/Utf8.h"
#include "sim/SimPlatform.h"
#include "ui/MainForm.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::wstring Wide(const char* utf8) {
    const std::u16string text = FromUtf8(utf8);
    return std::wstring(text.begin(), text.end());
}

void MeasureAppends() {
    SimPlatform platform;
    platform.AddDrive(u'C');
    MainForm form(platform);
    form.CreateTopLevel();
    constexpr int kLines = 100000;
    constexpr int kBlock = 10000;
    std::vector<Clock::duration> blocks;
    std::atomic<bool> done{false};
    // The lines come as a worker's would: raised on another thread, carried out by sent
    // messages on this one.
    std::thread worker([&] {
        CWString drive(u"C");
        CWString dir(u"C:\\data\\reports\\2024\\");
        CWString name;
        auto blockStart = Clock::now();
        for (int i = 1; i <= kLines; ++i) {
            name.Format(u"report-%06d.txt", i);
            form.Monitor().RaiseFileCreated(drive, name, dir);
            if (i % kBlock == 0) {
                const auto now = Clock::now();
                blocks.push_back(now - blockStart);
                std::printf("lines %6d-%6d: %.2f s\n", i - kBlock + 1, i, Seconds(now - blockStart));
                std::fflush(stdout);
                blockStart = now;
            }
        }
        done = true;
    });
    while (!done) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        forms_test::PumpMessages();
    }
    worker.join();
    Clock::duration total{};
    for (const auto& b : blocks) {
        total += b;
    }
    std::printf("appended %d lines in %.2f s: %.0f lines/s\n", kLines, Seconds(total), kLines / Seconds(total));
    std::printf("lines 1-10,000: %.2f s; lines 90,001-100,000: %.2f s; ratio %.2f\n", Seconds(blocks.front()),
                Seconds(blocks.back()), Seconds(blocks.back()) / Seconds(blocks.front()));
    PROCESS_MEMORY_COUNTERS_EX memory{};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    std::printf("memory after %d lines: working set %.1f MB, private %.1f MB; log %d characters\n", kLines,
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
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
            std::printf("could not start the executable\n");
            return;
        }
        HWND window = nullptr;
        while ((window = FindWindowW(L"VolWinForm", nullptr)) == nullptr || !IsWindowVisible(window)) {
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
