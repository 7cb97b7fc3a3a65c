// yzwatch: the console program over the machine's real volumes.
#include "console/ConsoleProcess.h"
#include "engine/win32/Win32VolumePlatform.h"

int wmain(int argc, wchar_t** argv) {
    Win32VolumePlatform platform;
    return RunConsoleProcess(u"yzwatch", platform, argc, argv);
}
