#include "engine/ChangeClassifier.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "EngineTestSupport.h"
#include "engine/BatchWalk.h"
#include "ntfs/Win32Codes.h"
#include "sim/ForwardingPlatform.h"

// Every completed change under the watched directories reaches exactly one slot with the
// right name, directory and kind. Each scenario runs the engine over a simulated volume:
//   C:\data\a.txt  C:\data\sub\  C:\other\  C:\outside\o.txt
namespace {

using Lines = std::vector<std::string>;
const std::string kSid = ToUtf8(std::u16string(SimVolume::kDefaultUserSid));

struct Scene {
    SimPlatform& platform;
    SimVolume& v;
    ReadGate& gate;
    std::uint64_t data, a, sub, other, outside, o;
};

struct Scenario {
    const char* name;
    std::vector<const char16_t*> watch;
    std::function<Lines(Scene&)> run;  // acts, answers the lines expected
};

SimRecord Record(std::uint64_t file, std::uint64_t parent, std::uint32_t reason,
                 std::uint32_t attributes, std::u16string name, std::int64_t stamp) {
    SimRecord r;
    r.fileReference = file;
    r.parentReference = parent;
    r.reason = reason;
    r.attributes = attributes;
    r.name = std::move(name);
    r.timeStamp = stamp;
    return r;
}

std::string U(const std::u16string& s) {
    return ToUtf8(s);
}

const Scenario kScenarios[] = {
    {"write_and_close_gives_one_created",
     {u"C:\\data"},
     [](Scene& s) {
         s.v.MakeFile(s.data, u"new.txt", 5000);
         return Lines{"Created C:\\data\\|new.txt"};
     }},
    // The file no longer exists: it is not reported as created, but as gone for good.
    {"create_and_delete_under_one_handle_is_a_delete",
     {u"C:\\data"},
     [](Scene& s) {
         SimOpenFile h = s.v.CreateOpen(s.data, u"t.tmp");
         h.Write(0, 10);
         h.MarkForDelete();
         h.Close();
         return Lines{"Deleted C:\\data\\|t.tmp"};
     }},
    {"a_directory_created_and_deleted_under_one_handle_leaves_the_index",
     {u"C:\\data"},
     [](Scene& s) {
         SimOpenFile h = s.v.CreateOpen(s.data, u"brief", ntfs::kAttributeDirectory);
         const std::uint64_t brief = h.Reference();
         h.MarkForDelete();
         h.Close();
         s.v.AppendRecord(Record(
             ntfs::MakeFileReference(990, 1), brief, ntfs::kReasonClose | ntfs::kReasonDataExtend,
             ntfs::kAttributeArchive, u"late.txt", s.platform.Clock().FileTime()));
         return Lines{"Deleted C:\\data\\|brief"};
     }},
    {"a_directory_that_denies_listing_still_names_its_changes",
     {u"C:\\data"},
     [](Scene& s) {
         s.v.DenyAccess(s.sub, file_access::kListDirectory);
         s.v.MakeFile(s.sub, u"x.txt");
         return Lines{"Created C:\\data\\sub\\|x.txt"};
     }},
    {"content_change",
     {u"C:\\data"},
     [](Scene& s) {
         s.v.Write(s.a, 0, 100);
         return Lines{"Content C:\\data\\|a.txt"};
     }},
    {"attributes_change",
     {u"C:\\data"},
     [](Scene& s) {
         s.v.SetAttributes(s.a, ntfs::kAttributeArchive | ntfs::kAttributeHidden);
         return Lines{"Attributes C:\\data\\|a.txt 80008000"};
     }},
    {"renamed_twice_under_one_handle_names_the_first_old_name",
     {u"C:\\data"},
     [](Scene& s) {
         SimOpenFile h = s.v.Open(s.a);
         h.Rename(s.data, u"b.txt");
         h.Rename(s.data, u"c.txt");
         h.Close();
         return Lines{"Renamed a.txt|c.txt|C:\\data\\"};
     }},
    {"moved_twice_under_one_handle_comes_from_the_first_place",
     {u"C:\\data"},
     [](Scene& s) {
         SimOpenFile h = s.v.Open(s.a);
         h.Rename(s.other, u"b.txt");
         h.Rename(s.outside, u"c.txt");
         h.Close();
         return Lines{"Moved a.txt|c.txt|C:\\data\\|C:\\outside\\"};
     }},
    {"rename_in_place",
     {u"C:\\data"},
     [](Scene& s) {
         s.v.Rename(s.a, s.data, u"b.txt");
         return Lines{"Renamed a.txt|b.txt|C:\\data\\"};
     }},
    {"content_before_rename",
     {u"C:\\data"},
     [](Scene& s) {
         SimOpenFile h = s.v.Open(s.a);
         h.Write(0, 10);
         h.Rename(s.data, u"b.txt");
         h.Close();
         s.v.Rename(s.a, s.data, u"c.txt");  // the held old name was taken by the close
         return Lines{"Content C:\\data\\|b.txt", "Renamed b.txt|c.txt|C:\\data\\"};
     }},
    {"move_between_watched_directories",
     {u"C:\\data", u"C:\\other"},
     [](Scene& s) {
         s.v.Rename(s.a, s.other, u"a.txt");
         return Lines{"Moved a.txt|a.txt|C:\\data\\|C:\\other\\"};
     }},
    {"move_out_of_the_tree",
     {u"C:\\data"},
     [](Scene& s) {
         s.v.Rename(s.a, s.outside, u"a2.txt");
         return Lines{"Moved a.txt|a2.txt|C:\\data\\|C:\\outside\\"};
     }},
    {"move_into_the_tree",
     {u"C:\\data"},
     [](Scene& s) {
         s.v.Rename(s.o, s.data, u"o.txt");
         return Lines{"Moved o.txt|o.txt|C:\\outside\\|C:\\data\\"};
     }},
    {"move_elsewhere_outside_is_not_reported",
     {u"C:\\data"},
     [](Scene& s) {
         s.v.Rename(s.o, s.other, u"o.txt");
         return Lines{};
     }},
    {"recycle_of_the_current_user",
     {u"C:\\data"},
     [](Scene& s) {
         const SimRecycled r = s.v.Recycle(s.a);
         return Lines{"Recycled a.txt|C:\\data\\|C:\\$RECYCLE.BIN\\" + kSid + "\\" + U(r.name)};
     }},
    // Fast user switching, or a user elevated with an administrator's password: the item
    // goes to that user's own folder in the bin.
    {"recycle_of_another_user",
     {u"C:\\data"},
     [](Scene& s) {
         const SimRecycled r = s.v.Recycle(s.a, u"S-1-5-21-1-2-3-1002");
         return Lines{"Recycled a.txt|C:\\data\\|C:\\$RECYCLE.BIN\\S-1-5-21-1-2-3-1002\\" +
                      U(r.name)};
     }},
    {"a_move_into_the_bin_but_not_into_a_users_folder_is_a_move",
     {u"C:\\data"},
     [](Scene& s) {
         const auto bin = s.v.MakeDirectory(SimVolume::kRoot, u"$RECYCLE.BIN");
         const auto user = s.v.MakeDirectory(bin, u"S-1-5-21-1-2-3-1002");
         const auto below = s.v.MakeDirectory(user, u"$R0A1B2C");
         const auto other = s.v.MakeDirectory(bin, u"Other");
         const auto b = s.v.MakeFile(s.data, u"b.txt");
         const auto c = s.v.MakeFile(s.data, u"c.txt");
         s.v.Rename(s.a, bin, u"a.txt");
         s.v.Rename(b, below, u"b.txt");
         s.v.Rename(c, other, u"c.txt");
         return Lines{
             "Created C:\\data\\|b.txt", "Created C:\\data\\|c.txt",
             "Moved a.txt|a.txt|C:\\data\\|C:\\$RECYCLE.BIN\\",
             "Moved b.txt|b.txt|C:\\data\\|C:\\$RECYCLE.BIN\\S-1-5-21-1-2-3-1002\\$R0A1B2C\\",
             "Moved c.txt|c.txt|C:\\data\\|C:\\$RECYCLE.BIN\\Other\\"};
     }},
    {"recycle_folder_in_other_letter_case",
     {u"C:\\data"},
     [](Scene& s) {
         const auto bin = s.v.MakeDirectory(SimVolume::kRoot, u"$Recycle.Bin");
         s.v.MakeDirectory(bin, std::u16string(SimVolume::kDefaultUserSid));
         const SimRecycled r = s.v.Recycle(s.a);
         return Lines{"Recycled a.txt|C:\\data\\|C:\\$Recycle.Bin\\" + kSid + "\\" + U(r.name)};
     }},
    {"whole_volume_sees_every_step_of_a_recycle",
     {u"C:\\"},
     [](Scene& s) {
         const SimRecycled r = s.v.Recycle(s.a);
         const std::string folder = "C:\\$RECYCLE.BIN\\" + kSid + "\\";
         const std::string info = "$I" + U(r.name).substr(2);
         return Lines{"Created C:\\|$RECYCLE.BIN", "Created C:\\$RECYCLE.BIN\\|" + kSid,
                      "Created " + folder + "|" + info,
                      "Recycled a.txt|C:\\data\\|" + folder + U(r.name),
                      "Attributes " + folder + "|" + U(r.name) + " 80000800"};
     }},
    {"emptying_an_unwatched_recycle_folder_is_not_reported",
     {u"C:\\data"},
     [](Scene& s) {
         const SimRecycled r = s.v.Recycle(s.a);
         s.v.EmptyRecycleBin();
         return Lines{"Recycled a.txt|C:\\data\\|C:\\$RECYCLE.BIN\\" + kSid + "\\" + U(r.name)};
     }},
    {"a_link_added_is_a_new_name",
     {u"C:\\data"},
     [](Scene& s) {
         s.v.AddHardLink(s.a, s.data, u"link.txt");
         return Lines{"Created C:\\data\\|link.txt"};
     }},
    // The file's first name lies outside; the closing record names the file by that.
    {"a_link_added_in_the_tree_to_a_file_outside_it",
     {u"C:\\data"},
     [](Scene& s) {
         s.v.AddHardLink(s.o, s.sub, u"o-link.txt");
         return Lines{"Created C:\\data\\sub\\|o-link.txt"};
     }},
    {"a_link_added_outside_the_tree_is_not_reported",
     {u"C:\\data"},
     [](Scene& s) {
         s.v.AddHardLink(s.a, s.outside, u"a-link.txt");
         return Lines{};
     }},
    {"one_name_of_several_deleted_is_a_deletion_of_that_name",
     {u"C:\\data"},
     [](Scene& s) {
         s.v.AddHardLink(s.a, s.outside, u"a-link.txt");
         s.v.DeletePath(u"\\data\\a.txt");
         s.v.DeletePath(u"\\outside\\a-link.txt");  // the last name: outside
         return Lines{"Deleted C:\\data\\|a.txt"};
     }},
    {"file_in_the_root",
     {u"C:\\"},
     [](Scene& s) {
         s.v.MakeFile(SimVolume::kRoot, u"r.txt");
         return Lines{"Created C:\\|r.txt"};
     }},
    {"directory_created_after_the_start_then_a_file_in_it",
     {u"C:\\data"},
     [](Scene& s) {
         const auto d = s.v.MakeDirectory(s.data, u"new");
         s.v.MakeFile(d, u"x.txt");
         return Lines{"Created C:\\data\\|new", "Created C:\\data\\new\\|x.txt"};
     }},
    // The directory's first record names it, before its handle closes: what is made in it
    // meanwhile lies under it.
    {"a_file_made_in_a_directory_whose_handle_is_still_open",
     {u"C:\\data"},
     [](Scene& s) {
         SimOpenFile fresh = s.v.CreateOpen(s.data, u"fresh", ntfs::kAttributeDirectory);
         s.v.MakeFile(fresh.Reference(), u"x.txt");
         fresh.Close();
         SimOpenFile renamed = s.v.Open(s.sub);
         renamed.Rename(s.data, u"renamed");
         s.v.MakeFile(s.sub, u"y.txt");
         renamed.Close();
         return Lines{"Created C:\\data\\fresh\\|x.txt", "Created C:\\data\\|fresh",
                      "Created C:\\data\\renamed\\|y.txt", "Renamed sub|renamed|C:\\data\\"};
     }},
    {"directory_created_outside_then_moved_in_then_a_file_in_it",
     {u"C:\\data"},
     [](Scene& s) {
         const auto d = s.v.MakeDirectory(s.outside, u"made");
         s.v.MakeFile(d, u"before.txt");
         s.v.Rename(d, s.data, u"moved");
         s.v.MakeFile(d, u"x.txt");
         return Lines{"Moved made|moved|C:\\outside\\|C:\\data\\",
                      "Created C:\\data\\moved\\|x.txt"};
     }},
    {"directory_moved_out_then_a_file_in_it",
     {u"C:\\data"},
     [](Scene& s) {
         s.v.Rename(s.sub, s.outside, u"gone");
         s.v.MakeFile(s.sub, u"x.txt");
         return Lines{"Moved sub|gone|C:\\data\\|C:\\outside\\"};
     }},
    {"deleted_directory_leaves_the_index",
     {u"C:\\data"},
     [](Scene& s) {
         s.v.Delete(s.sub);
         s.v.AppendRecord(Record(
             ntfs::MakeFileReference(990, 1), s.sub, ntfs::kReasonClose | ntfs::kReasonDataExtend,
             ntfs::kAttributeArchive, u"late.txt", s.platform.Clock().FileTime()));
         return Lines{"Deleted C:\\data\\|sub"};
     }},
    // The records are read after the folder is gone: the paths are the ones the journal
    // saw, not asked of the volume afterwards.
    {"files_of_a_folder_deleted_before_classification_keep_its_path",
     {u"C:\\data"},
     [](Scene& s) {
         s.gate.CloseAndWaitForTheReader();
         const auto x = s.v.MakeFile(s.sub, u"x.txt");
         s.v.Delete(x);
         s.v.Delete(s.sub);
         s.gate.Open();
         return Lines{"Created C:\\data\\sub\\|x.txt", "Deleted C:\\data\\sub\\|x.txt",
                      "Deleted C:\\data\\|sub"};
     }},
    // rd /s /q, Shift+Del of a folder, git clean -fdx: everything below first, each file
    // with its full path.
    {"a_tree_deleted_for_good_names_every_file_with_its_path",
     {u"C:\\data"},
     [](Scene& s) {
         const auto build = s.v.MakeDirectories(u"\\data\\build\\obj\\x64");
         s.v.MakeFile(build, u"main.o");
         s.v.MakeFile(s.v.Lookup(u"\\data\\build"), u"app.exe");
         s.gate.CloseAndWaitForTheReader();
         s.v.DeleteTree(s.v.Lookup(u"\\data\\build"));
         s.gate.Open();
         return Lines{"Created C:\\data\\|build",
                      "Created C:\\data\\build\\|obj",
                      "Created C:\\data\\build\\obj\\|x64",
                      "Created C:\\data\\build\\obj\\x64\\|main.o",
                      "Created C:\\data\\build\\|app.exe",
                      "Deleted C:\\data\\build\\|app.exe",
                      "Deleted C:\\data\\build\\obj\\x64\\|main.o",
                      "Deleted C:\\data\\build\\obj\\|x64",
                      "Deleted C:\\data\\build\\|obj",
                      "Deleted C:\\data\\|build"};
     }},
    {"a_change_before_its_folder_was_renamed_names_the_old_path",
     {u"C:\\data"},
     [](Scene& s) {
         s.gate.CloseAndWaitForTheReader();
         s.v.MakeFile(s.sub, u"before.txt");
         s.v.Rename(s.sub, s.data, u"renamed");
         s.v.MakeFile(s.sub, u"after.txt");
         s.v.Rename(s.sub, s.other, u"moved");
         s.v.MakeFile(s.sub, u"outside.txt");
         s.gate.Open();
         return Lines{"Created C:\\data\\sub\\|before.txt", "Renamed sub|renamed|C:\\data\\",
                      "Created C:\\data\\renamed\\|after.txt",
                      "Moved renamed|moved|C:\\data\\|C:\\other\\"};
     }},
    // Over 1,100 characters: built from the index, without the platform's name query.
    {"a_path_of_any_length",
     {u"C:\\data"},
     [](Scene& s) {
         s.platform.SetHasOpenByIdCalls(false);
         Lines lines;
         std::string dir = "C:\\data\\";
         std::uint64_t parent = s.data;
         for (int level = 0; level < 6; ++level) {
             const std::u16string name = u"层" + std::u16string(200, u'a' + level);
             parent = s.v.MakeDirectory(parent, name);
             lines.push_back("Created " + dir + "|" + U(name));
             dir += U(name) + "\\";
         }
         s.v.MakeFile(parent, u"deep.txt");
         lines.push_back("Created " + dir + "|deep.txt");
         EXPECT_GT(FromUtf8(dir).size(), 1100u);
         return lines;
     }},
    {"interleaved_renames_of_an_editor_save",
     {u"C:\\data"},
     [](Scene& s) {
         const auto tmp = s.v.MakeFile(s.data, u"a.tmp", 300);
         SimOpenFile original = s.v.Open(s.a);
         SimOpenFile saved = s.v.Open(tmp);
         original.Rename(s.data, u"a.bak");
         saved.Rename(s.data, u"a.txt");
         original.Close();
         saved.Close();
         return Lines{"Created C:\\data\\|a.tmp", "Renamed a.txt|a.bak|C:\\data\\",
                      "Renamed a.tmp|a.txt|C:\\data\\"};
     }},
    {"an_unrelated_close_between_the_halves_of_a_rename",
     {u"C:\\data"},
     [](Scene& s) {
         SimOpenFile h = s.v.Open(s.a);
         h.Rename(s.data, u"b.txt");
         s.v.MakeFile(s.outside, u"unrelated.txt");
         s.v.MakeFile(s.data, u"c.txt");
         h.Close();
         return Lines{"Created C:\\data\\|c.txt", "Renamed a.txt|b.txt|C:\\data\\"};
     }},
    {"a_parent_loop_answers_outside",
     {u"C:\\data"},
     [](Scene& s) {
         const std::int64_t now = s.platform.Clock().FileTime();
         const auto x = ntfs::MakeFileReference(995, 1);
         const auto y = ntfs::MakeFileReference(996, 1);
         const std::uint32_t made = ntfs::kReasonClose | ntfs::kReasonFileCreate;
         s.v.AppendRecord(Record(x, y, made, ntfs::kAttributeDirectory, u"x", now));
         s.v.AppendRecord(Record(y, x, made, ntfs::kAttributeDirectory, u"y", now));
         s.v.AppendRecord(Record(ntfs::MakeFileReference(997, 1), x,
                                 ntfs::kReasonClose | ntfs::kReasonDataExtend,
                                 ntfs::kAttributeArchive, u"in-loop.txt", now));
         s.v.MakeFile(s.data, u"after.txt");
         return Lines{"Created C:\\data\\|after.txt"};
     }},
    {"a_new_name_whose_old_half_came_before_the_start",
     {u"C:\\data"},
     [](Scene& s) {
         s.v.AppendRecord(Record(ntfs::MakeFileReference(998, 1), s.data,
                                 ntfs::kReasonClose | ntfs::kReasonRenameNewName,
                                 ntfs::kAttributeArchive, u"arrived.txt",
                                 s.platform.Clock().FileTime()));
         return Lines{"Moved |arrived.txt||C:\\data\\"};
     }},
};

class Classification : public EngineTest, public ::testing::WithParamInterface<Scenario> {};

TEST_P(Classification, ReportsEachChangeOnceWithItsKind) {
    Scene scene{platform, volume, gate, 0, 0, 0, 0, 0, 0};
    scene.data = volume.MakeDirectory(SimVolume::kRoot, u"data");
    scene.a = volume.MakeFile(scene.data, u"a.txt", 10);
    scene.sub = volume.MakeDirectory(scene.data, u"sub");
    scene.other = volume.MakeDirectory(SimVolume::kRoot, u"other");
    scene.outside = volume.MakeDirectory(SimVolume::kRoot, u"outside");
    scene.o = volume.MakeFile(scene.outside, u"o.txt", 10);
    platform.Clock().Advance(2 * ntfs::kFileTimeTicksPerSecond);
    CMStringArray paths;
    for (const char16_t* p : GetParam().watch) {
        paths.Add(CWString(p));
    }
    ASSERT_TRUE(watcher.Open(u'C', paths, log.Slots()));
    CatchUp();
    const Lines expected = GetParam().run(scene);
    CatchUp();
    EXPECT_EQ(log.Changes(), expected);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Classification, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineTest, EmptyingAWatchedRecycleFolderDeletesForGood) {
    const auto data = volume.MakeDirectory(SimVolume::kRoot, u"data");
    const SimRecycled r = volume.Recycle(volume.MakeFile(data, u"a.txt", 10));
    ASSERT_TRUE(r);
    ASSERT_TRUE(Open({u"C:\\$RECYCLE.BIN"}));
    ASSERT_TRUE(volume.EmptyRecycleBin());
    CatchUp();
    const std::string folder = "Deleted C:\\$RECYCLE.BIN\\" + kSid + "\\|";
    EXPECT_EQ(log.Count(folder + U(r.name)), 1);
    EXPECT_EQ(log.Count(folder + "$I" + U(r.name).substr(2)), 1);
    for (const std::string& line : log.Changes()) {
        EXPECT_EQ(line.rfind("Deleted ", 0), 0u) << line;
    }
}

TEST_F(EngineTest, AJournalRecreatedDuringARenameForgetsTheHeldOldName) {
    const auto data = volume.MakeDirectory(SimVolume::kRoot, u"data");
    const auto a = volume.MakeFile(data, u"a.txt");
    ASSERT_TRUE(Open({u"C:\\data"}));
    SimOpenFile h = volume.Open(a);
    h.Rename(data, u"b.txt");
    CatchUp();
    volume.RecreateJournal();
    CatchUp();
    h.Close();
    CatchUp();
    const Lines changes = log.Changes();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].rfind("Gap replaced ", 0), 0u) << changes[0];
    EXPECT_EQ(changes[1], "Moved |b.txt||C:\\data\\");
}

