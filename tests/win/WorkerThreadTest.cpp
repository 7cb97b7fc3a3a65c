#include "engine/WorkerThread.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

// Join must let a worker that sends a message to a window of the joining thread finish,
// and must not dispatch what is posted meanwhile.
namespace {

std::atomic<int> sentHandled{0};
std::atomic<int> postedHandled{0};
constexpr UINT kSent = WM_APP + 1;
constexpr UINT kPosted = WM_APP + 2;

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kSent) {
        ++sentHandled;
        return 42;
    }
    if (message == kPosted) {
        ++postedHandled;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class MessageWindow {
public:
    MessageWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Procedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"WorkerThreadTestWindow";
        RegisterClassW(&wc);
        window_ = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
    }
    ~MessageWindow() { DestroyWindow(window_); }
    HWND Get() const { return window_; }

private:
    HWND window_;
};

TEST(WorkerThread, JoinServesMessagesTheWorkerSendsToTheJoiningThread) {
    MessageWindow window;
    ASSERT_NE(window.Get(), nullptr);
    sentHandled = 0;
    postedHandled = 0;
    PostMessageW(window.Get(), kPosted, 0, 0);
    std::atomic<LRESULT> answer{0};
    for (int round = 0; round < 20; ++round) {
        WorkerThread worker;
        ASSERT_TRUE(worker.Start([&] {
            Sleep(2);
            answer = SendMessageW(window.Get(), kSent, 0, 0);
        }));
        worker.Join();  // would never return with a plain join
        EXPECT_FALSE(worker.Running());
    }
    EXPECT_EQ(sentHandled, 20);
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(postedHandled, 0) << "a posted message ran inside Join";
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&msg);
    }
    EXPECT_EQ(postedHandled, 1);
}

TEST(WorkerThread, DestroyingARunningWorkerJoinsIt) {
    std::atomic<bool> finished{false};
    {
        WorkerThread worker;
        ASSERT_TRUE(worker.Start([&] {
            Sleep(20);
            finished = true;
        }));
    }
    EXPECT_TRUE(finished);
}

}  // namespace
