// The platform calls the engine makes, answered by the simulated machine: drives, volume
// handles, the four change-journal control codes, the name query and file ids.

#include "sim/SimPlatform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "SimTestSupport.h"
#include "runtime/text/Utf8.h"

namespace {

using sim_test::Batch;
using sim_test::Enumerate;
using sim_test::QueryJournal;
using sim_test::ReadJournal;

constexpr std::int64_t kHighestUsn = 0x7FFFFFFFFFFFFFFFLL;

// "file 12 xxx.txt": a distinct name for each number, of a length that varies.
std::u16string Numbered(int i) {
    std::u16string name = u"file ";
    for (const char digit : std::to_string(i)) {
        name += static_cast<char16_t>(digit);
    }
    return name + u" " + std::u16string(static_cast<std::size_t>(i % 7), u'x') + u".txt";
}

class SimPlatformTest : public ::testing::Test {
protected:
    SimPlatformTest() : volume(platform.AddDrive(u'C')) {
        handle = platform.OpenVolume(CWString(u"\\\\.\\C:"));
    }
    ~SimPlatformTest() override { platform.CloseVolume(handle); }

    ntfs::UsnJournalDataV0 Journal() {
        ntfs::UsnJournalDataV0 data{};
        EXPECT_TRUE(QueryJournal(platform, handle, data));
        return data;
    }

    // Every record of the journal, read batch by batch with `outSize` bytes.
    std::vector<SimRecord> ReadAll(std::uint32_t outSize, std::vector<Batch>* batches = nullptr) {
        const ntfs::UsnJournalDataV0 journal = Journal();
        std::vector<SimRecord> records;
        std::int64_t start = 0;
        for (int guard = 0; guard < 100000; ++guard) {
            Batch batch = ReadJournal(platform, handle, start, journal.UsnJournalID, outSize);
            EXPECT_TRUE(batch.ok) << batch.error;
            if (!batch.ok || batch.records.empty()) {
                break;
            }
            records.insert(records.end(), batch.records.begin(), batch.records.end());
            start = batch.next;
            if (batches != nullptr) {
                batches->push_back(std::move(batch));
            }
        }
        return records;
    }

