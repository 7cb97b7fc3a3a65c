// The simulated volume against a journal written by real Windows NTFS while a user
// worked in Explorer: the same reasons in the same order for a create, a rename in
// place and every delete to the recycle bin the journal holds. The journal is read at
// test time; the test skips when the folder of real journals is absent.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>

#include "SimTestSupport.h"
#include "runtime/text/Utf8.h"
#include "sim/SimPlatform.h"
#include "sim/SimVolume.h"

namespace {

using namespace ntfs;

const std::filesystem::path kSession =
    std::filesystem::path(VOL_JOURNALS_DIR) / "windows-explorer-session" / "usnjrnl.bin";

class SimRealJournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ifstream file(kSession, std::ios::binary);
        if (!file) {
            GTEST_SKIP() << "no real journals beside the source tree";
        }
        stream.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        SimVolume loader;
        loader.DeleteJournal();
        loader.CreateJournal();
        // A fresh journal starts at 0, where the extract starts.
        ASSERT_EQ(loader.JournalData()->FirstUsn, 0);
        const JournalStreamLoad load = loader.LoadJournalStream(stream);
        loaded = load.loaded;
        otherVersions = load.scanned.otherVersions;
        real = loader.RecordsSince(0);
    }

    // The records of `reference` from index `first` on, up to and including the first
    // one whose reason is `last`.
    std::vector<SimRecord> Sequence(std::size_t first, std::uint64_t reference,
                                    std::uint32_t last) const {
        std::vector<SimRecord> sequence;
        for (std::size_t i = first; i < real.size(); ++i) {
            if (real[i].fileReference == reference) {
                sequence.push_back(real[i]);
                if (real[i].reason == last) {
                    break;
                }
            }
        }
        return sequence;
    }

    std::size_t Find(const std::function<bool(const SimRecord&)>& matches) const {
        for (std::size_t i = 0; i < real.size(); ++i) {
            if (matches(real[i])) {
                return i;
            }
        }
        return real.size();
    }

    std::vector<std::uint8_t> stream;
    std::size_t loaded = 0;
    std::size_t otherVersions = 0;
    std::vector<SimRecord> real;
};

TEST_F(SimRealJournalTest, TheRawStreamLoadsAsAnEstablishedParserReadsIt) {
    EXPECT_EQ(loaded, 15214u);
    EXPECT_EQ(otherVersions, 22u);
    for (const SimRecord& record : real) {
        ASSERT_EQ(record.majorVersion, 2);
    }
    // Read back through the platform in 4096-byte batches, as the engine reads.
    SimPlatform platform;
    SimVolume& volume = platform.AddDrive(u'C');
    volume.DeleteJournal();
    volume.CreateJournal();
    volume.LoadJournalStream(stream);
    const PlatformHandle handle = platform.OpenVolume(CWString(u"\\\\.\\C:"));
    const std::uint64_t id = volume.JournalData()->UsnJournalID;
    std::size_t read = 0;
    std::int64_t start = 0;
    for (;;) {
        const sim_test::Batch batch = sim_test::ReadJournal(platform, handle, start, id);
        ASSERT_TRUE(batch.ok);
        ASSERT_TRUE(batch.wellFormed);
        if (batch.records.empty()) {
            break;
        }
        for (const SimRecord& record : batch.records) {
            ASSERT_EQ(record.usn, real[read].usn);
            ++read;
        }
        start = batch.next;
    }
    EXPECT_EQ(read, real.size());
    platform.CloseVolume(handle);
}

TEST_F(SimRealJournalTest, CreateAndRenameInPlaceMatch) {
    const std::u16string created = u"New Text Document.txt";
    const std::size_t create = Find(
        [&](const SimRecord& r) { return r.name == created && r.reason == kReasonFileCreate; });
    ASSERT_LT(create, real.size());
    const std::uint64_t file = real[create].fileReference;
    const std::vector<SimRecord> realCreate =
        Sequence(create, file, kReasonFileCreate | kReasonClose);
    const std::size_t rename = Find([&](const SimRecord& r) {
        return r.fileReference == file && r.reason == kReasonRenameOldName;
    });
    ASSERT_LT(rename, real.size());
    const std::vector<SimRecord> realRename =
        Sequence(rename, file, kReasonRenameNewName | kReasonClose);
    ASSERT_EQ(realRename.size(), 3u);

    SimVolume volume;
    const std::uint64_t made = volume.MakeFile(SimVolume::kRoot, created);
    EXPECT_EQ(sim_test::ReasonsOf(volume.RecordsSince(0)), sim_test::ReasonsOf(realCreate));

    const std::int64_t mark = volume.JournalData()->NextUsn;
    ASSERT_TRUE(volume.Rename(made, SimVolume::kRoot, realRename.back().name));
    const std::vector<SimRecord> simRename = volume.RecordsSince(mark);
    EXPECT_EQ(sim_test::ReasonsOf(simRename), sim_test::ReasonsOf(realRename));
    ASSERT_EQ(simRename.size(), realRename.size());
    for (std::size_t i = 0; i < simRename.size(); ++i) {
        EXPECT_EQ(simRename[i].name, realRename[i].name);
        EXPECT_EQ(simRename[i].parentReference, SimVolume::kRoot);
        EXPECT_EQ(realRename[i].parentReference, kRootFileReference);
    }
}

