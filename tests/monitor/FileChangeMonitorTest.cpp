#include "monitor/FileChangeMonitor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "runtime/events/CVolEventObjectPointer.h"
#include "runtime/text/Utf8.h"
#include "sim/JournalReadProbe.h"
#include "sim/SimPlatform.h"
#include "sim/SimVolume.h"
#include "support/ChangeShortText.h"
#include "support/EveryKindOfChange.h"
#include "support/SlotRecorder.h"

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

// The window's stand-in: a receiver with its handle, noting every event and the thread it
// came on.
class Receiver {
public:
    CVolEventObjectPointer* handle = new CVolEventObjectPointer(this);
    FileChangeMonitor* expectedSource = nullptr;

    ~Receiver() { handle->TearDown(); }

    // Every event, into one handler, as the window binds them.
    void BindAll(FileChangeMonitor& m) {
        for (const ChangeKindNames& names : kChangeKinds) {
            m.Event(names.kind)
                .Bind([](void* r, void* s, std::uint32_t,
                         const FileChange& change) { return Note(r, s, ShortText(change)); },
                      handle);
        }
    }

    Lines Seen() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    std::size_t Count() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_.size();
    }
    std::set<std::thread::id> Threads() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return threads_;
    }
    int WrongSources() const { return wrongSources_; }
    // Until `n` events have come; false after a limit that only keeps a failing test from
    // hanging.
    bool WaitForCount(std::size_t n) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return noted_.wait_for(lock, 30s, [&] { return lines_.size() >= n; });
    }

private:
    static int Note(void* receiver, void* source, std::string line) {
        auto* self = static_cast<Receiver*>(receiver);
        if (source != self->expectedSource) {
            ++self->wrongSources_;
        }
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->lines_.push_back(std::move(line));
        self->threads_.insert(std::this_thread::get_id());
        self->noted_.notify_all();
        return 0;
    }

    mutable std::mutex mutex_;
    mutable std::condition_variable noted_;
    Lines lines_;
    std::set<std::thread::id> threads_;
    std::atomic<int> wrongSources_{0};
};

CMStringArray Paths(std::initializer_list<const char16_t*> paths) {
    CMStringArray array;
    for (const char16_t* p : paths) {
        array.Add(CWString(p));
    }
    return array;
}

class MonitorTest : public ::testing::Test {
protected:
    SimPlatform platform;
    SimVolume& c = platform.AddDrive(u'C');
    std::uint64_t data = c.MakeDirectory(SimVolume::kRoot, u"data");
    std::uint64_t other = c.MakeDirectory(SimVolume::kRoot, u"other");
    Receiver receiver;
    JournalReadProbe probe{platform};
    FileChangeMonitor monitor{probe};

    void SetUp() override {
        receiver.expectedSource = &monitor;
        platform.Clock().Advance(2 * ntfs::kFileTimeTicksPerSecond);
    }
    void CatchUp(SimVolume& volume) {
        ASSERT_TRUE(probe.WaitCaughtUp(volume.JournalData()->NextUsn));
    }
    bool Start(const char16_t* drive, std::initializer_list<const char16_t*> paths) {
        const bool started = monitor.StartWatch(CWString(drive), Paths(paths));
        if (started) {
            CatchUp(c);
        }
        return started;
    }
};

