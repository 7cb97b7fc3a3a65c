// journal-replay: the change-journal engine over a journal copied off a real volume.
#include <iostream>
#include <string_view>
#include <vector>

#include "JournalReplay.h"
#include "ReplayOptions.h"

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    std::string error;
    const auto options = ReplayOptions::Parse(args, error);
    if (!options) {
        std::cerr << "journal-replay: " << error << " (--help for the usage)\n";
        return JournalReplay::kBadInput;
    }
    if (options->help) {
        std::cout << ReplayOptions::Usage();
        return JournalReplay::kSuccess;
    }
    return JournalReplay::Run(*options, std::cout, std::cerr);
}
