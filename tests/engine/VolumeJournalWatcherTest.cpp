#include "engine/VolumeJournalWatcher.h"

#include <gtest/gtest.h>

#include <functional>

#include "EngineTestSupport.h"
#include "ntfs/Win32Codes.h"
#include "support/FileSystemQueries.h"
#include "support/LinkedDrives.h"

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
        // A drive of another type is refused by its type, before its name is asked.
        RefusalCase{"fat32_removable",
                    [](SimPlatform& p, SimVolume&) {
                        p.SetFileSystemName(u'C', u"FAT32");
                        p.SetDriveType(u'C', ntfs::kDriveRemovable);
                    },
                    OpenRefusal::RemovableDrive},

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

// Sizes of its own, those Windows gives a system volume: for 0 and 0 the documentation
// defines nothing.
TEST_F(EngineTest, AVolumeWithoutAJournalIsGivenOneOfExplicitSizes) {
    volume.DeleteJournal();
    ASSERT_TRUE(Open());
    EXPECT_EQ(volume.RequestCount(ntfs::kFsctlCreateUsnJournal), 1u);
    const auto asked = volume.LastJournalCreateRequest();
    ASSERT_TRUE(asked.has_value());
    EXPECT_EQ(asked->MaximumSize, 32u << 20);
    EXPECT_EQ(asked->AllocationDelta, 8u << 20);
    EXPECT_EQ(volume.JournalData()->MaximumSize, 32u << 20);
    EXPECT_EQ(volume.JournalData()->AllocationDelta, 8u << 20);
    volume.MakeFile(SimVolume::kRoot, u"a.txt");
    CatchUp();
    EXPECT_EQ(log.Changes(), (std::vector<std::string>{"Created C:\\|a.txt"}));
}

struct DriveTypeCase {
    unsigned type;
    OpenRefusal refusal;
};

// Nothing asks the file system of a drive that is not fixed: on Windows a network drive
// whose server is gone would keep the caller waiting for the share's time-out.
TEST_F(EngineTest, ADriveIsRefusedByItsTypeWithoutAskingItsFileSystem) {
    const DriveTypeCase cases[] = {
        {ntfs::kDriveRemote, OpenRefusal::NetworkDrive},
        {ntfs::kDriveRemovable, OpenRefusal::RemovableDrive},
        {ntfs::kDriveCdrom, OpenRefusal::OpticalDrive},
        {ntfs::kDriveRamdisk, OpenRefusal::NotFixedDrive},
        {ntfs::kDriveUnknown, OpenRefusal::NotFixedDrive},
        {ntfs::kDriveNoRootDir, OpenRefusal::NoVolume},
    };
    volume.MakeDirectory(SimVolume::kRoot, u"data");
    for (const DriveTypeCase& c : cases) {
        SCOPED_TRACE(c.type);
        platform.SetDriveType(u'C', c.type);
        FileSystemQueries queries(platform);
        VolumeJournalWatcher engine(queries);
        EXPECT_FALSE(engine.Open(u'C', Paths({u"C:\\data"}), log.Slots()));
        EXPECT_EQ(engine.Refusal(), c.refusal);
        EXPECT_EQ(queries.DrivesAsked(), u"");
    }
    EXPECT_EQ(platform.OpenVolumeCount(), 0u);
}

