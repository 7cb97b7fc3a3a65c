#pragma once

#include <string_view>

#include "engine/VolumePlatform.h"

// Runs the console program as the process: its command line, its standard streams, and
// Ctrl+C and Ctrl+Break as the request to stop. Answers the process's exit code.
int RunConsoleProcess(std::u16string_view name, VolumePlatform& platform, int argc, wchar_t** argv);
