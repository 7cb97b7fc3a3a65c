// The simulated volume's operations and the journal records they write.

#include "sim/SimVolume.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "SimTestSupport.h"
#include "runtime/text/Utf8.h"

namespace {

using namespace ntfs;

constexpr std::uint32_t kCreate = kReasonFileCreate;
constexpr std::uint32_t kDelete = kReasonFileDelete;
constexpr std::uint32_t kExtend = kReasonDataExtend;
constexpr std::uint32_t kOverwrite = kReasonDataOverwrite;
constexpr std::uint32_t kTruncate = kReasonDataTruncation;
constexpr std::uint32_t kOld = kReasonRenameOldName;
constexpr std::uint32_t kNew = kReasonRenameNewName;
constexpr std::uint32_t kClose = kReasonClose;
constexpr std::uint32_t kSecurity = kReasonSecurityChange;
constexpr std::uint32_t kBasicInfo = kReasonBasicInfoChange;
constexpr std::uint32_t kHardLink = kReasonHardLinkChange;

struct Expected {
    std::uint32_t reason;
    std::u16string name;
    std::u16string parent;  // path of the parent directory
};

// A volume holding \docs\a.txt (100 bytes), \docs\big.bin (5000 bytes) and \other;
// `mark` is where the records of the test begin.
struct VolumeWithFiles {
    VolumeWithFiles() {
        docs = volume.MakeDirectory(SimVolume::kRoot, u"docs");
        other = volume.MakeDirectory(SimVolume::kRoot, u"other");
        a = volume.MakeFile(docs, u"a.txt", 100);
        big = volume.MakeFile(docs, u"big.bin", 5000);
        mark = volume.JournalData()->NextUsn;
        known = {{u"\\", SimVolume::kRoot}, {u"\\docs", docs}, {u"\\other", other}};
    }

    std::vector<SimRecord> Since() const { return volume.RecordsSince(mark); }

    void ExpectRecords(const std::vector<Expected>& expected, const std::string& what) const {
        const std::vector<SimRecord> records = Since();
        ASSERT_EQ(records.size(), expected.size()) << what;
        for (std::size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].reason, expected[i].reason) << what << " #" << i;
            EXPECT_EQ(records[i].name, expected[i].name) << what << " #" << i;
            const auto it = known.find(expected[i].parent);
            const std::uint64_t parent =
                it != known.end() ? it->second : volume.Lookup(expected[i].parent);
            EXPECT_EQ(records[i].parentReference, parent) << what << " #" << i;
        }
    }

    SimVolume volume;
    std::uint64_t docs = 0;
    std::uint64_t other = 0;
    std::uint64_t a = 0;
    std::uint64_t big = 0;
    std::int64_t mark = 0;
    // Directories by path, also once they are gone; others are looked up.
    std::map<std::u16string, std::uint64_t> known;
};

class SimVolumeTest : public ::testing::Test, public VolumeWithFiles {};

struct OperationCase {
    const char* name;
    std::function<bool(VolumeWithFiles&)> act;
    std::vector<Expected> expected;
};

