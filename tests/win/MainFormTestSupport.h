#pragma once

// Shared by the main window's tests: a simulated machine, the window over it, message
// pumping, and an answerer for the message boxes and dialogs the window opens.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ExecutableFacts.h"
#include "FormsTestSupport.h"
#include "engine/VolumePlatform.h"
#include "ntfs/JournalRecords.h"
#include "runtime/text/Utf8.h"
#include "sim/SimPlatform.h"
#include "sim/SimVolume.h"
#include "support/FileSystemQueries.h"
#include "support/LinkedDrives.h"
#include "support/JournalReadHook.h"
#include "ui/MainForm.h"

namespace main_form_test {

inline std::string U8(const std::wstring& text) {
    return ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

inline std::wstring WindowText(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

// Pumps this thread's messages until `done` holds or `timeout` passes.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        forms_test::PumpMessages();
        Sleep(2);
    }
    return true;
}

// Waits on a thread of its own for the first dialog box of a thread, notes its caption and
// message, and closes it with `button` (IDOK, IDCANCEL). Modal boxes block the window's
// thread, so the answer has to come from elsewhere.
class DialogAnswerer {
public:
    DialogAnswerer(DWORD uiThread, int button)
        : thread_([this, uiThread, button] { Answer(uiThread, button); }) {}
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;
    ~DialogAnswerer() {
        stop_ = true;
        thread_.join();
    }

    bool Answered() const { return answered_; }
    std::string Caption() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return caption_;
    }
    std::string Message() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return message_;
    }
    bool HasWarningIcon() const { return warningIcon_; }
    HWND Owner() const { return owner_; }

private:
    void Answer(DWORD uiThread, int button) {
        while (!stop_) {
            HWND dialog = nullptr;
            EnumThreadWindows(uiThread, FindDialog, reinterpret_cast<LPARAM>(&dialog));
            if (dialog != nullptr) {
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    caption_ = U8(WindowText(dialog));
                    message_ = U8(WindowText(GetDlgItem(dialog, 0xFFFF)));
                }
                owner_ = GetWindow(dialog, GW_OWNER);
                // The message box's icon is a static control showing the system's icon.
                const HICON shown = IconOfMessageBox(dialog);
                warningIcon_ = shown != nullptr && shown == LoadIconW(nullptr, IDI_WARNING);
                PostMessageW(dialog, WM_COMMAND, button, 0);
                answered_ = true;
                return;
            }
            Sleep(10);
        }
    }

    static BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
        wchar_t name[32] = {};
        GetClassNameW(window, name, 32);
        if (std::wstring(name) == L"#32770" && IsWindowVisible(window)) {
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        }
        return TRUE;
    }

    mutable std::mutex mutex_;
    std::string caption_;
    std::string message_;
    std::atomic<bool> warningIcon_{false};
    std::atomic<HWND> owner_{nullptr};
    std::atomic<bool> answered_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Holds modifier keys down for this thread (as GetKeyState reads them) while it lives.
class HeldKeys {
public:
    explicit HeldKeys(std::initializer_list<int> keys) {
        GetKeyboardState(saved_);
        BYTE held[256];
        std::copy(std::begin(saved_), std::end(saved_), std::begin(held));
        for (const int key : keys) {
            held[key] = 0x80;
        }
        SetKeyboardState(held);
    }
    HeldKeys(const HeldKeys&) = delete;
    HeldKeys& operator=(const HeldKeys&) = delete;
    ~HeldKeys() { SetKeyboardState(saved_); }

private:
    BYTE saved_[256] = {};
};

// A simulated machine: C: with C:\data\ (a.txt, sub\) and C:\other\, and the links,
// mounted folders and drives of LinkedDrives. The window sees it through `probe`.
struct Machine {
    SimPlatform platform;
    JournalReadHook reads{platform};
    FileSystemQueries probe{reads};
    SimVolume& c = platform.AddDrive(u'C');
    std::uint64_t data = c.MakeDirectory(SimVolume::kRoot, u"data");
    std::uint64_t a = c.MakeFile(data, u"a.txt", 10);
    std::uint64_t sub = c.MakeDirectory(data, u"sub");
    std::uint64_t other = c.MakeDirectory(SimVolume::kRoot, u"other");
    LinkedDrives linked{platform};
    SimVolume& d = linked.d;
    std::uint64_t dData = d.Lookup(u"\\data");

    // Moves the simulated clock past the set-up, so that a watch started now sees none of it.
    void Later() { platform.Clock().Advance(2 * ntfs::kFileTimeTicksPerSecond); }
    // The drives the window asked a file-system question of whose type is not fixed: on
    // Windows such a question can stall the window on a network drive or raise the system's
    // "no disk" box on a removable drive without media.
    std::string AskedOffFixedDrives() {
        std::string asked;
        for (const char16_t letter : probe.DrivesAsked()) {
            if (platform.QueryDriveType(CWString(WatchedDirectory::RootOf(letter))) !=
                ntfs::kDriveFixed) {
                asked += static_cast<char>(letter);
            }
        }
        return asked;
    }
};

}  // namespace main_form_test
