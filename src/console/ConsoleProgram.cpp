#include "console/ConsoleProgram.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <set>
#include <vector>

#include "console/ChangeOutput.h"
#include "console/ChangeWriter.h"
#include "engine/WatchedDirectory.h"
#include "monitor/FileChangeMonitor.h"
#include "report/RefusalText.h"
#include "runtime/text/CMStringArray.h"
#include "runtime/text/DateTimeValue.h"

namespace {

// Until `stop` is set or `duration` has passed.
void WaitForStop(StopSignal& stop, std::optional<std::chrono::milliseconds> duration) {
    using Clock = std::chrono::steady_clock;
    constexpr std::chrono::milliseconds kLongestWait(60'000);
    const Clock::time_point end = Clock::now() + duration.value_or(kLongestWait);
    for (;;) {
        std::chrono::milliseconds wait = kLongestWait;
        if (duration) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
            if (left.count() <= 0) {
                return;
            }
            wait = std::min(left, kLongestWait);
        }
        if (stop.WaitFor(static_cast<unsigned>(wait.count()))) {
            return;
        }
    }
}

std::u16string Joined(const std::vector<std::u16string>& paths) {
    std::u16string text;
    for (const std::u16string& path : paths) {
        text += (text.empty() ? u"" : u"、") + path;
    }
    return text;
}

}  // namespace

int ConsoleProgram::Run(std::span<const std::u16string> args, StopSignal& stop) {
    std::u16string error;
    const auto options = ConsoleOptions::Parse(args, error);
    if (!options) {
        WriteError(error);
        WriteText(host_.Err(), ConsoleOptions::Usage(name_));
        return kBadArguments;
    }
    if (options->help) {
        WriteText(host_.Out(), ConsoleOptions::Usage(name_));
        return kStopped;
    }
    if (options->version) {
        WriteText(host_.Out(), ConsoleOptions::VersionText(name_));
        return kStopped;
    }
    return Watch(*options, stop);
}

int ConsoleProgram::Watch(const ConsoleOptions& options, StopSignal& stop) {
    const std::vector<DriveWatch> drives = DrivesOf(options.directories);
    // Declared before the monitor: the workers write to it until the monitor has
    // stopped them.
    ChangeOutput output(host_.Out(), options.count, stop);
    const WatcherSlots slots =
        ChangeWriter(
            options.json ? ChangeWriter::Format::kJson : ChangeWriter::Format::kLines,
            options.kinds, [] { return std::u16string(TimeOfDayText(Now()).View()); },
            [&output](std::u16string_view line, bool isChange) {
                isChange ? output.WriteChange(line) : output.WriteNote(line);
            })
            .Slots();
    FileChangeMonitor monitor(platform_);
    std::vector<char16_t> watching;
    for (const DriveWatch& drive : drives) {
        if (StartWatch(monitor, drive, slots)) {
            watching.push_back(drive.letter);
        }
    }
    if (watching.empty()) {
        return kFailed;
    }

    WaitForStop(stop, options.duration);
    for (const char16_t letter : watching) {
        monitor.StopWatch(letter);  // its worker ends here, its last line written whole
    }
    output.Close();
    if (output.Outcome() == TextStream::Result::Failed) {
        WriteError(u"无法写入标准输出");
        return kFailed;
    }
    return kStopped;
}

std::vector<ConsoleProgram::DriveWatch> ConsoleProgram::DrivesOf(
    const std::vector<std::u16string>& directories) {
    std::vector<DriveWatch> drives;
    std::set<char16_t> refusedDrives;  // one line for a drive, not one per directory
    for (const std::u16string& directory : directories) {
        const WatchedDirectory watched = WatchedDirectory::Resolve(platform_, directory);
        if (watched.refusal == OpenRefusal::None) {
            auto drive = std::find_if(drives.begin(), drives.end(), [&](const DriveWatch& d) {
                return d.letter == watched.drive;
            });
            if (drive == drives.end()) {
                drive = drives.insert(drives.end(), DriveWatch{watched.drive, {}});
            }
            drive->paths.push_back(watched.path);
        } else if (IsDriveRefusal(watched.refusal)) {
            if (refusedDrives.insert(watched.drive).second) {
                WriteError(u"无法监控 " + std::u16string{watched.drive, u':'} + u"：" +
                           RefusalText(watched.refusal));
            }
        } else if (watched.refusal == OpenRefusal::DirectoryMissing) {
            WriteError(u"找不到目录：" + watched.fullPath);
        } else if (watched.refusal == OpenRefusal::NotALocalDirectory) {
            WriteError(u"不是本机磁盘上的目录：" + watched.fullPath);
        } else {
            WriteError(u"无法监控 " + watched.fullPath + u"：" + RefusalText(watched.refusal));
        }
    }
    return drives;
}

bool ConsoleProgram::StartWatch(FileChangeMonitor& monitor, const DriveWatch& drive,
                                const WatcherSlots& slots) {
    const std::u16string driveText(1, drive.letter);
    CMStringArray paths;
    for (const std::u16string& path : drive.paths) {
        paths.Add(CWString(path));
    }
    if (!monitor.StartWatch(CWString(driveText), paths, slots)) {
        const OpenRefusal refusal = monitor.LastRefusal();
        // Only asked when it matters: without the rights the volume cannot be opened.
        const bool elevated = refusal != OpenRefusal::VolumeNotOpened || host_.IsElevated();
        WriteError(u"无法监控 " + driveText + u":：" + RefusalText(refusal, elevated));
        return false;
    }
    WriteError(u"开始监控：" + Joined(drive.paths));
    return true;
}

void ConsoleProgram::WriteError(std::u16string_view message) {
    host_.Err().WriteLine(name_ + u": " + std::u16string(message));
}

void ConsoleProgram::WriteText(TextStream& stream, std::u16string_view text) {
    while (!text.empty()) {
        const std::size_t end = text.find(u'\n');
        stream.WriteLine(text.substr(0, end));
        if (end == std::u16string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
}
