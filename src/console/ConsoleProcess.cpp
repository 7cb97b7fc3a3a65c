#include "console/ConsoleProcess.h"

#include <exception>
#include <string>
#include <vector>

#include "console/ConsoleControlHandler.h"
#include "console/ConsoleProgram.h"
#include "console/Win32ConsoleHost.h"
#include "runtime/text/Utf8.h"
#include "runtime/text/WideText.h"

int RunConsoleProcess(std::u16string_view name, VolumePlatform& platform, int argc,
                      wchar_t** argv) {
    Win32ConsoleHost host;
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(Utf16String(argv[i]));
    }
    StopSignal stop;
    const ConsoleControlHandler control(stop);
    try {
        ConsoleProgram program(name, platform, host);
        return program.Run(args, stop);
    } catch (const std::exception& error) {
        // Not expected: said plainly instead of the runtime's abort.
        host.Err().WriteLine(std::u16string(name) + u": 内部错误：" + FromUtf8(error.what()));
        return ConsoleProgram::kFailed;
    }
}
