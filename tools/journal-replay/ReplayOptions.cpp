#include "ReplayOptions.h"

#include <charconv>

namespace {

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A FILETIME in decimal, or in hex with 0x; at most the largest signed 64-bit value.
bool ParseFileTime(std::string_view text, std::int64_t& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint64_t parsed = 0;
    const auto [end, status] =
        std::from_chars(text.data(), text.data() + text.size(), parsed, base);
    if (text.empty() || status != std::errc() || end != text.data() + text.size() ||
        parsed > static_cast<std::uint64_t>(INT64_MAX)) {
        return false;
    }
    value = static_cast<std::int64_t>(parsed);
    return true;
}

}  // namespace

const char* ReplayOptions::Usage() {
    return "usage: journal-replay --journal FILE [--directories FILE | --mft FILE]\n"
           "                      [--volume LETTER] [--watch PATH]... [--since FILETIME]\n"
           "Runs the change-journal engine over a raw $J stream and prints each slot call\n"
           "as one JSON object a line.\n";
}

std::optional<ReplayOptions> ReplayOptions::Parse(std::span<const std::string_view> args,
                                                  std::string& error) {
    ReplayOptions options;
    bool volumeSeen = false;
    bool sinceSeen = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view option = args[i];
        if (option == "-h" || option == "--help") {
            options.help = true;
            continue;
        }
        const bool takesValue = option == "--journal" || option == "--directories" ||
                                option == "--mft" || option == "--volume" || option == "--watch" ||
                                option == "--since";
        if (!takesValue) {
            error = option.substr(0, 2) == "--" ? "unknown option " + std::string(option)
                                                : "unexpected argument " + std::string(option);
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = std::string(option) + " needs a value";
            return std::nullopt;
        }
        const std::string_view value = args[++i];
        const auto once = [&](bool taken) {
            if (taken) {
                error = std::string(option) + " given twice";
            }
            return !taken;
        };
        const bool namesFile =
            option == "--journal" || option == "--directories" || option == "--mft";
        if (namesFile && value.empty()) {
            error = std::string(option) + " takes a file name";
            return std::nullopt;
        }
        if (option == "--journal") {
            if (!once(!options.journal.empty())) {
                return std::nullopt;
            }
            options.journal = value;
        } else if (option == "--directories" || option == "--mft") {
            if (!options.directories.empty() || !options.mft.empty()) {
                error = "give one of --directories and --mft, once";
                return std::nullopt;
            }
            (option == "--mft" ? options.mft : options.directories) = value;
        } else if (option == "--volume") {
            if (!once(volumeSeen)) {
                return std::nullopt;
            }
            volumeSeen = true;
            const bool letter = !value.empty() && IsAsciiLetter(value[0]) &&
                                (value.size() == 1 || (value.size() == 2 && value[1] == ':'));
            if (!letter) {
                error = "--volume takes a drive letter, not " + std::string(value);
                return std::nullopt;
            }
            options.volume = static_cast<char16_t>(value[0] & ~0x20);  // upper case
        } else if (option == "--watch") {
            if (value.empty()) {
                error = "--watch takes a path";
                return std::nullopt;
            }
            options.watch.emplace_back(value);
        } else {
            if (!once(sinceSeen)) {
                return std::nullopt;
            }
            sinceSeen = true;
            if (!ParseFileTime(value, options.since)) {
                error =
                    "--since takes a FILETIME (decimal, or hex with 0x), not " + std::string(value);
                return std::nullopt;
            }
        }
    }
    if (!options.help && options.journal.empty()) {
        error = "--journal FILE is required";
        return std::nullopt;
    }
    return options;
}
