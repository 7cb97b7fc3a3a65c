#include "sim/SimClock.h"

#include <chrono>

#include "ntfs/JournalRecords.h"

std::int64_t SimClock::FileTime() const {
    return followSystem_.load() ? SystemFileTime() : now_.load();
}

std::int64_t SimClock::UnixSeconds() const {
    const std::int64_t sinceEpoch = FileTime() - ntfs::kUnixEpochAsFileTime;
    const std::int64_t seconds = sinceEpoch / ntfs::kFileTimeTicksPerSecond;
    // Round towards the past, as time() does, also before 1970.
    return sinceEpoch < 0 && sinceEpoch % ntfs::kFileTimeTicksPerSecond != 0 ? seconds - 1
                                                                             : seconds;
}

void SimClock::Set(std::int64_t fileTime) {
    followSystem_.store(false);
    now_.store(fileTime);
}

void SimClock::Advance(std::int64_t ticks) {
    now_.fetch_add(ticks);
}

std::int64_t SimClock::Stamp() {
    if (followSystem_.load()) {
        return SystemFileTime();
    }
    return now_.fetch_add(step_.load());
}

std::int64_t SimClock::FromUnixSeconds(std::int64_t seconds) {
    return ntfs::kUnixEpochAsFileTime + seconds * ntfs::kFileTimeTicksPerSecond;
}

std::int64_t SimClock::SystemFileTime() {
    using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>;
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return ntfs::kUnixEpochAsFileTime + std::chrono::duration_cast<Ticks>(sinceEpoch).count();
}
