#include "JournalReplay.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "DirectoryTable.h"
#include "engine/VolumeJournalWatcher.h"
#include "engine/WatchedDirectory.h"
#include "report/JsonSlotWriter.h"
#include "runtime/text/AsciiCase.h"
#include "runtime/text/Utf8.h"
#include "sim/JournalReadProbe.h"
#include "sim/JournalStreamScanner.h"
#include "sim/SimPlatform.h"

namespace {

constexpr const char* kName = "journal-replay: ";
// The longest record one journal read of the engine can carry; a longer one (no NTFS
// record is near it) would fail every read at its Usn.
constexpr std::size_t kLongestReadable = JournalReader::kReadBufferSize - 8;
// How long the engine may make no request at all before the replay gives up on it.
constexpr auto kStallLimit = std::chrono::seconds(30);

bool ReadFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    if (!file) {
        return false;
    }
    std::uint8_t chunk[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return std::ferror(file.get()) == 0;
}

// Zeroes the records no journal read could carry, so that the device serves the rest;
// answers how many.
std::size_t BlankUnreadableRecords(std::vector<std::uint8_t>& stream) {
    std::vector<JournalStreamScanner::Record> tooLong;
    JournalStreamScanner scanner(stream);
    while (const auto record = scanner.Next()) {
        if (record->bytes.size() > kLongestReadable) {
            tooLong.push_back(*record);
        }
    }
    for (const auto& record : tooLong) {
        std::memset(stream.data() + record.offset, 0, record.bytes.size());
    }
    return tooLong.size();
}

std::uint64_t RequestsMade(const SimVolume& volume) {
    return volume.RequestCount(ntfs::kFsctlReadUsnJournal) +
           volume.RequestCount(ntfs::kFsctlEnumUsnData);
}

// Where the watch of a journal copied off another machine begins: at its first record
// stamped at or after `since` (taken in whole seconds), found once; from there on the
// journal's own order decides, whatever later stamps say.
JournalPosition StartOf(const SimVolume& volume, std::int64_t since) {
    const ntfs::UsnJournalDataV0 journal = *volume.JournalData();
    const std::int64_t notBefore = since - since % ntfs::kFileTimeTicksPerSecond;
    for (const SimRecord& record : volume.RecordsSince(journal.FirstUsn)) {
        if (record.timeStamp >= notBefore) {
            return {journal.UsnJournalID, record.usn};
        }
    }
    return {journal.UsnJournalID, journal.NextUsn};
}

}  // namespace

int JournalReplay::Run(const ReplayOptions& options, std::ostream& out, std::ostream& err) {
    std::vector<std::uint8_t> stream;
    if (!ReadFile(options.journal, stream)) {
        err << kName << "cannot read journal file " << options.journal << '\n';
        return kBadInput;
    }
    DirectoryTable table;
    std::string error;
    if ((!options.directories.empty() && !table.LoadTsv(options.directories, error)) ||
        (!options.mft.empty() && !table.LoadMft(options.mft, error))) {
        err << kName << error << '\n';
        return kBadInput;
    }

    SimPlatform platform;
    platform.Clock().Set(options.since);
    SimVolume& volume = platform.AddDrive(options.volume);
    const DirectoryTable::Placement placement = table.PlaceInto(volume);
    const std::size_t unreadable = BlankUnreadableRecords(stream);
    const JournalStreamLoad load = volume.LoadJournalStream(stream);
    stream = {};

    // A watched path of another drive, or unknown, refuses the replay: it is not made a
    // replay of every change of the volume.
    std::vector<WatchedDirectory> watched;
    for (const std::string& path : options.watch) {
        watched.push_back(WatchedDirectory::Resolve(platform, FromUtf8(path)));
        if (watched.back().refusal != OpenRefusal::None ||
            watched.back().drive != FoldAsciiLetter(options.volume)) {
            err << kName << "a watched path is not a directory of volume "
                << ToUtf8(std::u16string(1, options.volume)) << '\n';
            return kReplayFailed;
        }
    }

    JournalReadProbe probe(platform);
    VolumeJournalWatcher watcher(probe);
    JsonSlotWriter writer(out);
    if (!watcher.Open(options.volume, watched, writer.Slots(), StartOf(volume, options.since))) {
        err << kName << "the engine refused the simulated volume\n";
        return kReplayFailed;
    }

    // Done once a read that found nothing follows the last record.
    const std::int64_t end = volume.JournalData()->NextUsn;
    std::uint64_t requests = RequestsMade(volume);
    auto lastProgress = std::chrono::steady_clock::now();
    while (!probe.WaitCaughtUp(end, std::chrono::milliseconds(500))) {
        const std::uint64_t now = RequestsMade(volume);
        if (now != requests) {
            requests = now;
            lastProgress = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - lastProgress > kStallLimit) {
            watcher.Stop();
            out.flush();
            err << kName << "the engine stopped reading the journal before its end\n";
            return kReplayFailed;
        }
    }
    watcher.Stop();
    out.flush();
    if (!out) {
        err << kName << "cannot write the output\n";
        return kReplayFailed;
    }

    const JournalStreamScanner::Counts& scanned = load.scanned;
    err << kName << "served " << load.loaded << " version-2 records; skipped "
        << scanned.otherVersions << " of other versions, " << scanned.malformed << " malformed, "
        << load.badUsn << " with a Usn out of order, " << unreadable
        << " longer than a journal read, " << scanned.implausibleSkips
        << " implausible 8-byte steps; " << scanned.zeroBytes << " zero bytes\n";
    if (!options.directories.empty() || !options.mft.empty()) {
        err << kName << "placed " << placement.placed << " directories, left out "
            << placement.leftOut << '\n';
    }
    return kSuccess;
}
