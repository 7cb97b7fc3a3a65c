// Drives the demonstration's window from a script, through the window itself rather than
// through screen coordinates, so that neither the layout nor another window in front can
// mislead it:
//
//   demo_window_tool launch EXE [ARG...]      starts EXE; once its main window shows, prints
//                                             "window HWND XWINDOW" (XWINDOW: the X11
//                                             window under Wine, 0 elsewhere), then waits for
//                                             the process and ends with its exit code (125
//                                             when no window came within a minute)
//   demo_window_tool press HWND ID            clicks the button with that control id
//   demo_window_tool text HWND ID             prints the control's text (UTF-8, lines ending
//                                             in \n)
//   demo_window_tool wait-lines HWND ID N SEC waits until the control holds N lines or more;
//                                             exit 1 when SEC seconds pass first
//   demo_window_tool top HWND                 puts the window above all others (for a
//                                             screenshot while other programs run)
//   demo_window_tool close HWND               asks the window to close (WM_CLOSE)
//   demo_window_tool end HWND                 ends the window's process (after a failure)
//
// Other failures end it with 2 and a line on standard error.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/text/Utf8.h"
#include "runtime/win32/ScopedResource.h"

namespace {

constexpr UINT kMessageTimeoutMs = 10000;

std::string Utf8(const std::wstring& text) {
    return ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

void Write(HANDLE stream, const std::string& text) {
    DWORD written = 0;
    WriteFile(stream, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

int Fail(const std::string& message) {
    Write(GetStdHandle(STD_ERROR_HANDLE), "demo_window_tool: " + message + "\n");
    return 2;
}

// One argument of a command line, quoted as CommandLineToArgvW reads it back.
std::wstring Quoted(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

struct Search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindMainWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    if (process == search->process && std::wstring(name) == L"VolWinForm" &&
        IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

int Launch(const std::vector<std::wstring>& words) {
    std::wstring command;
    for (const std::wstring& word : words) {
        command += (command.empty() ? L"" : L" ") + Quoted(word);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return Fail("cannot start " + Utf8(words[0]));
    }
    const ScopedHandle process(info.hProcess);
    const ScopedHandle thread(info.hThread);
    Search search{info.dwProcessId, nullptr};
    for (int tries = 0; tries < 3000 && search.found == nullptr; ++tries) {
        if (WaitForSingleObject(process.Get(), 20) == WAIT_OBJECT_0) {
            break;
        }
        EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&search));
    }
    if (search.found == nullptr) {
        DWORD code = 0;
        if (GetExitCodeProcess(process.Get(), &code) && code != STILL_ACTIVE) {
            Fail("the program ended with " + std::to_string(code) + " before its window showed");
            return static_cast<int>(code);
        }
        TerminateProcess(process.Get(), 125);
        Fail("no window within a minute");
        return 125;
    }
    // Wine's X11 driver keeps each window's X11 window as a property of it.
    const auto x11 =
        reinterpret_cast<std::uintptr_t>(GetPropW(search.found, L"__wine_x11_whole_window"));
    Write(GetStdHandle(STD_OUTPUT_HANDLE),
          "window " + std::to_string(reinterpret_cast<std::uintptr_t>(search.found)) + " " +
              std::to_string(x11) + "\n");
    WaitForSingleObject(process.Get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.Get(), &code);
    return static_cast<int>(code);
}

HWND WindowArgument(const std::wstring& text) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(wcstoull(text.c_str(), nullptr, 10)));
}

bool ControlText(HWND control, std::wstring& text) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                             &length)) {
        return false;
    }
    text.assign(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXT, text.size(),
                             reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                             kMessageTimeoutMs, &copied)) {
        return false;
    }
    text.resize(copied);
    return true;
}

std::size_t LineCount(const std::wstring& text) {
    std::size_t lines = 0;
    for (std::size_t at = text.find(L"\r\n"); at != std::wstring::npos;
         at = text.find(L"\r\n", at + 2)) {
        ++lines;
    }
    return lines;
}

int Run(const std::vector<std::wstring>& words) {
    const std::wstring verb = words.empty() ? L"" : words[0];
    if (verb == L"launch" && words.size() >= 2) {
        return Launch(std::vector<std::wstring>(words.begin() + 1, words.end()));
    }
    if (words.size() < 2 || !IsWindow(WindowArgument(words[1]))) {
        return Fail(
            "usage: launch EXE [ARG...] | press|text HWND ID | wait-lines HWND ID N SEC | "
            "top|close|end HWND (a window that exists)");
    }
    const HWND window = WindowArgument(words[1]);
    if (verb == L"top") {
        return SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0,
                            SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW)
                   ? 0
                   : Fail("not put on top");
    }
    if (verb == L"close") {
        return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : Fail("WM_CLOSE not posted");
    }
    if (verb == L"end") {
        DWORD id = 0;
        GetWindowThreadProcessId(window, &id);
        const ScopedHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
        return process.Valid() && TerminateProcess(process.Get(), 124) ? 0 : Fail("not ended");
    }
    if (words.size() < 3) {
        return Fail("no control id");
    }
    const HWND control = GetDlgItem(window, _wtoi(words[2].c_str()));
    if (control == nullptr) {
        return Fail("no control " + Utf8(words[2]));
    }
    if (verb == L"press") {
        if (!IsWindowEnabled(control)) {
            return Fail("control " + Utf8(words[2]) + " is disabled");
        }
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(control, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                                   &result)
                   ? 0
                   : Fail("the click was not taken");
    }
    if (verb == L"text") {
        std::wstring text;
        if (!ControlText(control, text)) {
            return Fail("no text");
        }
        std::wstring lines;
        for (const wchar_t c : text) {
            if (c != L'\r') {
                lines += c;
            }
        }
        Write(GetStdHandle(STD_OUTPUT_HANDLE), Utf8(lines));
        return 0;
    }
    if (verb == L"wait-lines" && words.size() == 5) {
        const std::size_t wanted = wcstoull(words[3].c_str(), nullptr, 10);
        const ULONGLONG end = GetTickCount64() + 1000ULL * _wtoi(words[4].c_str());
        std::wstring text;
        while (!ControlText(control, text) || LineCount(text) < wanted) {
            if (GetTickCount64() > end) {
                return 1;
            }
            Sleep(20);
        }
        return 0;
    }
    return Fail("unknown command");
}

}  // namespace

int wmain(int count, wchar_t** arguments) {
    std::vector<std::wstring> words;
    for (int i = 1; i < count; ++i) {
        words.emplace_back(arguments[i]);
    }
    return Run(words);
}
