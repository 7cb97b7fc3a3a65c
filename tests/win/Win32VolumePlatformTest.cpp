#include "engine/win32/Win32VolumePlatform.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "engine/JournalRecords.h"
#include "engine/VolumeJournalWatcher.h"
#include "runtime/text/CWConstString.h"
#include "runtime/text/Utf8.h"

// The real backend against what Wine offers: drive C: is a fixed NTFS volume whose device
// opens, but the change-journal control codes are refused.
namespace {

TEST(Win32VolumePlatform, DriveCIsAFixedNtfsVolumeThatOpens) {
    Win32VolumePlatform platform;
    CWString name;
    ASSERT_TRUE(platform.GetFileSystemName(CWConstString(u"C:\\"), name));
    EXPECT_EQ(name, u"NTFS");
    EXPECT_EQ(platform.QueryDriveType(CWConstString(u"C:\\")), ntfs::kDriveFixed);
    const PlatformHandle volume = platform.OpenVolume(CWConstString(u"\\\\.\\C:"));
    ASSERT_NE(volume, kInvalidPlatformHandle);
    platform.CloseVolume(volume);
    EXPECT_TRUE(platform.HasOpenByIdCalls());
}

TEST(Win32VolumePlatform, OpenIsRefusedAtJournalCreationWithTheVolumeClosed) {
    Win32VolumePlatform platform;
    VolumeJournalWatcher watcher(platform);
    EXPECT_FALSE(watcher.Open(u'C', CMStringArray{CWString(u"C:\\")}));
    EXPECT_FALSE(watcher.VolumeOpen());
    EXPECT_FALSE(watcher.WorkerRunning());
    EXPECT_EQ(watcher.RootPath(), u"C:\\");
    // It got as far as the journal: the recycle folder of the user was already built.
    EXPECT_EQ(ToUtf8(watcher.RecyclePath()).rfind("C:\\$RECYCLE.BIN\\S-1-", 0), 0u);
}

TEST(Win32VolumePlatform, ADriveLetterWithoutAVolumeIsRefused) {
    Win32VolumePlatform platform;
    EXPECT_NE(platform.QueryDriveType(CWConstString(u"Q:\\")), ntfs::kDriveFixed);
    VolumeJournalWatcher watcher(platform);
    EXPECT_FALSE(watcher.Open(u'Q', CMStringArray{}));
    EXPECT_FALSE(watcher.VolumeOpen());
}

TEST(Win32VolumePlatform, FileIdOfADirectoryIsStableAndMissingPathsGiveZero) {
    Win32VolumePlatform platform;
    wchar_t windowsDir[MAX_PATH] = {};
    ASSERT_NE(GetWindowsDirectoryW(windowsDir, MAX_PATH), 0u);
    const CWString path(reinterpret_cast<const char16_t*>(windowsDir));
    const std::uint64_t first = platform.GetFileId(path);
    EXPECT_NE(first, 0u);
    EXPECT_EQ(platform.GetFileId(path), first);
    EXPECT_NE(platform.GetFileId(CWConstString(u"C:\\")), first);
    EXPECT_EQ(platform.GetFileId(CWConstString(u"C:\\no such directory\\at all")), 0u);
    EXPECT_TRUE(platform.IsDirectory(path));
    EXPECT_TRUE(platform.IsDirectory(CWConstString(u"C:\\")));
    EXPECT_FALSE(platform.IsDirectory(CWConstString(u"C:\\no such directory")));
}

TEST(Win32VolumePlatform, UserSidIsItsStringForm) {
    Win32VolumePlatform platform;
    const std::string sid = ToUtf8(platform.GetUserSidText());
    EXPECT_EQ(sid.rfind("S-1-", 0), 0u) << sid;
    EXPECT_GT(platform.CurrentUnixSeconds(), 1700000000);
}

}  // namespace
