#pragma once

#include <functional>
#include <mutex>

#include "ntfs/JournalRecords.h"
#include "sim/ForwardingPlatform.h"

// A platform that forwards every call and runs a test's action on the worker's thread
// before each journal read: a click sent into a stop's wait, a count of reads.
class JournalReadHook final : public ForwardingPlatform {
public:
    explicit JournalReadHook(VolumePlatform& inner) : ForwardingPlatform(inner) {}

    // None: nothing runs.
    void BeforeEachJournalRead(std::function<void()> action) {
        const std::lock_guard lock(mutex_);
        beforeRead_ = std::move(action);
    }

    bool DeviceIoControl(PlatformHandle volume, std::uint32_t code, const void* in,
                         std::uint32_t inSize, void* out, std::uint32_t outSize,
                         std::uint32_t& returned) override {
        if (code == ntfs::kFsctlReadUsnJournal) {
            std::function<void()> action;
            {
                const std::lock_guard lock(mutex_);
                action = beforeRead_;
            }
            if (action) {
                action();
            }
        }
        return ForwardingPlatform::DeviceIoControl(volume, code, in, inSize, out, outSize,
                                                   returned);
    }

private:
    std::mutex mutex_;
    std::function<void()> beforeRead_;
};