TEST_F(MonitorTest, EventsComeOnTheWorkerThreadWithTheirArgumentsInJournalOrder) {
    receiver.BindAll(monitor);
    const auto a = c.MakeFile(data, u"a.txt", 10);
    platform.Clock().Advance(2 * ntfs::kFileTimeTicksPerSecond);
    ASSERT_TRUE(Start(u"C", {u"C:\\data\\"}));
    const SimRecycled r = MakeEveryKindOfChange(c, data, other, a);
    CatchUp(c);
    const std::string bin =
        "C:\\$RECYCLE.BIN\\" + ToUtf8(std::u16string(SimVolume::kDefaultUserSid)) + "\\";
    EXPECT_EQ(receiver.Seen(),
              (Lines{"Started", "Created C:\\data\\|b 文件.txt", "Content C:\\data\\|a.txt",
                     "Renamed a.txt|a2.txt|C:\\data\\",
                     "Moved b 文件.txt|b 文件.txt|C:\\data\\|C:\\other\\",
                     "Attributes C:\\data\\|a2.txt 80008000", "Created C:\\data\\|link.txt",
                     "Other C:\\data\\|a2.txt 80080000", "Created C:\\data\\|gone.txt",
                     "Deleted C:\\data\\|gone.txt",
                     "Recycled a2.txt|C:\\data\\|" + bin + ToUtf8(r.name)}));
    EXPECT_EQ(receiver.Threads().size(), 1u);
    EXPECT_EQ(receiver.Threads().count(std::this_thread::get_id()), 0u);
    EXPECT_EQ(receiver.WrongSources(), 0);
}

TEST_F(MonitorTest, NoticesAboutAWatchComeAsEventsAndARemovalEndsTheWatch) {
    receiver.BindAll(monitor);
    ASSERT_TRUE(Start(u"C", {u"C:\\data\\"}));
    c.RecreateJournal();
    c.MakeFile(data, u"after.txt");
    ASSERT_TRUE(receiver.WaitForCount(3));
    EXPECT_FALSE(monitor.HasEnded(u'C'));
    EXPECT_FALSE(monitor.StopWatchForRemoval(kInvalidPlatformHandle));
    const PlatformHandle volume = monitor.VolumeOf(u'C');
    ASSERT_TRUE(monitor.StopWatchForRemoval(volume));
    EXPECT_EQ(platform.OpenVolumeCount(), 0u) << "the open volume would hold up the removal";
    EXPECT_TRUE(monitor.HasEnded(u'C'));
    EXPECT_TRUE(monitor.IsWatching(u'C')) << "its owner ends it, once told";
    monitor.StopWatch(u'C');
    const Lines seen = receiver.Seen();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0], "Started");
    EXPECT_EQ(seen[1].rfind("Gap replaced ", 0), 0u) << seen[1];
    EXPECT_EQ(seen[2], "Created C:\\data\\|after.txt");
    EXPECT_EQ(seen[3], "Ended removalRequested");
}

TEST_F(MonitorTest, WatchStartedComesOnceForEveryWatchThatBeginsReading) {
    receiver.BindAll(monitor);
    for (std::size_t i = 0; i < 20; ++i) {
        ASSERT_TRUE(monitor.StartWatch(CWString(u"C"), Paths({u"C:\\"})));
        ASSERT_TRUE(receiver.WaitForCount(i + 1));
        monitor.StopWatch(u'C');
    }
    EXPECT_EQ(receiver.Seen(), Lines(20, "Started"));
}

// One volume, one journal, one engine: a start with "c" restarts the watch "C" started.
TEST_F(MonitorTest, DriveLettersOfEitherCaseAreOneEngine) {
    receiver.BindAll(monitor);
    ASSERT_TRUE(Start(u"C", {u"C:\\other"}));
    ASSERT_TRUE(Start(u"c", {u"C:\\data"}));
    EXPECT_EQ(monitor.WatchCount(), 1u);
    EXPECT_EQ(platform.OpenVolumeCount(), 1u);
    EXPECT_TRUE(monitor.IsWatching(u'C'));
    EXPECT_TRUE(monitor.IsWatching(u'c'));
    c.MakeFile(data, u"x.txt");
    c.MakeFile(other, u"y.txt");
    ASSERT_TRUE(receiver.WaitForCount(3));
    CatchUp(c);
    monitor.StopWatch(u'c');
    EXPECT_FALSE(monitor.IsWatching(u'C'));
    EXPECT_EQ(platform.OpenVolumeCount(), 0u);
    // The worker has ended: what it reported is all there is.
    EXPECT_EQ(receiver.Seen(), (Lines{"Started", "Started", "Created C:\\data\\|x.txt"}));
}

