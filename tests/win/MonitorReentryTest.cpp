#include "monitor/FileChangeMonitor.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "runtime/events/CVolEventObjectPointer.h"
#include "sim/SimPlatform.h"
#include "sim/SimVolume.h"

// The window's thread stops a watch while the engine's worker delivers a change to a window
// of that thread with SendMessageW. The stop's wait serves the message, and the window's
// handler calls the monitor again: it must find the monitor consistent, without the engine
// being stopped under it, and every call must end with the watches it asked for.
namespace {

constexpr UINT kLine = WM_APP + 9;

using MonitorCall = std::function<void(FileChangeMonitor&)>;

struct ReentryCase {
    const char* name;
    MonitorCall outer;   // on the window's thread while the worker waits in SendMessageW
    MonitorCall nested;  // by the window's handler, inside the outer call's wait
    bool watchingAfter;
};

void StartC(FileChangeMonitor& monitor) {
    ASSERT_TRUE(monitor.StartWatch(CWString(u"C"), CMStringArray{}));
}
void StopC(FileChangeMonitor& monitor) {
    monitor.StopWatch(u'C');
}
void Reset(FileChangeMonitor& monitor) {
    monitor.Reset();
}

class MonitorReentry : public ::testing::TestWithParam<ReentryCase> {
protected:
    MonitorReentry() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &MonitorReentry::WindowProcedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"MonitorReentryTestWindow";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 wc.hInstance, nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        monitor.Event(ChangeKind::Created)
            .Bind([](void* self, void*, std::uint32_t, const FileChange&) {
                auto* test = static_cast<MonitorReentry*>(self);
                ++test->sending;
                return static_cast<int>(SendMessageW(test->window, kLine, 0, 0));
            },
            receiver);
    }
    ~MonitorReentry() override {
        monitor.Reset();  // serves the lines of a worker still sending
        receiver->TearDown();
        DestroyWindow(window);
    }

    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
        auto* test = reinterpret_cast<MonitorReentry*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message != kLine || test == nullptr) {
            return DefWindowProcW(window, message, wParam, lParam);
        }
        if (test->inOuterCall && !test->nestedDone) {
            test->nestedDone = true;
            test->watchingSeenInside = test->monitor.IsWatching(u'C');
            test->volumesOpenInside = static_cast<int>(test->platform.OpenVolumeCount());
            GetParam().nested(test->monitor);
        }
        return 0;
    }

    HWND window = nullptr;
    CVolEventObjectPointer* receiver = new CVolEventObjectPointer(this);
    SimPlatform platform;
    SimVolume& volume = platform.AddDrive(u'C');
    FileChangeMonitor monitor{platform};
    std::atomic<int> sending{0};
    bool inOuterCall = false;
    bool nestedDone = false;
    bool watchingSeenInside = true;
    int volumesOpenInside = -1;
};

TEST_P(MonitorReentry, ACallFromAHandlerServedDuringAStopFindsTheMonitorConsistent) {
    ASSERT_NE(window, nullptr);
    StartC(monitor);
    // Made after the start: new changes, which the worker delivers one by one.
    for (int i = 0; i < 300; ++i) {
        volume.MakeFile(SimVolume::kRoot,
                        u"f" + std::u16string(1, u'a' + i % 26) + std::u16string(1, u'a' + i / 26));
    }
    while (sending == 0) {
        Sleep(1);  // the worker now waits in SendMessageW for this thread
    }
    inOuterCall = true;
    GetParam().outer(monitor);
    inOuterCall = false;

    ASSERT_TRUE(nestedDone) << "the stop did not serve the worker's message";
    // The engine being stopped had left the map: the handler saw no watch on C, and the
    // volume was still open only for the worker it waited for.
    EXPECT_FALSE(watchingSeenInside);
    EXPECT_EQ(volumesOpenInside, 1);
    EXPECT_EQ(monitor.IsWatching(u'C'), GetParam().watchingAfter);
    EXPECT_EQ(platform.OpenVolumeCount(), monitor.WatchCount());
}

INSTANTIATE_TEST_SUITE_P(Table, MonitorReentry,
                         ::testing::Values(ReentryCase{"stop_then_stop", StopC, StopC, false},
                                           ReentryCase{"stop_then_start", StopC, StartC, true},
                                           ReentryCase{"stop_then_reset", StopC, Reset, false},
                                           ReentryCase{"restart_then_stop", StartC, StopC, true},
                                           ReentryCase{"restart_then_start", StartC, StartC, true},
                                           ReentryCase{"restart_then_reset", StartC, Reset, true},
                                           ReentryCase{"reset_then_stop", Reset, StopC, false},
                                           ReentryCase{"reset_then_start", Reset, StartC, false},
                                           ReentryCase{"reset_then_reset", Reset, Reset, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