TEST(SimVolumeOperations, WriteTheSequencesNtfsWrites) {
    using T = VolumeWithFiles;
    const OperationCase cases[] = {
        {"create an empty file",
         [](T& t) { return t.volume.MakeFile(t.docs, u"new.txt") != 0; },
         {{kCreate, u"new.txt", u"\\docs"}, {kCreate | kClose, u"new.txt", u"\\docs"}}},
        {"create and write a small file",
         [](T& t) { return t.volume.MakeFile(t.docs, u"new.txt", 300) != 0; },
         {{kCreate, u"new.txt", u"\\docs"},
          {kCreate | kExtend, u"new.txt", u"\\docs"},
          {kCreate | kExtend | kClose, u"new.txt", u"\\docs"}}},
        {"create and write a large file",
         [](T& t) { return t.volume.MakeFile(t.docs, u"new.bin", 90000) != 0; },
         {{kCreate, u"new.bin", u"\\docs"},
          {kCreate | kExtend, u"new.bin", u"\\docs"},
          {kCreate | kExtend | kOverwrite, u"new.bin", u"\\docs"},
          {kCreate | kExtend | kOverwrite | kClose, u"new.bin", u"\\docs"}}},
        {"append to a small file",
         [](T& t) { return t.volume.Write(t.a, 100, 50); },
         {{kExtend, u"a.txt", u"\\docs"}, {kExtend | kClose, u"a.txt", u"\\docs"}}},
        {"overwrite in place",
         [](T& t) { return t.volume.Write(t.a, 0, 10); },
         {{kOverwrite, u"a.txt", u"\\docs"}, {kOverwrite | kClose, u"a.txt", u"\\docs"}}},
        {"truncate",
         [](T& t) { return t.volume.Truncate(t.big, 10); },
         {{kTruncate, u"big.bin", u"\\docs"}, {kTruncate | kClose, u"big.bin", u"\\docs"}}},
        {"rewrite a large file",
         [](T& t) { return t.volume.Rewrite(t.big, 8000); },
         {{kTruncate, u"big.bin", u"\\docs"},
          {kTruncate | kExtend, u"big.bin", u"\\docs"},
          {kTruncate | kExtend | kOverwrite, u"big.bin", u"\\docs"},
          {kTruncate | kExtend | kOverwrite | kClose, u"big.bin", u"\\docs"}}},
        {"rename in place",
         [](T& t) { return t.volume.Rename(t.a, t.docs, u"b.txt"); },
         {{kOld, u"a.txt", u"\\docs"},
          {kNew, u"b.txt", u"\\docs"},
          {kNew | kClose, u"b.txt", u"\\docs"}}},
        {"move",
         [](T& t) { return t.volume.Rename(t.a, t.other, u"a.txt"); },
         {{kOld, u"a.txt", u"\\docs"},
          {kNew, u"a.txt", u"\\other"},
          {kNew | kClose, u"a.txt", u"\\other"}}},
        {"change attributes",
         [](T& t) { return t.volume.SetAttributes(t.a, kAttributeReadonly); },
         {{kBasicInfo, u"a.txt", u"\\docs"}, {kBasicInfo | kClose, u"a.txt", u"\\docs"}}},
        {"change security",
         [](T& t) { return t.volume.ChangeSecurity(t.a); },
         {{kSecurity, u"a.txt", u"\\docs"}, {kSecurity | kClose, u"a.txt", u"\\docs"}}},
        {"hard link",
         [](T& t) { return t.volume.AddHardLink(t.a, t.other, u"link.txt"); },
         {{kHardLink, u"link.txt", u"\\other"}, {kHardLink | kClose, u"a.txt", u"\\docs"}}},
        {"delete for good",
         [](T& t) { return t.volume.Delete(t.a); },
         {{kDelete | kClose, u"a.txt", u"\\docs"}}},
        {"create a directory",
         [](T& t) { return t.volume.MakeDirectory(t.docs, u"new") != 0; },
         {{kCreate, u"new", u"\\docs"}, {kCreate | kClose, u"new", u"\\docs"}}},
        {"rename a directory",
         [](T& t) { return t.volume.Rename(t.other, SimVolume::kRoot, u"renamed"); },
         {{kOld, u"other", u"\\"}, {kNew, u"renamed", u"\\"}, {kNew | kClose, u"renamed", u"\\"}}},
        {"move a directory",
         [](T& t) { return t.volume.Rename(t.other, t.docs, u"other"); },
         {{kOld, u"other", u"\\"},
          {kNew, u"other", u"\\docs"},
          {kNew | kClose, u"other", u"\\docs"}}},
        {"delete an empty directory",
         [](T& t) { return t.volume.Delete(t.other); },
         {{kDelete | kClose, u"other", u"\\"}}},
    };
    for (const OperationCase& c : cases) {
        VolumeWithFiles fresh;
        ASSERT_TRUE(c.act(fresh)) << c.name;
        fresh.ExpectRecords(c.expected, c.name);
    }
}

