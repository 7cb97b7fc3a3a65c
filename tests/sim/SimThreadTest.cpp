// The simulated volume used from several threads at once, as the engine's worker reads
// while a test or a scenario changes files. Run under ThreadSanitizer.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "SimTestSupport.h"
#include "sim/SimPlatform.h"

namespace {

constexpr int kFiles = 300;

TEST(SimThreadTest, AReaderSeesEveryRecordWhileAnotherThreadChangesFiles) {
    SimPlatform platform;
    SimVolume& volume = platform.AddDrive(u'C');
    const PlatformHandle handle = platform.OpenVolume(CWString(u"\\\\.\\C:"));
    ntfs::UsnJournalDataV0 journal{};
    ASSERT_TRUE(sim_test::QueryJournal(platform, handle, journal));

    // Two directories (2 records each), then each file: create (2), rename (3), delete (1).
    const std::size_t expected = 4 + kFiles * 6;
    std::vector<SimRecord> seen;
    std::atomic<bool> readerFailed{false};
    std::thread reader([&] {
        std::int64_t start = 0;
        while (seen.size() < expected && !readerFailed) {
            const sim_test::Batch batch =
                sim_test::ReadJournal(platform, handle, start, journal.UsnJournalID);
            if (!batch.ok || !batch.wellFormed) {
                readerFailed = true;
                break;
            }
            seen.insert(seen.end(), batch.records.begin(), batch.records.end());
            start = batch.next;
            if (batch.records.empty()) {
                std::this_thread::yield();
            }
        }
    });
    std::thread namer([&] {
        std::uint8_t buffer[2080];
        for (int i = 0; i < kFiles * 4; ++i) {
            platform.QueryNameById(handle, file_access::kReadAttributes, SimVolume::kRoot, buffer,
                                   sizeof buffer);
            FileIdentity identity;
            platform.IdentifyFile(CWString(u"C:\\work"), identity);
        }
    });
    const std::uint64_t work = volume.MakeDirectory(SimVolume::kRoot, u"work");
    const std::uint64_t done = volume.MakeDirectory(SimVolume::kRoot, u"done");
    for (int i = 0; i < kFiles; ++i) {
        const std::u16string name = u"file" + std::u16string(1, u'a' + i % 26) +
                                    std::u16string(static_cast<std::size_t>(i / 26 + 1), u'x');
        const std::uint64_t file = volume.MakeFile(work, name);
        volume.Rename(file, done, name + u".old");
        volume.Delete(file);
    }
    namer.join();
    reader.join();
    platform.CloseVolume(handle);

    ASSERT_FALSE(readerFailed);
    // Every record, in order, none twice.
    ASSERT_EQ(seen.size(), expected);
    std::int64_t last = -1;
    for (const SimRecord& record : seen) {
        EXPECT_GT(record.usn, last);
        last = record.usn;
    }
    EXPECT_EQ(volume.RecordsSince(0).size(), expected);
}

TEST(SimThreadTest, TheRequestHookRunsOutsideTheVolumesLock) {
    SimPlatform platform;
    SimVolume& volume = platform.AddDrive(u'C');
    const PlatformHandle handle = platform.OpenVolume(CWString(u"\\\\.\\C:"));
    ntfs::UsnJournalDataV0 journal{};
    ASSERT_TRUE(sim_test::QueryJournal(platform, handle, journal));

    std::mutex mutex;
    std::condition_variable changed;
    bool inHook = false;
    bool released = false;
    volume.SetRequestHook([&](std::uint32_t code) {
        if (code != ntfs::kFsctlReadUsnJournal) {
            return;
        }
        std::unique_lock lock(mutex);
        inHook = true;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
    });
    sim_test::Batch batch;
    std::thread reader(
        [&] { batch = sim_test::ReadJournal(platform, handle, 0, journal.UsnJournalID); });
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return inHook; });
    }
    // The read is held in the hook; the volume still takes changes.
    volume.MakeFile(SimVolume::kRoot, u"made while a read waits.txt");
    {
        const std::lock_guard lock(mutex);
        released = true;
    }
    changed.notify_all();
    reader.join();
    ASSERT_TRUE(batch.ok);
    EXPECT_EQ(batch.records.size(), 2u);  // the read itself ran after the change
    volume.SetRequestHook(nullptr);
    platform.CloseVolume(handle);
}

TEST(SimThreadTest, HandlesOnOneFileFromSeveralThreads) {
    SimVolume volume;
    const std::uint64_t file = volume.MakeFile(SimVolume::kRoot, u"shared.bin");
    const std::int64_t mark = volume.JournalData()->NextUsn;
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&volume, file, t] {
            for (int i = 0; i < 200; ++i) {
                SimOpenFile handle = volume.Open(file);
                handle.Write(static_cast<std::uint64_t>(t * 1000 + i), 1);
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    // Every record names the file; every close record closes what came before it.
    for (const SimRecord& record : volume.RecordsSince(mark)) {
        EXPECT_EQ(record.fileReference, file);
    }
    EXPECT_EQ(volume.Info(file)->openHandles, 0);
    EXPECT_EQ(volume.RecordsSince(mark).back().reason & ntfs::kReasonClose, ntfs::kReasonClose);
}

}  // namespace
