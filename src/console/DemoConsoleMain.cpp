// yzwatch-demo: the console program over a simulated machine whose drive C is an NTFS
// volume kept busy under C:\demo\: by a scripted scenario, or, given `--mirror FOLDER`
// before the program's own arguments, by every change any program makes in that real
// folder. It shows the program's work where there is no change journal (under Wine), and
// its tests run it. (`--mirror` is the demonstration's own; the program has no such option.)
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "console/ConsoleProcess.h"
#include "demo/ActivityPlayer.h"
#include "demo/win32/DemoActivity.h"
#include "ntfs/JournalRecords.h"
#include "runtime/text/Utf8.h"
#include "runtime/text/WideText.h"
#include "sim/SimPlatform.h"

namespace {

int Refuse(const std::u16string& message) {
    const std::string text = "yzwatch-demo: " + ToUtf8(message) + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()),
              &written, nullptr);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::optional<std::u16string> folder;
    if (argc > 1 && std::wstring_view(argv[1]) == L"--mirror") {
        if (argc < 3) {
            return Refuse(u"--mirror needs a folder");
        }
        folder = Utf16String(argv[2]);
        // The program sees its own arguments only.
        argv[2] = argv[0];
        argv += 2;
        argc -= 2;
    }

    SimPlatform platform;
    SimVolume& volume = platform.AddDrive(u'C');
    DemoActivity activity(volume, folder);
    if (!activity.Ready()) {
        return Refuse(u"not a folder: " + *folder);
    }
    // What is there before is made a minute before the program starts, so that a watch
    // starting at once reports only what happens after it, even on a clock whose ticks
    // are coarser than the time between the two.
    constexpr std::int64_t kMinute = 60 * ntfs::kFileTimeTicksPerSecond;
    platform.Clock().Set(SimClock::SystemFileTime() - kMinute);
    activity.Source().Prepare();
    platform.Clock().FollowSystemClock(true);
    const ActivityPlayer player(activity.Source());
    return RunConsoleProcess(u"yzwatch-demo", platform, argc, argv);
}
