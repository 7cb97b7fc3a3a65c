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
#include "support/JsonObject.h"

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

using json_test::JsonObject;
using json_test::ParseJsonObject;

// Every line of a replay's output as an object; fails the test on a line that is not one.
// A change's line names its record by Usn: with `keepUsn` false the key is checked to be a
// number and left out, for tests that compare the rest.
inline std::vector<JsonObject> ParseLines(const ToolRun& run, bool keepUsn = false) {
    std::vector<JsonObject> objects;
    for (const std::string& line : run.Lines()) {
        JsonObject object;
        EXPECT_TRUE(ParseJsonObject(line, object)) << line;
        if (!keepUsn && object.count("usn") != 0) {
            EXPECT_EQ(object["usn"].find_first_not_of("0123456789"), std::string::npos) << line;
            object.erase("usn");
        }
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
