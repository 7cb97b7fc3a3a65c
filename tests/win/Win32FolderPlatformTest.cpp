// The real folder through Win32, on a folder of the test's own: listings and single
// entries agree on file indexes, the watch reports changes made through Win32 (also while
// nobody reads), a pending read ends with the platform, and the mirror built on it follows
// a folder that programs change.

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>

#include "demo/ActivityPlayer.h"
#include "demo/FileNotifyRecords.h"
#include "demo/FolderMirror.h"
#include "demo/win32/Win32FolderPlatform.h"
#include "sim/SimVolume.h"

namespace {

std::u16string Narrow(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}

// A fresh folder under the temporary folder, deleted with what it holds at the end.
class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, base);
        path_ = std::wstring(base) + L"mirror-test-" + std::to_wstring(GetCurrentProcessId()) +
                L"-" + std::to_wstring(GetTickCount64());
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() { DeleteTree(path_); }

    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const wchar_t* relative) const { return path_ + L"\\" + relative; }

    static void DeleteTree(const std::wstring& path) {
        WIN32_FIND_DATAW found{};
        const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") {
                    continue;
                }
                const std::wstring child = path + L"\\" + name;
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                    DeleteTree(child);
                } else {
                    SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileW(child.c_str());
                }
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(path.c_str());
    }

private:
    std::wstring path_;
};

bool WriteFileOf(const std::wstring& path, std::size_t bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const std::string data(bytes, 'x');
    DWORD written = 0;
    const bool ok =
        bytes == 0 || WriteFile(file, data.data(), static_cast<DWORD>(bytes), &written, nullptr);
    CloseHandle(file);
    return ok;
}

// The changes the watch reports within `seconds`, read by read, until `done` holds.
std::vector<FolderChange> ChangesUntil(
    Win32FolderPlatform& platform,
    const std::function<bool(const std::vector<FolderChange>&)>& done, int seconds = 10) {
    std::vector<FolderChange> changes;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::vector<std::uint8_t> bytes;
    while (!done(changes) && std::chrono::steady_clock::now() < until) {
        if (platform.ReadChanges(bytes, 50) == FolderReadStatus::kChanges) {
            const file_notify::Parsed parsed = file_notify::Parse(bytes);
            EXPECT_TRUE(parsed.complete);
            changes.insert(changes.end(), parsed.changes.begin(), parsed.changes.end());
        }
    }
    return changes;
}

bool Holds(const std::vector<FolderChange>& changes, FolderAction action,
           std::u16string_view path) {
    for (const FolderChange& change : changes) {
        if (change.action == action && change.path == path) {
            return true;
        }
    }
    return false;
}

TEST(Win32FolderPlatform, DirectoryPathAnswersOnlyForDirectories) {
    TempFolder folder;
    ASSERT_TRUE(WriteFileOf(folder / L"file.txt", 3));
    const std::optional<std::u16string> path =
        Win32FolderPlatform::DirectoryPath(Narrow(folder.Path()));
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(path->substr(1, 2), u":\\");
    EXPECT_FALSE(Win32FolderPlatform::DirectoryPath(Narrow(folder / L"file.txt")));
    EXPECT_FALSE(Win32FolderPlatform::DirectoryPath(Narrow(folder / L"missing")));
}

