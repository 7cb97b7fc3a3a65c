// journal-replay as a user runs it: a journal and a directory table made here, the lines
// it prints for each kind of change, the filters, and every way its input can be wrong.

#include <gtest/gtest.h>

#include <map>

#include "ToolTestSupport.h"

namespace {

using namespace tool_test;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kRoot = 0x0005000000000005;
constexpr std::uint64_t kData = 0x0001000000000040;
constexpr std::uint64_t kSub = 0x0001000000000041;
constexpr std::uint64_t kOther = 0x0001000000000050;
constexpr std::uint64_t kBin = 0x0001000000000060;
constexpr std::uint64_t kUser = 0x0001000000000061;
constexpr std::uint64_t kNewDir = 0x0001000000000070;
constexpr std::uint64_t kUnknown = 0x0001000000000099;
// 2021-09-08 07:49:50 UTC, a whole second.
constexpr std::int64_t kStart = 132755609900000000;

const std::string kTable =
    "frn\tparent\tattributes\tname\n"
    "0x0005000000000005\t0x0005000000000005\t16\t\n"
    "0x0001000000000040\t0x0005000000000005\t10\tdata\n"
    "0x0001000000000041\t0x0001000000000040\t10\tsub\n"
    "0x0001000000000050\t0x0005000000000005\t10\tother\n"
    "0x0001000000000060\t0x0005000000000005\t16\t$RECYCLE.BIN\n"
    "0x0001000000000061\t0x0001000000000060\t16\tS-1-5-21-1-2-3-1000\n";

// A raw journal: records at Usn = offset, with a zero-filled region, a version-4 record
// and eight bytes of garbage among them.
class StreamBuilder {
public:
    std::int64_t Add(std::uint64_t file, std::uint64_t parent, std::uint32_t reason,
                     std::u16string name, std::int64_t time,
                     std::uint32_t attributes = ntfs::kAttributeArchive, std::uint16_t major = 2) {
        SimRecord r;
        r.fileReference = file;
        r.parentReference = parent;
        r.reason = reason;
        r.name = std::move(name);
        r.timeStamp = time;
        r.attributes = attributes;
        r.majorVersion = major;
        r.usn = static_cast<std::int64_t>(bytes.size());
        usnAt[time] = r.usn;  // the last record of a moment: the closing one
        const Bytes encoded = r.Encode();
        bytes.insert(bytes.end(), encoded.begin(), encoded.end());
        return time;
    }
    void Zeros(std::size_t count) { bytes.resize(bytes.size() + count, 0); }
    void Garbage() { bytes.insert(bytes.end(), {0x41, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE}); }