TEST_F(MonitorTest, AFailedStartOnAWatchedDriveLeavesNoWatch) {
    ASSERT_TRUE(Start(u"C", {}));
    platform.SetDriveType(u'C', ntfs::kDriveRemovable);
    EXPECT_FALSE(monitor.StartWatch(CWString(u"C"), Paths({})));
    EXPECT_EQ(monitor.LastRefusal(), OpenRefusal::RemovableDrive);
    EXPECT_FALSE(monitor.IsWatching(u'C'));
    EXPECT_EQ(platform.OpenVolumeCount(), 0u);
    EXPECT_FALSE(monitor.StartWatch(CWString(u""), Paths({u"data"})));
    EXPECT_EQ(monitor.WatchCount(), 0u);
}

// What is not for certain a directory of the volume is refused, and the volume is not
// watched as a whole instead.
TEST_F(MonitorTest, AWatchedPathThatIsNoDirectoryOfTheVolumeIsRefused) {
    ASSERT_TRUE(Start(u"C", {u"C:\\data"}));
    EXPECT_FALSE(monitor.StartWatch(CWString(u"C"), Paths({u"C:\\missing"})));
    EXPECT_EQ(monitor.LastRefusal(), OpenRefusal::DirectoryMissing);
    EXPECT_FALSE(monitor.IsWatching(u'C'));
    platform.AddDrive(u'D').MakeDirectory(SimVolume::kRoot, u"data");
    EXPECT_FALSE(monitor.StartWatch(CWString(u"C"), Paths({u"D:\\data"})));
    EXPECT_EQ(monitor.LastRefusal(), OpenRefusal::DirectoryOnOtherVolume);
    EXPECT_EQ(platform.OpenVolumeCount(), 0u);
}

TEST_F(MonitorTest, ARefusedStartSaysWhyAndAStartThatFollowsClearsIt) {
    EXPECT_EQ(monitor.LastRefusal(), OpenRefusal::None);
    platform.SetFileSystemName(u'C', u"FAT32");
    EXPECT_FALSE(monitor.StartWatch(CWString(u"C"), Paths({})));
    EXPECT_EQ(monitor.LastRefusal(), OpenRefusal::NotNtfs);
    EXPECT_FALSE(monitor.StartWatch(CWString(u"Q"), Paths({})));
    EXPECT_EQ(monitor.LastRefusal(), OpenRefusal::NoVolume);
    platform.SetFileSystemName(u'C', u"NTFS");
    EXPECT_TRUE(Start(u"C", {}));
    EXPECT_EQ(monitor.LastRefusal(), OpenRefusal::None);
}

TEST_F(MonitorTest, AWatchWithTheCallersSlotsGetsEveryArgumentAndRaisesNoEvent) {
    receiver.BindAll(monitor);
    SlotRecorder calls;
    const WatchedDirectory watched = WatchedDirectory::Resolve(platform, u"C:\\data");
    ASSERT_TRUE(monitor.StartWatch(u'C', std::span(&watched, 1), calls.Slots()));
    CatchUp(c);
    const std::int64_t time = platform.Clock().FileTime();
    c.MakeFile(data, u"x.txt");
    c.MakeDirectory(data, u"sub");
    CatchUp(c);
    monitor.StopWatch(u'C');
    const std::vector<FileChange> expected{{.kind = ChangeKind::Started},
                                           {.kind = ChangeKind::Created,
                                            .name = u"x.txt",
                                            .dir = u"C:\\data\\",
                                            .time = time,
                                            .attributes = ntfs::kAttributeArchive},
                                           {.kind = ChangeKind::Created,
                                            .name = u"sub",
                                            .dir = u"C:\\data\\",
                                            .time = time,
                                            .attributes = ntfs::kAttributeDirectory}};
    // Each change names its closing record in the journal; the rest as the slots got it.
    std::vector<FileChange> changes = calls.Changes();
    for (FileChange& change : changes) {
        if (change.kind == ChangeKind::Created) {
            const std::vector<SimRecord> from = c.RecordsSince(change.usn);
            ASSERT_FALSE(from.empty());
            EXPECT_EQ(from[0].name, change.name);
            EXPECT_NE(from[0].reason & ntfs::kReasonClose, 0u);
        }
        change.usn = 0;
    }
    EXPECT_EQ(changes, expected);
    EXPECT_EQ(receiver.Count(), 0u) << "an event was raised for a watch with its own slots";
}

