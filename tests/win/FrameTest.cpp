#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ExecutableFacts.h"
#include "app/CVolMFCApp.h"
#include "app/UnhandledErrorGuard.h"
#include "runtime/text/Utf8.h"

// The application frame as processes: the error report of a failed start and the exit of
// a program closed while lines stream in. (What the executable's file carries:
// ProgramFilesTest.cpp.)
namespace {

std::wstring Wide(const char* utf8) {
    const std::u16string text = FromUtf8(utf8);
    return std::wstring(text.begin(), text.end());
}

// A process of the frame's test build.
class Program {
public:
    explicit Program(const std::wstring& mode) {
        std::wstring command = L"\"" + Wide(FRAME_TEST_APP) + L"\" " + mode;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        started_ = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startup, &info_) != FALSE;
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program() {
        if (started_) {
            TerminateProcess(info_.hProcess, 99);
            CloseHandle(info_.hThread);
            CloseHandle(info_.hProcess);
        }
    }
    bool Started() const { return started_; }
    DWORD Id() const { return info_.dwProcessId; }
    // The exit code, or 259 (still running) after `milliseconds`.
    DWORD Wait(DWORD milliseconds) {
        WaitForSingleObject(info_.hProcess, milliseconds);
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION info_{};
    bool started_ = false;
};

// The report shows however the failed creation left the queue: as under Wine; with the
// WM_DESTROY Windows sends after a failed WM_CREATE; with a quit message already waiting,
// which would end a message box before the user saw it.
class FailedStart : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(FailedStart, AnErrorEscapingTheWindowsCreationIsReportedAndEndsTheProcessWithMinusOne) {
    Program program(GetParam());
    ASSERT_TRUE(program.Started());
    HWND box = nullptr;
    for (int i = 0; i < 1000 && box == nullptr; ++i) {
        box = FindWindowOfProcess(L"#32770", L"运行时异常", program.Id());
        Sleep(10);
    }
    ASSERT_NE(box, nullptr) << "no error report";
    wchar_t text[256] = {};
    GetWindowTextW(GetDlgItem(box, 0xFFFF), text, 256);
    EXPECT_EQ(std::wstring(text), L"程序在运行时抛出了未被管理的异常");
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr) << "the report has no owner";
    EXPECT_NE(IconOfMessageBox(box), nullptr) << "the report shows no icon";
    EXPECT_EQ(FindWindowOfProcess(L"VolWinForm", nullptr, program.Id()), nullptr)
        << "a main window is up beside the report";
    Sleep(300);
    EXPECT_TRUE(IsWindow(box)) << "the report went before the user answered it";
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(program.Wait(10000), 0xFFFFFFFFu);
}

INSTANTIATE_TEST_SUITE_P(Queues, FailedStart,
                         ::testing::Values(L"throw", L"throw-windows-path", L"throw-quit-pending"),
                         [](const auto& info) {
                             std::string name;
                             for (const wchar_t* c = info.param; *c != L'\0'; ++c) {
                                 name += *c == L'-' ? '_' : static_cast<char>(*c);
                             }
                             return name;
                         });

TEST(Frame, ClosingTheWindowWhileLinesStreamEndsWithZeroWithinTwoSeconds) {
    Program program(L"stream");
    ASSERT_TRUE(program.Started());
    EXPECT_EQ(program.Wait(60000), 0u)
        << "3: not ended within two seconds of the close; 4: never closed";
}

// The report's icon is checked inside the reporting process, where the system's icons can
// be compared: the guard runs in a child of this test, whose hook answers the box as it
// comes up.
LRESULT CALLBACK AnswerTheReport(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        const HWND box = reinterpret_cast<HWND>(wParam);
        wchar_t caption[64] = {};
        GetWindowTextW(box, caption, 64);
        if (std::wstring(caption) == L"运行时异常") {
            const HICON icon = IconOfMessageBox(box);
            const bool error = icon != nullptr && icon == LoadIconW(nullptr, IDI_ERROR);
            const bool okOnly =
                GetDlgItem(box, IDOK) != nullptr && GetDlgItem(box, IDCANCEL) == nullptr;
            std::fprintf(stderr, "icon=%s buttons=%s\n", error ? "error" : "other",
                         okOnly ? "ok" : "other");
            std::fflush(stderr);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(FrameDeathTest, TheReportShowsTheErrorIconAndAnOkButton) {
    EXPECT_EXIT(
        {
            SetWindowsHookExW(WH_CBT, AnswerTheReport, nullptr, GetCurrentThreadId());
            RunGuarded([] { throw std::runtime_error("creation failed"); });
        },
        ::testing::ExitedWithCode(-1), "icon=error buttons=ok");
}

// ---- The frame in this process

// A main window that goes again while it is being created.
class VanishingForm : public CVolWinForm {
public:
    void CreateChildren() override { DestroyWindow(Handle()); }
    int ClientWidth() const override { return 200; }
    int ClientHeight() const override { return 100; }
};

class VanishingApp : public CVolUserApp {
public:
    CVolWinForm& MainWindow() override { return form_; }

private:
    VanishingForm form_;
};

class FrameInProcess : public ::testing::Test {
protected:
    ~FrameInProcess() override {
        SetErrorMode(savedErrorMode_);
        MSG quit;
        while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
    static int RunVanishing() {
        CVolMFCApp app([] { return std::make_unique<VanishingApp>(); });
        return app.Run(GetModuleHandleW(nullptr));
    }

private:
    UINT savedErrorMode_ = GetErrorMode();
};

// Only a window that exists is the main one, whose destruction ends the loop: the quit
// message of one that went during its creation would end the next message box at once.
TEST_F(FrameInProcess, AMainWindowThatGoesDuringItsCreationLeavesNoQuitMessage) {
    EXPECT_EQ(RunVanishing(), 0);
    MSG quit;
    EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// A drive without media must answer the directory check with an error, not with the
// system's "no disk" box.
TEST_F(FrameInProcess, StartUpTurnsTheSystemsCriticalErrorBoxesIntoErrors) {
    SetErrorMode(0);
    RunVanishing();
    EXPECT_NE(GetErrorMode() & SEM_FAILCRITICALERRORS, 0u);
}

}  // namespace