    Bytes bytes;
    std::map<std::int64_t, std::int64_t> usnAt;
};

std::uint64_t File(int n) {
    return ntfs::MakeFileReference(0x100 + n, 1);
}

std::string Line(const std::string& slot, const std::string& rest) {
    return "{\"slot\":\"" + slot + "\"," + rest + "}";
}

class ReplayCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        using namespace ntfs;
        constexpr std::uint32_t C = kReasonClose;
        StreamBuilder s;
        tOld = s.Add(File(0), kData, kReasonFileCreate | C, u"old.txt", kStart - 100000000);
        s.Zeros(64);
        s.Add(File(1), kData, kReasonFileCreate, u"a.txt", kStart + 10000);
        tCreate = s.Add(File(1), kData, kReasonFileCreate | kReasonDataExtend | C, u"a.txt",
                        kStart + 10000);
        s.Add(File(1), kData, 0, u"", kStart + 15000, kAttributeArchive, 4);
        s.Garbage();
        s.Add(File(1), kData, kReasonRenameOldName, u"a.txt", kStart + 20000);
        s.Add(File(1), kData, kReasonRenameNewName, u"b.txt", kStart + 20000);
        tRename = s.Add(File(1), kData, kReasonRenameNewName | C, u"b.txt", kStart + 20000);
        tContent = s.Add(File(2), kSub, kReasonDataOverwrite | C, u"c.log", kStart + 30000);
        s.Add(File(1), kData, kReasonRenameOldName, u"b.txt", kStart + 40000);
        s.Add(File(1), kUser, kReasonRenameNewName, u"$RABC123.txt", kStart + 40000);
        tRecycle = s.Add(File(1), kUser, kReasonRenameNewName | C, u"$RABC123.txt", kStart + 40000);
        s.Add(File(3), kData, kReasonRenameOldName, u"m.txt", kStart + 50000);
        tMove = s.Add(File(3), kOther, kReasonRenameNewName | C, u"m.txt", kStart + 50000);
        tDelete = s.Add(File(4), kOther, kReasonFileDelete | C, u"gone.txt", kStart + 60000);
        tAttributes = s.Add(File(5), kData, kReasonBasicInfoChange | C, u"h.txt", kStart + 70000,
                            kAttributeHidden | kAttributeArchive);
        tOther = s.Add(File(6), kData, kReasonObjectIdChange | C, u"l.txt", kStart + 80000);
        tOdd = s.Add(File(7), kData, kReasonFileCreate | C,
                     std::u16string(u"q\"\\名\t") + char16_t(0xD800), kStart + 90000);
        tUnknown = s.Add(File(8), kUnknown, kReasonFileCreate | C, u"u.txt", kStart + 100000);
        tNewDir = s.Add(kNewDir, kData, kReasonFileCreate | C, u"newdir", kStart + 110000,
                        kAttributeDirectory);
        tInNewDir = s.Add(File(9), kNewDir, kReasonFileCreate | C, u"n.txt", kStart + 120000);
        journal = scratch.Write("usnjrnl.bin", s.bytes);
        usnAt = s.usnAt;
        table = scratch.Write("directories.tsv", kTable);
    }

    ToolRun Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--journal", journal, "--directories", table});
        return RunReplay(args, scratch);
    }

    // The keys that end a change's line: its time, attributes and its record's Usn.
    std::string T(std::int64_t time, std::uint32_t attributes = ntfs::kAttributeArchive) const {
        return "\"time\":" + std::to_string(time) +
               ",\"attributes\":" + std::to_string(attributes) +
               ",\"usn\":" + std::to_string(usnAt.at(time));
    }

    const ScratchDir scratch;
    std::map<std::int64_t, std::int64_t> usnAt;
    std::string journal;
    std::string table;
    std::int64_t tOld, tCreate, tRename, tContent, tRecycle, tMove, tDelete, tAttributes, tOther,
        tOdd, tUnknown, tNewDir, tInNewDir;
};

TEST_F(ReplayCommandTest, OneLinePerSlotCallInCallOrder) {
    const ToolRun run = Run({"--since", std::to_string(kStart)});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string recycle = "C:\\\\$RECYCLE.BIN\\\\S-1-5-21-1-2-3-1000\\\\";
    const std::vector<std::string> expected = {
        "{\"slot\":\"OnStarted\"}",
        Line("OnCreated", R"("name":"a.txt","dir":"C:\\data\\",)" + T(tCreate)),
        Line("OnRenamed",
             R"("oldName":"a.txt","newName":"b.txt","dir":"C:\\data\\",)" + T(tRename)),
        Line("OnContentChanged",
             R"("name":"c.log","dir":"C:\\data\\sub\\","reasons":2147483649,)" + T(tContent)),
        Line("OnRecycled", R"("oldName":"b.txt","oldDir":"C:\\data\\","newPath":")" + recycle +
                               "$RABC123.txt\"," + T(tRecycle)),
        Line(
            "OnMoved",
            R"("oldName":"m.txt","newName":"m.txt","oldDir":"C:\\data\\","newDir":"C:\\other\\",)" +
                T(tMove)),
        Line("OnDeleted", R"("name":"gone.txt","dir":"C:\\other\\",)" + T(tDelete)),
        Line("OnAttributesChanged",
             R"("name":"h.txt","dir":"C:\\data\\","reasons":2147516416,)" + T(tAttributes, 0x22)),
        Line("OnOtherChange",
             R"("name":"l.txt","dir":"C:\\data\\","reasons":2148007936,)" + T(tOther)),
        Line("OnCreated",
             "\"name\":\"q\\\"\\\\\xe5\x90\x8d\\t\\ud800\",\"dir\":\"C:\\\\data\\\\\"," + T(tOdd)),
        Line("OnCreated", R"("name":"u.txt","dir":"",)" + T(tUnknown)),
        Line("OnCreated", R"("name":"newdir","dir":"C:\\data\\",)" + T(tNewDir, 0x10)),
        // A directory the table does not hold, named from its create record.
        Line("OnCreated", R"("name":"n.txt","dir":"C:\\data\\newdir\\",)" + T(tInNewDir)),
    };
    EXPECT_EQ(run.Lines(), expected);
    for (const JsonObject& object : ParseLines(run)) {
        EXPECT_EQ(object.count("slot"), 1u);
    }
    // What the device skipped is counted.
    EXPECT_NE(run.err.find("served 19 version-2 records; skipped 1 of other versions, 0 "
                           "malformed, 0 with a Usn out of order, 0 longer than a journal "
                           "read, 1 implausible 8-byte steps; 64 zero bytes"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("placed 5 directories, left out 0"), std::string::npos) << run.err;
}

