#include "demo/DemoScenario.h"

#include <gtest/gtest.h>

#include "engine/EngineTestSupport.h"

// The demonstration's scenario, watched as the demo watches it: every step gives the
// lines a user should see, round after round.
namespace {

TEST_F(EngineTest, TheDemoScenarioShowsEveryKindOfChangeRoundAfterRound) {
    DemoScenario scenario(volume);
    scenario.Prepare();
    ASSERT_TRUE(Open({u"C:\\demo\\"}));
    for (int round = 1; round <= 2; ++round) {
        log.Clear();
        for (std::size_t i = 0; i < scenario.StepsPerRound(); ++i) {
            scenario.Step();
            CatchUp();  // at the demo's pace the engine keeps up: paths still resolve
        }
        const std::string n = std::to_string(round);
        const std::vector<std::string> expected = {
            "Created C:\\demo\\|会议记录-" + n + ".txt",
            "Content C:\\demo\\|notes.txt",
            "Created C:\\demo\\|~WRD" + n + ".tmp",
            "Renamed notes.txt|~WRL" + n + ".tmp|C:\\demo\\",
            "Renamed ~WRD" + n + ".tmp|notes.txt|C:\\demo\\",
            "Deleted C:\\demo\\|~WRL" + n + ".tmp",
            "Renamed 会议记录-" + n + ".txt|会议纪要-" + n + ".txt|C:\\demo\\",
            "Created C:\\demo\\|照片-" + n,
            "Created C:\\demo\\照片-" + n + "\\|IMG_100" + n + ".jpg",
            "Moved setup-" + n + ".log|setup-" + n +
                ".log|C:\\Users\\Public\\Downloads\\|C:\\demo\\",
            "Content C:\\demo\\|setup-" + n + ".log",
            "Recycled 会议纪要-" + n + ".txt|C:\\demo\\|C:\\$RECYCLE.BIN\\",
            "Deleted C:\\demo\\照片-" + n + "\\|IMG_100" + n + ".jpg",
            "Deleted C:\\demo\\|照片-" + n,
            "Moved setup-" + n + ".log|setup-" + n + ".log|C:\\demo\\|C:\\archive\\",
            "Gap replaced ",  // the journal deleted and made again
        };
        const std::vector<std::string> seen = log.Changes();
        ASSERT_EQ(seen.size(), expected.size()) << "round " << round;
        for (std::size_t i = 0; i < seen.size(); ++i) {
            // The recycle line names the item's place in the recycle folder, the gap the
            // Usn values lost: compare the start.
            EXPECT_EQ(seen[i].substr(0, expected[i].size()), expected[i]) << "round " << round;
        }
    }
}

}  // namespace