TEST_F(EngineTest, PartlyBoundSlotsReportOnlyTheirKinds) {
    const auto data = volume.MakeDirectory(SimVolume::kRoot, u"data");
    const auto a = volume.MakeFile(data, u"a.txt");
    WatcherSlots slots = log.Slots();
    WatcherSlots only;
    only[ChangeKind::Created] = slots[ChangeKind::Created];
    platform.Clock().Advance(2 * ntfs::kFileTimeTicksPerSecond);
    ASSERT_TRUE(watcher.Open(u'C', Paths({u"C:\\data"}), only));
    CatchUp();
    volume.Rename(a, data, u"b.txt");
    volume.Write(a, 0, 10);
    volume.MakeFile(data, u"c.txt");
    volume.Delete(a);
    CatchUp();
    EXPECT_EQ(log.Lines(), (Lines{"Created C:\\data\\|c.txt"}));
}

TEST_F(EngineTest, WithoutTheOpenByIdCallsPathsStillComeFromTheIndex) {
    platform.SetHasOpenByIdCalls(false);
    const auto data = volume.MakeDirectory(SimVolume::kRoot, u"data");
    ASSERT_TRUE(Open());
    volume.MakeFile(data, u"a.txt");
    // A directory neither the index nor the volume knows.
    volume.AppendRecord(Record(ntfs::MakeFileReference(990, 1), ntfs::MakeFileReference(991, 1),
                               ntfs::kReasonClose | ntfs::kReasonFileCreate,
                               ntfs::kAttributeArchive, u"x.txt", platform.Clock().FileTime()));
    CatchUp();
    EXPECT_EQ(log.Changes(), (Lines{"Created C:\\data\\|a.txt", "Created |x.txt"}));
}

