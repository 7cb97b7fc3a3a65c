#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "demo/FolderPlatform.h"
#include "runtime/win32/ScopedResource.h"

// A real folder through Win32: listings by GetFileInformationByHandleEx (names, file
// indexes, sizes, attributes and times in one call per buffer), single entries by
// GetFileInformationByHandle on a handle that asks for attributes only (FindFirstFileExW
// when even that is refused), and the watch by ReadDirectoryChangesW on the folder, with
// its subfolders, for names, attributes, sizes and write times. Every open asks for no
// more than reading and lets other programs read, write, rename and delete as they like.
// Paths are given to the platform in their \\?\ form, so that long ones work too.
class Win32FolderPlatform final : public FolderPlatform {
public:
    // `folder`: an absolute path, as DirectoryPath gives it.
    explicit Win32FolderPlatform(std::u16string_view folder);
    Win32FolderPlatform(const Win32FolderPlatform&) = delete;
    Win32FolderPlatform& operator=(const Win32FolderPlatform&) = delete;
    // Ends a read still pending before its buffer goes.
    ~Win32FolderPlatform() override;

    // The absolute, long form of a path that names a directory; nothing otherwise.
    static std::optional<std::u16string> DirectoryPath(std::u16string_view path);

    bool List(std::u16string_view directory, std::vector<FolderEntry>& entries) override;
    bool Stat(std::u16string_view path, FolderEntry& entry) override;
    bool StartWatch() override;
    FolderReadStatus ReadChanges(std::vector<std::uint8_t>& bytes, unsigned milliseconds) override;
    std::u16string LongPath(std::u16string_view path) override;

    // The size of the watch's buffer, and of the system's buffer behind it: 64 KB, the
    // most a watch of a folder on a network share may ask for.
    static constexpr DWORD kBufferBytes = 64 * 1024;

private:
    // The watch's buffer and the record of its pending read, which must outlive the read.
    struct PendingRead {
        OVERLAPPED overlapped{};
        ScopedHandle event;
        alignas(8) std::uint8_t buffer[kBufferBytes];
    };

    std::wstring FullPath(std::u16string_view relative) const;
    bool Issue();
    void EndWatch();

    std::wstring prefix_;  // \\?\C:\folder\: what relative paths are joined to
    std::wstring folder_;  // the folder itself, as it is opened
    ScopedHandle directory_;
    std::unique_ptr<PendingRead> read_;
    bool pending_ = false;
};
