#pragma once

#include <atomic>
#include <cstdint>

// The calendar clock of a simulated machine, shared by the platform and its volumes:
// FILETIME values (100-ns units since 1601-01-01 UTC) with sub-second precision, and
// the whole unix seconds time() would give. It stands still unless told otherwise, so
// that tests are repeatable; each journal record may move it on by a small step, and
// a demo can let it follow the real clock. Thread-safe.
class SimClock {
public:
    // 2024-05-06 09:41:27.3456789 UTC.
    static constexpr std::int64_t kDefaultStart = 133594620873456789LL;

    SimClock() = default;
    explicit SimClock(std::int64_t fileTime) : now_(fileTime) {}
    SimClock(const SimClock&) = delete;
    SimClock& operator=(const SimClock&) = delete;

    std::int64_t FileTime() const;
    // time(): whole seconds since 1970-01-01 UTC, rounded down.
    std::int64_t UnixSeconds() const;

    // Sets the time; stops following the real clock.
    void Set(std::int64_t fileTime);
    void SetUnixSeconds(std::int64_t seconds) { Set(FromUnixSeconds(seconds)); }
    void Advance(std::int64_t ticks);
    void AdvanceMilliseconds(std::int64_t milliseconds) { Advance(milliseconds * 10000); }

    // How far each record stamp moves the clock on (0: records of one moment share it).
    void SetStepPerStamp(std::int64_t ticks) { step_.store(ticks); }
    // The time stamp of a journal record: the current time, then the clock steps on.
    std::int64_t Stamp();

    // Lets the clock read the machine's real time from now on (for demonstrations).
    void FollowSystemClock(bool follow) { followSystem_.store(follow); }

    static std::int64_t FromUnixSeconds(std::int64_t seconds);
    static std::int64_t SystemFileTime();

private:
    std::atomic<std::int64_t> now_{kDefaultStart};
    std::atomic<std::int64_t> step_{0};
    std::atomic<bool> followSystem_{false};
};