// A classifier of its own over the test's volume, with an index of the test's making.
struct BareClassifier {
    BareClassifier(VolumePlatform& platform, FileRecordIndex* index)
        : platform(platform),
          handle(platform.OpenVolume(CWString(u"\\\\.\\C:"))),
          classifier({platform, handle, u"C:\\", nullptr, index, slots}) {}
    ~BareClassifier() { platform.CloseVolume(handle); }

    std::u16string Resolve(std::uint64_t directory) {
        std::u16string path(u"unchanged");
        classifier.ResolveDirectoryPath(directory, path);
        return path;
    }

    VolumePlatform& platform;
    const PlatformHandle handle;
    const WatcherSlots slots;
    ChangeClassifier classifier;
};

// The records the volume wrote since `usn`, through the classifier, as a read would hand
// them on.
void ClassifyRecordsSince(SimVolume& volume, std::int64_t usn, ChangeClassifier& classifier) {
    for (const SimRecord& record : volume.RecordsSince(usn)) {
        const std::vector<std::uint8_t> bytes = record.Encode();
        ntfs::UsnRecordV2 decoded;
        ASSERT_EQ(ntfs::DecodeWalkable(bytes.data(), bytes.size(), decoded),
                  ntfs::RecordCheck::kRecord);
        classifier.ClassifyRecord(decoded);
    }
}