    SimPlatform platform;
    SimVolume& volume;
    PlatformHandle handle = kInvalidPlatformHandle;
};

// ---- Drives

TEST_F(SimPlatformTest, FileSystemNameIsNtfsUnlessSetOtherwiseAndEachVolumeHasItsSerial) {
    VolumeInformation information;
    ASSERT_TRUE(platform.QueryVolumeInformation(CWString(u"c:\\"), information));
    EXPECT_EQ(information.fileSystem, u"NTFS");
    EXPECT_EQ(information.serialNumber, volume.SerialNumber());
    SimVolume& d = platform.AddDrive(u'D');
    EXPECT_NE(d.SerialNumber(), volume.SerialNumber());

    platform.SetFileSystemName(u'C', u"ntfs");
    ASSERT_TRUE(platform.QueryVolumeInformation(CWString(u"C:\\"), information));
    EXPECT_EQ(information.fileSystem, u"ntfs");

    information.fileSystem = CWString(u"unchanged");
    platform.SetFileSystemName(u'c', std::nullopt);
    EXPECT_FALSE(platform.QueryVolumeInformation(CWString(u"C:\\"), information));
    EXPECT_EQ(information.fileSystem, u"unchanged");
    EXPECT_FALSE(platform.QueryVolumeInformation(CWString(u"Q:\\"), information));
    EXPECT_FALSE(platform.QueryVolumeInformation(CWString(u"D:"), information));
}

TEST_F(SimPlatformTest, DriveTypeIsFixedUntilChangedOrRemoved) {
    EXPECT_EQ(platform.QueryDriveType(CWString(u"C:\\")), ntfs::kDriveFixed);
    EXPECT_EQ(platform.QueryDriveType(CWString(u"c:\\")), ntfs::kDriveFixed);
    EXPECT_EQ(platform.QueryDriveType(CWString(u"Q:\\")), ntfs::kDriveNoRootDir);
    EXPECT_EQ(platform.QueryDriveType(CWString(u"C")), ntfs::kDriveNoRootDir);

    platform.SetDriveType(u'C', ntfs::kDriveRemovable);
    EXPECT_EQ(platform.QueryDriveType(CWString(u"C:\\")), ntfs::kDriveRemovable);
    platform.SetDriveType(u'C', ntfs::kDriveFixed);
    volume.SetRemoved(true);
    EXPECT_EQ(platform.QueryDriveType(CWString(u"C:\\")), ntfs::kDriveNoRootDir);
    VolumeInformation information;
    EXPECT_FALSE(platform.QueryVolumeInformation(CWString(u"C:\\"), information));
}

TEST_F(SimPlatformTest, OpenVolumeTakesTheDevicePathOfAKnownDrive) {
    struct Case {
        const char16_t* path;
        bool opens;
    };
    const Case cases[] = {
        {u"\\\\.\\C:", true}, {u"\\\\.\\c:", true},  {u"\\\\.\\D:", false}, {u"\\\\.\\C:\\", false},
        {u"C:", false},       {u"\\\\?\\C:", false}, {u"", false},
    };
    for (const Case& c : cases) {
        const PlatformHandle opened = platform.OpenVolume(CWString(c.path));
        EXPECT_EQ(opened != kInvalidPlatformHandle, c.opens) << ToUtf8(std::u16string_view(c.path));
        if (opened != kInvalidPlatformHandle) {
            EXPECT_NE(opened, handle);
            platform.CloseVolume(opened);
        } else {
            EXPECT_NE(platform.LastError(), 0u);
        }
    }
    EXPECT_EQ(platform.OpenVolumeCount(), 1u);
}

TEST_F(SimPlatformTest, OpenVolumeFailsOnDemandAndOnARemovedVolume) {
    platform.FailVolumeOpens(win32::kErrorAccessDenied);
    EXPECT_EQ(platform.OpenVolume(CWString(u"\\\\.\\C:")), kInvalidPlatformHandle);
    EXPECT_EQ(platform.LastError(), win32::kErrorAccessDenied);
    platform.FailVolumeOpens(0);

    volume.SetRemoved(true);
    EXPECT_EQ(platform.OpenVolume(CWString(u"\\\\.\\C:")), kInvalidPlatformHandle);
    volume.SetRemoved(false);
    const PlatformHandle again = platform.OpenVolume(CWString(u"\\\\.\\C:"));
    EXPECT_NE(again, kInvalidPlatformHandle);
    platform.CloseVolume(again);
}

TEST_F(SimPlatformTest, AClosedHandleFailsEveryLaterRequest) {
    const PlatformHandle second = platform.OpenVolume(CWString(u"\\\\.\\C:"));
    platform.CloseVolume(second);

    std::uint32_t returned = 1;
    ntfs::UsnJournalDataV0 data{};
    EXPECT_FALSE(platform.DeviceIoControl(second, ntfs::kFsctlQueryUsnJournal, nullptr, 0, &data,
                                          sizeof data, returned));
    EXPECT_EQ(platform.LastError(), win32::kErrorInvalidHandle);
    EXPECT_EQ(returned, 0u);
    std::uint8_t name[64];
    EXPECT_EQ(platform.QueryNameById(second, file_access::kReadAttributes, SimVolume::kRoot, name,
                                     sizeof name),
              win32::kStatusInvalidHandle);
    EXPECT_FALSE(platform.DeviceIoControl(kInvalidPlatformHandle, ntfs::kFsctlQueryUsnJournal,
                                          nullptr, 0, &data, sizeof data, returned));

    // The other handle of the same volume is untouched.
    EXPECT_TRUE(QueryJournal(platform, handle, data));
}

TEST_F(SimPlatformTest, ClockAndOpenByIdCallsAreSettable) {
    platform.Clock().SetUnixSeconds(1700000000);
    platform.Clock().AdvanceMilliseconds(999);
    EXPECT_EQ(platform.Clock().UnixSeconds(), 1700000000);
    EXPECT_EQ(volume.Clock().FileTime(), SimClock::FromUnixSeconds(1700000000) + 9990000);

    platform.SetHasOpenByIdCalls(false);
    EXPECT_FALSE(platform.HasOpenByIdCalls());
}

// ---- FSCTL_CREATE_USN_JOURNAL and FSCTL_QUERY_USN_JOURNAL

TEST_F(SimPlatformTest, QueryFillsTheJournalData) {
    const ntfs::UsnJournalDataV0 before = Journal();
    EXPECT_NE(before.UsnJournalID, 0u);
    EXPECT_EQ(before.FirstUsn, 0);
    EXPECT_EQ(before.NextUsn, 0);
    EXPECT_EQ(before.MaximumSize, SimJournal::kDefaultMaximumSize);
    EXPECT_EQ(before.MaxUsn, SimJournal::kMaxUsn);

    volume.MakeFile(SimVolume::kRoot, u"a.txt");
    const ntfs::UsnJournalDataV0 after = Journal();
    EXPECT_EQ(after.UsnJournalID, before.UsnJournalID);
    EXPECT_EQ(after.NextUsn, 2 * SimRecord::LengthFor(5));

    ntfs::UsnJournalDataV0 data{};
    std::uint32_t returned = 0;
    EXPECT_FALSE(platform.DeviceIoControl(handle, ntfs::kFsctlQueryUsnJournal, nullptr, 0, &data,
                                          sizeof data - 1, returned));
    EXPECT_EQ(platform.LastError(), win32::kErrorInsufficientBuffer);

    volume.DeleteJournal();
    EXPECT_FALSE(QueryJournal(platform, handle, data));
    EXPECT_EQ(platform.LastError(), win32::kErrorJournalNotActive);
}

TEST_F(SimPlatformTest, CreateMakesAJournalOnlyWhereThereIsNone) {
    const ntfs::UsnJournalDataV0 first = Journal();
    ASSERT_TRUE(sim_test::CreateJournal(platform, handle));
    EXPECT_EQ(Journal().UsnJournalID, first.UsnJournalID);

    volume.MakeFile(SimVolume::kRoot, u"a.txt");
    const std::int64_t usedUpTo = Journal().NextUsn;
    volume.DeleteJournal();
    ASSERT_TRUE(sim_test::CreateJournal(platform, handle));
    const ntfs::UsnJournalDataV0 second = Journal();
    EXPECT_NE(second.UsnJournalID, first.UsnJournalID);
    // Usn values go on across journal instances.
    EXPECT_GE(second.FirstUsn, usedUpTo);
    EXPECT_EQ(second.LowestValidUsn, second.FirstUsn);
    EXPECT_EQ(second.NextUsn, second.FirstUsn);

    ntfs::CreateUsnJournalData request{};
    std::uint32_t returned = 0;
    EXPECT_FALSE(platform.DeviceIoControl(handle, ntfs::kFsctlCreateUsnJournal, &request,
                                          sizeof request - 1, nullptr, 0, returned));
    EXPECT_EQ(platform.LastError(), win32::kErrorInvalidParameter);
}

TEST_F(SimPlatformTest, CreateOnAnActiveJournalSetsItsSizes) {
    const std::uint64_t id = Journal().UsnJournalID;
    ntfs::CreateUsnJournalData large{1ULL << 30, 64ULL << 20};
    std::uint32_t returned = 0;
    ASSERT_TRUE(platform.DeviceIoControl(handle, ntfs::kFsctlCreateUsnJournal, &large, sizeof large,
                                         nullptr, 0, returned));
    EXPECT_EQ(Journal().MaximumSize, 1ULL << 30);
    EXPECT_EQ(Journal().AllocationDelta, 64ULL << 20);
    // Sizes of 0 are the default ones, as for a new journal: the large one shrinks.
    ASSERT_TRUE(sim_test::CreateJournal(platform, handle));
    EXPECT_EQ(Journal().MaximumSize, SimJournal::kDefaultMaximumSize);
    EXPECT_EQ(Journal().AllocationDelta, SimJournal::kDefaultAllocationDelta);
    EXPECT_EQ(Journal().UsnJournalID, id);
}

// NTFS answers a delete at once and deletes in the background; until it is done every
// request on the journal fails with ERROR_JOURNAL_DELETE_IN_PROGRESS.
TEST_F(SimPlatformTest, ADeletionGoesOnInTheBackground) {
    const ntfs::UsnJournalDataV0 journal = Journal();
    std::uint32_t returned = 0;
    ntfs::DeleteUsnJournalData request{journal.UsnJournalID, ntfs::kUsnDeleteFlagDelete};
    ASSERT_TRUE(platform.DeviceIoControl(handle, ntfs::kFsctlDeleteUsnJournal, &request,
                                         sizeof request, nullptr, 0, returned));
    EXPECT_TRUE(volume.JournalDeletionInProgress());
    EXPECT_FALSE(volume.JournalData().has_value());
    ASSERT_GE(SimVolume::kDeletionRequests, 3);
    ntfs::UsnJournalDataV0 data{};
    EXPECT_FALSE(QueryJournal(platform, handle, data));
    EXPECT_EQ(platform.LastError(), win32::kErrorJournalDeleteInProgress);
    EXPECT_FALSE(sim_test::CreateJournal(platform, handle));
    EXPECT_EQ(platform.LastError(), win32::kErrorJournalDeleteInProgress);
    const Batch read = ReadJournal(platform, handle, 0, journal.UsnJournalID);
    EXPECT_FALSE(read.ok);
    EXPECT_EQ(platform.LastError(), win32::kErrorJournalDeleteInProgress);
    for (int i = 3; i < SimVolume::kDeletionRequests; ++i) {
        EXPECT_FALSE(QueryJournal(platform, handle, data));
    }
    // Done: no journal, until one is created.
    EXPECT_FALSE(volume.JournalDeletionInProgress());
    EXPECT_FALSE(QueryJournal(platform, handle, data));
    EXPECT_EQ(platform.LastError(), win32::kErrorJournalNotActive);
    ASSERT_TRUE(sim_test::CreateJournal(platform, handle));
    EXPECT_NE(Journal().UsnJournalID, journal.UsnJournalID);
}

TEST_F(SimPlatformTest, ADeletionLastsUntilItIsOverWhateverIsAsked) {
    volume.DeleteJournalInBackground();
    std::uint32_t returned = 0;
    const Batch listed = Enumerate(platform, handle, 0);
    EXPECT_FALSE(listed.ok);
    EXPECT_EQ(platform.LastError(), win32::kErrorJournalDeleteInProgress);
    ntfs::DeleteUsnJournalData again{0, ntfs::kUsnDeleteFlagDelete};
    EXPECT_FALSE(platform.DeviceIoControl(handle, ntfs::kFsctlDeleteUsnJournal, &again,
                                          sizeof again, nullptr, 0, returned));
    EXPECT_EQ(platform.LastError(), win32::kErrorJournalDeleteInProgress);
    ntfs::UsnJournalDataV0 data{};
    for (int i = 0; i < 50; ++i) {
        EXPECT_FALSE(QueryJournal(platform, handle, data));
    }
    EXPECT_EQ(platform.LastError(), win32::kErrorJournalDeleteInProgress);
    // A request to be told when the deletion is over returns once it is.
    ntfs::DeleteUsnJournalData notify{0, ntfs::kUsnDeleteFlagNotify};
    EXPECT_TRUE(platform.DeviceIoControl(handle, ntfs::kFsctlDeleteUsnJournal, &notify,
                                         sizeof notify, nullptr, 0, returned));
    EXPECT_FALSE(volume.JournalDeletionInProgress());
    EXPECT_FALSE(QueryJournal(platform, handle, data));
    EXPECT_EQ(platform.LastError(), win32::kErrorJournalNotActive);
}

TEST_F(SimPlatformTest, DeleteRequestNeedsTheCurrentIdentifier) {
    const ntfs::UsnJournalDataV0 journal = Journal();
    std::uint32_t returned = 0;
    ntfs::DeleteUsnJournalData notify{journal.UsnJournalID + 1, ntfs::kUsnDeleteFlagNotify};
    EXPECT_TRUE(platform.DeviceIoControl(handle, ntfs::kFsctlDeleteUsnJournal, &notify,
                                         sizeof notify, nullptr, 0, returned));
    ntfs::DeleteUsnJournalData none{journal.UsnJournalID, 0};
    EXPECT_FALSE(platform.DeviceIoControl(handle, ntfs::kFsctlDeleteUsnJournal, &none, sizeof none,
                                          nullptr, 0, returned));
    EXPECT_TRUE(volume.JournalData().has_value());
    ntfs::DeleteUsnJournalData wrong{journal.UsnJournalID + 1, ntfs::kUsnDeleteFlagDelete};
    EXPECT_FALSE(platform.DeviceIoControl(handle, ntfs::kFsctlDeleteUsnJournal, &wrong,
                                          sizeof wrong, nullptr, 0, returned));
    ntfs::DeleteUsnJournalData right{journal.UsnJournalID, ntfs::kUsnDeleteFlagDelete};
    EXPECT_TRUE(platform.DeviceIoControl(handle, ntfs::kFsctlDeleteUsnJournal, &right, sizeof right,
                                         nullptr, 0, returned));
    EXPECT_FALSE(volume.JournalData().has_value());
}

// ---- FSCTL_READ_USN_JOURNAL

TEST_F(SimPlatformTest, ReadReturnsTheNextUsnThenWholeRecords) {
    const std::uint64_t file = volume.MakeFile(SimVolume::kRoot, u"a.txt", 10);
    const ntfs::UsnJournalDataV0 journal = Journal();
    const Batch batch = ReadJournal(platform, handle, 0, journal.UsnJournalID);
    ASSERT_TRUE(batch.ok);
    ASSERT_TRUE(batch.wellFormed);
    ASSERT_EQ(batch.records.size(), 3u);
    EXPECT_EQ(batch.next, journal.NextUsn);
    EXPECT_EQ(batch.returned, 8 + 3 * SimRecord::LengthFor(5));
    std::int64_t usn = 0;
    for (const SimRecord& record : batch.records) {
        EXPECT_EQ(record.usn, usn);
        EXPECT_EQ(record.fileReference, file);
        EXPECT_EQ(record.parentReference, SimVolume::kRoot);
        EXPECT_EQ(record.name, u"a.txt");
        EXPECT_EQ(record.attributes, ntfs::kAttributeArchive);
        EXPECT_EQ(record.timeStamp, platform.Clock().FileTime());
        usn += SimRecord::LengthFor(5);
    }
}

TEST_F(SimPlatformTest, ReadWithNothingNewReturnsOnlyTheNextUsn) {
    volume.MakeFile(SimVolume::kRoot, u"a.txt");
    const ntfs::UsnJournalDataV0 journal = Journal();
    const Batch batch = ReadJournal(platform, handle, journal.NextUsn, journal.UsnJournalID);
    ASSERT_TRUE(batch.ok);
    EXPECT_EQ(batch.returned, 8u);
    EXPECT_EQ(batch.next, journal.NextUsn);

    volume.DeleteJournal();
    volume.CreateJournal();
    const ntfs::UsnJournalDataV0 empty = Journal();
    const Batch fresh = ReadJournal(platform, handle, 0, empty.UsnJournalID);
    ASSERT_TRUE(fresh.ok);
    EXPECT_EQ(fresh.returned, 8u);
    EXPECT_EQ(fresh.next, empty.NextUsn);
}

// Reads of every size walk the same records, batch after batch, each batch holding
// only whole records and as many as fit.
TEST_F(SimPlatformTest, SmallBuffersGetWholeRecordsInEveryBatch) {
    for (int i = 0; i < 40; ++i) {
        ASSERT_NE(volume.MakeFile(SimVolume::kRoot, Numbered(i), 5), 0u);
    }
    const std::vector<SimRecord> expected = volume.RecordsSince(0);
    ASSERT_EQ(expected.size(), 120u);
    std::uint32_t longest = 0;
    for (const SimRecord& record : expected) {
        longest = std::max(longest, SimRecord::LengthFor(record.name.size()));
    }
    for (const std::uint32_t outSize : {8 + longest, 8 + longest + 7, 200u, 1000u, 4096u}) {
        std::vector<Batch> batches;
        const std::vector<SimRecord> read = ReadAll(outSize, &batches);
        ASSERT_EQ(read.size(), expected.size()) << outSize;
        for (std::size_t i = 0; i < read.size(); ++i) {
            EXPECT_EQ(read[i].usn, expected[i].usn);
        }
        for (std::size_t b = 0; b + 1 < batches.size(); ++b) {
            EXPECT_TRUE(batches[b].wellFormed);
            EXPECT_LE(batches[b].returned, outSize);
            // The record after the batch would not have fitted.
            const SimRecord& following = batches[b + 1].records.front();
            EXPECT_EQ(batches[b].next, following.usn);
            EXPECT_GT(batches[b].returned + SimRecord::LengthFor(following.name.size()), outSize);
        }
    }
}

TEST_F(SimPlatformTest, ReadFiltersByReasonMaskAndCloseOnly) {
    const std::uint64_t a = volume.MakeFile(SimVolume::kRoot, u"a.txt", 10);
    volume.Rename(a, SimVolume::kRoot, u"b.txt");
    const ntfs::UsnJournalDataV0 journal = Journal();

    const Batch closes =
        ReadJournal(platform, handle, 0, journal.UsnJournalID, 4096, 0xFFFFFFFFu, 1);
    ASSERT_TRUE(closes.ok);
    ASSERT_EQ(closes.records.size(), 2u);
    for (const SimRecord& record : closes.records) {
        EXPECT_NE(record.reason & ntfs::kReasonClose, 0u);
    }
    const Batch renames = ReadJournal(platform, handle, 0, journal.UsnJournalID, 4096,
                                      ntfs::kReasonRenameOldName | ntfs::kReasonRenameNewName);
    ASSERT_TRUE(renames.ok);
    EXPECT_EQ(sim_test::ReasonsOf(renames.records),
              (std::vector<std::uint32_t>{ntfs::kReasonRenameOldName, ntfs::kReasonRenameNewName,
                                          ntfs::kReasonRenameNewName | ntfs::kReasonClose}));
    EXPECT_EQ(renames.next, journal.NextUsn);
}

struct ReadFailure {
    const char* name;
    void (*arrange)(SimVolume& volume);
    std::int64_t (*startUsn)(const ntfs::UsnJournalDataV0& journal);
    std::uint64_t idOffset;
    std::uint32_t inSize;
    std::uint32_t outSize;
    std::uint32_t error;
};

TEST_F(SimPlatformTest, ReadFailuresHaveTheirErrorCodes) {
    const auto nothing = [](SimVolume&) {};
    const auto fromZero = [](const ntfs::UsnJournalDataV0&) -> std::int64_t { return 0; };
    const auto fromFirst = [](const ntfs::UsnJournalDataV0& j) { return j.FirstUsn; };
    const ReadFailure cases[] = {
        {"below FirstUsn after a wrap", [](SimVolume& v) { v.DropRecordsBefore(200); },
         [](const ntfs::UsnJournalDataV0& j) { return j.FirstUsn - 8; }, 0, 40, 4096,
         win32::kErrorJournalEntryDeleted},
        {"past NextUsn", nothing, [](const ntfs::UsnJournalDataV0& j) { return j.NextUsn + 8; }, 0,
         40, 4096, win32::kErrorInvalidParameter},
        {"another journal", nothing, fromZero, 1, 40, 4096, win32::kErrorInvalidParameter},
        {"a recreated journal", [](SimVolume& v) { v.RecreateJournal(); }, fromZero, 0, 40, 4096,
         win32::kErrorInvalidParameter},
        {"a deleted journal", [](SimVolume& v) { v.DeleteJournal(); }, fromZero, 0, 40, 4096,
         win32::kErrorJournalNotActive},
        {"output smaller than the prefix", nothing, fromZero, 0, 40, 7,
         win32::kErrorInsufficientBuffer},
        {"output smaller than the first record", nothing, fromFirst, 0, 40, 8 + 80 - 1,
         win32::kErrorInsufficientBuffer},
        {"short input", nothing, fromZero, 0, 39, 4096, win32::kErrorInvalidParameter},
        {"removed volume", [](SimVolume& v) { v.SetRemoved(true); }, fromZero, 0, 40, 4096,
         win32::kErrorNotReady},
    };
    for (const ReadFailure& c : cases) {
        SimPlatform machine;
        SimVolume& v = machine.AddDrive(u'C');
        for (int i = 0; i < 5; ++i) {
            v.MakeFile(SimVolume::kRoot, u"name" +
                                             std::u16string(1, static_cast<char16_t>(u'0' + i)) +
                                             u".txt");  // 80 bytes
        }
        const PlatformHandle h = machine.OpenVolume(CWString(u"\\\\.\\C:"));
        const ntfs::UsnJournalDataV0 before = *v.JournalData();
        c.arrange(v);
        const ntfs::UsnJournalDataV0 journal = v.JournalData().value_or(before);
        ntfs::ReadUsnJournalDataV0 request{};
        request.StartUsn = c.startUsn(journal);
        request.ReasonMask = 0xFFFFFFFFu;
        request.UsnJournalID = before.UsnJournalID + c.idOffset;
        std::vector<std::uint8_t> out(4096);
        std::uint32_t returned = 99;
        EXPECT_FALSE(machine.DeviceIoControl(h, ntfs::kFsctlReadUsnJournal, &request, c.inSize,
                                             out.data(), c.outSize, returned))
            << c.name;
        EXPECT_EQ(machine.LastError(), c.error) << c.name;
        EXPECT_EQ(returned, 0u) << c.name;
        machine.CloseVolume(h);
    }
}

TEST_F(SimPlatformTest, StartUsnZeroReadsFromTheFirstRecordKept) {
    for (int i = 0; i < 10; ++i) {
        volume.MakeFile(SimVolume::kRoot, Numbered(i));
    }
    const std::vector<SimRecord> all = volume.RecordsSince(0);
    volume.DropRecordsBefore(all[6].usn);
    const ntfs::UsnJournalDataV0 journal = Journal();
    EXPECT_EQ(journal.FirstUsn, all[6].usn);
    const Batch batch = ReadJournal(platform, handle, 0, journal.UsnJournalID);
    ASSERT_TRUE(batch.ok);
    ASSERT_FALSE(batch.records.empty());
    EXPECT_EQ(batch.records.front().usn, all[6].usn);
    EXPECT_EQ(batch.records.size(), all.size() - 6);
}

// ---- FSCTL_ENUM_USN_DATA

TEST_F(SimPlatformTest, EnumerationListsInUseEntriesInRecordOrder) {
    const std::uint64_t data = volume.MakeDirectory(SimVolume::kRoot, u"data");
    const std::uint64_t sub = volume.MakeDirectory(data, u"sub");
    const std::uint64_t file = volume.MakeFile(sub, u"f.txt", 3);
    const std::uint64_t old = volume.AddExisting(SimVolume::kRoot, u"old.txt");

    const Batch batch = Enumerate(platform, handle, 0);
    ASSERT_TRUE(batch.ok);
    ASSERT_TRUE(batch.wellFormed);
    ASSERT_EQ(batch.records.size(), 4u);  // not the root, nor the volume's own files
    const std::uint64_t order[] = {data, sub, file, old};
    for (std::size_t i = 0; i < 4; ++i) {
        const SimRecord& record = batch.records[i];
        EXPECT_EQ(record.fileReference, order[i]);
        EXPECT_EQ(record.reason, 0u);
        EXPECT_EQ(record.timeStamp, 0);
        EXPECT_EQ(record.usn, volume.Info(order[i])->lastUsn);
    }
    EXPECT_EQ(batch.records[1].parentReference, data);
    EXPECT_EQ(batch.records[1].name, u"sub");
    EXPECT_EQ(batch.records[1].attributes, ntfs::kAttributeDirectory);
    EXPECT_EQ(batch.records[3].usn, 0);  // no record was ever written for it
    EXPECT_EQ(batch.next, (old & 0xFFFFFFFFFFFFULL) + 1);

    const Batch end = Enumerate(platform, handle, static_cast<std::uint64_t>(batch.next));
    EXPECT_FALSE(end.ok);
    EXPECT_EQ(platform.LastError(), win32::kErrorHandleEof);
}

TEST_F(SimPlatformTest, EnumerationPagesThroughSmallBuffersAndEndsWithEof) {
    std::vector<std::uint64_t> created;
    for (int i = 0; i < 50; ++i) {
        created.push_back(volume.MakeDirectory(SimVolume::kRoot, Numbered(i)));
    }
    std::vector<std::uint64_t> seen;
    std::uint64_t start = 0;
    int calls = 0;
    for (;;) {
        const Batch batch = Enumerate(platform, handle, start, kHighestUsn, 300);
        if (!batch.ok) {
            EXPECT_EQ(platform.LastError(), win32::kErrorHandleEof);
            break;
        }
        ++calls;
        EXPECT_LE(batch.returned, 300u);
        for (const SimRecord& record : batch.records) {
            seen.push_back(record.fileReference);
        }
        start = static_cast<std::uint64_t>(batch.next);
    }
    EXPECT_EQ(seen, created);
    EXPECT_GT(calls, 10);
}

TEST_F(SimPlatformTest, EnumerationKeepsToTheUsnRange) {
    const std::uint64_t early = volume.MakeFile(SimVolume::kRoot, u"early.txt");
    const std::int64_t between = volume.JournalData()->NextUsn;
    const std::uint64_t late = volume.MakeFile(SimVolume::kRoot, u"late.txt");
    const std::uint64_t untouched = volume.AddExisting(SimVolume::kRoot, u"untouched.txt");

    const Batch low = Enumerate(platform, handle, 0, between - 1);
    ASSERT_TRUE(low.ok);
    ASSERT_EQ(low.records.size(), 2u);
    EXPECT_EQ(low.records[0].fileReference, early);
    EXPECT_EQ(low.records[1].fileReference, untouched);

    const Batch high = Enumerate(platform, handle, 0, kHighestUsn, 10240, between);
    ASSERT_TRUE(high.ok);
    ASSERT_EQ(high.records.size(), 1u);
    EXPECT_EQ(high.records[0].fileReference, late);
}

TEST_F(SimPlatformTest, EnumerationFailures) {
    volume.MakeFile(SimVolume::kRoot, u"a.txt");
    EXPECT_FALSE(Enumerate(platform, handle, 0, kHighestUsn, 7).ok);
    EXPECT_EQ(platform.LastError(), win32::kErrorInsufficientBuffer);
    EXPECT_FALSE(Enumerate(platform, handle, 0, kHighestUsn, 8 + 71).ok);
    EXPECT_EQ(platform.LastError(), win32::kErrorInsufficientBuffer);
    EXPECT_TRUE(Enumerate(platform, handle, 0, kHighestUsn, 8 + 72).ok);

    ntfs::MftEnumDataV0 request{0, 0, kHighestUsn};
    std::uint8_t out[512];
    std::uint32_t returned = 0;
    EXPECT_FALSE(platform.DeviceIoControl(handle, ntfs::kFsctlEnumUsnData, &request,
                                          sizeof request - 1, out, sizeof out, returned));
    EXPECT_EQ(platform.LastError(), win32::kErrorInvalidParameter);

    volume.DeleteJournal();
    EXPECT_FALSE(Enumerate(platform, handle, 0).ok);
    EXPECT_EQ(platform.LastError(), win32::kErrorJournalNotActive);
}

TEST_F(SimPlatformTest, UnknownControlCodeIsAnInvalidFunction) {
    std::uint32_t returned = 0;
    EXPECT_FALSE(platform.DeviceIoControl(handle, 0x00090028, nullptr, 0, nullptr, 0, returned));
    EXPECT_EQ(platform.LastError(), win32::kErrorInvalidFunction);
}

// ---- Name query and file ids

struct NameAnswer {
    std::int32_t status;
    std::uint32_t length;  // FileNameLength
    std::u16string name;   // what was written
};

NameAnswer QueryName(SimPlatform& platform, PlatformHandle handle, std::uint64_t id,
                     std::uint32_t size,
                     std::uint32_t desiredAccess = file_access::kReadAttributes) {
    std::vector<std::uint8_t> buffer(size + 8, 0);
    NameAnswer answer{
        platform.QueryNameById(handle, desiredAccess, id, buffer.data(), size), 0, {}};
    if (answer.status == win32::kStatusSuccess || answer.status == win32::kStatusBufferOverflow) {
        std::memcpy(&answer.length, buffer.data(), 4);
        const std::uint32_t written = std::min(answer.length, size - 4) / 2;
        answer.name.resize(written);
        std::memcpy(answer.name.data(), buffer.data() + 4, written * 2);
    }
    return answer;
}

TEST_F(SimPlatformTest, NameQueryAnswersThePathFromTheRoot) {
    const std::uint64_t data = volume.MakeDirectory(SimVolume::kRoot, u"Data");
    const std::uint64_t sub = volume.MakeDirectory(data, u"子目录");

    const NameAnswer root = QueryName(platform, handle, SimVolume::kRoot, 2080);
    EXPECT_EQ(root.status, win32::kStatusSuccess);
    EXPECT_EQ(root.length, 2u);
    EXPECT_EQ(root.name, u"\\");

    const NameAnswer deep = QueryName(platform, handle, sub, 2080);
    EXPECT_EQ(deep.status, win32::kStatusSuccess);
    EXPECT_EQ(deep.name, u"\\Data\\子目录");
    EXPECT_EQ(deep.length, deep.name.size() * 2);

    const NameAnswer cut = QueryName(platform, handle, sub, 4 + 6);
    EXPECT_EQ(cut.status, win32::kStatusBufferOverflow);
    EXPECT_EQ(cut.length, deep.length);
    EXPECT_EQ(cut.name, u"\\Da");

    EXPECT_EQ(QueryName(platform, handle, sub, 3).status, win32::kStatusInfoLengthMismatch);
}

TEST_F(SimPlatformTest, NameQueryRefusesUnknownAndStaleIds) {
    const std::uint64_t gone = volume.MakeDirectory(SimVolume::kRoot, u"gone");
    volume.Delete(gone);
    const std::uint64_t reused = volume.MakeDirectory(SimVolume::kRoot, u"new");
    ASSERT_EQ(reused & 0xFFFFFFFFFFFFULL, gone & 0xFFFFFFFFFFFFULL);

    EXPECT_EQ(QueryName(platform, handle, gone, 2080).status, win32::kStatusObjectNameNotFound);
    EXPECT_EQ(QueryName(platform, handle, reused, 2080).name, u"\\new");
    EXPECT_EQ(QueryName(platform, handle, ntfs::MakeFileReference(99999, 1), 2080).status,
              win32::kStatusObjectNameNotFound);
    EXPECT_EQ(QueryName(platform, handle, 0, 2080).status, win32::kStatusObjectNameNotFound);
}

// A directory whose access rules deny listing it: an open that asks for that right (as
// GENERIC_READ does) is refused, one that asks only to read attributes is not.
TEST_F(SimPlatformTest, AnOpenByIdAskingForADeniedRightIsRefused) {
    const std::uint64_t data = volume.MakeDirectory(SimVolume::kRoot, u"Data");
    volume.DenyAccess(data, file_access::kListDirectory);
    EXPECT_EQ(QueryName(platform, handle, data, 2080, file_access::kGenericRead).status,
              win32::kStatusAccessDenied);
    EXPECT_EQ(QueryName(platform, handle, data, 2080, file_access::kListDirectory).status,
              win32::kStatusAccessDenied);
    EXPECT_EQ(QueryName(platform, handle, data, 2080, file_access::kReadAttributes).name,
              u"\\Data");
    EXPECT_EQ(QueryName(platform, handle, data, 2080, 0).name, u"\\Data");

    volume.DenyAccess(data, file_access::kReadAttributes);
    EXPECT_EQ(QueryName(platform, handle, data, 2080, file_access::kReadAttributes).status,
              win32::kStatusAccessDenied);
    // The rules belong to that directory, not to its record number used again.
    volume.Delete(data);
    const std::uint64_t reused = volume.MakeDirectory(SimVolume::kRoot, u"Again");
    ASSERT_EQ(reused & 0xFFFFFFFFFFFFULL, data & 0xFFFFFFFFFFFFULL);
    EXPECT_EQ(QueryName(platform, handle, reused, 2080, file_access::kGenericRead).name,
              u"\\Again");
}

TEST_F(SimPlatformTest, FilesAreIdentifiedByTheirFinalPathVolumeAndId) {
    const std::uint64_t data = volume.MakeDirectory(SimVolume::kRoot, u"Data");
    const std::uint64_t sub = volume.MakeDirectory(data, u"Sub");
    const std::uint64_t file = volume.MakeFile(sub, u"a.txt");
    platform.SetCurrentDirectory(u"C:\\Data");
    struct Case {
        const char16_t* path;
        std::uint64_t id;  // 0: the open fails with `error`
        const char16_t* finalPath;
        std::uint32_t error;
    };
    const Case cases[] = {
        {u"C:\\", SimVolume::kRoot, u"\\\\?\\C:\\", 0},
        {u"c:\\", SimVolume::kRoot, u"\\\\?\\C:\\", 0},
        {u"C:\\Data\\Sub\\", sub, u"\\\\?\\C:\\Data\\Sub", 0},
        {u"C:\\data\\SUB", sub, u"\\\\?\\C:\\Data\\Sub", 0},
        {u"c:/data/sub/", sub, u"\\\\?\\C:\\Data\\Sub", 0},
        {u"C:\\Data\\Sub\\a.txt", file, u"\\\\?\\C:\\Data\\Sub\\a.txt", 0},
        // Relative paths start at the current directory.
        {u"C:", data, u"\\\\?\\C:\\Data", 0},
        {u"Sub", sub, u"\\\\?\\C:\\Data\\Sub", 0},
        {u"\\Data", data, u"\\\\?\\C:\\Data", 0},
        {u"\\\\?\\C:\\Data\\Sub", sub, u"\\\\?\\C:\\Data\\Sub", 0},
        {u"C:\\Data\\Missing", 0, u"", win32::kErrorFileNotFound},
        {u"C:\\Missing\\Sub", 0, u"", win32::kErrorPathNotFound},
        {u"C:\\Data\\Sub\\a.txt\\x", 0, u"", win32::kErrorPathNotFound},
        {u"D:\\Data", 0, u"", win32::kErrorPathNotFound},
        {u"", 0, u"", win32::kErrorPathNotFound},
        // The "\\?\\" form is taken literally: no "..", no "/", no doubled separator.
        {u"\\\\?\\C:\\Data\\..\\Data", 0, u"", win32::kErrorInvalidName},
        {u"\\\\?\\C:/Data", 0, u"", win32::kErrorPathNotFound},
        {u"\\\\?\\C:\\\\Data", 0, u"", win32::kErrorInvalidName},
    };
    for (const Case& c : cases) {
        const CWString path(c.path);
        FileIdentity identity;
        EXPECT_EQ(platform.IdentifyFile(path, identity), c.id != 0) << ToUtf8(path);
        EXPECT_EQ(identity.fileId, c.id) << ToUtf8(path);
        EXPECT_EQ(identity.finalPath, c.finalPath) << ToUtf8(path);
        EXPECT_EQ(platform.LastError(), c.error) << ToUtf8(path);
        EXPECT_EQ(identity.volumeSerial, c.id != 0 ? volume.SerialNumber() : 0) << ToUtf8(path);
    }
    FileIdentity directory;
    ASSERT_TRUE(platform.IdentifyFile(CWString(u"C:\\Data"), directory));
    EXPECT_EQ(directory.attributes & ntfs::kAttributeDirectory, ntfs::kAttributeDirectory);
    volume.SetRemoved(true);
    EXPECT_FALSE(platform.IdentifyFile(CWString(u"C:\\Data"), directory));
}

// As on Windows without the long path setting: a path of MAX_PATH units or more opens only
// in its "\\?\\" form.
TEST_F(SimPlatformTest, ALongPathOpensOnlyInItsLongForm) {
    const std::u16string name(250, u'n');
    const std::uint64_t deep = volume.MakeDirectories(u"\\" + name + u"\\" + name);
    const std::u16string path = u"C:\\" + name + u"\\" + name;
    FileIdentity identity;
    EXPECT_FALSE(platform.IdentifyFile(CWString(path), identity));
    EXPECT_EQ(platform.LastError(), win32::kErrorFilenameExcedRange);
    ASSERT_TRUE(platform.IdentifyFile(CWString(u"\\\\?\\" + path), identity));
    EXPECT_EQ(identity.fileId, deep);
    EXPECT_EQ(identity.finalPath.View(), u"\\\\?\\" + path);
    EXPECT_EQ(platform.FullPathName(CWString(path)).View(), path);
}

// Junctions, symbolic links, mounted folders and subst drives lead an open to where they
// point; the final path names the volume by its letter, or by the folder it is mounted in
// when it has none; each volume tells its own serial number.
TEST_F(SimPlatformTest, OpensFollowLinksMountedFoldersAndSubstDrivesToTheFinalDirectory) {
    SimVolume& d = platform.AddDrive(u'D');
    const std::uint64_t x = d.MakeDirectories(u"\\x\\y");
    const auto unlettered = std::make_shared<SimVolume>(platform.SharedClock(), 99);
    const std::uint64_t inside = unlettered->MakeDirectory(SimVolume::kRoot, u"inside");
    const std::uint64_t data = volume.MakeDirectories(u"\\data\\sub");
    for (const char16_t* folder :
         {u"\\toD", u"\\toData", u"\\rel", u"\\mnt\\d", u"\\mnt\\none", u"\\loop"}) {
        volume.MakeDirectories(folder);
    }
    ASSERT_TRUE(platform.AddLink(u"C:\\toD", u"D:\\x"));
    ASSERT_TRUE(platform.AddLink(u"C:\\toData", u"C:\\data"));
    ASSERT_TRUE(platform.AddLink(u"C:\\rel", u"..\\data\\sub"));
    ASSERT_TRUE(platform.MountVolume(u"C:\\mnt\\d", platform.Drive(u'D')));
    ASSERT_TRUE(platform.MountVolume(u"C:\\mnt\\none", unlettered));
    ASSERT_TRUE(platform.AddLink(u"C:\\loop", u"C:\\loop"));
    platform.AddSubstDrive(u'S', u"C:\\data");
    EXPECT_FALSE(platform.AddLink(u"C:\\missing", u"D:\\x"));
    EXPECT_FALSE(platform.MountVolume(u"C:\\data\\none", unlettered));

    struct Case {
        const char16_t* path;
        const char16_t* finalPath;
        const SimVolume* volume;
        std::uint64_t id;
    };
    const Case cases[] = {
        {u"C:\\toD", u"\\\\?\\D:\\x", &d, d.Lookup(u"\\x")},
        {u"C:\\toD\\y", u"\\\\?\\D:\\x\\y", &d, x},
        {u"C:\\toData\\sub", u"\\\\?\\C:\\data\\sub", &volume, data},
        {u"c:\\REL", u"\\\\?\\C:\\data\\sub", &volume, data},
        {u"C:\\mnt\\d\\x\\y", u"\\\\?\\D:\\x\\y", &d, x},
        {u"C:\\mnt\\d", u"\\\\?\\D:\\", &d, SimVolume::kRoot},
        {u"C:\\mnt\\none\\inside", u"\\\\?\\C:\\mnt\\none\\inside", unlettered.get(), inside},
        {u"S:\\sub", u"\\\\?\\C:\\data\\sub", &volume, data},
        {u"S:\\", u"\\\\?\\C:\\data", &volume, volume.Lookup(u"\\data")},
    };
    for (const Case& c : cases) {
        FileIdentity identity;
        ASSERT_TRUE(platform.IdentifyFile(CWString(c.path), identity)) << ToUtf8(c.path);
        EXPECT_EQ(identity.finalPath, c.finalPath) << ToUtf8(c.path);
        EXPECT_EQ(identity.volumeSerial, c.volume->SerialNumber()) << ToUtf8(c.path);
        EXPECT_EQ(identity.fileId, c.id) << ToUtf8(c.path);
    }
    FileIdentity identity;
    EXPECT_FALSE(platform.IdentifyFile(CWString(u"C:\\loop\\x"), identity));
    EXPECT_EQ(platform.LastError(), win32::kErrorCantResolveFilename);

    // A subst drive has the type and volume of its folder's drive, but no volume device.
    EXPECT_EQ(platform.QueryDriveType(CWString(u"S:\\")), ntfs::kDriveFixed);
    VolumeInformation information;
    ASSERT_TRUE(platform.QueryVolumeInformation(CWString(u"S:\\"), information));
    EXPECT_EQ(information.serialNumber, volume.SerialNumber());
    EXPECT_EQ(platform.OpenVolume(CWString(u"\\\\.\\S:")), kInvalidPlatformHandle);
}

// ---- Faults

TEST_F(SimPlatformTest, FailNextRequestsOfOneCode) {
    const ntfs::UsnJournalDataV0 journal = Journal();
    volume.FailNextRequests(2, ntfs::kFsctlReadUsnJournal, win32::kErrorJournalDeleteInProgress);
    ntfs::UsnJournalDataV0 data{};
    EXPECT_TRUE(QueryJournal(platform, handle, data));
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(ReadJournal(platform, handle, 0, journal.UsnJournalID).ok);
        EXPECT_EQ(platform.LastError(), win32::kErrorJournalDeleteInProgress);
    }
    EXPECT_TRUE(ReadJournal(platform, handle, 0, journal.UsnJournalID).ok);

