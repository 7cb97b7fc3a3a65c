#include "engine/VolumeJournalWatcher.h"

#include <gtest/gtest.h>

#include <functional>

#include "EngineTestSupport.h"
#include "ntfs/Win32Codes.h"

namespace {

struct RefusalCase {
    const char* name;
    std::function<void(SimPlatform&, SimVolume&)> setUp;
    OpenRefusal refusal;  // None: the volume opens
};

constexpr OpenRefusal kOpens = OpenRefusal::None;

class OpenRefusals : public EngineTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(OpenRefusals, RefusesWhatIsNotALocalNtfsVolumeWithAJournalAndSaysWhy) {
    GetParam().setUp(platform, volume);
    const bool opens = GetParam().refusal == kOpens;
    EXPECT_EQ(Open({u"C:\\"}), opens);
    EXPECT_EQ(watcher.Refusal(), GetParam().refusal);
    EXPECT_EQ(watcher.VolumeOpen(), opens);
    EXPECT_EQ(watcher.WorkerRunning(), opens);
    watcher.Stop();
    EXPECT_EQ(platform.OpenVolumeCount(), 0u) << "a volume handle was left open";
}

INSTANTIATE_TEST_SUITE_P(
    Table, OpenRefusals,
    ::testing::Values(
        RefusalCase{"ntfs", [](SimPlatform&, SimVolume&) {}, kOpens},
        RefusalCase{"fat32",
                    [](SimPlatform& p, SimVolume&) { p.SetFileSystemName(u'C', u"FAT32"); },
                    OpenRefusal::NotNtfs},
        // The name test is exact: letter case counts.
        RefusalCase{"ntfs_in_lower_case",
                    [](SimPlatform& p, SimVolume&) { p.SetFileSystemName(u'C', u"ntfs"); },
                    OpenRefusal::NotNtfs},
        // A name that cannot be read is no reason to refuse.
        RefusalCase{"name_unreadable",
                    [](SimPlatform& p, SimVolume&) { p.SetFileSystemName(u'C', std::nullopt); },
                    kOpens},
        RefusalCase{"removable",
                    [](SimPlatform& p, SimVolume&) { p.SetDriveType(u'C', ntfs::kDriveRemovable); },
                    OpenRefusal::NotFixedDrive},
        RefusalCase{"network",
                    [](SimPlatform& p, SimVolume&) { p.SetDriveType(u'C', ntfs::kDriveRemote); },
                    OpenRefusal::NotFixedDrive},
        RefusalCase{"ram_disk",
                    [](SimPlatform& p, SimVolume&) { p.SetDriveType(u'C', ntfs::kDriveRamdisk); },
                    OpenRefusal::NotFixedDrive},
        RefusalCase{"no_root",
                    [](SimPlatform& p, SimVolume&) { p.SetDriveType(u'C', ntfs::kDriveNoRootDir); },
                    OpenRefusal::NoVolume},
        RefusalCase{
            "not_administrator",
            [](SimPlatform& p, SimVolume&) { p.FailVolumeOpens(win32::kErrorAccessDenied); },
            OpenRefusal::VolumeNotOpened},
        RefusalCase{"journal_cannot_be_created",
                    [](SimPlatform&, SimVolume& v) {
                        v.DeleteJournal();
                        v.FailNextRequests(1, ntfs::kFsctlCreateUsnJournal);
                    },
                    OpenRefusal::JournalUnavailable},
        RefusalCase{"no_journal_yet", [](SimPlatform&, SimVolume& v) { v.DeleteJournal(); },
                    kOpens},
        RefusalCase{"journal_being_deleted",
                    [](SimPlatform&, SimVolume& v) { v.DeleteJournalInBackground(); },
                    OpenRefusal::JournalUnavailable},
        RefusalCase{
            "journal_cannot_be_queried",
            [](SimPlatform&, SimVolume& v) { v.FailNextRequests(1, ntfs::kFsctlQueryUsnJournal); },
            OpenRefusal::JournalUnavailable},
        RefusalCase{"volume_removed", [](SimPlatform&, SimVolume& v) { v.SetRemoved(true); },
                    OpenRefusal::NoVolume}),
    [](const auto& info) { return std::string(info.param.name); });

// A create on a volume that has a journal sets it to the sizes given: the watch asks for
// none unless there is no journal, so one sized large for others keeps its size and records.
TEST_F(EngineTest, AnExistingJournalKeepsItsSizesAcrossAWatchAndARecovery) {
    constexpr std::uint64_t kLarge = 1ULL << 30;
    constexpr std::uint64_t kDelta = 64ULL << 20;
    volume.CreateJournal(kLarge, kDelta);
    ASSERT_TRUE(Open());
    volume.MakeFile(SimVolume::kRoot, u"a.txt");
    CatchUp();
    volume.FailNextRequests(1, ntfs::kFsctlReadUsnJournal);  // the worker recovers
    volume.MakeFile(SimVolume::kRoot, u"b.txt");
    CatchUp();
    watcher.Stop();
    EXPECT_EQ(log.Changes(),
              (std::vector<std::string>{"Created C:\\|a.txt", "Created C:\\|b.txt"}));
    EXPECT_EQ(volume.RequestCount(ntfs::kFsctlCreateUsnJournal), 0u);
    EXPECT_EQ(volume.JournalData()->MaximumSize, kLarge);
    EXPECT_EQ(volume.JournalData()->AllocationDelta, kDelta);
}

TEST_F(EngineTest, AVolumeWithoutAJournalIsGivenOneOfTheDefaultSize) {
    volume.DeleteJournal();
    ASSERT_TRUE(Open());
    EXPECT_EQ(volume.RequestCount(ntfs::kFsctlCreateUsnJournal), 1u);
    EXPECT_EQ(volume.JournalData()->MaximumSize, SimJournal::kDefaultMaximumSize);
    volume.MakeFile(SimVolume::kRoot, u"a.txt");
    CatchUp();
    EXPECT_EQ(log.Changes(), (std::vector<std::string>{"Created C:\\|a.txt"}));
}

TEST_F(EngineTest, ADriveWithoutAVolumeIsRefused) {
    EXPECT_FALSE(watcher.Open(u'Q', Paths({}), log.Slots()));
    EXPECT_FALSE(watcher.VolumeOpen());
    EXPECT_EQ(watcher.Refusal(), OpenRefusal::NoVolume);
}

TEST_F(EngineTest, AnOpenThatSucceedsAfterARefusalHasNoRefusal) {
    platform.FailVolumeOpens(win32::kErrorAccessDenied);
    ASSERT_FALSE(Open({}));
    EXPECT_EQ(watcher.Refusal(), OpenRefusal::VolumeNotOpened);
    platform.FailVolumeOpens(0);
    ASSERT_TRUE(Open({}));
    EXPECT_EQ(watcher.Refusal(), OpenRefusal::None);
}

TEST_F(EngineTest, OpenSetsTheRootAndTheUsersRecycleFolder) {
    ASSERT_TRUE(Open());
    EXPECT_EQ(ToUtf8(watcher.RootPath()), "C:\\");
    EXPECT_EQ(watcher.RecyclePath().View(),
              u"C:\\$RECYCLE.BIN\\" + std::u16string(SimVolume::kDefaultUserSid) + u"\\");
    EXPECT_EQ(watcher.JournalData().UsnJournalID, volume.JournalData()->UsnJournalID);
}

TEST_F(EngineTest, WithoutTheUsersSidTheRecycleFolderMatchesNothing) {
    platform.SetUserSidText(u"");
    ASSERT_TRUE(Open());
    EXPECT_EQ(ToUtf8(watcher.RecyclePath()), "C:\\$RECYCLE.BIN\\\\");
}

TEST_F(EngineTest, WatchStartIsTheClockInWholeSeconds) {
    platform.Clock().Set(SimClock::FromUnixSeconds(1700000000) + 7654321);
    ASSERT_TRUE(watcher.Open(u'C', Paths({}), log.Slots()));
    EXPECT_EQ(watcher.WatchStart(),
              static_cast<std::uint64_t>(SimClock::FromUnixSeconds(1700000000)));
}

struct PathsCase {
    const char* name;
    std::vector<const char16_t*> paths;
    bool filter;
};

class WatchedPaths : public EngineTest, public ::testing::WithParamInterface<PathsCase> {};

TEST_P(WatchedPaths, OnlyDirectoriesOfThisVolumeThatExistMakeAFilter) {
    volume.MakeDirectory(SimVolume::kRoot, u"data");
    CMStringArray paths;
    for (const char16_t* p : GetParam().paths) {
        paths.Add(CWString(p));
    }
    ASSERT_TRUE(watcher.Open(u'C', paths, log.Slots()));
    EXPECT_EQ(watcher.FilterActive(), GetParam().filter);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WatchedPaths,
    ::testing::Values(PathsCase{"none", {}, false},
                      PathsCase{"drive_and_colon_only", {u"C:"}, false},
                      PathsCase{"other_drive", {u"D:\\data\\"}, false},
                      PathsCase{"missing_directory", {u"C:\\missing\\"}, false},
                      PathsCase{"empty_element", {u""}, false}, PathsCase{"root", {u"C:\\"}, true},
                      PathsCase{"directory", {u"C:\\data\\"}, true},
                      PathsCase{"other_letter_case", {u"c:\\DATA"}, true},
                      PathsCase{"missing_then_existing", {u"C:\\missing", u"C:\\data"}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineTest, WithoutAFilterEveryChangeOfTheVolumeIsReported) {
    const auto other = volume.MakeDirectory(SimVolume::kRoot, u"other");
    ASSERT_TRUE(Open({u"C:"}));
    volume.MakeFile(other, u"x.txt");
    volume.MakeFile(SimVolume::kRoot, u"y.txt");
    CatchUp();
    EXPECT_EQ(log.Changes(),
              (std::vector<std::string>{"Created C:\\other\\|x.txt", "Created C:\\|y.txt"}));
}

TEST_F(EngineTest, TheRootAsWatchedDirectoryLetsEverythingThrough) {
    const auto other = volume.MakeDirectory(SimVolume::kRoot, u"other");
    ASSERT_TRUE(Open({u"C:\\"}));
    volume.MakeFile(other, u"x.txt");
    CatchUp();
    EXPECT_EQ(log.Changes(), (std::vector<std::string>{"Created C:\\other\\|x.txt"}));
}

TEST_F(EngineTest, StopBeforeOpenAndStopTwiceAreHarmless) {
    watcher.Stop();
    watcher.Stop();
    ASSERT_TRUE(Open());
    watcher.Stop();
    watcher.Stop();
    EXPECT_FALSE(watcher.VolumeOpen());
    EXPECT_FALSE(watcher.WorkerRunning());
    EXPECT_EQ(platform.OpenVolumeCount(), 0u);
}

TEST_F(EngineTest, OpenOnARunningEngineStopsItAndItsSlotsFirst) {
    SlotLog first;
    ASSERT_TRUE(watcher.Open(u'C', Paths({}), first.Slots()));
    CatchUp();  // past its enumeration: a watch stopped during it never starts
    ASSERT_TRUE(Open());
    volume.MakeFile(SimVolume::kRoot, u"after.txt");
    CatchUp();
    watcher.Stop();
    EXPECT_EQ(first.Changes(), std::vector<std::string>{});
    EXPECT_EQ(first.Count("Started"), 1);
    EXPECT_EQ(log.Changes(), (std::vector<std::string>{"Created C:\\|after.txt"}));
    EXPECT_EQ(platform.OpenVolumeCount(), 0u);
}

// Without a filter too, as when a whole drive is watched (C:\\ is the default): every path
// comes from the index, which the enumeration fills. The files of a folder deleted before
// their records were read keep the folder's path.
TEST_F(EngineTest, EveryWatchEnumeratesTheVolumeForItsPaths) {
    const auto build = volume.MakeDirectories(u"\\data\\build");
    volume.MakeFile(build, u"a.obj");
    ASSERT_TRUE(Open({u"C:\\data"}));
    watcher.Stop();
    const std::uint64_t enumerations = volume.RequestCount(ntfs::kFsctlEnumUsnData);
    EXPECT_GT(enumerations, 0u);
    ASSERT_TRUE(Open({}));
    EXPECT_FALSE(watcher.FilterActive());
    EXPECT_GT(volume.RequestCount(ntfs::kFsctlEnumUsnData), enumerations);
    gate.CloseAndWaitForTheReader();
    ASSERT_TRUE(volume.DeleteTree(build));
    gate.Open();
    CatchUp();
    EXPECT_EQ(log.Changes(), (std::vector<std::string>{"Deleted C:\\data\\build\\|a.obj",
                                                       "Deleted C:\\data\\|build"}));
}

}  // namespace