// A kind nobody wants at the moment (no slot, or the filter says no: a box unticked) costs
// no path and reaches nobody; what is wanted carries the facts of its closing record.
TEST_F(EngineTest, AKindNobodyWantsCostsNoPathAndAWantedOneCarriesItsRecord) {
    const auto data = volume.MakeDirectory(SimVolume::kRoot, u"data");
    const auto a = volume.MakeFile(data, u"a.txt");
    FileRecordIndex index;
    index.Set(data, SimVolume::kRoot, u"data");
    const PlatformHandle handle = platform.OpenVolume(CWString(u"\\\\.\\C:"));
    std::vector<FileChange> seen;
    bool attributesWanted = false;
    WatcherSlots slots;
    for (const ChangeKind kind : {ChangeKind::ContentChanged, ChangeKind::AttributesChanged}) {
        slots[kind] = [&seen](const FileChange& change) { seen.push_back(change); };
    }
    slots.SetFilter([&](ChangeKind kind) {
        return kind != ChangeKind::AttributesChanged || attributesWanted;
    });
    ChangeClassifier classifier({platform, handle, u"C:\\", nullptr, &index, slots});

    const std::int64_t start = volume.JournalData()->NextUsn;
    volume.Rename(a, data, u"b.txt");                             // no slot
    volume.SetAttributes(a, ntfs::kAttributeReadonly);            // filtered out
    volume.NoteChange(a, ntfs::kReasonObjectIdChange);            // no slot
    ClassifyRecordsSince(volume, start, classifier);
    EXPECT_EQ(classifier.PathsBuilt(), 0u);
    EXPECT_TRUE(seen.empty());

    attributesWanted = true;
    const std::int64_t later = volume.JournalData()->NextUsn;
    volume.SetAttributes(a, ntfs::kAttributeArchive);
    volume.Write(a, 0, 10);
    ClassifyRecordsSince(volume, later, classifier);
    EXPECT_EQ(classifier.PathsBuilt(), 2u);
    std::vector<SimRecord> closes;
    for (const SimRecord& r : volume.RecordsSince(later)) {
        if (r.reason & ntfs::kReasonClose) {
            closes.push_back(r);
        }
    }
    ASSERT_EQ(closes.size(), 2u);
    std::vector<FileChange> expected;
    for (const auto& [kind, close] : {std::pair{ChangeKind::AttributesChanged, closes[0]},
                                      std::pair{ChangeKind::ContentChanged, closes[1]}}) {
        expected.push_back({.kind = kind,
                            .name = u"b.txt",
                            .dir = u"C:\\data\\",
                            .time = close.timeStamp,
                            .usn = close.usn,
                            .attributes = close.attributes,
                            .reasons = close.reason});
    }
    EXPECT_EQ(seen, expected);
    platform.CloseVolume(handle);
}

