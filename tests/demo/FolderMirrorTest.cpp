// The folder mirror beyond single notifications: the copy it starts from, its watch loop
// on the player's thread (reads, damaged bytes, lost watches, stop), and what the engine
// reports when it watches the mirror: the lines the demo's window shows.

#include "demo/FolderMirror.h"

#include <gtest/gtest.h>

#include "FakeFolder.h"
#include "MirrorTestSupport.h"
#include "demo/ActivityPlayer.h"
#include "demo/FileNotifyRecords.h"
#include "engine/EngineTestSupport.h"

namespace {

using mirror_test::TreeOf;

TEST(FolderMirror, StartsFromACopyOfTheFolderThatLeavesNoRecords) {
    FakeFolder folder;
    folder.PutFile(u"notes.txt", 1234, ntfs::kAttributeArchive | ntfs::kAttributeReadonly);
    folder.PutFile(u".hidden", 3, ntfs::kAttributeArchive | ntfs::kAttributeHidden);
    folder.PutDirectory(u"photos");
    folder.PutDirectory(u"photos\\2024");
    folder.PutFile(u"photos\\2024\\照片.jpg", 250000);
    folder.PutFile(u"what?.txt", 5);  // a name Windows cannot hold
    folder.PutDirectory(u"link");
    folder.SetAttributes(u"link", ntfs::kAttributeDirectory | FolderEntry::kAttributeReparsePoint);
    folder.PutFile(u"link\\far away.txt", 5);  // behind a link: never entered
    SimVolume volume;
    const std::int64_t start = volume.JournalData()->NextUsn;
    FolderMirror mirror(volume, folder);
    mirror.Prepare();

    EXPECT_TRUE(volume.RecordsSince(start).empty());
    EXPECT_EQ(TreeOf(volume), TreeOf(folder));
    EXPECT_EQ(TreeOf(volume).size(), 6u);
    EXPECT_EQ(mirror.MirrorDirectory(), volume.Lookup(u"\\demo"));
    // The watch starts first, so that nothing changed during the copy is lost.
    EXPECT_EQ(folder.ListingsBeforeTheFirstWatch(), 0);
    EXPECT_TRUE(mirror.Watching());
}

TEST(FolderMirror, AnUnreadableDirectoryIsLeftEmptyAndTheRestCopied) {
    FakeFolder folder;
    folder.PutDirectory(u"locked");
    folder.PutFile(u"locked\\secret.txt", 10);
    folder.PutFile(u"open.txt", 10);
    folder.FailListing(u"locked");
    SimVolume volume;
    FolderMirror mirror(volume, folder);
    mirror.Prepare();
    EXPECT_EQ(TreeOf(volume), (std::vector<std::string>{"locked 16", "open.txt 10 32"}));
}

// The mirror's steps, as Run takes them, with the volume's clock moved on by hand.
class MirrorSteps {
public:
    MirrorSteps(FolderMirror& mirror, SimVolume& volume) : mirror_(mirror), volume_(volume) {}
    void Step(int times = 1) {
        for (int i = 0; i < times; ++i) {
            mirror_.Step(stop_);
        }
    }
    // Past the pause before a watch is started again, or the folder looked at again.
    void Pause() { volume_.Clock().AdvanceMilliseconds(FolderMirror::kRestartMs); }

private:
    FolderMirror& mirror_;
    SimVolume& volume_;
    StopSignal stop_;
};

TEST(FolderMirror, EachStepAppliesOneReadAndRescansWhereBytesAreDamaged) {
    FakeFolder folder;
    SimVolume volume;
    FolderMirror mirror(volume, folder);
    mirror.Prepare();
    folder.PutFile(u"a.txt", 10);
    folder.PutFile(u"b.txt", 10);
    folder.QueueChanges({{FolderAction::kAdded, u"a.txt"}});
    // The second read's record is cut short: b.txt's notification is lost with it.
    std::vector<std::uint8_t> damaged = file_notify::Encode({{FolderAction::kAdded, u"b.txt"}});
    damaged.resize(damaged.size() - 6);
    folder.QueueBytes(damaged);
    const std::int64_t mark = volume.JournalData()->NextUsn;
    MirrorSteps steps(mirror, volume);
    steps.Step();
    EXPECT_EQ(TreeOf(volume), (std::vector<std::string>{"a.txt 10 32"}));
    steps.Step();
    EXPECT_TRUE(folder.AllRead());
    EXPECT_EQ(TreeOf(volume), TreeOf(folder));
    EXPECT_EQ(volume.RecordsSince(mark).size(), 6u);  // two creates, three records each
}

TEST(FolderMirror, AWatchThatEndsIsStartedAgainAfterAPauseAndTheDifferencesApplied) {
    FakeFolder folder;
    folder.PutFile(u"old.txt", 10);
    SimVolume volume;
    FolderMirror mirror(volume, folder);
    mirror.Prepare();
    folder.Remove(u"old.txt");
    folder.PutFile(u"new.txt", 10);
    folder.QueueStatus(FolderReadStatus::kFailed);  // the changes' notifications never come
    folder.RefuseWatches(1);                        // and the first restart fails too
    MirrorSteps steps(mirror, volume);
    steps.Step();
    EXPECT_FALSE(mirror.Watching());
    steps.Step(3);
    EXPECT_EQ(folder.WatchesRefused(), 0) << "started again before the pause was over";
    steps.Pause();
    steps.Step();  // refused
    EXPECT_EQ(folder.WatchesRefused(), 1);
    EXPECT_FALSE(mirror.Watching());
    steps.Step(3);
    EXPECT_EQ(folder.WatchesStarted(), 1);
    steps.Pause();
    steps.Step();
    EXPECT_EQ(folder.WatchesStarted(), 2);
    EXPECT_TRUE(mirror.Watching());
    EXPECT_EQ(TreeOf(volume), TreeOf(folder));
}

TEST(FolderMirror, AFolderDeletedAndMadeAgainUnderItsWatchIsWatchedAfresh) {
    FakeFolder folder;
    folder.PutFile(u"old.txt", 10);
    SimVolume volume;
    FolderMirror mirror(volume, folder);
    mirror.Prepare();
    MirrorSteps steps(mirror, volume);
    // Deleted with what it held and made again, and the watch says nothing about it (as
    // under Wine).
    folder.RemoveFolder();
    steps.Step(3);
    EXPECT_TRUE(mirror.Watching()) << "the folder is looked at once a pause has passed";
    steps.Pause();
    steps.Step();
    EXPECT_FALSE(mirror.Watching());
    steps.Pause();
    steps.Step();
    EXPECT_EQ(TreeOf(volume), (std::vector<std::string>{"old.txt 10 32"}))
        << "a folder that cannot be listed is left as it was";
    folder.MakeFolderAgain();
    folder.PutFile(u"after.txt", 5);
    steps.Pause();
    steps.Step();
    EXPECT_TRUE(mirror.Watching());
    EXPECT_EQ(TreeOf(volume), (std::vector<std::string>{"after.txt 5 32"}));
}

TEST(FolderMirror, AnOverflowIsFollowedByARescan) {
    FakeFolder folder;
    SimVolume volume;
    FolderMirror mirror(volume, folder);
    mirror.Prepare();
    folder.PutDirectory(u"d");
    folder.PutFile(u"d\\x.txt", 7);
    folder.QueueStatus(FolderReadStatus::kOverflow);
    MirrorSteps(mirror, volume).Step();
    EXPECT_EQ(TreeOf(volume), TreeOf(folder));
}

TEST(FolderMirror, PlayedItStopsWhenAsked) {
    FakeFolder folder;
    SimVolume volume;
    FolderMirror mirror(volume, folder);
    mirror.Prepare();
    // Its watch lost, so that Run waits to start it again.
    folder.QueueStatus(FolderReadStatus::kFailed);
    ActivityPlayer player(mirror);
    player.Stop();  // returns once Run has: a mirror deaf to the stop hangs the test here
}

// ---- Through the engine, as the demo's window gets them

class FolderMirrorWatched : public EngineTest {
protected:
    FakeFolder folder;
    FolderMirror mirror{volume, folder};

