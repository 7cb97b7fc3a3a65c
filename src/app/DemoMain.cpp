// The demonstration: the same program, with drive C a simulated NTFS volume on which
// another program keeps working under C:\demo\. It shows the main job where there is no
// change journal (under Wine).
#include <windows.h>

#include "app/CVolMFCApp.h"
#include "app/MonitorApp.h"
#include "demo/ActivityPlayer.h"
#include "demo/DemoScenario.h"
#include "sim/SimPlatform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    SimPlatform platform;
    platform.Clock().FollowSystemClock(true);
    DemoScenario scenario(platform.AddDrive(u'C'));
    scenario.Prepare();
    const ActivityPlayer player(scenario);
    CVolMFCApp app([&platform] { return std::make_unique<MonitorApp>(platform); });
    return app.Run(instance);
}