// A directory the index cannot name completely (here its parent is not known) is asked of
// the volume by id; a path longer than the first buffer holds is asked again with the room
// the platform says it needs.
TEST_F(EngineTest, ADirectoryTheIndexCannotNameIsAskedOfTheVolumeAtAnyLength) {
    std::u16string path;
    for (int level = 0; level < 6; ++level) {
        path += u"\\层" + std::u16string(200, static_cast<char16_t>(u'a' + level));
    }
    const std::uint64_t deep = volume.MakeDirectories(path);
    FileRecordIndex index;
    index.Set(deep, volume.Info(deep)->parent, u"not its name: its parent is unknown");
    BareClassifier bare(platform, &index);
    EXPECT_GT(path.size() * 2, ChangeClassifier::kNameBufferSize);
    EXPECT_EQ(bare.Resolve(deep), u"C:" + path + u"\\");
    EXPECT_EQ(bare.Resolve(volume.Info(deep)->parent),
              u"C:" + path.substr(0, path.rfind(u'\\') + 1));
    EXPECT_EQ(bare.Resolve(SimVolume::kRoot), u"C:\\");
    EXPECT_EQ(bare.Resolve(ntfs::MakeFileReference(4242, 1)), u"unchanged");
}

// A platform that always wants more room than it was given: the queries end once it asks
// for more than any path needs.
class EverLongerNames : public ForwardingPlatform {
public:
    using ForwardingPlatform::ForwardingPlatform;
    std::int32_t QueryNameById(PlatformHandle, std::uint32_t, std::uint64_t, void* buffer,
                               std::uint32_t size) override {
        ++queries;
        const std::uint32_t wanted = size * 2;
        std::memcpy(buffer, &wanted, sizeof wanted);
        return win32::kStatusBufferOverflow;
    }
    int queries = 0;
};

