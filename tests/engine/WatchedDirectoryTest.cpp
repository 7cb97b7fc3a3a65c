// What a typed directory text watches, read by the one rule the window, the console and
// the monitor share, over a simulated machine with links, mounted folders and subst drives;
// and that the directory it gives is the one an engine then watches.

#include "engine/WatchedDirectory.h"

#include <gtest/gtest.h>

#include <ostream>
#include <span>
#include <string>

#include "engine/SlotLog.h"
#include "engine/VolumeJournalWatcher.h"
#include "runtime/text/Utf8.h"
#include "sim/JournalReadProbe.h"
#include "sim/SimPlatform.h"
#include "support/FileSystemQueries.h"
#include "support/LinkedDrives.h"

namespace {

const std::u16string kLongName(150, u'l');
// A directory whose path is 300 units long, beyond MAX_PATH.
const std::u16string kLongPath = u"C:\\" + kLongName + u"\\" + std::u16string(145, u'm');

struct TypedCase {
    const char* name;
    std::u16string typed;
    std::u16string fullPath;  // as Windows resolves the text, drive letter in upper case
    OpenRefusal refusal;      // None: watched
    std::u16string watched;   // the final directory
};

void PrintTo(const TypedCase& c, std::ostream* out) {
    *out << c.name;
}

constexpr OpenRefusal kWatched = OpenRefusal::None;

// C: with C:\data (a.txt, sub\) and C:\work\data (the current directory is C:\work), and
// the links, mounted folders and drives of LinkedDrives.
class WatchedDirectoryTest : public ::testing::TestWithParam<TypedCase> {
protected:
    SimPlatform platform;
    SimVolume& c = platform.AddDrive(u'C');
    LinkedDrives linked{platform};
    FileSystemQueries queries{platform};

