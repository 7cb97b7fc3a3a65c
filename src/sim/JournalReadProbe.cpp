#include "sim/JournalReadProbe.h"

#include <cstring>

#include "ntfs/JournalRecords.h"

bool JournalReadProbe::DeviceIoControl(PlatformHandle volume, std::uint32_t code, const void* in,
                                       std::uint32_t inSize, void* out, std::uint32_t outSize,
                                       std::uint32_t& returned) {
    if (code != ntfs::kFsctlReadUsnJournal) {
        return ForwardingPlatform::DeviceIoControl(volume, code, in, inSize, out, outSize,
                                                   returned);
    }
    std::uint64_t number;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        number = ++readsStarted_;
    }
    const bool ok =
        ForwardingPlatform::DeviceIoControl(volume, code, in, inSize, out, outSize, returned);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++reads_;
        if (ok && returned > 8) {
            recordBytes_ += returned - 8;
        }
        if (ok && returned == 8 && out != nullptr) {
            std::int64_t next;
            std::memcpy(&next, out, sizeof next);
            lastEmptyNextUsn_ = next;
            lastEmptyReadNumber_ = number;
        }
    }
    answered_.notify_all();
    return ok;
}

bool JournalReadProbe::WaitCaughtUp(std::int64_t usn, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::uint64_t startedBefore = readsStarted_;
    return answered_.wait_for(lock, timeout, [&] {
        return lastEmptyReadNumber_ > startedBefore && lastEmptyNextUsn_ >= usn;
    });
}

std::uint64_t JournalReadProbe::ReadCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reads_;
}

std::uint64_t JournalReadProbe::RecordBytesRead() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return recordBytes_;
}
