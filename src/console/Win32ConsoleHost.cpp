#include "console/Win32ConsoleHost.h"

#include <windows.h>

#include <string>

#include "console/Win32RemovalWatch.h"
#include "runtime/text/WideText.h"
#include "runtime/win32/ScopedResource.h"

std::u16string Win32ConsoleHost::FullPath(std::u16string_view path) {
    const std::wstring given = WideString(path);
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) {
            return std::u16string(path);
        }
        if (length < full.size()) {
            return Utf16String(std::wstring_view(full).substr(0, length));
        }
        full.resize(length);  // the size asked for, NUL included
    }
}

bool Win32ConsoleHost::IsElevated() {
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) {
        return false;
    }
    const ScopedHandle token(opened);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

std::unique_ptr<ConsoleHost::RemovalWatch> Win32ConsoleHost::WatchRemovals(
    std::vector<PlatformHandle> volumes, OnRemoval onRemoval) {
    return std::make_unique<Win32RemovalWatch>(std::move(volumes), std::move(onRemoval));
}
