#include "engine/win32/Win32VolumePlatform.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "engine/ChangeClassifier.h"
#include "engine/VolumeJournalWatcher.h"
#include "engine/WatchedDirectory.h"
#include "ntfs/JournalRecords.h"
#include "runtime/text/AsciiCase.h"
#include "runtime/text/CWConstString.h"
#include "runtime/text/Utf8.h"
#include "runtime/text/WideText.h"

// The real backend against what Wine offers: drive C: is a fixed NTFS volume whose device
// opens, but the change-journal control codes are refused. Opens by id work relative to a
// handle of the root directory only, and a 32-bit test in the 64-bit prefix has its paths
// redirected as on 64-bit Windows.
namespace {

std::wstring SystemDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetSystemDirectoryW(path, MAX_PATH);
    return path;
}

// The real System32 as this process reaches it with redirection on: a 32-bit process under
// WoW64 through the Sysnative alias.
std::wstring RealSystemDirectory() {
#ifdef _WIN64
    return SystemDirectory();
#else
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + L"\\Sysnative";
#endif
}

CWString Text(const std::wstring& path) {
    return CWString(reinterpret_cast<const char16_t*>(path.c_str()));
}

// The file id of a path as this thread sees it, redirection and all.
std::uint64_t IdAsThisThreadSees(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(file, &info) != FALSE;
    CloseHandle(file);
    return known ? (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow : 0;
}

// The serial number of the volume and that of a directory opened on it agree: the engine
// tells by them that a watched directory is the volume's.
// The file id the platform tells of a path, 0 when it cannot be opened.
std::uint64_t IdOf(Win32VolumePlatform& platform, const CWString& path) {
    FileIdentity identity;
    return platform.IdentifyFile(path, identity) ? identity.fileId : 0;
}

TEST(Win32VolumePlatform, DriveCIsAFixedNtfsVolumeThatOpens) {
    Win32VolumePlatform platform;
    VolumeInformation information;
    ASSERT_TRUE(platform.QueryVolumeInformation(CWConstString(u"C:\\"), information));
    EXPECT_EQ(information.fileSystem, u"NTFS");
    FileIdentity root;
    ASSERT_TRUE(platform.IdentifyFile(CWConstString(u"\\\\?\\C:\\"), root));
    EXPECT_EQ(root.volumeSerial, information.serialNumber);
    EXPECT_EQ(root.finalPath, u"\\\\?\\C:\\");
    EXPECT_EQ(platform.QueryDriveType(CWConstString(u"C:\\")), ntfs::kDriveFixed);
    const PlatformHandle volume = platform.OpenVolume(CWConstString(u"\\\\.\\C:"));
    ASSERT_NE(volume, kInvalidPlatformHandle);
    platform.CloseVolume(volume);
    EXPECT_TRUE(platform.HasOpenByIdCalls());
}

TEST(Win32VolumePlatform, OpenIsRefusedAtTheJournalWithTheVolumeClosed) {
    Win32VolumePlatform platform;
    VolumeJournalWatcher watcher(platform);
    EXPECT_FALSE(watcher.Open(u'C', CMStringArray{CWString(u"C:\\")}));
    EXPECT_FALSE(watcher.VolumeOpen());
    EXPECT_FALSE(watcher.WorkerRunning());
    EXPECT_EQ(watcher.RootPath(), u"C:\\");
    // It got as far as the journal, which Wine does not have.
    EXPECT_EQ(watcher.Refusal(), OpenRefusal::JournalUnavailable);
}

TEST(Win32VolumePlatform, ADriveLetterWithoutAVolumeIsRefused) {
    Win32VolumePlatform platform;
    EXPECT_NE(platform.QueryDriveType(CWConstString(u"Q:\\")), ntfs::kDriveFixed);
    VolumeJournalWatcher watcher(platform);
    EXPECT_FALSE(watcher.Open(u'Q', CMStringArray{}));
    EXPECT_FALSE(watcher.VolumeOpen());
}

TEST(Win32VolumePlatform, ADirectoryIsIdentifiedByItsFinalPathVolumeAndId) {
    Win32VolumePlatform platform;
    wchar_t windowsDir[MAX_PATH] = {};
    ASSERT_NE(GetWindowsDirectoryW(windowsDir, MAX_PATH), 0u);
    const CWString path(reinterpret_cast<const char16_t*>(windowsDir));
    FileIdentity first;
    ASSERT_TRUE(platform.IdentifyFile(path, first));
    EXPECT_NE(first.fileId, 0u);
    EXPECT_NE(first.attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_TRUE(
        EqualsIgnoringAsciiCase(first.finalPath.View(), u"\\\\?\\" + std::u16string(path.View())))
        << ToUtf8(first.finalPath);
    FileIdentity again;
    ASSERT_TRUE(platform.IdentifyFile(CWString(u"\\\\?\\" + std::u16string(path.View())), again));
    EXPECT_EQ(again.fileId, first.fileId);
    EXPECT_EQ(again.volumeSerial, first.volumeSerial);
    FileIdentity root;
    ASSERT_TRUE(platform.IdentifyFile(CWConstString(u"C:\\"), root));
    EXPECT_NE(root.fileId, first.fileId);
    FileIdentity missing;
    EXPECT_FALSE(platform.IdentifyFile(CWConstString(u"C:\\no such directory\\at all"), missing));
    EXPECT_EQ(platform.LastError(), static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND));
}

// Beyond MAX_PATH a directory opens in its long form, which the watched-path rule gives it.
TEST(Win32VolumePlatform, ADirectoryBeyondMaxPathIsWatchedThroughItsLongForm) {
    Win32VolumePlatform platform;
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    const std::u16string base(platform.FullPathName(CWString(Utf16String(temp))).View());
    std::u16string deep = base + u"yzwatch-long";
    std::vector<std::u16string> made{deep};
    while (deep.size() < 300) {
        deep += u"\\" + std::u16string(60, u'd');
        made.push_back(deep);
    }
    for (const std::u16string& folder : made) {
        ASSERT_TRUE(CreateDirectoryW(WideString(u"\\\\?\\" + folder).c_str(), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS)
            << GetLastError() << " " << ToUtf8(folder);
    }
    const WatchedDirectory watched = WatchedDirectory::Resolve(platform, deep);
    EXPECT_EQ(watched.refusal, OpenRefusal::None);
    EXPECT_TRUE(EqualsIgnoringAsciiCase(watched.path, deep)) << ToUtf8(watched.path);
    for (auto folder = made.rbegin(); folder != made.rend(); ++folder) {
        RemoveDirectoryW(WideString(u"\\\\?\\" + *folder).c_str());
    }
}

// GetFullPathNameW's reading, whatever the length of the answer.
TEST(Win32VolumePlatform, FullPathNamesAreTheSystemsReading) {
    Win32VolumePlatform platform;
    wchar_t current[MAX_PATH] = {};
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, current), 0u);
    std::u16string expected(current, current + lstrlenW(current));
    if (expected.back() != u'\\') {
        expected += u'\\';
    }
    EXPECT_EQ(platform.FullPathName(CWConstString(u"sub\\dir")).View(), expected + u"sub\\dir");
    EXPECT_EQ(platform.FullPathName(CWConstString(u"C:\\a\\..\\b")), u"C:\\b");
    EXPECT_EQ(platform.FullPathName(CWConstString(u"C:/a/b.")), u"C:\\a\\b");
    const std::u16string deep =
        u"C:\\" + std::u16string(400, u'd') + u"\\" + std::u16string(9, u'e');
    EXPECT_EQ(platform.FullPathName(CWString(deep)).View(), deep);
}

