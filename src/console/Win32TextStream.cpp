#include "console/Win32TextStream.h"

#include <algorithm>
#include <string>

#include "runtime/text/Utf8.h"

Win32TextStream::Win32TextStream(DWORD standardHandle) : handle_(GetStdHandle(standardHandle)) {
    DWORD mode = 0;
    console_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE &&
               GetConsoleMode(handle_, &mode) != FALSE;
}

TextStream::Result Win32TextStream::WriteLine(std::u16string_view line) {
    if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) {
        return Result::Written;  // a process started without this stream: nobody to tell
    }
    std::u16string text(line);
    text += u"\r\n";
    if (!console_) {
        const std::string bytes = ToUtf8(text);
        return WriteAll(bytes.data(), static_cast<DWORD>(bytes.size()));
    }
    // Older consoles refuse a long write for want of buffer space: a long path goes in
    // parts, never split inside a surrogate pair.
    constexpr std::size_t kPart = 4096;
    std::u16string_view left(text);
    while (!left.empty()) {
        std::size_t part = std::min(left.size(), kPart);
        if (part < left.size() && left[part - 1] >= 0xD800 && left[part - 1] <= 0xDBFF) {
            --part;
        }
        DWORD written = 0;
        if (!WriteConsoleW(handle_, left.data(), static_cast<DWORD>(part), &written, nullptr) ||
            written == 0) {
            return Result::Failed;
        }
        left.remove_prefix(std::min<std::size_t>(written, left.size()));
    }
    return Result::Written;
}

TextStream::Result Win32TextStream::WriteAll(const void* bytes, DWORD size) {
    const char* next = static_cast<const char*>(bytes);
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(handle_, next, size, &written, nullptr)) {
            const DWORD error = GetLastError();
            return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA ? Result::ReaderGone
                                                                        : Result::Failed;
        }
        if (written == 0) {
            return Result::Failed;
        }
        next += written;
        size -= written;
    }
    return Result::Written;
}
