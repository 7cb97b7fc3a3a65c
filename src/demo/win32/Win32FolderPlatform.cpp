#include "demo/win32/Win32FolderPlatform.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "ntfs/JournalRecords.h"
#include "runtime/text/WideText.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kWatchFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                               FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                               FILE_NOTIFY_CHANGE_LAST_WRITE;
// How long the end of a watch waits for its cancelled read to come back.
constexpr DWORD kCancelWaitMs = 5000;

std::int64_t FileTimeValue(const FILETIME& time) {
    return static_cast<std::int64_t>(ntfs::JoinHalves(time.dwHighDateTime, time.dwLowDateTime));
}

// A Win32 call that fills a buffer of characters: asked once, and again with the size it
// answered; empty on failure.
template <typename Call>
std::wstring Filled(Call call) {
    std::wstring text(MAX_PATH, L'\0');
    DWORD length = call(text.data(), static_cast<DWORD>(text.size()));
    if (length >= text.size()) {
        text.resize(length);
        length = call(text.data(), static_cast<DWORD>(text.size()));
    }
    if (length == 0 || length >= text.size()) {
        return {};
    }
    text.resize(length);
    return text;
}

}  // namespace

Win32FolderPlatform::Win32FolderPlatform(std::u16string_view folder) {
    std::wstring path = WideString(folder);
    while (!path.empty() && path.back() == L'\\') {
        path.pop_back();
    }
    if (path.rfind(L"\\\\?\\", 0) == 0) {
        prefix_ = path;
    } else if (path.rfind(L"\\\\", 0) == 0) {
        prefix_ = L"\\\\?\\UNC\\" + path.substr(2);
    } else {
        prefix_ = L"\\\\?\\" + path;
    }
    prefix_ += L'\\';
    // A drive's root is opened with its backslash, any other folder without.
    folder_ = path.size() == 2 && path[1] == L':' ? prefix_ : prefix_.substr(0, prefix_.size() - 1);
}

Win32FolderPlatform::~Win32FolderPlatform() {
    EndWatch();
}

std::optional<std::u16string> Win32FolderPlatform::DirectoryPath(std::u16string_view path) {
    const std::wstring given = WideString(path);
    std::wstring full = Filled([&](wchar_t* buffer, DWORD size) {
        return GetFullPathNameW(given.c_str(), size, buffer, nullptr);
    });
    if (full.empty()) {
        return std::nullopt;
    }
    if (std::wstring longer = Filled([&](wchar_t* buffer, DWORD size) {
            return GetLongPathNameW(full.c_str(), buffer, size);
        });
        !longer.empty()) {
        full = longer;
    }
    const DWORD attributes = GetFileAttributesW(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return std::nullopt;
    }
    return Utf16String(full);
}

std::wstring Win32FolderPlatform::FullPath(std::u16string_view relative) const {
    return relative.empty() ? folder_ : prefix_ + WideString(relative);
}

bool Win32FolderPlatform::List(std::u16string_view directory, std::vector<FolderEntry>& entries) {
    const ScopedHandle handle(CreateFileW(FullPath(directory).c_str(), FILE_LIST_DIRECTORY,
                                          kShareAll, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.Valid()) {
        return false;
    }
    std::vector<LONGLONG> buffer(kBufferBytes / sizeof(LONGLONG));
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer.data());
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(handle.Get(), kind, buffer.data(), kBufferBytes)) {
        kind = FileIdBothDirectoryInfo;
        // Each entry's fixed part, then its name; the last may end close to the buffer's end.
        constexpr std::size_t kFixed = offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
        std::size_t offset = 0;
        while (offset + kFixed <= kBufferBytes) {
            FILE_ID_BOTH_DIR_INFO info;
            std::memcpy(&info, bytes + offset, kFixed);
            const std::size_t nameOffset = offset + kFixed;
            if (info.FileNameLength > kBufferBytes - nameOffset) {
                return false;
            }
            std::u16string name(info.FileNameLength / 2, u'\0');
            std::memcpy(name.data(), bytes + nameOffset, name.size() * 2);
            if (name != u"." && name != u"..") {
                FolderEntry entry;
                entry.name = std::move(name);
                entry.id = static_cast<std::uint64_t>(info.FileId.QuadPart);
                entry.attributes = info.FileAttributes;
                entry.size = static_cast<std::uint64_t>(info.EndOfFile.QuadPart);
                entry.lastWrite = info.LastWriteTime.QuadPart;
                entries.push_back(std::move(entry));
            }
            if (info.NextEntryOffset == 0) {
                break;
            }
            offset += info.NextEntryOffset;
        }
    }
    return GetLastError() == ERROR_NO_MORE_FILES;
}

