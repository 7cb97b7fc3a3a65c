// The mirror's translation, as a table: what a program did to the folder, what the watch
// reported for it (read by read, in the forms Wine and Windows report it), and the journal
// records the simulated volume must hold afterwards. Where the Explorer session journal in
// the folder of real journals holds the same sequence for one file, the table says so and
// a test checks it there. After every row the mirror holds the folder's tree.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>

#include "FakeFolder.h"
#include "MirrorTestSupport.h"
#include "demo/FolderMirror.h"
#include "sim/SimVolume.h"

namespace {

using mirror_test::ReasonText;

using Act = FolderAction;
constexpr FolderAction kAdded = FolderAction::kAdded;
constexpr FolderAction kRemoved = FolderAction::kRemoved;
constexpr FolderAction kModified = FolderAction::kModified;
constexpr FolderAction kOld = FolderAction::kRenamedOldName;
constexpr FolderAction kNew = FolderAction::kRenamedNewName;

// One read of the watch: its notifications, or an overflow.
struct WatchRead {
    std::vector<FolderChange> changes;
    bool overflow = false;
};
WatchRead Overflow() {
    return {{}, true};
}

struct MirrorCase {
    const char* what;
    std::function<void(FakeFolder&)> before;  // the folder when the mirror starts
    std::function<void(FakeFolder&)> change;  // what programs did to it since
    std::vector<WatchRead> reads;
    std::vector<std::string> records;  // "REASONS path", in journal order
    bool inRealJournal = false;        // one file's sequence, found in the Explorer session
    bool sameTree = true;              // false where the folder holds what no volume can
};

void PrintTo(const MirrorCase& row, std::ostream* out) {
    *out << row.what;
}

void Nothing(FakeFolder&) {}

const std::vector<MirrorCase> kCases = {
    {"a new empty file",
     Nothing,
     [](FakeFolder& f) { f.PutFile(u"a.txt", 0); },
     {{{{kAdded, u"a.txt"}}}},
     {"FILE_CREATE a.txt", "FILE_CREATE|CLOSE a.txt"},
     true},
    {"a new file written in the handle that created it",
     Nothing,
     [](FakeFolder& f) { f.PutFile(u"a.txt", 120); },
     {{{{kAdded, u"a.txt"}, {kModified, u"a.txt"}, {kModified, u"a.txt"}}}},
     {"FILE_CREATE a.txt", "DATA_EXTEND|FILE_CREATE a.txt", "DATA_EXTEND|FILE_CREATE|CLOSE a.txt"},
     true},
    {"a new file too large for its MFT record",
     Nothing,
     [](FakeFolder& f) { f.PutFile(u"big.bin", 250000); },
     {{{{kAdded, u"big.bin"}, {kModified, u"big.bin"}}}},
     {"FILE_CREATE big.bin", "DATA_EXTEND|FILE_CREATE big.bin",
      "DATA_OVERWRITE|DATA_EXTEND|FILE_CREATE big.bin",
      "DATA_OVERWRITE|DATA_EXTEND|FILE_CREATE|CLOSE big.bin"}},
    {"a new directory",
     Nothing,
     [](FakeFolder& f) { f.PutDirectory(u"sub"); },
     {{{{kAdded, u"sub"}}}},
     {"FILE_CREATE sub", "FILE_CREATE|CLOSE sub"},
     true},
    {"a directory made with what it holds before the watch saw inside",
     Nothing,
     [](FakeFolder& f) {
         f.PutDirectory(u"a");
         f.PutDirectory(u"a\\b");
         f.PutFile(u"a\\b\\c.txt", 0);
     },
     {{{{kAdded, u"a"}}},
      {{{kAdded, u"a\\b"}}},
      {{{kAdded, u"a\\b\\c.txt"}, {kModified, u"a\\b"}}}},
     {"FILE_CREATE a", "FILE_CREATE|CLOSE a", "FILE_CREATE a\\b", "FILE_CREATE|CLOSE a\\b",
      "FILE_CREATE a\\b\\c.txt", "FILE_CREATE|CLOSE a\\b\\c.txt"}},
    {"a file added below a directory the mirror did not see made",
     Nothing,
     [](FakeFolder& f) {
         f.PutDirectory(u"d");
         f.PutFile(u"d\\x.txt", 0);
     },
     {{{{kAdded, u"d\\x.txt"}}}},
     {"FILE_CREATE d", "FILE_CREATE|CLOSE d", "FILE_CREATE d\\x.txt",
      "FILE_CREATE|CLOSE d\\x.txt"}},
    {"appending to a small file",
     [](FakeFolder& f) { f.PutFile(u"a.txt", 100); },
     [](FakeFolder& f) { f.Write(u"a.txt", 150); },
     {{{{kModified, u"a.txt"}, {kModified, u"a.txt"}}}},
     {"DATA_EXTEND a.txt", "DATA_EXTEND|CLOSE a.txt"},
     true},
    {"appending to a large file",
     [](FakeFolder& f) { f.PutFile(u"log.txt", 5000); },
     [](FakeFolder& f) { f.Write(u"log.txt", 6000); },
     {{{{kModified, u"log.txt"}}}},
     {"DATA_EXTEND log.txt", "DATA_OVERWRITE|DATA_EXTEND log.txt",
      "DATA_OVERWRITE|DATA_EXTEND|CLOSE log.txt"}},
    {"writing a file anew at the same size",
     [](FakeFolder& f) { f.PutFile(u"a.txt", 2000); },
     [](FakeFolder& f) { f.Touch(u"a.txt"); },
     {{{{kModified, u"a.txt"}}}},
     {"DATA_OVERWRITE a.txt", "DATA_OVERWRITE|CLOSE a.txt"},
     true},
    {"writing a file anew, shorter",
     [](FakeFolder& f) { f.PutFile(u"a.dat", 5000); },
     [](FakeFolder& f) { f.Write(u"a.dat", 1000); },
     {{{{kModified, u"a.dat"}}}},
     {"DATA_TRUNCATION a.dat", "DATA_EXTEND|DATA_TRUNCATION a.dat",
      "DATA_OVERWRITE|DATA_EXTEND|DATA_TRUNCATION a.dat",
      "DATA_OVERWRITE|DATA_EXTEND|DATA_TRUNCATION|CLOSE a.dat"},
     true},
    {"emptying a file",
     [](FakeFolder& f) { f.PutFile(u"a.txt", 500); },
     [](FakeFolder& f) { f.Write(u"a.txt", 0); },
     {{{{kModified, u"a.txt"}}}},
     {"DATA_TRUNCATION a.txt", "DATA_TRUNCATION|CLOSE a.txt"}},
    {"new times on an empty file",
     [](FakeFolder& f) { f.PutFile(u"e.txt", 0); },
     [](FakeFolder& f) { f.Touch(u"e.txt"); },
     {{{{kModified, u"e.txt"}}}},
     {"BASIC_INFO_CHANGE e.txt", "BASIC_INFO_CHANGE|CLOSE e.txt"},
     true},
    {"a file made read-only",
     [](FakeFolder& f) { f.PutFile(u"a.txt", 10); },
     [](FakeFolder& f) {
         f.SetAttributes(u"a.txt", ntfs::kAttributeArchive | ntfs::kAttributeReadonly);
     },
     {{{{kModified, u"a.txt"}}}},
     {"BASIC_INFO_CHANGE a.txt", "BASIC_INFO_CHANGE|CLOSE a.txt"},
     true},
    {"a directory's own notification when its contents change",
     [](FakeFolder& f) { f.PutDirectory(u"d"); },
     [](FakeFolder& f) {
         f.PutFile(u"d\\x.txt", 0);
         f.Touch(u"d");
     },
     {{{{kAdded, u"d\\x.txt"}, {kModified, u"d"}}}},
     {"FILE_CREATE d\\x.txt", "FILE_CREATE|CLOSE d\\x.txt"}},
    {"a rename within a directory",
     [](FakeFolder& f) { f.PutFile(u"a.txt", 10); },
     [](FakeFolder& f) { f.Move(u"a.txt", u"b.txt"); },
     {{{{kOld, u"a.txt"}, {kNew, u"b.txt"}}}},
     {"RENAME_OLD_NAME a.txt", "RENAME_NEW_NAME b.txt", "RENAME_NEW_NAME|CLOSE b.txt"},
     true},
    {"a rename whose halves come in two reads",
     [](FakeFolder& f) { f.PutFile(u"a.txt", 10); },
     [](FakeFolder& f) { f.Move(u"a.txt", u"b.txt"); },
     {{{{kOld, u"a.txt"}}}, {{{kNew, u"b.txt"}}}},
     {"RENAME_OLD_NAME a.txt", "RENAME_NEW_NAME b.txt", "RENAME_NEW_NAME|CLOSE b.txt"},
     true},
    {"a rename in letter case only",
     [](FakeFolder& f) { f.PutFile(u"readme.txt", 10); },
     [](FakeFolder& f) { f.Move(u"readme.txt", u"README.txt"); },
     {{{{kOld, u"readme.txt"}, {kNew, u"README.txt"}}}},
     {"RENAME_OLD_NAME readme.txt", "RENAME_NEW_NAME README.txt",
      "RENAME_NEW_NAME|CLOSE README.txt"},
     true},
    {"a move into a subdirectory, as Wine reports it (a rename's two halves)",
     [](FakeFolder& f) {
         f.PutFile(u"a.txt", 10);
         f.PutDirectory(u"sub");
     },
     [](FakeFolder& f) { f.Move(u"a.txt", u"sub\\a.txt"); },
     {{{{kOld, u"a.txt"}, {kNew, u"sub\\a.txt"}}}},
     {"RENAME_OLD_NAME a.txt", "RENAME_NEW_NAME sub\\a.txt", "RENAME_NEW_NAME|CLOSE sub\\a.txt"},
     true},
    {"a move into a subdirectory, as Windows reports it (removed, then added)",
     [](FakeFolder& f) {
         f.PutFile(u"a.txt", 10);
         f.PutDirectory(u"sub");
     },
     [](FakeFolder& f) { f.Move(u"a.txt", u"sub\\a.txt"); },
     {{{{kRemoved, u"a.txt"}, {kModified, u"sub"}, {kAdded, u"sub\\a.txt"}}}},
     {"RENAME_OLD_NAME a.txt", "RENAME_NEW_NAME sub\\a.txt", "RENAME_NEW_NAME|CLOSE sub\\a.txt"},
     true},
    {"a move as Windows reports it, its halves in two reads",
     [](FakeFolder& f) {
         f.PutFile(u"a.txt", 10);
         f.PutDirectory(u"sub");
     },
     [](FakeFolder& f) { f.Move(u"a.txt", u"sub\\a.txt"); },
     {{{{kRemoved, u"a.txt"}}}, {{{kAdded, u"sub\\a.txt"}, {kModified, u"sub"}}}},
     {"RENAME_OLD_NAME a.txt", "RENAME_NEW_NAME sub\\a.txt", "RENAME_NEW_NAME|CLOSE sub\\a.txt"},
     true},
    {"a directory moved with what it holds",
     [](FakeFolder& f) {
         f.PutDirectory(u"d");
         f.PutFile(u"d\\x.txt", 10);
         f.PutDirectory(u"sub");
     },
     [](FakeFolder& f) { f.Move(u"d", u"sub\\d"); },
     {{{{kOld, u"d"}, {kNew, u"sub\\d"}}}},
     {"RENAME_OLD_NAME d", "RENAME_NEW_NAME sub\\d", "RENAME_NEW_NAME|CLOSE sub\\d"}},
    {"a file moved in from outside the folder (a new name alone)",
     Nothing,
     [](FakeFolder& f) { f.PutFile(u"in.txt", 10); },
     {{{{kNew, u"in.txt"}}}},
     {"FILE_CREATE in.txt", "DATA_EXTEND|FILE_CREATE in.txt",
      "DATA_EXTEND|FILE_CREATE|CLOSE in.txt"},
     true},
    {"a file moved out of the folder (an old name alone)",
     [](FakeFolder& f) { f.PutFile(u"out.txt", 10); },
     [](FakeFolder& f) { f.Remove(u"out.txt"); },
     {{{{kOld, u"out.txt"}}}},
     {"FILE_DELETE|CLOSE out.txt"},
     true},
    {"a file deleted",
     [](FakeFolder& f) { f.PutFile(u"a.txt", 10); },
     [](FakeFolder& f) { f.Remove(u"a.txt"); },
     {{{{kRemoved, u"a.txt"}}}},
     {"FILE_DELETE|CLOSE a.txt"},
     true},
    {"a directory deleted with what it holds, the contents reported first",
     [](FakeFolder& f) {
         f.PutDirectory(u"d");
         f.PutFile(u"d\\x.txt", 10);
     },
     [](FakeFolder& f) { f.Remove(u"d"); },
     {{{{kRemoved, u"d\\x.txt"}, {kRemoved, u"d"}}}},
     {"FILE_DELETE|CLOSE d\\x.txt", "FILE_DELETE|CLOSE d"}},
    {"a directory deleted with what it holds, reported alone",
     [](FakeFolder& f) {
         f.PutDirectory(u"d");
         f.PutFile(u"d\\x.txt", 10);
     },
     [](FakeFolder& f) { f.Remove(u"d"); },
     {{{{kRemoved, u"d"}}}},
     {"FILE_DELETE|CLOSE d\\x.txt", "FILE_DELETE|CLOSE d"}},
    {"a file replaced by a directory of the same name",
     [](FakeFolder& f) { f.PutFile(u"x", 10); },
     [](FakeFolder& f) {
         f.Remove(u"x");
         f.PutDirectory(u"x");
     },
     {{{{kRemoved, u"x"}, {kAdded, u"x"}}}},
     {"FILE_DELETE|CLOSE x", "FILE_CREATE x", "FILE_CREATE|CLOSE x"}},
    {"a file created and renamed before the mirror looked",
     Nothing,
     [](FakeFolder& f) { f.PutFile(u"b.txt", 50); },
     {{{{kAdded, u"a.txt"}, {kModified, u"a.txt"}, {kOld, u"a.txt"}, {kNew, u"b.txt"}}}},
     {"FILE_CREATE a.txt", "DATA_EXTEND|FILE_CREATE a.txt", "DATA_EXTEND|FILE_CREATE|CLOSE a.txt",
      "RENAME_OLD_NAME a.txt", "RENAME_NEW_NAME b.txt", "RENAME_NEW_NAME|CLOSE b.txt"}},
    {"a file created and deleted before the mirror looked",
     Nothing,
     Nothing,
     {{{{kAdded, u"t.tmp"}, {kModified, u"t.tmp"}, {kRemoved, u"t.tmp"}}}},
     {"FILE_CREATE t.tmp", "FILE_CREATE|CLOSE t.tmp", "FILE_DELETE|CLOSE t.tmp"}},
    {"an editor's save: a new file renamed over the old one",
     [](FakeFolder& f) { f.PutFile(u"notes.txt", 100); },
     [](FakeFolder& f) {
         f.PutFile(u"notes.tmp", 200);
         f.Remove(u"notes.txt");
         f.Move(u"notes.tmp", u"notes.txt");
     },
     {{{{kAdded, u"notes.tmp"},
        {kModified, u"notes.tmp"},
        {kOld, u"notes.tmp"},
        {kNew, u"notes.txt"}}}},
     {"FILE_CREATE notes.tmp", "DATA_EXTEND|FILE_CREATE notes.tmp",
      "DATA_EXTEND|FILE_CREATE|CLOSE notes.tmp", "FILE_DELETE|CLOSE notes.txt",
      "RENAME_OLD_NAME notes.tmp", "RENAME_NEW_NAME notes.txt", "RENAME_NEW_NAME|CLOSE notes.txt"}},
    {"lost notifications: an overflow, then the differences",
     [](FakeFolder& f) {
         f.PutFile(u"a.txt", 100);
         f.PutFile(u"gone.txt", 10);
         f.PutDirectory(u"d");
     },
     [](FakeFolder& f) {
         f.Write(u"a.txt", 300);
         f.Remove(u"gone.txt");
         f.PutFile(u"new.txt", 10);
         f.PutDirectory(u"d\\e");
         f.PutFile(u"d\\e\\f.txt", 0);
     },
     {Overflow()},
     {"FILE_DELETE|CLOSE gone.txt", "DATA_EXTEND a.txt", "DATA_EXTEND|CLOSE a.txt",
      "FILE_CREATE new.txt", "DATA_EXTEND|FILE_CREATE new.txt",
      "DATA_EXTEND|FILE_CREATE|CLOSE new.txt", "FILE_CREATE d\\e", "FILE_CREATE|CLOSE d\\e",
      "FILE_CREATE d\\e\\f.txt", "FILE_CREATE|CLOSE d\\e\\f.txt"}},
    {"a notification that names the file by its short name",
     [](FakeFolder& f) {
         f.PutFile(u"Long report name.txt", 100);
         f.AddShortName(u"LONGRE~1.TXT", u"Long report name.txt");
     },
     [](FakeFolder& f) { f.Write(u"Long report name.txt", 200); },
     {{{{kModified, u"LONGRE~1.TXT"}}}},
     {"DATA_EXTEND Long report name.txt", "DATA_EXTEND|CLOSE Long report name.txt"}},
    {"a removed short name the mirror knows by its long name",
     [](FakeFolder& f) { f.PutFile(u"Long report name.txt", 100); },
     [](FakeFolder& f) { f.Remove(u"Long report name.txt"); },
     {{{{kRemoved, u"LONGRE~1.TXT"}}}},
     {"FILE_DELETE|CLOSE Long report name.txt"}},
    {"a write reported for a file that is gone again, never seen",
     Nothing,
     Nothing,
     {{{{kModified, u"ghost.txt"}}}},
     {}},
    {"a name no Windows volume can hold is left out",
     Nothing,
     [](FakeFolder& f) { f.PutFile(u"a:b?.txt", 10); },
     {{{{kAdded, u"a:b?.txt"}, {kModified, u"a:b?.txt"}}}},
     {}},
    {"a notification that would lead out of the folder is left out",
     Nothing,
     Nothing,
     {{{{kAdded, u"..\\outside.txt"}, {kAdded, u"sub\\..\\..\\x"}, {kRemoved, u".."}}}},
     {}},
    {"a second name differing in letter case only, on a case-sensitive folder",
     [](FakeFolder& f) { f.PutFile(u"A.txt", 10); },
     [](FakeFolder& f) { f.PutFile(u"a.txt", 20); },
     {{{{kAdded, u"a.txt"}, {kModified, u"a.txt"}}}},
     {},
     false,
     false},
};

class FolderMirrorTranslation : public ::testing::TestWithParam<MirrorCase> {};

TEST_P(FolderMirrorTranslation, WritesTheRecordsNtfsWritesAndKeepsTheTree) {
    const MirrorCase& row = GetParam();
    FakeFolder folder;
    row.before(folder);
    SimVolume volume;
    FolderMirror mirror(volume, folder);
    mirror.Prepare();
    const std::int64_t mark = volume.JournalData()->NextUsn;
    mirror_test::PathBook book;
    book.Note(volume);

    row.change(folder);
    for (const WatchRead& read : row.reads) {
        if (read.overflow) {
            mirror.Rescan();
        } else {
            mirror.Apply(read.changes);
        }
    }
    mirror.Settle();  // then the watch is quiet
    book.Note(volume);

    EXPECT_EQ(mirror_test::RecordTexts(volume.RecordsSince(mark), book), row.records);
    if (row.sameTree) {
        EXPECT_EQ(mirror_test::TreeOf(volume), mirror_test::TreeOf(folder));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, FolderMirrorTranslation, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<MirrorCase>& info) {
                             std::string name;
                             for (const char* c = info.param.what; *c != '\0'; ++c) {
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             }
                             return name;
                         });

// ---- The table against the journal real NTFS wrote

const std::filesystem::path kSession =
    std::filesystem::path(VOL_JOURNALS_DIR) / "windows-explorer-session" / "usnjrnl.bin";

// Every file's sequence of reasons from the record after one close to its next close.
std::set<std::vector<std::uint32_t>> RealSequences(const std::vector<SimRecord>& records) {
    std::set<std::vector<std::uint32_t>> sequences;
    std::map<std::uint64_t, std::vector<std::uint32_t>> open;
    for (const SimRecord& record : records) {
        std::vector<std::uint32_t>& sequence = open[record.fileReference];
        sequence.push_back(record.reason);
        if ((record.reason & ntfs::kReasonClose) != 0) {
            sequences.insert(sequence);
            sequence.clear();
        }
    }
    return sequences;
}

// The mask a text of ReasonText names.
std::uint32_t ReasonOf(const std::string& text) {
    std::uint32_t reason = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('|', start), text.size());
        for (std::uint32_t bit = 1; bit != 0; bit <<= 1) {
            if (ReasonText(bit) == text.substr(start, end - start)) {
                reason |= bit;
            }
        }
        start = end + 1;
    }
    return reason;
}