    volume.FailNextRequests(1);
    EXPECT_FALSE(QueryJournal(platform, handle, data));
    EXPECT_EQ(platform.LastError(), win32::kErrorInvalidFunction);
    EXPECT_TRUE(QueryJournal(platform, handle, data));
}

TEST_F(SimPlatformTest, RequestHookAndCountersSeeEveryRequest) {
    std::vector<std::uint32_t> codes;
    volume.SetRequestHook([&codes](std::uint32_t code) { codes.push_back(code); });
    const ntfs::UsnJournalDataV0 journal = Journal();
    ReadJournal(platform, handle, 0, journal.UsnJournalID);
    ReadJournal(platform, handle, 0, journal.UsnJournalID + 1);  // failed ones count too
    Enumerate(platform, handle, 0);
    volume.SetRequestHook(nullptr);
    Journal();

    EXPECT_EQ(codes,
              (std::vector<std::uint32_t>{ntfs::kFsctlQueryUsnJournal, ntfs::kFsctlReadUsnJournal,
                                          ntfs::kFsctlReadUsnJournal, ntfs::kFsctlEnumUsnData}));
    EXPECT_EQ(volume.RequestCount(ntfs::kFsctlQueryUsnJournal), 2u);
    EXPECT_EQ(volume.RequestCount(ntfs::kFsctlReadUsnJournal), 2u);
    EXPECT_EQ(volume.RequestCount(ntfs::kFsctlCreateUsnJournal), 0u);
}

TEST_F(SimPlatformTest, ARemovedVolumeFailsEveryRequest) {
    volume.SetRemoved(true);
    ntfs::UsnJournalDataV0 data{};
    EXPECT_FALSE(QueryJournal(platform, handle, data));
    EXPECT_EQ(platform.LastError(), win32::kErrorNotReady);
    EXPECT_FALSE(sim_test::CreateJournal(platform, handle));
    EXPECT_FALSE(Enumerate(platform, handle, 0).ok);
    std::uint8_t name[64];
    EXPECT_NE(platform.QueryNameById(handle, file_access::kReadAttributes, SimVolume::kRoot, name,
                                     sizeof name),
              win32::kStatusSuccess);
}

}  // namespace