    void SetUp() override {
        c.MakeDirectories(u"\\data\\sub");
        c.MakeFile(c.Lookup(u"\\data"), u"a.txt");
        c.MakeDirectories(u"\\work\\data");
        c.MakeDirectories(kLongPath.substr(2));
        platform.SetCurrentDirectory(u"C:\\work");
    }
};

TEST_P(WatchedDirectoryTest, ATypedTextWatchesItsFinalDirectoryOrIsRefusedWithTheReason) {
    const TypedCase& t = GetParam();
    const WatchedDirectory watched = WatchedDirectory::Resolve(queries, t.typed);
    EXPECT_EQ(ToUtf8(watched.fullPath), ToUtf8(t.fullPath));
    ASSERT_EQ(watched.refusal, t.refusal);
    EXPECT_EQ(ToUtf8(watched.path), ToUtf8(t.watched));
    if (t.refusal != kWatched) {
        if (IsDriveRefusal(t.refusal)) {
            EXPECT_EQ(queries.DrivesAsked().find(watched.drive), std::u16string::npos)
                << "a drive of that type was asked: " << ToUtf8(queries.DrivesAsked());
        }
        return;
    }
    EXPECT_EQ(watched.drive, t.watched[0]);

    // An engine on that drive watches that directory, and nothing more; it asks nothing
    // the reading found out already.
    SimVolume& volume = *platform.Drive(watched.drive);
    const std::uint64_t directory = volume.Lookup(watched.path.substr(2));
    ASSERT_NE(directory, 0u);
    const std::uint64_t elsewhere = volume.MakeDirectory(SimVolume::kRoot, u"elsewhere");
    JournalReadProbe probe(queries);
    SlotLog log;
    VolumeJournalWatcher engine(probe);
    platform.Clock().Advance(2 * ntfs::kFileTimeTicksPerSecond);
    queries.Forget();
    ASSERT_TRUE(engine.Open(watched.drive, std::span(&watched, 1), log.Slots()))
        << static_cast<int>(engine.Refusal());
    EXPECT_EQ(ToUtf8(queries.DrivesAsked() + queries.TypesAsked()), "")
        << "the engine asked again what the reading found";
    volume.MakeFile(elsewhere, u"outside.txt");
    volume.MakeFile(directory, u"inside.txt");
    ASSERT_TRUE(probe.WaitCaughtUp(volume.JournalData()->NextUsn));
    engine.Stop();
    std::vector<std::string> expected;
    if (watched.path.size() == 3) {
        expected.push_back("Created " + ToUtf8(watched.path) + "elsewhere\\|outside.txt");
    }
    const std::u16string dir = watched.path.size() == 3 ? watched.path : watched.path + u'\\';
    expected.push_back("Created " + ToUtf8(dir) + "|inside.txt");
    EXPECT_EQ(log.Changes(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WatchedDirectoryTest,
    ::testing::Values(
        TypedCase{"forward_slashes", u"C:/data", u"C:\\data", kWatched, u"C:\\data"},
        TypedCase{"drive_relative", u"C:data", u"C:\\work\\data", kWatched, u"C:\\work\\data"},
        TypedCase{"relative", u"data", u"C:\\work\\data", kWatched, u"C:\\work\\data"},
        TypedCase{"drive_and_colon", u"C:", u"C:\\work", kWatched, u"C:\\work"},
        TypedCase{"other_case_and_a_trailing_separator", u"c:\\DATA\\", u"C:\\DATA\\", kWatched,
                  u"C:\\data"},
        TypedCase{"dot_dot", u"C:\\data\\..\\data", u"C:\\data", kWatched, u"C:\\data"},
        TypedCase{"trailing_dot", u"C:\\data.", u"C:\\data", kWatched, u"C:\\data"},
        TypedCase{"long_form", u"\\\\?\\C:\\data", u"C:\\data", kWatched, u"C:\\data"},
        TypedCase{"long_form_lower_case", u"\\\\?\\c:\\data\\sub\\", u"C:\\data\\sub\\", kWatched,
                  u"C:\\data\\sub"},
        TypedCase{"root", u"C:\\", u"C:\\", kWatched, u"C:\\"},
        // Spaces at the end are no part of a path, as Windows reads one.
        TypedCase{"trailing_spaces", u"C:\\data  ", u"C:\\data", kWatched, u"C:\\data"},
        TypedCase{"junction_to_a_folder_of_c", u"C:\\toData", u"C:\\toData", kWatched, u"C:\\data"},
        TypedCase{"junction_to_d", u"C:\\toD", u"C:\\toD", kWatched, u"D:\\data"},
        TypedCase{"mounted_folder_of_a_lettered_volume", u"C:\\mnt\\d\\data", u"C:\\mnt\\d\\data",
                  kWatched, u"D:\\data"},
        TypedCase{"mounted_folder_of_a_volume_without_a_letter", u"C:\\mnt\\backup",
                  u"C:\\mnt\\backup", OpenRefusal::DirectoryOnUnletteredVolume, u""},
        TypedCase{"subst_drive", u"S:\\sub", u"S:\\sub", kWatched, u"C:\\data\\sub"},
        TypedCase{"subst_drive_root", u"s:", u"S:\\", kWatched, u"C:\\data"},
        TypedCase{"path_of_300_units", kLongPath, kLongPath, kWatched, kLongPath},
        TypedCase{"unknown_directory", u"C:\\nope", u"C:\\nope", OpenRefusal::DirectoryMissing,
                  u""},
        TypedCase{"a_file", u"C:\\data\\a.txt", u"C:\\data\\a.txt", OpenRefusal::DirectoryMissing,
                  u""},
        TypedCase{"a_long_form_taken_literally", u"\\\\?\\C:\\data\\..\\data",
                  u"C:\\data\\..\\data", OpenRefusal::DirectoryMissing, u""},
        TypedCase{"network_path", u"\\\\server\\share\\x", u"\\\\server\\share\\x",
                  OpenRefusal::NotALocalDirectory, u""},
        TypedCase{"device_path", u"\\\\.\\C:\\data", u"\\\\.\\C:\\data",
                  OpenRefusal::NotALocalDirectory, u""},
        TypedCase{"empty", u"", u"", OpenRefusal::NotALocalDirectory, u""},
        TypedCase{"network_drive", u"N:\\data", u"N:\\data", OpenRefusal::NetworkDrive, u""},
        // Links may lead to a drive whose type refuses it: its file system is never asked.
        TypedCase{"junction_to_a_network_drive", u"C:\\toN", u"C:\\toN", OpenRefusal::NetworkDrive,
                  u""},
        TypedCase{"removable_drive", u"e:\\data", u"E:\\data", OpenRefusal::RemovableDrive, u""},
        TypedCase{"drive_without_a_volume", u"Q:\\", u"Q:\\", OpenRefusal::NoVolume, u""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WatchedDirectoryPaths, DriveLettersAndLongForms) {
    EXPECT_EQ(WatchedDirectory::DriveLetterOf(u"c:\\data"), u'C');
    EXPECT_EQ(WatchedDirectory::DriveLetterOf(u"\\\\?\\d:\\"), u'D');
    EXPECT_EQ(WatchedDirectory::DriveLetterOf(u"C:"), std::nullopt);
    EXPECT_EQ(WatchedDirectory::DriveLetterOf(u"C:data"), std::nullopt);
    EXPECT_EQ(WatchedDirectory::DriveLetterOf(u"\\\\?\\UNC\\server\\share"), std::nullopt);
    EXPECT_EQ(WatchedDirectory::DriveLetterOf(u"1:\\"), std::nullopt);
    EXPECT_EQ(WatchedDirectory::DrivePathOf(u"\\\\?\\c:\\Data\\"), u"C:\\Data\\");
    EXPECT_EQ(WatchedDirectory::DrivePathOf(u"\\\\server\\share"), u"\\\\server\\share");
    EXPECT_EQ(WatchedDirectory::LongPathForm(u"c:\\data"), u"\\\\?\\C:\\data");
    EXPECT_EQ(WatchedDirectory::LongPathForm(u"\\\\?\\C:\\data"), u"\\\\?\\C:\\data");
}

}  // namespace