TEST_F(SimRealJournalTest, DirectoryCreateAndRenameMatch) {
    const std::size_t create = Find([](const SimRecord& r) {
        return r.name == u"New folder" && r.reason == kReasonFileCreate;
    });
    ASSERT_LT(create, real.size());
    const std::uint64_t dir = real[create].fileReference;
    const std::vector<SimRecord> realCreate =
        Sequence(create, dir, kReasonFileCreate | kReasonClose);
    const std::vector<SimRecord> realRename =
        Sequence(create + realCreate.size(), dir, kReasonRenameNewName | kReasonClose);

    SimVolume volume;
    const std::uint64_t made = volume.MakeDirectory(SimVolume::kRoot, u"New folder");
    EXPECT_EQ(sim_test::ReasonsOf(volume.RecordsSince(0)), sim_test::ReasonsOf(realCreate));
    const std::int64_t mark = volume.JournalData()->NextUsn;
    volume.Rename(made, SimVolume::kRoot, realRename.back().name);
    EXPECT_EQ(sim_test::ReasonsOf(volume.RecordsSince(mark)), sim_test::ReasonsOf(realRename));
    EXPECT_EQ(volume.RecordsSince(0).front().attributes, realCreate.front().attributes);
}

// One delete to the recycle bin in the real journal: its records from the $I… file's
// create to the item's last close, and the tree below the item as those records show it.
struct RealRecycle {
    std::vector<SimRecord> records;
    SimRecord oldName;
    std::u16string itemName;  // $R…
};

TEST_F(SimRealJournalTest, EveryDeleteToTheRecycleBinMatches) {
    std::vector<RealRecycle> recycles;
    for (std::size_t i = 3; i + 1 < real.size(); ++i) {
        const SimRecord& old = real[i];
        const SimRecord& next = real[i + 1];
        if (old.reason != kReasonRenameOldName || next.fileReference != old.fileReference ||
            next.name.substr(0, 2) != u"$R") {
            continue;
        }
        RealRecycle recycle;
        recycle.oldName = old;
        recycle.itemName = next.name;
        std::size_t j = i - 3;  // the $I… file's three records come first
        for (; j < real.size(); ++j) {
            recycle.records.push_back(real[j]);
            if (real[j].fileReference == old.fileReference &&
                real[j].reason == (kReasonSecurityChange | kReasonClose)) {
                break;
            }
        }
        recycles.push_back(std::move(recycle));
    }
    ASSERT_EQ(recycles.size(), 8u);  // the journal's README counts eight

    for (const RealRecycle& recycle : recycles) {
        const std::string what = ToUtf8(recycle.oldName.name);
        SimVolume volume;
        volume.Recycle(volume.MakeFile(SimVolume::kRoot, u"scratch"));  // the folders exist

        // Rebuild the item and what lies below it, parents first.
        const bool isDirectory = (recycle.oldName.attributes & kAttributeDirectory) != 0;
        const std::uint64_t item =
            isDirectory ? volume.MakeDirectory(SimVolume::kRoot, recycle.oldName.name)
                        : volume.MakeFile(SimVolume::kRoot, recycle.oldName.name, 10);
        std::map<std::uint64_t, std::uint64_t> made{{recycle.oldName.fileReference, item}};
        std::vector<SimRecord> below;
        for (const SimRecord& r : recycle.records) {
            if (r.reason == kReasonSecurityChange &&
                r.fileReference != recycle.oldName.fileReference) {
                below.push_back(r);
            }
        }
        for (bool progress = true; progress;) {
            progress = false;
            for (const SimRecord& r : below) {
                if (made.count(r.fileReference) == 0 && made.count(r.parentReference) != 0) {
                    const std::uint64_t parent = made[r.parentReference];
                    made[r.fileReference] = (r.attributes & kAttributeDirectory) != 0
                                                ? volume.MakeDirectory(parent, r.name)
                                                : volume.MakeFile(parent, r.name, 10);
                    progress = true;
                }
            }
        }
        ASSERT_EQ(made.size(), below.size() + 1) << what;

        const std::int64_t mark = volume.JournalData()->NextUsn;
        const SimRecycled recycled = volume.Recycle(item);
        ASSERT_TRUE(recycled) << what;
        const std::vector<SimRecord> simulated = volume.RecordsSince(mark);
        EXPECT_EQ(sim_test::ReasonsOf(simulated), sim_test::ReasonsOf(recycle.records)) << what;
        ASSERT_EQ(simulated.size(), recycle.records.size()) << what;
        for (std::size_t i = 0; i < simulated.size(); ++i) {
            const SimRecord& mine = simulated[i];
            const SimRecord& theirs = recycle.records[i];
            if (theirs.name.substr(0, 2) == u"$I" || theirs.name.substr(0, 2) == u"$R") {
                // Random six characters, the same extension.
                EXPECT_EQ(mine.name.substr(0, 2), theirs.name.substr(0, 2)) << what;
                EXPECT_EQ(mine.name.size(), theirs.name.size()) << what;
                EXPECT_EQ(mine.name.substr(8), theirs.name.substr(8)) << what;
                EXPECT_EQ(mine.parentReference, recycled.folder) << what;
            } else {
                EXPECT_EQ(mine.name, theirs.name) << what << " #" << i;
            }
        }
        EXPECT_EQ(recycled.name.substr(2), simulated[0].name.substr(2)) << what;
    }
}

}  // namespace