TEST_F(SimVolumeTest, RecordsCarryTheEntrysStateAndTheClock) {
    volume.Clock().SetStepPerStamp(1000);
    const std::int64_t before = volume.Clock().FileTime();
    volume.SetAttributes(a, kAttributeHidden | kAttributeArchive);
    const std::vector<SimRecord> records = Since();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].fileReference, a);
    EXPECT_EQ(records[0].attributes, kAttributeHidden | kAttributeArchive);
    EXPECT_EQ(records[0].timeStamp, before);
    EXPECT_EQ(records[1].timeStamp, before + 1000);
    EXPECT_EQ(volume.Info(a)->lastUsn, records[1].usn);
    EXPECT_EQ(records[0].majorVersion, 2);

    // The directory bit stays what it is.
    volume.SetAttributes(docs, kAttributeHidden);
    EXPECT_EQ(volume.Info(docs)->attributes, kAttributeHidden | kAttributeDirectory);
}

TEST_F(SimVolumeTest, ReasonsGatherAcrossHandlesUntilTheLastCloses) {
    SimOpenFile first = volume.Open(a);
    SimOpenFile second = volume.Open(a);
    ASSERT_TRUE(first.Write(100, 10));
    ASSERT_TRUE(second.Rename(other, u"moved.txt"));
    first.Close();
    EXPECT_EQ(sim_test::ReasonsOf(Since()),
              (std::vector<std::uint32_t>{kExtend, kExtend | kOld, kExtend | kNew}));
    second.Close();
    const std::vector<SimRecord> records = Since();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[3].reason, kExtend | kNew | kClose);
    EXPECT_EQ(records[3].name, u"moved.txt");
    EXPECT_EQ(records[3].parentReference, other);
}

TEST_F(SimVolumeTest, AFileWrittenAndRenamedWhileOpenCarriesEverythingInItsRenameRecords) {
    SimOpenFile temp = volume.CreateOpen(docs, u"x1.tmp");
    ASSERT_TRUE(temp.Write(0, 6000));
    ASSERT_TRUE(temp.SetAttributes(kAttributeArchive | kAttributeReadonly));
    ASSERT_TRUE(temp.Rename(other, u"package.cat"));
    temp.Close();
    const std::uint32_t base = kCreate | kExtend | kOverwrite | kBasicInfo;
    EXPECT_EQ(
        sim_test::ReasonsOf(Since()),
        (std::vector<std::uint32_t>{kCreate, kCreate | kExtend, kCreate | kExtend | kOverwrite,
                                    base, base | kOld, base | kNew, base | kNew | kClose}));
}

TEST_F(SimVolumeTest, HalvesOfTwoRenamesInterleave) {
    // An editor saving through a temporary file: the original becomes the backup and
    // the temporary file becomes the original, both handles open at once.
    const std::uint64_t temp = volume.MakeFile(docs, u"a.txt.tmp", 120);
    mark = volume.JournalData()->NextUsn;
    SimOpenFile original = volume.Open(a);
    SimOpenFile saved = volume.Open(temp);
    ASSERT_TRUE(original.Rename(docs, u"a.txt~"));
    ASSERT_TRUE(saved.Rename(docs, u"a.txt"));
    original.Close();
    saved.Close();
    ExpectRecords({{kOld, u"a.txt", u"\\docs"},
                   {kNew, u"a.txt~", u"\\docs"},
                   {kOld, u"a.txt.tmp", u"\\docs"},
                   {kNew, u"a.txt", u"\\docs"},
                   {kNew | kClose, u"a.txt~", u"\\docs"},
                   {kNew | kClose, u"a.txt", u"\\docs"}},
                  "interleaved renames");
    EXPECT_EQ(volume.Lookup(u"\\docs\\A.TXT"), temp);
}

TEST_F(SimVolumeTest, ReplacingRenameDeletesTheTargetFirst) {
    const std::uint64_t temp = volume.MakeFile(docs, u"a.tmp", 10);
    mark = volume.JournalData()->NextUsn;
    EXPECT_FALSE(volume.Rename(temp, docs, u"A.TXT"));
    ASSERT_TRUE(volume.Rename(temp, docs, u"a.txt", true));
    ExpectRecords({{kDelete | kClose, u"a.txt", u"\\docs"},
                   {kOld, u"a.tmp", u"\\docs"},
                   {kNew, u"a.txt", u"\\docs"},
                   {kNew | kClose, u"a.txt", u"\\docs"}},
                  "replacing rename");
    EXPECT_FALSE(volume.Info(a).has_value());
}

