// The program: the main window over the machine's real volumes.
#include <windows.h>

#include "app/CVolMFCApp.h"
#include "app/MonitorApp.h"
#include "engine/win32/Win32VolumePlatform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    Win32VolumePlatform platform;
    CVolMFCApp app([&platform] { return std::make_unique<MonitorApp>(platform); });
    return app.Run(instance);
}
