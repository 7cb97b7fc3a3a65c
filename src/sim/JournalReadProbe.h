#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "sim/ForwardingPlatform.h"

// A platform that forwards every call to another and notes what the journal reads answer,
// so that a test or a tool can wait until a reader has caught up with the journal: the
// reader classifies a batch before it asks for the next, so an empty answer at or past a
// USN means every record before that USN has been handed on.
class JournalReadProbe final : public ForwardingPlatform {
public:
    explicit JournalReadProbe(VolumePlatform& inner) : ForwardingPlatform(inner) {}

    // Waits until a read answered no records with a next USN at or past `usn`, a read
    // that started after this call. False when `timeout` passes first.
    bool WaitCaughtUp(std::int64_t usn,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20));
    std::uint64_t ReadCount() const;
    // The bytes of records the reads have returned, beyond their 8-byte next Usn.
    std::uint64_t RecordBytesRead() const;

    bool DeviceIoControl(PlatformHandle volume, std::uint32_t code, const void* in,
                         std::uint32_t inSize, void* out, std::uint32_t outSize,
                         std::uint32_t& returned) override;

private:
    mutable std::mutex mutex_;
    std::condition_variable answered_;
    std::uint64_t reads_ = 0;
    std::uint64_t recordBytes_ = 0;
    std::uint64_t readsStarted_ = 0;
    // The last empty answer: its next USN and the number of the read that gave it.
    std::int64_t lastEmptyNextUsn_ = -1;
    std::uint64_t lastEmptyReadNumber_ = 0;
};
