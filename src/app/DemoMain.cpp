// The demonstration: the same program, with drive C a simulated NTFS volume that is kept
// busy under C:\demo\. It shows the main job where there is no change journal (under
// Wine). Given a folder on its command line, C:\demo\ mirrors that folder, and every
// change any program makes in it appears in the window; without one, a scripted scenario
// plays there. (The command line is the demonstration's own; the program has none.)
#include <windows.h>

#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "app/CVolMFCApp.h"
#include "app/MonitorApp.h"
#include "demo/ActivityPlayer.h"
#include "demo/win32/DemoActivity.h"
#include "runtime/text/Utf8.h"
#include "runtime/text/WideText.h"
#include "runtime/win32/ScopedResource.h"
#include "sim/SimPlatform.h"

namespace {

std::vector<std::u16string> Arguments() {
    std::vector<std::u16string> arguments;
    int count = 0;
    const ScopedLocalMemory<wchar_t**> words(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!words) {
        return arguments;
    }
    for (int i = 1; i < count; ++i) {
        arguments.push_back(Utf16String(words.Get()[i]));
    }
    return arguments;
}

// A word for whoever started the demonstration from a terminal; no window, so that a
// script that started it is never left waiting on one.
int Refuse(const std::u16string& message) {
    const std::string text = ToUtf8(message) + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()),
              &written, nullptr);
    return 2;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    const std::vector<std::u16string> arguments = Arguments();
    if (arguments.size() > 1) {
        return Refuse(u"usage: 砚舟文件监控-演示.exe [folder to mirror under C:\\demo\\]");
    }
    SimPlatform platform;
    platform.Clock().FollowSystemClock(true);
    SimVolume& volume = platform.AddDrive(u'C');
    const std::optional<std::u16string_view> folder =
        arguments.empty() ? std::nullopt : std::optional<std::u16string_view>(arguments[0]);
    DemoActivity activity(volume, folder);
    if (!activity.Ready()) {
        return Refuse(u"not a folder: " + arguments[0]);
    }
    activity.Source().Prepare();
    const ActivityPlayer player(activity.Source());
    CVolMFCApp app([&platform] { return std::make_unique<MonitorApp>(platform); });
    return app.Run(instance);
}
