// journal-replay over the journal of a real Explorer session, with the volume's directories
// from its raw MFT extract: the sequences Explorer writes come out as the kinds of change a
// user made. Everything expected is derived from the journal itself at test time.

#include <gtest/gtest.h>

#include <set>

#include "DirectoryTable.h"
#include "ToolTestSupport.h"

namespace {

using namespace tool_test;
using namespace ntfs;

const std::string kSid = "S-1-5-21-651123593-4170940736-3544194607-1000";
const std::string kRecycleFolder = "C:\\$RECYCLE.BIN\\" + kSid + "\\";
const std::uint64_t kUserFolder = MakeFileReference(41, 1);  // as mft.raw names it

// A delete to the recycle bin as the journal holds it.
struct Recycle {
    std::string oldName;
    std::uint64_t oldParent;
    std::string itemName;  // $R…
    std::int64_t time;
};

class RealJournalReplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(kFolder / "usnjrnl.bin") ||
            !std::filesystem::exists(kFolder / "mft.raw")) {
            GTEST_SKIP() << "no real journals beside the source tree";
        }
        records = DecodeStream(ReadBytes(kFolder / "usnjrnl.bin"));
        for (const StreamRecord& r : records) {
            closes += (r.record.reason & kReasonClose) != 0 ? 1 : 0;
        }
    }

    ToolRun Replay(std::vector<std::string> args) {
        args.insert(args.begin(), {"--journal", (kFolder / "usnjrnl.bin").string()});
        return RunReplay(args, scratch);
    }

    // Every rename whose closing half lands in the user's recycle folder, with the old
    // half the same file wrote before it.
    std::vector<Recycle> Recycles() const {
        std::map<std::uint64_t, const SimRecord*> oldHalves;
        std::vector<Recycle> found;
        for (const StreamRecord& r : records) {
            const SimRecord& record = r.record;
            if (record.reason == kReasonRenameOldName) {
                oldHalves[record.fileReference] = &record;
            } else if (record.reason == (kReasonRenameNewName | kReasonClose) &&
                       record.parentReference == kUserFolder) {
                const SimRecord* old = oldHalves.at(record.fileReference);
                found.push_back({ToUtf8(old->name), old->parentReference, ToUtf8(record.name),
                                 record.timeStamp});
            }
        }
        return found;
    }

    const std::filesystem::path kFolder = kJournals / "windows-explorer-session";
    const ScratchDir scratch;
    std::vector<StreamRecord> records;
    std::size_t closes = 0;
};