TEST_F(SimVolumeTest, AFreedRecordIsReusedWithTheNextSequence) {
    const SimFileInfo before = *volume.Info(a);
    ASSERT_TRUE(volume.Delete(a));
    EXPECT_FALSE(volume.Info(a).has_value());
    EXPECT_FALSE(volume.PathOf(a).has_value());
    EXPECT_FALSE(volume.Open(a).IsOpen());

    const std::uint64_t again = volume.MakeFile(other, u"again.txt");
    EXPECT_EQ(again & 0xFFFFFFFFFFFFULL, a & 0xFFFFFFFFFFFFULL);
    EXPECT_EQ(again >> 48, (a >> 48) + 1);
    EXPECT_NE(again, before.reference);
    EXPECT_EQ(volume.PathOf(again), u"\\other\\again.txt");
    EXPECT_EQ(volume.Lookup(u"\\docs\\a.txt"), 0u);
}

TEST_F(SimVolumeTest, NewEntriesStartAboveTheSystemRecords) {
    EXPECT_EQ(docs, MakeFileReference(SimFileTable::kFirstUserRecord, 1));
    EXPECT_EQ(other, MakeFileReference(SimFileTable::kFirstUserRecord + 1, 1));
    EXPECT_EQ(volume.Info(SimVolume::kRoot)->parent, SimVolume::kRoot);
}

TEST_F(SimVolumeTest, NamesKeepTheirCaseAndAreFoundInAnyCase) {
    const std::uint64_t mixed = volume.MakeFile(docs, u"ReadMe.TXT");
    const std::uint64_t chinese = volume.MakeFile(docs, u"新建文本文档.txt");
    EXPECT_EQ(volume.Lookup(u"\\DOCS\\readme.txt"), mixed);
    EXPECT_EQ(volume.Lookup(u"docs/新建文本文档.TXT"), chinese);
    EXPECT_EQ(volume.ChildByName(docs, u"Ä.txt"), 0u);
    EXPECT_EQ(volume.Info(mixed)->name, u"ReadMe.TXT");

    EXPECT_EQ(volume.MakeFile(docs, u"README.txt"), 0u);     // taken, in another case
    ASSERT_TRUE(volume.Rename(mixed, docs, u"README.txt"));  // only the case changes
    EXPECT_EQ(volume.Info(mixed)->name, u"README.txt");

    const std::uint64_t umlaut = volume.MakeFile(docs, u"ä.txt");
    EXPECT_EQ(volume.ChildByName(docs, u"Ä.TXT"), umlaut);
}

TEST_F(SimVolumeTest, BadNamesAndImpossibleChangesAreRefused) {
    for (const std::u16string_view name : {u"", u".", u"..", u"a\\b", u"a/b", u"a:b", u"a*", u"a?",
                                           u"a\"", u"a<", u"a>", u"a|", u"a\tb"}) {
        EXPECT_EQ(volume.MakeFile(docs, name), 0u) << ToUtf8(name);
    }
    EXPECT_EQ(volume.MakeFile(docs, std::u16string(256, u'x')), 0u);
    EXPECT_NE(volume.MakeFile(docs, std::u16string(255, u'x')), 0u);
    EXPECT_EQ(volume.MakeFile(a, u"inside a file"), 0u);
    EXPECT_FALSE(volume.Rename(docs, volume.MakeDirectories(u"docs\\deeper"), u"docs"));
    EXPECT_FALSE(volume.Rename(SimVolume::kRoot, docs, u"root"));
    EXPECT_FALSE(volume.Delete(docs));  // not empty
    EXPECT_FALSE(volume.Delete(SimVolume::kRoot));
    EXPECT_FALSE(volume.Write(docs, 0, 10));
    EXPECT_FALSE(volume.AddHardLink(docs, other, u"dirlink"));
    EXPECT_FALSE(volume.Write(a, UINT64_MAX, 2));
    EXPECT_EQ(volume.Info(a)->size, 100u);
}

