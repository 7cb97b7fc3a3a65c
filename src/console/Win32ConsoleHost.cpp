#include "console/Win32ConsoleHost.h"

#include <windows.h>

#include <string>

#include "console/Win32RemovalWatch.h"
#include "runtime/text/WideText.h"
#include "runtime/win32/ScopedResource.h"

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

ConsoleHost::ReadResult Win32ConsoleHost::ReadWholeFile(std::u16string_view path,
                                                        std::string& bytes) {
    // A state file is small: anything much larger is no state file of this program.
    constexpr DWORD kLargest = 1 << 20;
    const ScopedHandle file(CreateFileW(WideString(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return GetLastError() == ERROR_FILE_NOT_FOUND ? ReadResult::kMissing : ReadResult::kFailed;
    }
    bytes.clear();
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr)) {
        if (read == 0) {
            return ReadResult::kRead;
        }
        if (bytes.size() + read > kLargest) {
            return ReadResult::kFailed;
        }
        bytes.append(buffer, read);
    }
    return ReadResult::kFailed;
}

bool Win32ConsoleHost::WriteDurably(std::u16string_view path, std::string_view bytes) {
    const ScopedHandle file(CreateFileW(WideString(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    DWORD written = 0;
    return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size() && FlushFileBuffers(file.Get());
}

bool Win32ConsoleHost::MoveOver(std::u16string_view from, std::u16string_view to) {
    return MoveFileExW(WideString(from).c_str(), WideString(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}