std::string Describe(const std::vector<std::uint32_t>& sequence) {
    std::string text;
    for (const std::uint32_t reason : sequence) {
        text += (text.empty() ? "" : ", ") + ReasonText(reason);
    }
    return text;
}

TEST(FolderMirrorTranslationTable, TheRowsMarkedRealAreSequencesRealNtfsWrote) {
    std::ifstream file(kSession, std::ios::binary);
    if (!file) {
        GTEST_SKIP() << "no real journals beside the source tree";
    }
    const std::vector<std::uint8_t> stream((std::istreambuf_iterator<char>(file)),
                                           std::istreambuf_iterator<char>());
    SimVolume loader;
    loader.DeleteJournal();
    loader.CreateJournal();
    loader.LoadJournalStream(stream);
    const std::set<std::vector<std::uint32_t>> real = RealSequences(loader.RecordsSince(0));
    ASSERT_GT(real.size(), 5u);

    int checked = 0;
    for (const MirrorCase& row : kCases) {
        if (!row.inRealJournal) {
            continue;
        }
        // The row's records, without their names: one file's sequence (a move's delete of
        // what it replaced would be another file's).
        std::vector<std::uint32_t> reasons;
        for (const std::string& record : row.records) {
            reasons.push_back(ReasonOf(record.substr(0, record.find(' '))));
        }
        EXPECT_EQ(real.count(reasons), 1u)
            << row.what << ": " << Describe(reasons) << " is not in the real journal";
        ++checked;
    }
    EXPECT_GE(checked, 10);
}

}  // namespace