TEST_F(SimVolumeTest, HardLinksNameOneFileTwice) {
    ASSERT_TRUE(volume.AddHardLink(a, other, u"link.txt"));
    EXPECT_EQ(volume.Lookup(u"\\other\\LINK.txt"), a);
    EXPECT_EQ(volume.PathsOf(a),
              (std::vector<std::u16string>{u"\\docs\\a.txt", u"\\other\\link.txt"}));
    EXPECT_EQ(volume.Info(a)->links, 2);

    mark = volume.JournalData()->NextUsn;
    ASSERT_TRUE(volume.DeletePath(u"\\docs\\a.txt"));
    ExpectRecords({{kHardLink | kClose, u"a.txt", u"\\docs"}}, "one name deleted");
    EXPECT_EQ(volume.Lookup(u"\\other\\link.txt"), a);
    EXPECT_EQ(volume.PathOf(a), u"\\other\\link.txt");

    mark = volume.JournalData()->NextUsn;
    ASSERT_TRUE(volume.Delete(a));
    ExpectRecords({{kDelete | kClose, u"link.txt", u"\\other"}}, "last name deleted");
    EXPECT_FALSE(volume.Info(a).has_value());
}

// A handle that added a link still stands for the name it was opened through.
TEST_F(SimVolumeTest, ADeleteThroughAHandleThatAddedALinkRemovesItsOwnName) {
    SimOpenFile file = volume.Open(a);
    ASSERT_TRUE(file.AddHardLink(other, u"link.txt"));
    ASSERT_TRUE(file.MarkForDelete());
    file.Close();
    ExpectRecords({{kHardLink, u"link.txt", u"\\other"}, {kHardLink | kClose, u"a.txt", u"\\docs"}},
                  "a link added, the opened name deleted");
    EXPECT_EQ(volume.Lookup(u"\\docs\\a.txt"), 0u);
    EXPECT_EQ(volume.PathsOf(a), (std::vector<std::u16string>{u"\\other\\link.txt"}));
}

TEST_F(SimVolumeTest, EveryNameStaysFindableAsOthersComeAndGo) {
    for (const char16_t* name : {u"one", u"two", u"three", u"four"}) {
        ASSERT_TRUE(volume.AddHardLink(a, other, name));
    }
    ASSERT_TRUE(volume.DeletePath(u"\\other\\two"));
    {
        SimOpenFile renamed = volume.OpenPath(u"\\other\\FOUR");
        ASSERT_TRUE(renamed.Rename(docs, u"four again"));
    }
    ASSERT_TRUE(volume.DeletePath(u"\\docs\\a.txt"));  // the first name goes
    EXPECT_EQ(volume.Lookup(u"\\other\\two"), 0u);
    EXPECT_EQ(volume.Lookup(u"\\other\\four"), 0u);
    EXPECT_EQ(volume.Lookup(u"\\docs\\a.txt"), 0u);
    for (const char16_t* path : {u"\\other\\one", u"\\other\\three", u"\\docs\\four again"}) {
        EXPECT_EQ(volume.Lookup(path), a) << ToUtf8(std::u16string_view(path));
    }
    EXPECT_EQ(volume.Info(a)->links, 3);
    EXPECT_EQ(volume.PathsOf(a).size(), 3u);
    EXPECT_EQ(volume.MakeFile(other, u"THREE"), 0u);  // taken
}

TEST_F(SimVolumeTest, AFileHasAtMostOneThousandAndTwentyFourNames) {
    SimOpenFile file = volume.Open(a);
    for (int i = 1; i < 1024; ++i) {
        ASSERT_TRUE(
            file.AddHardLink(other, u"link" + std::u16string(1, u'A' + i % 26) +
                                        std::u16string(static_cast<std::size_t>(i / 26), u'x')))
            << i;
    }
    EXPECT_FALSE(file.AddHardLink(other, u"one too many"));
    EXPECT_EQ(volume.Info(a)->links, 1024);
}

