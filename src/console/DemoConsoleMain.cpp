// yzwatch-demo: the console program over a simulated machine whose drive C is an NTFS
// volume on which another program keeps working under C:\demo\. It shows the program's
// work where there is no change journal (under Wine), and its tests run it.
#include <chrono>
#include <memory>

#include "console/ConsoleProcess.h"
#include "sim/DemoScenario.h"
#include "sim/ScenarioPlayer.h"
#include "sim/SimPlatform.h"

namespace {

constexpr std::chrono::milliseconds kPace(900);

// What goes on on drive C: its folders are made a minute before the program starts, so
// that a watch reports only what happens after its start, then the scenario plays.
class DemoDriveC {
public:
    explicit DemoDriveC(SimPlatform& platform)
        : scenario_(platform.AddDrive(u'C')), player_(Prepared(platform, scenario_), kPace) {}

private:
    static DemoScenario& Prepared(SimPlatform& platform, DemoScenario& scenario) {
        constexpr std::int64_t kMinute = 60 * ntfs::kFileTimeTicksPerSecond;
        platform.Clock().Set(SimClock::SystemFileTime() - kMinute);
        scenario.SetUp();
        platform.Clock().FollowSystemClock(true);
        return scenario;
    }

    DemoScenario scenario_;
    ScenarioPlayer player_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SimPlatform platform;
    const DemoDriveC driveC(platform);
    return RunConsoleProcess(u"yzwatch-demo", platform, argc, argv);
}
