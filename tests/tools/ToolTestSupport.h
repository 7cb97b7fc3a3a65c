#pragma once

// Helpers of the tools' tests: a scratch folder, the replay tool run as a subprocess,
// its JSON lines read back, and the records of a raw journal decoded.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "runtime/text/Utf8.h"
#include "sim/JournalStreamScanner.h"
#include "sim/SimRecord.h"

extern char** environ;

namespace tool_test {

inline const std::filesystem::path kJournals = VOL_JOURNALS_DIR;

// A folder of its own under the system's temporary folder, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "replay-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string File(const std::string& name) const { return (path_ / name).string(); }
    std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream(File(name), std::ios::binary) << text;
        return File(name);
    }
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        std::ofstream(File(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return File(name);
    }

private:
    std::filesystem::path path_;
};

inline std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
    std::vector<std::string> Lines() const { return SplitLines(out); }
    std::vector<std::string> ErrLines() const { return SplitLines(err); }
};

// Runs journal-replay with `args`, its output caught in files of `scratch`.
inline ToolRun RunReplay(const std::vector<std::string>& args, const ScratchDir& scratch) {
    const std::string outPath = scratch.File("stdout");
    const std::string errPath = scratch.File("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<std::string> all{JOURNAL_REPLAY_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    ToolRun run;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << argv[0];
        return run;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadText(outPath);
    run.err = ReadText(errPath);
    return run;
}

// One flat JSON object as its keys and values: texts decoded (to UTF-8; a lone surrogate
// escape becomes U+FFFD), numbers as their digits. Empty when the line is not such an object.
using JsonObject = std::map<std::string, std::string>;

inline bool ParseJsonObject(const std::string& line, JsonObject& object) {
    std::size_t i = 0;
    const auto peek = [&] { return i < line.size() ? line[i] : '\0'; };
    const auto text = [&](std::string& out) {
        if (peek() != '"') {
            return false;
        }
        ++i;
        std::u16string units;
        while (i < line.size() && line[i] != '"') {
            if (line[i] != '\\') {
                const std::size_t start = i;
                while (i < line.size() && line[i] != '"' && line[i] != '\\') {
                    if (static_cast<unsigned char>(line[i]) < 0x20) {
                        return false;  // raw control characters are not JSON
                    }
                    ++i;
                }
                units += FromUtf8(line.substr(start, i - start));
                continue;
            }
            if (++i >= line.size()) {
                return false;
            }
            const char escape = line[i++];
            switch (escape) {
                case '"':
                    units += u'"';
                    break;
                case '\\':
                    units += u'\\';
                    break;
                case '/':
                    units += u'/';
                    break;
                case 'n':
                    units += u'\n';
                    break;
                case 'r':
                    units += u'\r';
                    break;
                case 't':
                    units += u'\t';
                    break;
                case 'b':
                    units += u'\b';
                    break;
                case 'f':
                    units += u'\f';
                    break;
                case 'u': {
                    if (i + 4 > line.size()) {
                        return false;
                    }
                    units += static_cast<char16_t>(std::stoi(line.substr(i, 4), nullptr, 16));
                    i += 4;
                    break;
                }
                default:
                    return false;
            }
        }
        if (peek() != '"') {
            return false;
        }
        ++i;
        out = ToUtf8(units);
        return true;
    };
    object.clear();
    if (peek() != '{') {
        return false;
    }
    ++i;
    while (peek() != '}') {
        std::string key;
        std::string value;
        if (!text(key) || peek() != ':') {
            return false;
        }
        ++i;
        if (peek() == '"') {
            if (!text(value)) {
                return false;
            }
        } else {
            const std::size_t start = i;
            if (peek() == '-') {
                ++i;
            }
            while (peek() >= '0' && peek() <= '9') {
                ++i;
            }
            value = line.substr(start, i - start);
            if (value.empty() || value == "-") {
                return false;
            }
        }
        if (!object.emplace(key, value).second) {
            return false;
        }
        if (peek() == ',') {
            ++i;
        } else if (peek() != '}') {
            return false;
        }
    }
    return i + 1 == line.size();
}

// Every line of a replay's output as an object; fails the test on a line that is not one.
inline std::vector<JsonObject> ParseLines(const ToolRun& run) {
    std::vector<JsonObject> objects;
    for (const std::string& line : run.Lines()) {
        JsonObject object;
        EXPECT_TRUE(ParseJsonObject(line, object)) << line;
        objects.push_back(std::move(object));
    }
    return objects;
}

inline std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The version-2 records of a raw journal, decoded, with their offsets in the file.
struct StreamRecord {
    std::size_t offset;
    SimRecord record;
};

inline std::vector<StreamRecord> DecodeStream(const std::vector<std::uint8_t>& stream) {
    std::vector<StreamRecord> records;
    JournalStreamScanner scanner(stream);
    while (const auto found = scanner.Next()) {
        auto decoded = SimRecord::Decode(found->bytes.data(), found->bytes.size());
        EXPECT_TRUE(decoded.has_value());
        if (decoded) {
            records.push_back({found->offset, std::move(*decoded)});
        }
    }
    return records;
}

}  // namespace tool_test