TEST_F(SimVolumeTest, ADeleteWaitsForTheLastHandle) {
    SimOpenFile reader = volume.Open(a);
    ASSERT_TRUE(volume.Delete(a));
    EXPECT_TRUE(Since().empty());
    EXPECT_FALSE(volume.Open(a).IsOpen());  // delete pending
    EXPECT_TRUE(volume.Info(a).has_value());
    ASSERT_TRUE(reader.Write(0, 1));
    reader.Close();
    EXPECT_EQ(sim_test::ReasonsOf(Since()),
              (std::vector<std::uint32_t>{kOverwrite, kOverwrite | kDelete | kClose}));
    EXPECT_FALSE(volume.Info(a).has_value());
}

TEST_F(SimVolumeTest, DeleteTreeGoesDeepestFirst) {
    const std::uint64_t sub = volume.MakeDirectory(docs, u"sub");
    volume.MakeFile(sub, u"z.txt");
    known[u"\\docs\\sub"] = sub;
    mark = volume.JournalData()->NextUsn;
    ASSERT_TRUE(volume.DeleteTree(docs));
    ExpectRecords({{kDelete | kClose, u"a.txt", u"\\docs"},
                   {kDelete | kClose, u"big.bin", u"\\docs"},
                   {kDelete | kClose, u"z.txt", u"\\docs\\sub"},
                   {kDelete | kClose, u"sub", u"\\docs"},
                   {kDelete | kClose, u"docs", u"\\"}},
                  "tree deleted");
}

TEST_F(SimVolumeTest, DeleteTreeStopsAtAnOpenFile) {
    SimOpenFile held = volume.Open(big);
    EXPECT_FALSE(volume.DeleteTree(docs));
    EXPECT_TRUE(volume.Info(docs).has_value());
    held.Close();
    EXPECT_FALSE(volume.Info(big).has_value());
}

// ---- The recycle bin

TEST_F(SimVolumeTest, RecycleAsExplorerDoes) {
    const std::u16string sid(SimVolume::kDefaultUserSid);
    EXPECT_EQ(volume.RecycleFolder(), 0u);
    const SimRecycled recycled = volume.Recycle(a);
    ASSERT_TRUE(recycled);
    const std::uint64_t bin = volume.Lookup(u"\\$Recycle.Bin");
    EXPECT_EQ(recycled.folder, volume.RecycleFolder());
    EXPECT_EQ(volume.PathOf(recycled.folder), u"\\$RECYCLE.BIN\\" + sid);
    EXPECT_EQ(volume.Info(bin)->attributes,
              kAttributeHidden | kAttributeSystem | kAttributeDirectory);

    ASSERT_EQ(recycled.name.size(), 12u);
    const std::u16string suffix = recycled.name.substr(2, 6);
    EXPECT_EQ(recycled.name, u"$R" + suffix + u".txt");
    for (const char16_t unit : suffix) {
        EXPECT_TRUE((unit >= u'A' && unit <= u'Z') || (unit >= u'0' && unit <= u'9'));
    }
    const std::u16string info = u"$I" + suffix + u".txt";
    const std::u16string folder = u"\\$RECYCLE.BIN\\" + sid;
    ExpectRecords({{kCreate, u"$RECYCLE.BIN", u"\\"},
                   {kCreate | kClose, u"$RECYCLE.BIN", u"\\"},
                   {kCreate, sid, u"\\$RECYCLE.BIN"},
                   {kCreate | kClose, sid, u"\\$RECYCLE.BIN"},
                   {kCreate, info, folder},
                   {kCreate | kExtend, info, folder},
                   {kCreate | kExtend | kClose, info, folder},
                   {kOld, u"a.txt", u"\\docs"},
                   {kNew, recycled.name, folder},
                   {kNew | kClose, recycled.name, folder},
                   {kSecurity, recycled.name, folder},
                   {kSecurity | kClose, recycled.name, folder}},
                  "first recycle");
    EXPECT_EQ(volume.Lookup(folder + u"\\" + recycled.name), a);
    EXPECT_EQ(volume.Lookup(folder + u"\\" + info), recycled.infoFile);

    // The folders are there now; a second delete writes only its own records.
    mark = volume.JournalData()->NextUsn;
    ASSERT_TRUE(volume.Recycle(big));
    EXPECT_EQ(Since().size(), 8u);
}

