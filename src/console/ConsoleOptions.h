#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ProjectVersion.h"
#include "console/ChangeKindSet.h"

// The console program's command line:
//   [--kinds KIND[,KIND...]] [--json] [--for SECONDS] [--count N] [--state FILE] [--]
//   DIRECTORY...
//   --help | --version
// An option's value follows it as the next argument or after "=" (--for=10). A quote
// inside an argument, which the C runtime leaves of "D:\My Dir\", is read as the closing
// quote after a backslash: D:\My Dir\.
struct ConsoleOptions {
    // The project's version, which the executable's version block carries too.
    static constexpr std::u16string_view kVersion = u"" VOL_VERSION_TEXT;

    std::vector<std::u16string> directories;  // as given
    ChangeKindSet kinds = ChangeKindSet::All();
    bool json = false;
    std::optional<std::chrono::milliseconds> duration;  // --for
    std::optional<std::uint64_t> count;                 // --count: change lines
    std::optional<std::u16string> stateFile;            // --state: where each watch resumes
    bool help = false;
    bool version = false;

    // The arguments after the program's name; nothing, with a one-line reason, when they
    // are not a valid command line.
    static std::optional<ConsoleOptions> Parse(std::span<const std::u16string> args,
                                               std::u16string& error);
    // The usage text (usage.txt, which the release's instructions hold too) for a program
    // of that name.
    static std::u16string Usage(std::u16string_view program);
    static std::u16string VersionText(std::u16string_view program);
};