TEST(Win32FolderPlatform, ListingsAndSingleEntriesAgreeAcrossManyBuffers) {
    TempFolder folder;
    ASSERT_TRUE(CreateDirectoryW((folder / L"sub").c_str(), nullptr));
    ASSERT_TRUE(WriteFileOf(folder / L"sub\\inner.txt", 5));
    // Enough long names to need several 64 KB listings.
    std::set<std::u16string> names{u"sub"};
    for (int i = 0; i < 700; ++i) {
        const std::wstring name = L"a file with a rather long name, number " + std::to_wstring(i) +
                                  L", to fill the listing.txt";
        ASSERT_TRUE(WriteFileOf(folder / name.c_str(), i % 7));
        names.insert(Narrow(name));
    }
    Win32FolderPlatform platform(Narrow(folder.Path()));
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(platform.List(u"", entries));
    std::set<std::u16string> listed;
    for (const FolderEntry& entry : entries) {
        listed.insert(entry.name);
        FolderEntry single;
        ASSERT_TRUE(platform.Stat(entry.name, single)) << "no entry for a listed name";
        EXPECT_EQ(single.id, entry.id);
        EXPECT_NE(entry.id, 0u);
        EXPECT_EQ(single.size, entry.size);
        EXPECT_EQ(single.attributes, entry.attributes);
        EXPECT_EQ(single.lastWrite, entry.lastWrite);
    }
    EXPECT_EQ(listed, names);  // "." and ".." left out
    entries.clear();
    ASSERT_TRUE(platform.List(u"sub", entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, u"inner.txt");
    EXPECT_EQ(entries[0].size, 5u);
    FolderEntry entry;
    ASSERT_TRUE(platform.Stat(u"sub", entry));
    EXPECT_TRUE(entry.IsDirectory());
    ASSERT_TRUE(platform.Stat(u"", entry));
    EXPECT_TRUE(entry.IsDirectory());
    EXPECT_FALSE(platform.Stat(u"missing.txt", entry));
    entries.clear();
    EXPECT_FALSE(platform.List(u"missing", entries));
}

TEST(Win32FolderPlatform, TheWatchReportsChangesBelowTheFolderAlsoThoseMadeBetweenReads) {
    TempFolder folder;
    ASSERT_TRUE(CreateDirectoryW((folder / L"sub").c_str(), nullptr));
    Win32FolderPlatform platform(Narrow(folder.Path()));
    ASSERT_TRUE(platform.StartWatch());
    // Wine reports a subfolder's changes once the subfolder has been opened (the mirror
    // lists every subfolder after starting its watch).
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(platform.List(u"sub", entries));
    // Nobody reads yet: the changes are kept.
    ASSERT_TRUE(WriteFileOf(folder / L"a.txt", 10));
    ASSERT_TRUE(WriteFileOf(folder / L"sub\\b.txt", 10));
    ASSERT_TRUE(MoveFileW((folder / L"a.txt").c_str(), (folder / L"c.txt").c_str()));
    const std::vector<FolderChange> changes = ChangesUntil(platform, [](const auto& seen) {
        return Holds(seen, FolderAction::kRenamedNewName, u"c.txt");
    });
    EXPECT_TRUE(Holds(changes, FolderAction::kAdded, u"a.txt"));
    EXPECT_TRUE(Holds(changes, FolderAction::kAdded, u"sub\\b.txt"));
    EXPECT_TRUE(Holds(changes, FolderAction::kRenamedOldName, u"a.txt"));
    EXPECT_TRUE(Holds(changes, FolderAction::kRenamedNewName, u"c.txt"));
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(platform.ReadChanges(bytes, 100), FolderReadStatus::kQuiet);
}

TEST(Win32FolderPlatform, APendingReadEndsWithThePlatformAndLeavesTheFolderFree) {
    TempFolder folder;
    const std::wstring watched = folder / L"watched";
    ASSERT_TRUE(CreateDirectoryW(watched.c_str(), nullptr));
    const auto start = std::chrono::steady_clock::now();
    {
        Win32FolderPlatform platform(Narrow(watched));
        ASSERT_TRUE(platform.StartWatch());
        std::vector<std::uint8_t> bytes;
        EXPECT_EQ(platform.ReadChanges(bytes, 20), FolderReadStatus::kQuiet);  // left pending
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_TRUE(RemoveDirectoryW(watched.c_str())) << "the watch's handle stayed open";
}

TEST(Win32FolderPlatform, AShortNameReadsBackInItsLongForm) {
    TempFolder folder;
    ASSERT_TRUE(CreateDirectoryW((folder / L"Quarterly reports").c_str(), nullptr));
    ASSERT_TRUE(WriteFileOf(folder / L"Quarterly reports\\Summary of the year.txt", 1));
    wchar_t shortPath[MAX_PATH] = {};
    const std::wstring full = folder / L"Quarterly reports\\Summary of the year.txt";
    Win32FolderPlatform platform(Narrow(folder.Path()));
    if (GetShortPathNameW(full.c_str(), shortPath, MAX_PATH) == 0 ||
        std::wstring(shortPath) == full) {
        GTEST_SKIP() << "this volume keeps no short names";
    }
    std::wstring shortFolder(MAX_PATH, L'\0');
    shortFolder.resize(GetShortPathNameW(folder.Path().c_str(), shortFolder.data(), MAX_PATH));
    const std::wstring relative = std::wstring(shortPath).substr(shortFolder.size() + 1);
    EXPECT_EQ(platform.LongPath(Narrow(relative)), u"Quarterly reports\\Summary of the year.txt");
    // Windows finds no long form of a name that is not there; Wine answers the name itself.
    const std::u16string missing = platform.LongPath(u"missing~1.txt");
    EXPECT_TRUE(missing.empty() || missing == u"missing~1.txt");
}

// ---- The mirror on a real folder

bool Eventually(const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        Sleep(10);
    }
    return true;
}

TEST(Win32FolderMirror, FollowsWhatProgramsDoInTheFolder) {
    TempFolder folder;
    ASSERT_TRUE(WriteFileOf(folder / L"before.txt", 100));
    ASSERT_TRUE(CreateDirectoryW((folder / L"sub").c_str(), nullptr));
    SimVolume volume;
    Win32FolderPlatform platform(Narrow(folder.Path()));
    FolderMirror mirror(volume, platform);
    mirror.Prepare();
    ASSERT_NE(volume.Lookup(u"\\demo\\before.txt"), 0u);
    const ActivityPlayer player(mirror);

    ASSERT_TRUE(WriteFileOf(folder / L"new.txt", 2000));
    ASSERT_TRUE(Eventually([&] {
        const auto info = volume.Info(volume.Lookup(u"\\demo\\new.txt"));
        return info && info->size == 2000;
    }));
    ASSERT_TRUE(MoveFileW((folder / L"new.txt").c_str(), (folder / L"sub\\moved.txt").c_str()));
    ASSERT_TRUE(Eventually([&] { return volume.Lookup(u"\\demo\\sub\\moved.txt") != 0; }));
    EXPECT_EQ(volume.Lookup(u"\\demo\\new.txt"), 0u);
    ASSERT_TRUE(DeleteFileW((folder / L"before.txt").c_str()));
    ASSERT_TRUE(Eventually([&] { return volume.Lookup(u"\\demo\\before.txt") == 0; }));
}

}  // namespace