TEST_F(SimVolumeTest, RecyclingADirectoryChangesTheSecurityBelowItDeepestFirst) {
    const std::uint64_t sub = volume.MakeDirectory(docs, u"Sub");
    volume.MakeFile(sub, u"inner.txt");
    volume.MakeFile(docs, u"Zed.txt");
    volume.Recycle(other);  // makes the folders
    mark = volume.JournalData()->NextUsn;

    const SimRecycled recycled = volume.Recycle(docs);
    ASSERT_TRUE(recycled);
    EXPECT_EQ(recycled.name.size(), 8u);  // no extension
    const std::vector<SimRecord> records = Since();
    ASSERT_EQ(records.size(), 6u + 2 * 6);
    std::vector<std::u16string> secured;
    for (std::size_t i = 6; i < records.size(); i += 2) {
        EXPECT_EQ(records[i].reason, kSecurity);
        EXPECT_EQ(records[i + 1].reason, kSecurity | kClose);
        EXPECT_EQ(records[i].name, records[i + 1].name);
        secured.push_back(records[i].name);
    }
    EXPECT_EQ(secured, (std::vector<std::u16string>{u"a.txt", u"big.bin", u"inner.txt", u"Sub",
                                                    u"Zed.txt", recycled.name}));
}

TEST_F(SimVolumeTest, RecycleIntoAnotherUsersFolderAndEmptyTheBin) {
    const SimRecycled mine = volume.Recycle(a);
    const SimRecycled theirs = volume.Recycle(big, u"S-1-5-21-1-2-3-1002");
    ASSERT_TRUE(mine);
    ASSERT_TRUE(theirs);
    EXPECT_NE(mine.folder, theirs.folder);
    EXPECT_EQ(volume.PathOf(theirs.folder), u"\\$RECYCLE.BIN\\S-1-5-21-1-2-3-1002");
    EXPECT_FALSE(volume.Recycle(SimVolume::kRoot));
    EXPECT_FALSE(volume.Recycle(a, u""));

    mark = volume.JournalData()->NextUsn;
    ASSERT_TRUE(volume.EmptyRecycleBin());
    const std::vector<SimRecord> records = Since();
    ASSERT_EQ(records.size(), 2u);  // $I… and $R…, in index order
    EXPECT_EQ(records[0].reason, kDelete | kClose);
    EXPECT_EQ(records[0].name.substr(0, 2), u"$I");
    EXPECT_EQ(records[1].name, mine.name);
    EXPECT_TRUE(volume.Info(theirs.item).has_value());
}

// ---- Raw records

TEST_F(SimVolumeTest, RawRecordsKeepTheirFields) {
    SimRecord odd;
    odd.fileReference = MakeFileReference(123, 7);
    odd.parentReference = 42;
    odd.timeStamp = -5;
    odd.reason = 0x12345678;
    odd.sourceInfo = 4;
    odd.securityId = 9;
    odd.attributes = 0xFFFF;
    odd.name = u"odd";
    odd.majorVersion = 3;  // stored, but not a version-2 record any more
    const std::int64_t usn = volume.AppendRecord(odd);
    EXPECT_EQ(usn, mark);
    EXPECT_TRUE(volume.RecordsSince(usn).empty());

    odd.majorVersion = 2;
    const std::int64_t second = volume.AppendRecord(odd);
    const std::vector<SimRecord> records = volume.RecordsSince(second);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].usn, second);
    EXPECT_EQ(records[0].fileReference, odd.fileReference);
    EXPECT_EQ(records[0].timeStamp, -5);
    EXPECT_EQ(records[0].reason, 0x12345678u);
    EXPECT_EQ(records[0].sourceInfo, 4u);
    EXPECT_EQ(records[0].securityId, 9u);
    EXPECT_EQ(records[0].attributes, 0xFFFFu);
    EXPECT_EQ(records[0].name, u"odd");
}

