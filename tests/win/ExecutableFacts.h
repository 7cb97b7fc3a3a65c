#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What the Windows tests read of a program from outside: its top-level windows and the
// texts of its version block.

// The first top-level window of a class (and title, unless none) that belongs to a process:
// other programs, other tests among them, may show windows of the same class meanwhile.
inline HWND FindWindowOfProcess(const wchar_t* className, const wchar_t* title, DWORD process) {
    for (HWND window = FindWindowExW(nullptr, nullptr, className, title); window != nullptr;
         window = FindWindowExW(nullptr, window, className, title)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == process) {
            return window;
        }
    }
    return nullptr;
}

// The version block of an executable file, read as Explorer's properties read it; empty
// when the file carries none.
class VersionBlock {
public:
    explicit VersionBlock(const std::wstring& path) {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        block_.resize(size);
        if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block_.data())) {
            block_.clear();
        }
    }

    bool Present() const { return !block_.empty(); }

    // A text of the Chinese (PRC, Unicode) string table; empty when it is not there.
    std::wstring Text(const wchar_t* name) const {
        const auto* text =
            Value<wchar_t>((std::wstring(L"\\StringFileInfo\\080404b0\\") + name).c_str());
        return text == nullptr ? std::wstring() : std::wstring(text);
    }

    // The value of a sub-block ("\\" the fixed part, "\\VarFileInfo\\Translation"); null
    // when it is not there.
    template <typename T>
    const T* Value(const wchar_t* subBlock) const {
        void* value = nullptr;
        UINT length = 0;
        if (block_.empty() || !VerQueryValueW(block_.data(), subBlock, &value, &length)) {
            return nullptr;
        }
        return static_cast<const T*>(value);
    }

private:
    std::vector<char> block_;
};
