#include "console/ConsoleProgram.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "console/ChangeOutput.h"
#include "console/ChangeWriter.h"
#include "engine/WatchedDirectory.h"
#include "monitor/FileChangeMonitor.h"
#include "report/RefusalText.h"
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

std::u16string Joined(const std::vector<WatchedDirectory>& directories) {
    std::u16string text;
    for (const WatchedDirectory& directory : directories) {
        text += (text.empty() ? u"" : u"、") + directory.path;
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
    // The state file first: one that cannot be read is an error before anything starts.
    std::optional<StateFile> stateFile;
    WatchState state;
    if (options.stateFile) {
        const CWString full = platform_.FullPathName(CWString(*options.stateFile));
        stateFile.emplace(host_, full.IsEmpty() ? *options.stateFile : std::u16string(full.View()));
        std::u16string error;
        std::optional<WatchState> loaded = stateFile->Load(error);
        if (!loaded) {
            WriteError(error);
            return kBadArguments;
        }
        state = std::move(*loaded);
    }

    const std::vector<DriveWatch> drives = DrivesOf(options.directories);
    // Declared before the monitor: the workers write to it until the monitor has
    // stopped them.
    ChangeOutput output(host_.Out(), options.count, stop);
    // Watches that ended by themselves, and how many there are: when none is left, the
    // program ends.
    std::atomic<std::size_t> ended{0};
    std::atomic<std::size_t> started{SIZE_MAX};
    std::deque<Progress> progress;  // one for every watch that runs; never moved
    FileChangeMonitor monitor(platform_);
    for (const DriveWatch& drive : drives) {
        Progress& watch = progress.emplace_back();
        watch.letter = drive.letter;
        WatcherSlots slots =
            ChangeWriter(
                options.json ? ChangeWriter::Format::kJson : ChangeWriter::Format::kLines,
                options.kinds, [] { return std::u16string(TimeOfDayText(Now()).View()); },
                [&output, &watch](std::u16string_view line, const FileChange& change) {
                    if (IsNotice(change.kind)) {
                        output.WriteNote(line);
                    } else if (!output.WriteChange(line)) {
                        // Not written (--count reached, the output gone): a later
                        // run resumes at this change.
                        std::int64_t none = -1;
                        watch.firstUnwritten.compare_exchange_strong(none, change.usn);
                    }
                })
                .Slots();
        ChangeSlot& onEnded = slots[ChangeKind::Ended];
        onEnded = [write = std::move(onEnded), &ended, &started, &stop](const FileChange& end) {
            write(end);
            if (++ended >= started) {
                stop.Set();
            }
        };
        const std::optional<JournalPosition> resumeFrom =
            stateFile ? ResumePoint(state, drive, watch) : std::nullopt;
        if (!StartWatch(monitor, drive, slots, resumeFrom)) {
            progress.pop_back();
        }
    }
    if (progress.empty()) {
        return kFailed;
    }
    started = progress.size();
    if (ended >= started) {
        stop.Set();
    }

    bool saved = true;
    {
        // An open volume blocks the removal of its disk: asked, the watch ends and closes
        // it. The question comes on the host's thread; the lock keeps the monitor's
        // engines to one thread at a time.
        std::mutex monitorLock;
        std::vector<PlatformHandle> volumes;
        for (const Progress& watch : progress) {
            volumes.push_back(monitor.VolumeOf(watch.letter));
        }
        const auto removals = host_.WatchRemovals(volumes, [&](PlatformHandle volume) {
            const std::lock_guard<std::mutex> lock(monitorLock);
            monitor.StopWatchForRemoval(volume);
        });
        // With a state file, where the watches got to is kept every few seconds, so that a
        // crash or a power cut repeats at most those seconds' lines.
        const auto saveNow = [&] {
            const std::lock_guard<std::mutex> lock(monitorLock);
            for (Progress& watch : progress) {
                watch.reached = monitor.PositionOf(watch.letter);
            }
        };
        using Clock = std::chrono::steady_clock;
        const Clock::time_point start = Clock::now();
        while (!stop.IsSet()) {
            std::optional<std::chrono::milliseconds> slice;
            if (options.duration) {
                slice = *options.duration -
                        std::chrono::ceil<std::chrono::milliseconds>(Clock::now() - start);
                if (slice->count() <= 0) {
                    break;
                }
            }
            if (stateFile) {
                slice = std::min(slice.value_or(kStateSaveInterval), kStateSaveInterval);
            }
            WaitForStop(stop, slice);
            if (!slice) {
                break;  // stopped: nothing else ends an open-ended watch
            }
            if (stateFile && !stop.IsSet()) {
                saveNow();
                saved = SaveState(*stateFile, state, progress) && saved;
            }
        }
    }
    for (Progress& watch : progress) {
        watch.reached = monitor.EndWatch(watch.letter);  // its worker's last line written whole
    }
    output.Close();
    if (stateFile) {
        saved = SaveState(*stateFile, state, progress) && saved;
    }
    if (output.Outcome() == TextStream::Result::Failed) {
        WriteError(u"无法写入标准输出");
        return kFailed;
    }
    if (!saved) {
        return kFailed;
    }
    if (ended >= started) {
        WriteError(u"所有监控都已中止");
        return kFailed;
    }
    return kStopped;
}

std::optional<JournalPosition> ConsoleProgram::ResumePoint(const WatchState& state,
                                                           const DriveWatch& drive,
                                                           Progress& watch) {
    // The volume as the directories' reading told it.
    const std::uint32_t serial = drive.directories.front().volumeSerial;
    watch.serial = serial;
    const WatchState::Drive* saved = state.Find(watch.letter);
    if (saved == nullptr) {
        return std::nullopt;
    }
    if (saved->serial != serial) {
        WriteError(u"驱动器 " + std::u16string(1, watch.letter) +
                   u": 上已是另一个卷，状态文件中的位置不适用，从现在开始监控");
        return std::nullopt;
    }
    return JournalPosition{saved->journalId, saved->usn};
}

bool ConsoleProgram::SaveState(StateFile& file, WatchState& state,
                               const std::deque<Progress>& progress) {
    for (const Progress& watch : progress) {
        if (!watch.serial || !watch.reached) {
            continue;
        }
        const std::int64_t unwritten = watch.firstUnwritten;
        state.Set({watch.letter, *watch.serial, watch.reached->journalId,
                   unwritten >= 0 ? std::min(unwritten, watch.reached->usn) : watch.reached->usn});
    }
    if (file.Save(state)) {
        return true;
    }
    WriteError(u"无法写入状态文件：" + file.Path());
    return false;
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
            drive->directories.push_back(watched);
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
                                const WatcherSlots& slots,
                                std::optional<JournalPosition> resumeFrom) {
    const std::u16string driveText(1, drive.letter);
    if (!monitor.StartWatch(drive.letter, drive.directories, slots, resumeFrom)) {
        const OpenRefusal refusal = monitor.LastRefusal();
        // Only asked when it matters: without the rights the volume cannot be opened.
        const bool elevated = refusal != OpenRefusal::VolumeNotOpened || host_.IsElevated();
        WriteError(u"无法监控 " + driveText + u":：" + RefusalText(refusal, elevated));
        return false;
    }
    WriteError(u"开始监控：" + Joined(drive.directories));
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