TEST_F(SimVolumeTest, EntriesThatPredateTheJournalHaveNoRecords) {
    const std::uint64_t old = volume.AddExisting(docs, u"old.txt");
    const std::uint64_t placed = MakeFileReference(40, 3);
    ASSERT_TRUE(volume.PlaceExisting(placed, SimVolume::kRoot, u"$RECYCLE.BIN",
                                     kAttributeHidden | kAttributeSystem | kAttributeDirectory));
    EXPECT_FALSE(volume.PlaceExisting(placed, SimVolume::kRoot, u"again", kAttributeDirectory));
    // The volume's own directories go at their own record numbers too, but not over the root.
    const std::uint64_t extend = MakeFileReference(11, 11);
    ASSERT_TRUE(volume.PlaceExisting(extend, SimVolume::kRoot, u"$Extend",
                                     kAttributeHidden | kAttributeSystem | kAttributeDirectory));
    EXPECT_EQ(volume.PathOf(extend), u"\\$Extend");
    EXPECT_FALSE(volume.PlaceExisting(SimVolume::kRoot, SimVolume::kRoot, u"root", 0));
    EXPECT_TRUE(Since().empty());
    EXPECT_EQ(volume.Lookup(u"\\docs\\old.txt"), old);
    EXPECT_EQ(volume.Info(old)->lastUsn, 0);

    // The recycle bin placed there is the one a delete uses.
    const SimRecycled recycled = volume.Recycle(a);
    EXPECT_EQ(volume.Info(recycled.folder)->parent, placed);
}

TEST_F(SimVolumeTest, JournalFaults) {
    const ntfs::UsnJournalDataV0 before = *volume.JournalData();
    volume.RecreateJournal();
    const ntfs::UsnJournalDataV0 after = *volume.JournalData();
    EXPECT_NE(after.UsnJournalID, before.UsnJournalID);
    EXPECT_GE(after.FirstUsn, before.NextUsn);
    EXPECT_EQ(after.FirstUsn, after.NextUsn);

    // Without a journal files still change; nothing is written.
    volume.DeleteJournal();
    EXPECT_FALSE(volume.JournalData().has_value());
    EXPECT_TRUE(volume.Rename(a, docs, u"quiet.txt"));
    volume.CreateJournal();
    EXPECT_TRUE(volume.RecordsSince(0).empty());
    EXPECT_EQ(volume.Lookup(u"docs\\quiet.txt"), a);
}

TEST_F(SimVolumeTest, ASmallerMaximumSizeWrapsTheJournal) {
    volume.SetJournalMaximumSize(4096);
    for (int i = 0; i < 200; ++i) {
        volume.Write(a, 0, 1);
    }
    const ntfs::UsnJournalDataV0 journal = *volume.JournalData();
    EXPECT_LE(journal.NextUsn - journal.FirstUsn, 4096);
    EXPECT_GT(journal.FirstUsn, 0);
    const std::vector<SimRecord> kept = volume.RecordsSince(0);
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(kept.front().usn, journal.FirstUsn);
}

TEST_F(SimVolumeTest, OpenHandlesAndPathsAgree) {
    SimOpenFile byPath = volume.OpenPath(u"\\DOCS\\A.TXT");
    ASSERT_TRUE(byPath.IsOpen());
    EXPECT_EQ(byPath.Reference(), a);
    EXPECT_EQ(volume.Info(a)->openHandles, 1);
    SimOpenFile moved = std::move(byPath);
    EXPECT_FALSE(byPath.IsOpen());
    EXPECT_TRUE(moved.NoteChange(kReasonObjectIdChange | kClose));
    moved.Close();
    EXPECT_FALSE(moved.Write(0, 1));
    EXPECT_EQ(volume.Info(a)->openHandles, 0);
    // The handle wrote its records under the name as the directory holds it.
    EXPECT_EQ(Since().back().name, u"a.txt");
    EXPECT_EQ(sim_test::ReasonsOf(Since()),
              (std::vector<std::uint32_t>{kReasonObjectIdChange, kReasonObjectIdChange | kClose}));
    EXPECT_FALSE(volume.OpenPath(u"\\docs\\missing").IsOpen());
    EXPECT_EQ(volume.OpenPath(u"\\").Reference(), SimVolume::kRoot);
}

}  // namespace
