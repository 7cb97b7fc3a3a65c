// The directory table of a replay: the tab-separated format, a raw MFT extract, and how
// the table is placed in the simulated volume.

#include "DirectoryTable.h"

#include <gtest/gtest.h>

#include "ToolTestSupport.h"
#include "ntfs/Win32Codes.h"
#include "sim/SimVolume.h"

namespace {

using tool_test::ScratchDir;

const std::string kRootLine = "0x0005000000000005\t0x0005000000000005\t16\t\n";

struct TsvCase {
    const char* what;
    std::string text;
    std::string error;  // a part of the message; empty when the table is valid
};

TEST(DirectoryTableTest, TabSeparatedLines) {
    const TsvCase cases[] = {
        {"root_and_two_levels",
         kRootLine + "0x0001000000000040\t0x0005000000000005\t10\tdata\n"
                     "0x0001000000000041\t0x0001000000000040\t12\tsub dir\n",
         ""},
        {"header_crlf_blank_lines_and_utf8",
         "frn\tparent\tattributes\tname\r\n\r\n" + kRootLine +
             "0x0001000000000040\t0x0005000000000005\t0x10\t\xe6\x96\x87\xe4\xbb\xb6\r\n",
         ""},
        {"no_root_line", "0x0001000000000040\t0x0005000000000005\t10\tdata\n", ""},
        {"three_columns", kRootLine + "0x0001000000000040\t0x0005000000000005\tdata\n",
         "line 2: expected 4 tab-separated columns"},
        {"five_columns", "0x0001000000000040\t0x0005000000000005\t10\tda\tta\n",
         "line 1: expected 4"},
        {"frn_without_prefix", "0001000000000040\t0x0005000000000005\t10\tdata\n", "line 1: frn"},
        {"signed_number", "0x-1\t0x0005000000000005\t10\tdata\n", "line 1: frn"},
        {"over_64_bits", "0x10000000000000040\t0x0005000000000005\t10\tdata\n", "line 1: frn"},
        {"attributes_not_hex", "0x0001000000000040\t0x0005000000000005\tdir\tdata\n",
         "line 1: attributes"},
        {"attributes_over_32_bits", "0x0001000000000040\t0x0005000000000005\t100000000\tdata\n",
         "line 1: attributes"},
        {"invalid_utf8", "0x0001000000000040\t0x0005000000000005\t10\tda\xff\n",
         "line 1: the name is not valid UTF-8"},
        {"root_with_a_name", "0x0005000000000005\t0x0005000000000005\t16\troot\n",
         "line 1: only the root"},
        {"another_own_parent", "0x0001000000000040\t0x0001000000000040\t10\t\n",
         "line 1: only the root"},
        {"empty_name", kRootLine + "0x0001000000000040\t0x0005000000000005\t10\t\n",
         "line 2: a directory other than the root needs a name"},
        {"frn_twice",
         "0x0001000000000040\t0x0005000000000005\t10\ta\n"
         "0x0001000000000040\t0x0005000000000005\t10\tb\n",
         "line 2: frn 0x0001000000000040 appears twice"},
    };
    const ScratchDir scratch;
    for (const TsvCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = scratch.Write("table.tsv", c.text);
        DirectoryTable table;
        std::string error;
        const bool loaded = table.LoadTsv(path, error);
        EXPECT_EQ(loaded, c.error.empty()) << error;
        if (!c.error.empty()) {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            EXPECT_EQ(error.find('\n'), std::string::npos);
        }
    }
}

TEST(DirectoryTableTest, ColumnsAreReadAsWritten) {
    const ScratchDir scratch;
    const std::string path = scratch.Write(
        "table.tsv", kRootLine + "0x00AB000000000040\t0x0005000000000005\t12\t\xe6\x96\x87 a\n");
    DirectoryTable table;
    std::string error;
    ASSERT_TRUE(table.LoadTsv(path, error)) << error;
    ASSERT_EQ(table.Entries().size(), 2u);
    const DirectoryTable::Entry& entry = table.Entries()[1];
    EXPECT_EQ(entry.frn, 0x00AB000000000040u);
    EXPECT_EQ(entry.parent, ntfs::kRootFileReference);
    EXPECT_EQ(entry.attributes, 0x12u);
    EXPECT_EQ(entry.name, u"文 a");
}

TEST(DirectoryTableTest, AMissingFileIsAnError) {
    DirectoryTable table;
    std::string error;
    EXPECT_FALSE(table.LoadTsv("no-such-directory/table.tsv", error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
    EXPECT_FALSE(table.LoadMft("no-such-directory/mft.raw", error));
    EXPECT_NE(error.find("cannot read MFT file"), std::string::npos);
}

TEST(DirectoryTableTest, PlacesParentsFirstAndLeavesOutWhatCannotBePlaced) {
    const ScratchDir scratch;
    // Children before their parents; an orphan; the volume's own directories; a name taken
    // twice.
    const std::string path =
        scratch.Write("table.tsv",
                      "0x0001000000000042\t0x0001000000000041\t10\tdeep\n"
                      "0x0001000000000041\t0x0001000000000040\t10\tsub\n"
                      "0x0001000000000040\t0x0005000000000005\t10\tdata\n" +
                          kRootLine +
                          "0x0001000000000050\t0x0001000000000099\t10\torphan\n"
                          "0x000b00000000000b\t0x0005000000000005\t16\t$Extend\n"
                          "0x0001000000000060\t0x000b00000000000b\t16\t$RmMetadata\n"
                          "0x0001000000000070\t0x0005000000000005\t10\tDATA\n");
    DirectoryTable table;
    std::string error;
    ASSERT_TRUE(table.LoadTsv(path, error)) << error;
    SimVolume volume;
    const DirectoryTable::Placement placement = table.PlaceInto(volume);
    EXPECT_EQ(placement.placed, 5u);
    EXPECT_EQ(placement.leftOut, 2u);
    EXPECT_EQ(volume.Lookup(u"\\data\\sub\\deep"), 0x0001000000000042u);
    EXPECT_EQ(volume.PathOf(0x0001000000000042u), u"\\data\\sub\\deep");
    EXPECT_EQ(volume.PathOf(0x0001000000000060u), u"\\$Extend\\$RmMetadata");

    // An unknown reference number has no name, as a directory that is gone.
    std::uint8_t buffer[64] = {};
    EXPECT_EQ(volume.QueryNameById(0x0001000000000050u, buffer, sizeof buffer),
              win32::kStatusObjectNameNotFound);
    EXPECT_EQ(volume.QueryNameById(0x0002000000000042u, buffer, sizeof buffer),
              win32::kStatusObjectNameNotFound);
}

TEST(DirectoryTableTest, ARawMftExtractGivesItsDirectories) {
    const auto mft = tool_test::kJournals / "windows-explorer-session" / "mft.raw";
    if (!std::filesystem::exists(mft)) {
        GTEST_SKIP() << "no real journals beside the source tree";
    }
    DirectoryTable table;
    std::string error;
    ASSERT_TRUE(table.LoadMft(mft.string(), error)) << error;
    std::map<std::uint64_t, DirectoryTable::Entry> byFrn;
    for (const auto& entry : table.Entries()) {
        EXPECT_NE(entry.attributes & ntfs::kAttributeDirectory, 0u);
        byFrn[entry.frn] = entry;
    }
    ASSERT_EQ(byFrn.count(ntfs::kRootFileReference), 1u);
    EXPECT_EQ(byFrn[ntfs::kRootFileReference].name, u"");
    const std::uint64_t bin = ntfs::MakeFileReference(40, 1);
    const std::uint64_t user = ntfs::MakeFileReference(41, 1);
    ASSERT_EQ(byFrn.count(bin), 1u);
    ASSERT_EQ(byFrn.count(user), 1u);
    EXPECT_EQ(byFrn[bin].name, u"$RECYCLE.BIN");
    EXPECT_EQ(byFrn[bin].parent, ntfs::kRootFileReference);
    EXPECT_EQ(byFrn[user].name, u"S-1-5-21-651123593-4170940736-3544194607-1000");
    EXPECT_EQ(byFrn[user].parent, bin);

    // Every directory goes in, the volume's own ones ($Extend and below) too.
    SimVolume volume;
    const DirectoryTable::Placement placement = table.PlaceInto(volume);
    EXPECT_EQ(placement.placed, table.Entries().size() - 1);
    EXPECT_EQ(placement.leftOut, 0u);
    EXPECT_EQ(volume.Lookup(u"\\$Recycle.Bin\\S-1-5-21-651123593-4170940736-3544194607-1000"),
              user);
    EXPECT_EQ(volume.Lookup(u"\\$Extend\\$RmMetadata\\$TxfLog"), ntfs::MakeFileReference(30, 1));
}

TEST(DirectoryTableTest, BytesThatAreNoMftAreRefused) {
    const ScratchDir scratch;
    const std::string path = scratch.Write("mft.raw", std::string(4096, 'x'));
    DirectoryTable table;
    std::string error;
    EXPECT_FALSE(table.LoadMft(path, error));
    EXPECT_NE(error.find("cannot read MFT file"), std::string::npos);
}

}  // namespace
