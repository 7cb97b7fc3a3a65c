#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

#include "engine/VolumeJournalWatcher.h"
#include "sim/SimPlatform.h"
#include "sim/SimVolume.h"

// The window's thread stops a watch whose worker is delivering a change to a window of
// that very thread with SendMessageW: Stop must serve the message and return.
namespace {

constexpr UINT kLine = WM_APP + 7;
std::atomic<int> linesTaken{0};

LRESULT CALLBACK LineWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kLine) {
        ++linesTaken;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST(EngineStop, StopReturnsWhileTheWorkerSendsToTheStoppingThread) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = LineWindowProcedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"EngineStopTestWindow";
    RegisterClassW(&wc);
    const HWND window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                        nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);

    SimPlatform platform;
    SimVolume& volume = platform.AddDrive(u'C');
    std::atomic<int> delivered{0};
    WatcherSlots slots;
    slots[ChangeKind::Created] = [&](const FileChange&) {
        ++delivered;
        SendMessageW(window, kLine, 0, 0);
    };
    for (int round = 0; round < 20; ++round) {
        VolumeJournalWatcher watcher(platform);
        ASSERT_TRUE(watcher.Open(u'C', CMStringArray{}, slots));
        // Made after the start: new changes, which the worker delivers one by one.
        for (int i = 0; i < 25; ++i) {
            volume.MakeFile(SimVolume::kRoot,
                            u"r" + std::u16string(1, static_cast<char16_t>(u'a' + round)) +
                                std::u16string(1, static_cast<char16_t>(u'a' + i)));
        }
        while (delivered == 0) {
            Sleep(1);  // the worker is now blocked in SendMessageW on this thread
        }
        watcher.Stop();
        EXPECT_FALSE(watcher.WorkerRunning());
        delivered = 0;
    }
    EXPECT_GE(linesTaken, 20);
    DestroyWindow(window);
}

}  // namespace