    void Changes(std::initializer_list<FolderChange> changes) {
        mirror.Apply(changes);
        mirror.Settle();
        CatchUp();
    }
};

TEST_F(FolderMirrorWatched, EveryKindOfChangeReachesTheEngineAsNtfsWouldReportIt) {
    folder.PutFile(u"before.txt", 10);
    folder.PutDirectory(u"sub");
    mirror.Prepare();
    ASSERT_TRUE(Open({u"C:\\demo\\"}));
    log.Clear();

    folder.PutFile(u"a.txt", 6);
    Changes({{FolderAction::kAdded, u"a.txt"}, {FolderAction::kModified, u"a.txt"}});
    folder.Write(u"a.txt", 12);
    Changes({{FolderAction::kModified, u"a.txt"}});
    folder.Move(u"a.txt", u"b.txt");
    Changes({{FolderAction::kRenamedOldName, u"a.txt"}, {FolderAction::kRenamedNewName, u"b.txt"}});
    folder.Move(u"b.txt", u"sub\\b.txt");
    Changes({{FolderAction::kRemoved, u"b.txt"}, {FolderAction::kAdded, u"sub\\b.txt"}});
    folder.PutDirectory(u"新建文件夹");
    Changes({{FolderAction::kAdded, u"新建文件夹"}});
    folder.Remove(u"sub\\b.txt");
    Changes({{FolderAction::kRemoved, u"sub\\b.txt"}});
    folder.SetAttributes(u"before.txt", ntfs::kAttributeArchive | ntfs::kAttributeHidden);
    Changes({{FolderAction::kModified, u"before.txt"}});

    EXPECT_EQ(log.Changes(), (std::vector<std::string>{
                                 "Created C:\\demo\\|a.txt",
                                 "Content C:\\demo\\|a.txt",
                                 "Renamed a.txt|b.txt|C:\\demo\\",
                                 "Moved b.txt|b.txt|C:\\demo\\|C:\\demo\\sub\\",
                                 "Created C:\\demo\\|新建文件夹",
                                 "Deleted C:\\demo\\sub\\|b.txt",
                                 "Attributes C:\\demo\\|before.txt 80008000",
                             }));
}

}  // namespace
