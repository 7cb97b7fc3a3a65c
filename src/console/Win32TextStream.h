#pragma once

#include <windows.h>

#include "console/TextStream.h"

// A standard handle of the process as a TextStream. A console gets the text as it is
// (WriteConsoleW), so that Chinese and every other name shows whatever the console's code
// page; a file or a pipe gets UTF-8. Each line goes out in one call with CRLF, nothing
// kept back, so that a pipeline sees every change at once. The handle is the process's:
// it is not closed here.
class Win32TextStream final : public TextStream {
public:
    explicit Win32TextStream(DWORD standardHandle);

    Result WriteLine(std::u16string_view line) override;

private:
    Result WriteAll(const void* bytes, DWORD size);

    HANDLE handle_;
    bool console_ = false;
};