TEST_F(EngineTest, ANameQueryThatAlwaysWantsMoreRoomEnds) {
    EverLongerNames greedy(platform);
    BareClassifier bare(greedy, nullptr);
    EXPECT_EQ(bare.Resolve(volume.MakeDirectory(SimVolume::kRoot, u"d")), u"unchanged");
    EXPECT_GT(greedy.queries, 1);
    EXPECT_LE(greedy.queries, 8);
}

// Arbitrary bytes as read results, straight through the walk and classification: nothing
// may crash, hang or read outside the batch (AddressSanitizer watches the last part).
TEST_F(EngineTest, RandomBatchesThroughTheWalkAndClassification) {
    const auto data = volume.MakeDirectory(SimVolume::kRoot, u"data");
    volume.MakeDirectory(data, u"sub");
    std::set<std::uint64_t> watched{data};
    FileRecordIndex index;
    index.Set(volume.Lookup(u"\\data\\sub"), data, u"sub");
    const PlatformHandle handle = platform.OpenVolume(CWString(u"\\\\.\\C:"));
    const WatcherSlots slots = log.Slots();
    const WatchScope scope{platform, handle, u"C:\\", &watched, &index, slots};
    ChangeClassifier classifier(scope);
    std::mt19937 random(12345);
    const std::uint64_t known[] = {data, volume.Lookup(u"\\data\\sub"), SimVolume::kRoot, 0, ~0ULL};
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::uint8_t> batch(random() % 600);
        for (auto& b : batch) {
            b = static_cast<std::uint8_t>(random());
        }
        // Give some of them plausible headers so that the classification is reached too.
        for (std::size_t at = 8; at + 64 <= batch.size(); at += 64 + 8 * (random() % 3)) {
            if (random() % 2 == 0) {
                continue;
            }
            ntfs::UsnRecordV2Header h{};
            h.RecordLength = static_cast<std::uint32_t>(64 + 8 * (random() % 4));
            h.MajorVersion = static_cast<std::uint16_t>(random() % 4 == 0 ? 3 : 2);
            h.FileReferenceNumber = known[random() % 5];
            h.ParentFileReferenceNumber = known[random() % 5];
            h.Reason = static_cast<std::uint32_t>(random());
            h.FileAttributes = static_cast<std::uint32_t>(random());
            h.FileNameLength = static_cast<std::uint16_t>(random() % 40);
            h.FileNameOffset = static_cast<std::uint16_t>(random() % 80);
            std::memcpy(batch.data() + at, &h, ntfs::kUsnRecordV2HeaderSize);
        }
        journal::WalkBatch(
            batch.data(), batch.size(), INT64_MIN,
            [&](const ntfs::UsnRecordV2& record) { classifier.ClassifyRecord(record); });
    }
    EXPECT_LE(classifier.PendingNameCount(), PendingNames::kDefaultCapacity);
    platform.CloseVolume(handle);
}

}  // namespace