TEST_F(MonitorTest, StartingAgainRestartsWithTheNewPaths) {
    receiver.BindAll(monitor);
    ASSERT_TRUE(Start(u"C", {u"C:\\data"}));
    ASSERT_TRUE(Start(u"C", {u"C:\\other"}));
    c.MakeFile(data, u"in-data.txt");
    c.MakeFile(other, u"in-other.txt");
    CatchUp(c);
    EXPECT_EQ(receiver.Seen(), (Lines{"Started", "Started", "Created C:\\other\\|in-other.txt"}));
    EXPECT_EQ(monitor.WatchCount(), 1u);
}

TEST_F(MonitorTest, StopTwiceAndStopOfAnUnwatchedDriveDoNothing) {
    ASSERT_TRUE(Start(u"C", {}));
    monitor.StopWatch(u'C');
    monitor.StopWatch(u'C');
    monitor.StopWatch(u'Z');
    monitor.StopWatch(0);
    EXPECT_EQ(monitor.WatchCount(), 0u);
    EXPECT_EQ(platform.OpenVolumeCount(), 0u);
}

TEST_F(MonitorTest, WithoutAHandlerTheChangeIsStillClassifiedAndTheRaiseAnswersZero) {
    monitor.Event(ChangeKind::Created)
        .Bind(
            [](void* r, void* s, std::uint32_t, const FileChange&) {
                static_cast<Receiver*>(r)->expectedSource = static_cast<FileChangeMonitor*>(s);
                return 0;
            },
            receiver.handle);
    ASSERT_TRUE(Start(u"C", {}));
    const auto f = c.MakeFile(data, u"f.txt");
    c.Rename(f, data, u"g.txt");  // no handler for renames: classified, then dropped
    CatchUp(c);
    EXPECT_EQ(monitor.Raise({.kind = ChangeKind::Renamed, .name = u"n", .dir = u"C:\\"}), 0);
    EXPECT_EQ(monitor.Raise({.kind = ChangeKind::Started}), 0);
    EXPECT_TRUE(monitor.IsWatching(u'C'));
}

TEST(MonitorThreads, SeveralDrivesRaiseIntoOneReceiverAtOnce) {
    SimPlatform platform;
    SimVolume& c = platform.AddDrive(u'C');
    SimVolume& d = platform.AddDrive(u'D');
    Receiver receiver;
    FileChangeMonitor monitor(platform);
    receiver.expectedSource = &monitor;
    receiver.BindAll(monitor);
    platform.Clock().Advance(2 * ntfs::kFileTimeTicksPerSecond);
    ASSERT_TRUE(monitor.StartWatch(CWString(u"C"), Paths({})));
    ASSERT_TRUE(monitor.StartWatch(CWString(u"D"), Paths({})));
    ASSERT_TRUE(receiver.WaitForCount(2));
    constexpr int kFiles = 200;
    std::thread onC([&] {
        for (int i = 0; i < kFiles; ++i) {
            c.MakeFile(SimVolume::kRoot, u"c" + FromUtf8(std::to_string(i)));
        }
    });
    std::thread onD([&] {
        for (int i = 0; i < kFiles; ++i) {
            d.MakeFile(SimVolume::kRoot, u"d" + FromUtf8(std::to_string(i)));
        }
    });
    onC.join();
    onD.join();
    ASSERT_TRUE(receiver.WaitForCount(2 + 2 * kFiles));
    EXPECT_EQ(receiver.Threads().size(), 2u);
    EXPECT_EQ(receiver.WrongSources(), 0);
    const Lines seen = receiver.Seen();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "Created C:\\|c199"), 1);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "Created D:\\|d199"), 1);
}