// The index of the first line at or after `from` with these keys and values, or -1.
int Find(const std::vector<JsonObject>& lines, const JsonObject& wanted, std::size_t from = 0) {
    for (std::size_t i = from; i < lines.size(); ++i) {
        bool all = true;
        for (const auto& [key, value] : wanted) {
            const auto it = lines[i].find(key);
            all = all && it != lines[i].end() && it->second == value;
        }
        if (all) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

TEST_F(RealJournalReplayTest, ExplorerSequencesComeOutAsTheUserActed) {
    // The user's folder in the bin is a recycle bin as any user's is: no SID is needed.
    const ToolRun run = Replay({"--mft", (kFolder / "mft.raw").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("served 15214 version-2 records; skipped 22 of other versions, 0 "
                           "malformed, 0 with a Usn out of order, 0 longer than a journal read, "
                           "0 implausible 8-byte steps"),
              std::string::npos)
        << run.err;
    const std::vector<JsonObject> lines = ParseLines(run);
    // Without a filter every record that closes a handle is one line.
    ASSERT_EQ(lines.size(), 1 + closes);
    EXPECT_EQ(lines[0].at("slot"), "OnStarted");

    // A new text document, created in the root and renamed in place.
    const int created = Find(lines, {{"slot", "OnCreated"}, {"name", "New Text Document.txt"}});
    ASSERT_GE(created, 0);
    EXPECT_EQ(lines[created].at("dir"), "C:\\");
    EXPECT_EQ(lines[created + 1], (JsonObject{{"slot", "OnRenamed"},
                                              {"oldName", "New Text Document.txt"},
                                              {"newName", "new_entry.txt.txt"},
                                              {"dir", "C:\\"},
                                              {"time", lines[created + 1].at("time")},
                                              {"attributes", "32"}}));
    for (const StreamRecord& r : records) {
        if (r.record.name == u"new_entry.txt.txt" &&
            r.record.reason == (kReasonRenameNewName | kReasonClose)) {
            EXPECT_EQ(r.record.fileReference, 0x0001000000000034u);
            EXPECT_EQ(lines[created + 1].at("time"), std::to_string(r.record.timeStamp));
        }
    }

    // A new folder, created and renamed.
    const int folder =
        Find(lines, {{"slot", "OnCreated"}, {"name", "New folder"}, {"dir", "C:\\"}});
    ASSERT_GE(folder, 0);
    EXPECT_NE(std::stoul(lines[folder].at("attributes")) & kAttributeDirectory, 0u);
    EXPECT_GE(Find(lines,
                   {{"slot", "OnRenamed"},
                    {"oldName", "New folder"},
                    {"newName", "Test folder for usn"},
                    {"dir", "C:\\"}},
                   folder + 1),
              folder + 1);

    // Eight deletes to the recycle bin: the $I… file, the item moved in, its security.
    const std::vector<Recycle> recycles = Recycles();
    ASSERT_EQ(recycles.size(), 8u);
    int after = 0;
    for (const Recycle& recycle : recycles) {
        SCOPED_TRACE(recycle.oldName);
        ASSERT_EQ(recycle.oldParent, kRootFileReference);
        const int at = Find(lines,
                            {{"slot", "OnRecycled"},
                             {"oldName", recycle.oldName},
                             {"oldDir", "C:\\"},
                             {"newPath", kRecycleFolder + recycle.itemName},
                             {"time", std::to_string(recycle.time)}},
                            after);
        ASSERT_GT(at, after);
        const std::string info = "$I" + recycle.itemName.substr(2);
        EXPECT_EQ(
            Find(lines, {{"slot", "OnCreated"}, {"name", info}, {"dir", kRecycleFolder}}, after),
            at - 1);
        EXPECT_GT(Find(lines,
                       {{"slot", "OnAttributesChanged"},
                        {"name", recycle.itemName},
                        {"dir", kRecycleFolder},
                        {"reasons", std::to_string(kReasonSecurityChange | kReasonClose)}},
                       at),
                  at);
        after = at;
    }
    EXPECT_EQ(Find(lines, {{"slot", "OnMoved"}}), -1);
}

// The volume's own directories, $Extend and those below it, are placed like the others:
// changes in them come with their directory.
TEST_F(RealJournalReplayTest, ChangesInTheVolumesOwnDirectoriesComeWithTheirPath) {
    // As mft.raw names them.
    const std::map<std::uint64_t, std::string> systemDirs{
        {MakeFileReference(11, 11), "C:\\$Extend\\"},
        {MakeFileReference(27, 1), "C:\\$Extend\\$RmMetadata\\"},
        {MakeFileReference(29, 1), "C:\\$Extend\\$Deleted\\"},
        {MakeFileReference(30, 1), "C:\\$Extend\\$RmMetadata\\$TxfLog\\"},
        {MakeFileReference(31, 1), "C:\\$Extend\\$RmMetadata\\$Txf\\"}};
    const ToolRun run = Replay({"--mft", (kFolder / "mft.raw").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("placed 10 directories, left out 0"), std::string::npos) << run.err;
    const std::vector<JsonObject> lines = ParseLines(run);
    ASSERT_EQ(lines.size(), 1 + closes);
    // Without a filter the n-th record that closes a handle is line n after OnStarted.
    std::size_t line = 1;
    std::size_t inSystemDirs = 0;
    for (const StreamRecord& r : records) {
        if ((r.record.reason & kReasonClose) == 0) {
            continue;
        }
        if (const auto dir = systemDirs.find(r.record.parentReference); dir != systemDirs.end()) {
            ++inSystemDirs;
            EXPECT_EQ(lines[line].at("name"), ToUtf8(r.record.name));
            EXPECT_EQ(lines[line].at("dir"), dir->second) << ToUtf8(r.record.name);
        }
        ++line;
    }
    EXPECT_EQ(inSystemDirs, 2u);
}

// The MFT extract was taken before the journal: the hundreds of directories the session
// made (an installer's, a browser's) are known only from their records, which name them.
TEST_F(RealJournalReplayTest, DirectoriesMadeDuringTheJournalAreNamedFromTheirRecords) {
    std::map<std::uint64_t, std::u16string> made;  // each one's name as the records go
    const ToolRun run = Replay({"--mft", (kFolder / "mft.raw").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<JsonObject> lines = ParseLines(run);
    ASSERT_EQ(lines.size(), 1 + closes);
    std::size_t line = 1;
    std::size_t inMade = 0;
    for (const StreamRecord& r : records) {
        const SimRecord& d = r.record;
        const bool named = (d.reason & (kReasonFileCreate | kReasonRenameNewName)) != 0 &&
                           (d.reason & kReasonRenameOldName) == 0;
        if ((d.attributes & kAttributeDirectory) != 0 && named &&
            ((d.reason & kReasonFileCreate) != 0 || made.count(d.fileReference) != 0)) {
            made[d.fileReference] = d.name;
        }
        if ((d.reason & kReasonClose) == 0) {
            continue;
        }
        if (const auto dir = made.find(d.parentReference); dir != made.end()) {
            ++inMade;
            const std::string path = lines[line].at("dir");
            const std::string tail = "\\" + ToUtf8(dir->second) + "\\";
            EXPECT_EQ(path.rfind("C:\\", 0), 0u) << path;
            ASSERT_GE(path.size(), tail.size()) << ToUtf8(d.name);
            EXPECT_EQ(path.substr(path.size() - tail.size()), tail) << ToUtf8(d.name);
        }
        ++line;
    }
    EXPECT_GT(inMade, 4000u);
}

TEST_F(RealJournalReplayTest, AWatchedDirectoryCreatedDuringTheJournal) {
    // The table: the MFT extract's directories and those the journal creates, renames
    // and deletes, as they stand at its end.
    DirectoryTable mft;
    std::string error;
    ASSERT_TRUE(mft.LoadMft((kFolder / "mft.raw").string(), error)) << error;
    std::map<std::uint64_t, DirectoryTable::Entry> now;
    std::map<std::uint64_t, std::uint64_t> everParent;  // every directory that ever was
    for (const auto& entry : mft.Entries()) {
        now[entry.frn] = entry;
        everParent[entry.frn] = entry.parent;
    }
    for (const StreamRecord& r : records) {
        const SimRecord& d = r.record;
        if ((d.attributes & kAttributeDirectory) == 0 || (d.reason & kReasonClose) == 0) {
            continue;
        }
        if (d.reason & kReasonFileDelete) {
            now.erase(d.fileReference);
        } else if (d.reason & (kReasonFileCreate | kReasonRenameNewName)) {
            now[d.fileReference] = {d.fileReference, d.parentReference, d.attributes, d.name};
            everParent[d.fileReference] = d.parentReference;
        }
    }
    std::string tsv;
    std::uint64_t programFiles = 0;
    for (const auto& [frn, entry] : now) {
        char numbers[64];
        std::snprintf(numbers, sizeof numbers, "0x%016llx\t0x%016llx\t%x\t",
                      static_cast<unsigned long long>(frn),
                      static_cast<unsigned long long>(entry.parent), entry.attributes);
        tsv += numbers + ToUtf8(entry.name) + "\n";
        if (entry.name == u"Program Files" && entry.parent == kRootFileReference) {
            programFiles = frn;
        }
    }
    ASSERT_NE(programFiles, 0u);
    const auto below = [&](std::uint64_t dir) {
        for (int depth = 0; depth < 64; ++depth) {
            if (dir == programFiles) {
                return true;
            }
            const auto it = everParent.find(dir);
            if (it == everParent.end() || it->second == dir) {
                return false;
            }
            dir = it->second;
        }
        return false;
    };
    std::size_t inside = 0;
    for (const StreamRecord& r : records) {
        inside += (r.record.reason & kReasonClose) != 0 && below(r.record.parentReference) ? 1 : 0;
    }
    ASSERT_GT(inside, 100u);

    const ToolRun run = Replay(
        {"--directories", scratch.Write("derived.tsv", tsv), "--watch", "C:\\Program Files"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<JsonObject> lines = ParseLines(run);
    ASSERT_EQ(lines.size(), 1 + inside);
    EXPECT_EQ(lines[1], (JsonObject{{"slot", "OnCreated"},
                                    {"name", "7-Zip"},
                                    {"dir", "C:\\Program Files\\"},
                                    {"time", lines[1].at("time")},
                                    {"attributes", "16"}}));
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].at("dir").rfind("C:\\Program Files\\", 0), 0u) << i;
    }
}

TEST_F(RealJournalReplayTest, AStartInTheMiddleOfTheJournal) {
    std::int64_t since = 0;
    for (const StreamRecord& r : records) {
        if (r.record.name == u"New Text Document.txt" && r.record.reason == kReasonFileCreate) {
            since = r.record.timeStamp;
        }
    }
    ASSERT_NE(since, 0);
    // The engine's start is the whole second that holds it.
    const std::int64_t start = since - since % kFileTimeTicksPerSecond;
    std::size_t expected = 0;
    for (const StreamRecord& r : records) {
        expected += (r.record.reason & kReasonClose) != 0 && r.record.timeStamp >= start ? 1 : 0;
    }
    const ToolRun run = Replay({"--since", std::to_string(since)});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<JsonObject> lines = ParseLines(run);
    ASSERT_EQ(lines.size(), 1 + expected);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1].at("name"), "New Text Document.txt");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_GE(std::stoll(lines[i].at("time")), start);
    }
}

}  // namespace