TEST_F(ReplayCommandTest, TheStartFilterTakesWholeSeconds) {
    // Without --since every record counts; a start within a second counts from its start.
    const ToolRun all = Run({});
    ASSERT_EQ(all.exitCode, 0) << all.err;
    ASSERT_GE(all.Lines().size(), 2u);
    EXPECT_EQ(all.Lines()[1],
              Line("OnCreated", R"("name":"old.txt","dir":"C:\\data\\",)" + T(tOld)));
    const ToolRun late = Run({"--since", std::to_string(tCreate + 5000)});
    ASSERT_EQ(late.exitCode, 0) << late.err;
    EXPECT_EQ(late.Lines().size(), all.Lines().size() - 1);
    const ToolRun hex = Run({"--since", "0x1D7A4861AA03980"});  // a second later
    ASSERT_EQ(hex.exitCode, 0) << hex.err;
    EXPECT_EQ(hex.Lines(), std::vector<std::string>{"{\"slot\":\"OnStarted\"}"});
}

TEST_F(ReplayCommandTest, WatchedDirectoriesFilterByAncestry) {
    const ToolRun run = Run(
        {"--since", std::to_string(kStart), "--watch", "c:\\DATA\\sub", "--watch", "C:\\other\\"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> slots;
    for (JsonObject object : ParseLines(run)) {
        slots.push_back(object["slot"] + " " + object["name"] + object["oldName"]);
    }
    // The move out of the unwatched data lands in the watched other: reported.
    EXPECT_EQ(slots, (std::vector<std::string>{"OnStarted ", "OnContentChanged c.log",
                                               "OnMoved m.txt", "OnDeleted gone.txt"}));

    // The index learns a new directory, and its name, from its create record.
    const ToolRun data = Run({"--since", std::to_string(kStart), "--watch", "C:\\data"});
    ASSERT_EQ(data.exitCode, 0) << data.err;
    const std::vector<JsonObject> objects = ParseLines(data);
    ASSERT_EQ(objects.size(), 11u);
    EXPECT_EQ(objects[4].at("slot"), "OnRecycled");
    EXPECT_EQ(objects[10].at("name"), "n.txt");
    EXPECT_EQ(objects[10].at("dir"), "C:\\data\\newdir\\");
}

TEST_F(ReplayCommandTest, AnotherVolumeLetter) {
    const ToolRun run =
        Run({"--volume", "d", "--since", std::to_string(kStart), "--watch", "D:\\data\\sub"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.Lines(),
              (std::vector<std::string>{
                  "{\"slot\":\"OnStarted\"}",
                  Line("OnContentChanged",
                       R"("name":"c.log","dir":"D:\\data\\sub\\","reasons":2147483649,)" +
                           T(tContent))}));
    // A watched path of another drive, or unknown, refuses the replay: it is not made a
    // replay of every change of the volume.
    for (const char* path : {"D:\\data", "C:\\nowhere"}) {
        const ToolRun other =
            Run({"--since", std::to_string(kStart), "--watch", "C:\\data", "--watch", path});
        EXPECT_EQ(other.exitCode, 1) << path;
        EXPECT_TRUE(other.Lines().empty()) << path;
        EXPECT_NE(other.err.find("a watched path is not a directory of volume C"),
                  std::string::npos)
            << other.err;
    }
}

TEST_F(ReplayCommandTest, HelpGoesToStandardOutput) {
    const ToolRun run = RunReplay({"--help"}, scratch);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.rfind("usage: journal-replay --journal FILE", 0), 0u);
    EXPECT_TRUE(run.err.empty());
}

struct BadCommand {
    const char* what;
    std::vector<std::string> args;  // JOURNAL, TABLE and DIR stand for files of the scratch
    const char* message;            // a part of the one line on standard error
};

TEST_F(ReplayCommandTest, BadArgumentsAndFilesExitWithTwo) {
    const BadCommand commands[] = {
        {"nothing", {}, "--journal FILE is required"},
        {"no_journal", {"--watch", "C:\\"}, "--journal FILE is required"},
        {"value_missing", {"--journal"}, "--journal needs a value"},
        {"empty_file_name", {"--journal", ""}, "--journal takes a file name"},
        {"unknown_option", {"--journal", "JOURNAL", "--verbose"}, "unknown option --verbose"},
        {"stray_argument", {"--journal", "JOURNAL", "extra"}, "unexpected argument extra"},
        {"journal_twice",
         {"--journal", "JOURNAL", "--journal", "JOURNAL"},
         "--journal given twice"},
        {"both_tables",
         {"--journal", "JOURNAL", "--directories", "TABLE", "--mft", "TABLE"},
         "one of --directories and --mft"},
        {"volume_digit",
         {"--journal", "JOURNAL", "--volume", "1"},
         "--volume takes a drive letter"},
        {"volume_two_letters", {"--journal", "JOURNAL", "--volume", "CD"}, "--volume takes"},
        {"volume_twice", {"--journal", "JOURNAL", "--volume", "C", "--volume", "D"}, "given twice"},
        {"empty_watch", {"--journal", "JOURNAL", "--watch", ""}, "--watch takes a path"},
        {"negative_since", {"--journal", "JOURNAL", "--since", "-5"}, "--since takes a FILETIME"},
        {"since_not_a_number", {"--journal", "JOURNAL", "--since", "yesterday"}, "--since takes"},
        {"since_too_large",
         {"--journal", "JOURNAL", "--since", "9223372036854775808"},
         "--since takes"},
        {"bare_hex_prefix", {"--journal", "JOURNAL", "--since", "0x"}, "--since takes"},
        {"missing_journal", {"--journal", "DIR/none.bin"}, "cannot read journal file"},
        {"journal_is_a_folder", {"--journal", "DIR"}, "cannot read journal file"},
        {"missing_table",
         {"--journal", "JOURNAL", "--directories", "DIR/none.tsv"},
         "cannot open directories file"},
        {"malformed_table",
         {"--journal", "JOURNAL", "--directories", "BADTABLE"},
         "bad.tsv line 3: frn and parent must be 0x-prefixed"},
        {"journal_as_mft", {"--journal", "JOURNAL", "--mft", "JOURNAL"}, "cannot read MFT file"},
    };
    const std::string badTable = scratch.Write(
        "bad.tsv", kTable.substr(0, kTable.find("0x0001000000000040")) + "40\t5\t10\tdata\n");
    const std::string dir = std::filesystem::path(journal).parent_path().string();
    for (const BadCommand& command : commands) {
        SCOPED_TRACE(command.what);
        std::vector<std::string> args;
        for (const std::string& arg : command.args) {
            args.push_back(arg == "JOURNAL"            ? journal
                           : arg == "TABLE"            ? table
                           : arg == "BADTABLE"         ? badTable
                           : arg == "DIR"              ? dir
                           : arg.rfind("DIR/", 0) == 0 ? dir + arg.substr(3)
                                                       : arg);
        }
        const ToolRun run = RunReplay(args, scratch);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.out.empty()) << run.out;
        ASSERT_EQ(run.ErrLines().size(), 1u) << run.err;
        EXPECT_EQ(run.err.back(), '\n');
        EXPECT_EQ(run.err.rfind("journal-replay: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(command.message), std::string::npos) << run.err;
    }
}

TEST_F(ReplayCommandTest, AnEmptyJournalGivesOnlyTheStart) {
    const ToolRun run = RunReplay({"--journal", scratch.Write("empty.bin", Bytes{})}, scratch);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.Lines(), std::vector<std::string>{"{\"slot\":\"OnStarted\"}"});
}

TEST_F(ReplayCommandTest, ARecordNoReadCanCarryIsSkippedNotWaitedFor) {
    // A version-2 record of 8 KiB with its name inside: plausible to the scan, but longer
    // than the engine's 4096-byte read, which would fail at its Usn for ever.
    StreamBuilder s;
    s.Add(File(1), kRoot, ntfs::kReasonFileCreate | ntfs::kReasonClose, std::u16string(4000, u'x'),
          kStart);
    const std::int64_t time =
        s.Add(File(2), kRoot, ntfs::kReasonFileCreate | ntfs::kReasonClose, u"after.txt", kStart);
    const ToolRun run = RunReplay({"--journal", scratch.Write("long.bin", s.bytes)}, scratch);
    usnAt = s.usnAt;
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.Lines(),
              (std::vector<std::string>{
                  "{\"slot\":\"OnStarted\"}",
                  Line("OnCreated", R"("name":"after.txt","dir":"C:\\",)" + T(time))}));
    EXPECT_NE(run.err.find("1 longer than a journal read"), std::string::npos) << run.err;
}

}  // namespace