TEST(MonitorThreads, DestroyingAMonitorWithWatchesRunningEndsEveryWorkerFirst) {
    SimPlatform platform;
    SimVolume& c = platform.AddDrive(u'C');
    SimVolume& d = platform.AddDrive(u'D');
    Receiver receiver;
    std::atomic<bool> stopWriting{false};
    {
        auto monitor = std::make_unique<FileChangeMonitor>(platform);
        receiver.expectedSource = monitor.get();
        receiver.BindAll(*monitor);
        ASSERT_TRUE(monitor->StartWatch(CWString(u"C"), Paths({})));
        ASSERT_TRUE(monitor->StartWatch(CWString(u"D"), Paths({})));
        std::thread writer([&] {
            for (int i = 0; !stopWriting; ++i) {
                c.MakeFile(SimVolume::kRoot, u"c" + FromUtf8(std::to_string(i)));
                d.MakeFile(SimVolume::kRoot, u"d" + FromUtf8(std::to_string(i)));
            }
        });
        ASSERT_TRUE(receiver.WaitForCount(50));
        EXPECT_GE(receiver.handle->RefCount(),
                  10);    // its own, one per event, one per call in progress
        monitor.reset();  // while changes stream in
        stopWriting = true;
        writer.join();
    }
    const std::size_t after = receiver.Count();
    // Changes made once the monitor is gone reach nobody.
    c.MakeFile(SimVolume::kRoot, u"after-c");
    d.MakeFile(SimVolume::kRoot, u"after-d");
    EXPECT_EQ(receiver.Count(), after) << "a handler ran after the monitor was gone";
    EXPECT_EQ(platform.OpenVolumeCount(), 0u);
    EXPECT_EQ(receiver.handle->RefCount(), 1) << "the events did not give their receivers back";
}

TEST(MonitorLifetime, DestroyingAMonitorWithoutWatchesReleasesItsBindings) {
    SimPlatform platform;
    Receiver receiver;
    {
        FileChangeMonitor monitor(platform);
        receiver.BindAll(monitor);
        EXPECT_EQ(receiver.handle->RefCount(), 12);  // its own and one per event
    }
    EXPECT_EQ(receiver.handle->RefCount(), 1);
}

TEST(MonitorLifetime, CopiesClonesAssignmentsAndResetsCarryNoWatchesOrBindings) {
    SimPlatform platform;
    platform.AddDrive(u'C');
    Receiver receiver;
    FileChangeMonitor monitor(platform);
    receiver.BindAll(monitor);
    ASSERT_TRUE(monitor.StartWatch(CWString(u"C"), Paths({})));

    FileChangeMonitor copy(monitor);
    EXPECT_EQ(copy.WatchCount(), 0u);
    EXPECT_FALSE(copy.Event(ChangeKind::Created).IsBound());
    const auto clone = monitor.Clone();
    EXPECT_EQ(clone->WatchCount(), 0u);
    EXPECT_FALSE(clone->Event(ChangeKind::Started).IsBound());

    FileChangeMonitor target(platform);
    receiver.BindAll(target);
    ASSERT_TRUE(target.StartWatch(CWString(u"C"), Paths({})));
    target = monitor;
    EXPECT_EQ(target.WatchCount(), 0u);
    EXPECT_FALSE(target.Event(ChangeKind::Deleted).IsBound());
    EXPECT_EQ(monitor.WatchCount(), 1u);
    EXPECT_TRUE(monitor.Event(ChangeKind::Deleted).IsBound());

    monitor.Reset();
    EXPECT_EQ(monitor.WatchCount(), 0u);
    EXPECT_FALSE(monitor.Event(ChangeKind::Other).IsBound());
    EXPECT_EQ(platform.OpenVolumeCount(), 0u);
    EXPECT_EQ(receiver.handle->RefCount(), 1);
}

}  // namespace