bool Win32FolderPlatform::Stat(std::u16string_view path, FolderEntry& entry) {
    const std::wstring full = FullPath(path);
    const ScopedHandle handle(
        CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (handle.Valid() && GetFileInformationByHandle(handle.Get(), &info)) {
        entry.id = ntfs::JoinHalves(info.nFileIndexHigh, info.nFileIndexLow);
        entry.attributes = info.dwFileAttributes;
        entry.size = ntfs::JoinHalves(info.nFileSizeHigh, info.nFileSizeLow);
        entry.lastWrite = FileTimeValue(info.ftLastWriteTime);
        return true;
    }
    // Opened elsewhere without sharing, or not to be opened at all: its directory entry
    // still tells the rest.
    WIN32_FIND_DATAW found{};
    const ScopedFindHandle search(
        FindFirstFileExW(full.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
    if (!search.Valid()) {
        return false;
    }
    entry.id = 0;
    entry.attributes = found.dwFileAttributes;
    entry.size = ntfs::JoinHalves(found.nFileSizeHigh, found.nFileSizeLow);
    entry.lastWrite = FileTimeValue(found.ftLastWriteTime);
    return true;
}

bool Win32FolderPlatform::StartWatch() {
    EndWatch();
    directory_.Reset(CreateFileW(folder_.c_str(), FILE_LIST_DIRECTORY, kShareAll, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED,
                                 nullptr));
    if (!directory_.Valid()) {
        return false;
    }
    if (!read_) {
        read_ = std::make_unique<PendingRead>();
        read_->event.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    }
    // The first read makes the system keep what changes from now on, also while nobody
    // reads.
    if (!read_->event.Valid() || !Issue()) {
        directory_.Reset(nullptr);
        return false;
    }
    return true;
}

bool Win32FolderPlatform::Issue() {
    std::memset(&read_->overlapped, 0, sizeof read_->overlapped);
    read_->overlapped.hEvent = read_->event.Get();
    ResetEvent(read_->event.Get());
    pending_ = ReadDirectoryChangesW(directory_.Get(), read_->buffer, kBufferBytes, TRUE,
                                     kWatchFilter, nullptr, &read_->overlapped, nullptr) != FALSE;
    return pending_;
}

FolderReadStatus Win32FolderPlatform::ReadChanges(std::vector<std::uint8_t>& bytes,
                                                  unsigned milliseconds) {
    if (!directory_.Valid() || (!pending_ && !Issue())) {
        EndWatch();
        return FolderReadStatus::kFailed;
    }
    if (WaitForSingleObject(read_->event.Get(), milliseconds) != WAIT_OBJECT_0) {
        return FolderReadStatus::kQuiet;
    }
    DWORD returned = 0;
    const bool done = GetOverlappedResult(directory_.Get(), &read_->overlapped, &returned, FALSE);
    const DWORD error = done ? ERROR_SUCCESS : GetLastError();
    pending_ = false;
    if (!done && error == ERROR_IO_INCOMPLETE) {
        pending_ = true;
        return FolderReadStatus::kQuiet;
    }
    if (!done && error != ERROR_NOTIFY_ENUM_DIR) {
        EndWatch();  // the folder is gone or the handle failed
        return FolderReadStatus::kFailed;
    }
    if (!done || returned == 0) {
        return FolderReadStatus::kOverflow;
    }
    bytes.assign(read_->buffer, read_->buffer + std::min<DWORD>(returned, kBufferBytes));
    return FolderReadStatus::kChanges;
}

std::u16string Win32FolderPlatform::LongPath(std::u16string_view path) {
    // Asked in the drive-letter form where the path allows it: Wine leaves \\?\ paths as
    // they are.
    const bool onDrive =
        prefix_.size() > 6 && prefix_.compare(0, 4, L"\\\\?\\") == 0 && prefix_[5] == L':';
    const std::wstring prefix = onDrive ? prefix_.substr(4) : prefix_;
    const std::wstring full = prefix + WideString(path);
    const std::wstring longer = Filled(
        [&](wchar_t* buffer, DWORD size) { return GetLongPathNameW(full.c_str(), buffer, size); });
    if (longer.size() <= prefix.size() ||
        CompareStringOrdinal(longer.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                             static_cast<int>(prefix.size()), TRUE) != CSTR_EQUAL) {
        return {};
    }
    return Utf16String(std::wstring_view(longer).substr(prefix.size()));
}

void Win32FolderPlatform::EndWatch() {
    if (pending_) {
        pending_ = false;
        CancelIoEx(directory_.Get(), &read_->overlapped);
        directory_.Reset(nullptr);  // closing the handle ends its reads too
        if (WaitForSingleObject(read_->event.Get(), kCancelWaitMs) != WAIT_OBJECT_0) {
            // The read never came back: the system may still write to its buffer, so the
            // buffer and its event stay where they are for the rest of the process.
            static_cast<void>(read_.release());
        }
    }
    directory_.Reset(nullptr);
}
