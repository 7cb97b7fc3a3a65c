#pragma once

#include <windows.h>

// Turns WoW64 file-system redirection off on the calling thread for as long as it lives. In a
// 32-bit process on 64-bit Windows C:\Windows\System32 opens C:\Windows\SysWOW64; a path the
// user names must name the same directory for this program as for every other. Keep it around
// the path calls alone: while it lasts, a library loaded on this thread would come from the
// 64-bit System32. Where there is no redirection (a 64-bit process, 32-bit Windows) it does
// nothing.
class FileSystemRedirectionOff {
public:
    FileSystemRedirectionOff() : off_(Wow64DisableWow64FsRedirection(&previous_) != FALSE) {}
    FileSystemRedirectionOff(const FileSystemRedirectionOff&) = delete;
    FileSystemRedirectionOff& operator=(const FileSystemRedirectionOff&) = delete;
    ~FileSystemRedirectionOff() {
        if (off_) {
            Wow64RevertWow64FsRedirection(previous_);
        }
    }

private:
    void* previous_ = nullptr;
    bool off_;
};
