#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The command line of journal-replay:
//   --journal FILE [--directories FILE | --mft FILE] [--volume LETTER] [--watch PATH]...
//   [--since FILETIME]
struct ReplayOptions {
    std::string journal;
    std::string directories;  // a tab-separated table
    std::string mft;          // a raw $MFT extract
    char16_t volume = u'C';
    std::vector<std::string> watch;  // UTF-8 paths
    std::int64_t since = 0;          // FILETIME of the watch start
    bool help = false;

    // The arguments after the program's name; nothing, with a one-line reason, when they
    // are not a valid command line.
    static std::optional<ReplayOptions> Parse(std::span<const std::string_view> args,
                                              std::string& error);
    static const char* Usage();
};