// A 32-bit process on 64-bit Windows opens C:\Windows\SysWOW64 when it names System32,
// unless the redirection is off: the backend's path calls see what the user named, and the
// thread's redirection is back on afterwards. A 64-bit process has none to turn off.
TEST(Win32VolumePlatform, PathsNameWhatTheyNameAlsoInA32BitProcess) {
    Win32VolumePlatform platform;
    const std::wstring system32 = SystemDirectory();
    wchar_t wow64[MAX_PATH] = {};
    ASSERT_NE(GetSystemWow64DirectoryW(wow64, MAX_PATH), 0u) << "a 64-bit prefix has SysWOW64";
    BOOL redirected = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &redirected));
#ifdef _WIN64
    EXPECT_FALSE(redirected);
#else
    EXPECT_TRUE(redirected) << "the 32-bit suite runs in a 64-bit prefix";
#endif
    const std::uint64_t system32Id = IdOf(platform, Text(system32));
    const std::uint64_t wow64Id = IdOf(platform, Text(wow64));
    ASSERT_NE(system32Id, 0u);
    ASSERT_NE(wow64Id, 0u);
    EXPECT_NE(system32Id, wow64Id);
    EXPECT_EQ(system32Id, IdAsThisThreadSees(RealSystemDirectory()));
    EXPECT_EQ(IdAsThisThreadSees(system32), redirected ? wow64Id : system32Id)
        << "the thread's redirection was not turned back on";

    // A directory that only the real System32 holds.
    const std::wstring name = L"\\only-in-the-real-system32";
    ASSERT_TRUE(CreateDirectoryW((RealSystemDirectory() + name).c_str(), nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
    EXPECT_NE(IdOf(platform, Text(system32 + name)), 0u);
    RemoveDirectoryW((RealSystemDirectory() + name).c_str());
}

// The one piece of code that builds the native open by id, through the path query the engine
// runs on Windows: relative to whichever handle the platform takes, found when the volume
// opened.
TEST(Win32VolumePlatform, ADirectorysFileIdResolvesToItsPath) {
    Win32VolumePlatform platform;
    const PlatformHandle volume = platform.OpenVolume(CWConstString(u"\\\\.\\C:"));
    ASSERT_NE(volume, kInvalidPlatformHandle);
    const WatcherSlots slots;
    const WatchScope scope{platform, volume, u"C:\\", nullptr, nullptr, slots};
    ChangeClassifier classifier(scope);
    const auto resolve = [&](std::uint64_t id) {
        std::u16string path(u"unchanged");
        classifier.ResolveDirectoryPath(id, path);
        return ToUtf8(path);
    };
    EXPECT_EQ(resolve(IdOf(platform, CWConstString(u"C:\\windows\\system32"))),
              "C:\\windows\\system32\\");
    EXPECT_EQ(resolve(IdOf(platform, CWConstString(u"C:\\"))), "C:\\");
    EXPECT_EQ(resolve(0x00FF00FF00FF00FFull), "unchanged");
    platform.CloseVolume(volume);
}

// A path longer than the first buffer of the name query holds: asked again with the room
// the platform answered it needs.
TEST(Win32VolumePlatform, ADirectoryWithAPathOverAThousandCharactersResolvesWhole) {
    Win32VolumePlatform platform;
    const PlatformHandle volume = platform.OpenVolume(CWConstString(u"\\\\.\\C:"));
    ASSERT_NE(volume, kInvalidPlatformHandle);
    std::wstring path = L"C:\\yz-long-path";
    std::vector<std::wstring> made{path};
    for (int level = 0; path.size() <= 1100; ++level) {
        path += L"\\" + std::wstring(200, static_cast<wchar_t>(L'a' + level));
        made.push_back(path);
    }
    for (const std::wstring& dir : made) {
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + dir).c_str(), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS)
            << dir.size();
    }
    const WatcherSlots slots;
    ChangeClassifier classifier({platform, volume, u"C:\\", nullptr, nullptr, slots});
    FileIdentity identity;
    ASSERT_TRUE(platform.IdentifyFile(Text(L"\\\\?\\" + path), identity));
    std::u16string resolved;
    classifier.ResolveDirectoryPath(identity.fileId, resolved);
    EXPECT_EQ(ToUtf8(resolved), ToUtf8(Text(path + L"\\")));
    for (auto dir = made.rbegin(); dir != made.rend(); ++dir) {
        RemoveDirectoryW((L"\\\\?\\" + *dir).c_str());
    }
    platform.CloseVolume(volume);
}

TEST(Win32VolumePlatform, AVolumeClosesEveryHandleItOpened) {
    Win32VolumePlatform platform;
    const auto open = [&] {
        platform.CloseVolume(platform.OpenVolume(CWConstString(u"\\\\.\\C:")));
    };
    open();
    DWORD before = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
    for (int i = 0; i < 50; ++i) {
        open();
    }
    DWORD after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    EXPECT_EQ(after, before);
}

}  // namespace