// A subst drive names a folder, not a volume: its own letter opens no journal. (The
// watched-path rule takes the folder to the drive it lies on.)
TEST_F(EngineTest, ASubstDriveIsNoVolumeOfItsOwn) {
    volume.MakeDirectory(SimVolume::kRoot, u"data");
    platform.AddSubstDrive(u'S', u"C:\\data");
    EXPECT_FALSE(watcher.Open(u'S', Paths({}), log.Slots()));
    EXPECT_EQ(watcher.Refusal(), OpenRefusal::VolumeNotOpened);
    EXPECT_FALSE(watcher.Open(u'S', Paths({u"S:\\"}), log.Slots()));
    EXPECT_EQ(watcher.Refusal(), OpenRefusal::DirectoryOnOtherVolume);
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

TEST_F(EngineTest, OpenSetsTheRootAndTheJournal) {
    ASSERT_TRUE(Open());
    EXPECT_EQ(ToUtf8(watcher.RootPath()), "C:\\");
    EXPECT_EQ(watcher.JournalData().UsnJournalID, volume.JournalData()->UsnJournalID);
}

struct PathsCase {
    const char* name;
    std::vector<const char16_t*> paths;
    OpenRefusal refusal;  // None: the watch starts
    const char* watched;  // the directory a change is reported from, with a filter
};

class WatchedPaths : public EngineTest, public ::testing::WithParamInterface<PathsCase> {};

// Each watched path is read by the one rule for typed directories. One that cannot be told
// for certain to be a directory of this volume refuses the watch: every NTFS root has the same id,
// and the ids of another volume name unrelated directories here, so a filter made of them would
// watch the wrong tree, and one left out would watch the whole volume.
TEST_P(WatchedPaths, OnlyDirectoriesOfThisVolumeMakeAFilterAndAnyOtherRefusesTheWatch) {
    const auto data = volume.MakeDirectory(SimVolume::kRoot, u"data");
    volume.MakeFile(data, u"a.txt");
    const LinkedDrives linked(platform);
    volume.DeleteJournal();  // a refused watch gives the volume none

    const PathsCase& c = GetParam();
    CMStringArray paths;
    for (const char16_t* p : c.paths) {
        paths.Add(CWString(p));
    }
    const bool opens = c.refusal == OpenRefusal::None;
    ASSERT_EQ(Open(paths), opens);
    EXPECT_EQ(watcher.Refusal(), c.refusal);
    EXPECT_EQ(volume.JournalData().has_value(), opens);
    if (!opens) {
        EXPECT_EQ(platform.OpenVolumeCount(), 0u);
        return;
    }
    EXPECT_EQ(watcher.FilterActive(), !c.paths.empty());
    volume.MakeFile(SimVolume::kRoot, u"top.txt");
    volume.MakeFile(data, u"inside.txt");
    CatchUp();
    std::vector<std::string> expected;
    if (std::string(c.watched) == "C:\\") {
        expected.push_back("Created C:\\|top.txt");
    }
    expected.push_back("Created C:\\data\\|inside.txt");
    EXPECT_EQ(log.Changes(), expected);
}

constexpr OpenRefusal kStarts = OpenRefusal::None;

INSTANTIATE_TEST_SUITE_P(
    Table, WatchedPaths,
    ::testing::Values(
        PathsCase{"none", {}, kStarts, "C:\\"}, PathsCase{"root", {u"C:\\"}, kStarts, "C:\\"},
        PathsCase{"directory", {u"C:\\data\\"}, kStarts, "C:\\data\\"},
        PathsCase{"other_letter_case", {u"c:\\DATA"}, kStarts, "C:\\data\\"},
        PathsCase{"long_form", {u"\\\\?\\C:\\data"}, kStarts, "C:\\data\\"},
        PathsCase{"junction_to_a_directory_of_this_volume", {u"C:\\toData"}, kStarts, "C:\\data\\"},
        // Read as Windows reads them: from the current directory, C:\ here.
        PathsCase{"drive_and_colon_only", {u"C:"}, kStarts, "C:\\"},
        PathsCase{"relative", {u"data"}, kStarts, "C:\\data\\"},
        PathsCase{"empty_element", {u""}, OpenRefusal::NotALocalDirectory, ""},
        PathsCase{"missing_directory", {u"C:\\missing\\"}, OpenRefusal::DirectoryMissing, ""},
        PathsCase{"a_file", {u"C:\\data\\a.txt"}, OpenRefusal::DirectoryMissing, ""},
        PathsCase{"missing_then_existing",
                  {u"C:\\missing", u"C:\\data"},
                  OpenRefusal::DirectoryMissing,
                  ""},
        PathsCase{"unknown_drive", {u"Q:\\data"}, OpenRefusal::NoVolume, ""},
        PathsCase{"other_drive", {u"D:\\data\\"}, OpenRefusal::DirectoryOnOtherVolume, ""},
        PathsCase{
            "junction_to_another_volume", {u"C:\\toD"}, OpenRefusal::DirectoryOnOtherVolume, ""},
        PathsCase{"folder_where_a_lettered_volume_is_mounted",
                  {u"C:\\mnt\\d"},
                  OpenRefusal::DirectoryOnOtherVolume,
                  ""},
        PathsCase{"folder_where_a_volume_without_a_letter_is_mounted",
                  {u"C:\\mnt\\backup"},
                  OpenRefusal::DirectoryOnUnletteredVolume,
                  ""},
        PathsCase{"existing_then_other_drive",
                  {u"C:\\data", u"D:\\data"},
                  OpenRefusal::DirectoryOnOtherVolume,
                  ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A volume whose name cannot be read tells its serial number through its root directory.
TEST_F(EngineTest, AWatchedDirectoryIsTakenWhenTheVolumesNameCannotBeRead) {
    const auto data = volume.MakeDirectory(SimVolume::kRoot, u"data");
    platform.SetFileSystemName(u'C', std::nullopt);
    ASSERT_TRUE(Open({u"C:\\data"}));
    EXPECT_TRUE(watcher.FilterActive());
    volume.MakeFile(SimVolume::kRoot, u"top.txt");
    volume.MakeFile(data, u"inside.txt");
    CatchUp();
    EXPECT_EQ(log.Changes(), std::vector<std::string>{"Created C:\\data\\|inside.txt"});
}

TEST_F(EngineTest, WithoutAFilterEveryChangeOfTheVolumeIsReported) {
    const auto other = volume.MakeDirectory(SimVolume::kRoot, u"other");
    ASSERT_TRUE(Open({}));
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
