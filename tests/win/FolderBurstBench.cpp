// Figures of the demo's folder mirror under Wine, printed, not asserted (a timed tool run):
// a burst of file creations in a real folder, and how long until the simulated journal
// holds all of them and until the main window, watching the volume, shows the last line.
//
//   folder_burst_bench [COUNT] [--no-window]    the bench makes a folder and creates COUNT
//                                               files in it from a thread of its own (Win32)
//   folder_burst_bench COUNT [--no-window] --folder FOLDER
//                                               someone else creates COUNT files in FOLDER
//                                               (a Linux shell, say) once "ready" is printed;
//                                               the moments are printed as Unix milliseconds
//                                               for that someone to subtract
// With --no-window only the journal is waited for, and no window competes for the
// processors; the process's processor time is printed too, as the machine may be busy.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "demo/ActivityPlayer.h"
#include "demo/FolderMirror.h"
#include "demo/win32/Win32FolderPlatform.h"
#include "ntfs/JournalRecords.h"
#include "sim/SimPlatform.h"
#include "ui/MainForm.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

long long UnixMilliseconds() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const long long ticks = static_cast<long long>(
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    return (ticks - 116444736000000000LL) / 10000;
}

// Files created with their records closed, since `usn`, counted as they come.
class CreationCounter {
public:
    CreationCounter(const SimVolume& volume, std::int64_t usn) : volume_(volume), next_(usn) {}
    std::size_t Count() {
        for (const SimRecord& record : volume_.RecordsSince(next_)) {
            next_ = record.usn + 1;
            const std::uint32_t created = ntfs::kReasonFileCreate | ntfs::kReasonClose;
            if ((record.reason & created) == created) {
                ++count_;
            }
        }
        return count_;
    }

private:
    const SimVolume& volume_;
    std::int64_t next_;
    std::size_t count_ = 0;
};

void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

double ProcessorSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto value = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime) /
               1e7;
    };
    return value(kernel) + value(user);
}

int Run(std::size_t count, bool withWindow, std::optional<std::u16string> given) {
    std::wstring made;
    if (!given) {
        wchar_t base[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, base);
        made = std::wstring(base) + L"mirror-bench-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(made.c_str(), nullptr);
        given = std::u16string(made.begin(), made.end());
    }
    const std::optional<std::u16string> path = Win32FolderPlatform::DirectoryPath(*given);
    if (!path) {
        std::printf("not a folder\n");
        return 2;
    }
    SimPlatform platform;
    platform.Clock().FollowSystemClock(true);
    SimVolume& volume = platform.AddDrive(u'C');
    Win32FolderPlatform folder(*path);
    FolderMirror mirror(volume, folder);
    mirror.Prepare();
    const ActivityPlayer player(mirror);

    std::optional<MainForm> form;
    if (withWindow) {
        form.emplace(platform);
        form->CreateTopLevel();
        SendMessageW(GetDlgItem(form->Handle(), 112), BM_CLICK, 0, 0);  // 开始: watch C:\ .
    }
    for (const auto until = Clock::now() + std::chrono::milliseconds(500); Clock::now() < until;) {
        Pump();
        Sleep(5);
    }
    CreationCounter journal(volume, volume.JournalData()->NextUsn);
    const auto lines = [&] {
        return form ? static_cast<std::size_t>(
                          SendMessageW(form->LogEdit().Handle(), EM_GETLINECOUNT, 0, 0)) -
                          1
                    : 0;
    };
    const double processorBefore = ProcessorSeconds();

    std::thread burst;
    Clock::duration burstTook{};
    const auto start = Clock::now();
    if (made.empty()) {
        std::printf("ready\n");
        std::fflush(stdout);
    } else {
        burst = std::thread([&] {
            for (std::size_t i = 0; i < count; ++i) {
                const std::wstring name = made + L"\\file-" + std::to_wstring(i) + L".txt";
                CloseHandle(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
            }
            burstTook = Clock::now() - start;
        });
    }
    // Each moment is printed when it comes: the window's lines come slowly, as Wine's edit
    // control lays out its whole text again for every line appended.
    std::optional<Clock::time_point> inJournal;
    std::optional<Clock::time_point> inWindow;
    if (!withWindow) {
        inWindow = Clock::now();  // not waited for
    }
    auto report = Clock::now() + std::chrono::seconds(60);
    const auto giveUp = Clock::now() + std::chrono::minutes(60);
    while ((!inJournal || !inWindow) && Clock::now() < giveUp) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        Pump();
        if (!inJournal && journal.Count() >= count) {
            inJournal = Clock::now();
            if (made.empty()) {
                std::printf("journal complete at %lld\n", UnixMilliseconds());
            } else {
                std::printf(
                    "the simulated journal holds all %zu creations %.2f s after the burst began\n",
                    count, Seconds(*inJournal - start));
            }
            std::printf("  processor time of the process meanwhile: %.2f s\n",
                        ProcessorSeconds() - processorBefore);
            std::fflush(stdout);
        }
        if (!inWindow && lines() >= count) {
            inWindow = Clock::now();
            if (made.empty()) {
                std::printf("window complete at %lld\n", UnixMilliseconds());
            } else {
                std::printf("the window shows the last line %.2f s after the burst began\n",
                            Seconds(*inWindow - start));
            }
            std::fflush(stdout);
        }
        if (form && Clock::now() > report) {
            report += std::chrono::seconds(60);
            std::printf("  after %.0f s: %zu lines in the window\n", Seconds(Clock::now() - start),
                        lines());
            std::fflush(stdout);
        }
    }
    if (burst.joinable()) {
        burst.join();
    }
    if (!made.empty()) {
        std::printf("(the %zu files were created through Win32 in %.2f s)\n", count,
                    Seconds(burstTook));
    }
    if (!inJournal || !inWindow) {
        std::printf("gave up after an hour: %zu creations in the journal, %zu lines\n",
                    journal.Count(), lines());
        return 1;
    }
    if (form && !made.empty()) {
        std::printf("the window's moment as a ratio to the journal's: %.2f\n",
                    Seconds(*inWindow - start) / Seconds(*inJournal - start));
    }
    if (form) {
        DestroyWindow(form->Handle());
    }
    if (!made.empty()) {
        for (std::size_t i = 0; i < count; ++i) {
            DeleteFileW((made + L"\\file-" + std::to_wstring(i) + L".txt").c_str());
        }
        RemoveDirectoryW(made.c_str());
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::size_t count = 10000;
    bool withWindow = true;
    std::optional<std::u16string> folder;
    for (int i = 1; i < argc; ++i) {
        const std::wstring word = argv[i];
        if (word == L"--no-window") {
            withWindow = false;
        } else if (word == L"--folder" && i + 1 < argc) {
            const std::wstring path = argv[++i];
            folder = std::u16string(path.begin(), path.end());
        } else if (std::wcstoul(word.c_str(), nullptr, 10) != 0) {
            count = std::wcstoul(word.c_str(), nullptr, 10);
        }
    }
    return Run(count, withWindow, folder);
}
