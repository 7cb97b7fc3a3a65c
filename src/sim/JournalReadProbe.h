#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "engine/VolumePlatform.h"

// A platform that forwards every call to another and notes what the journal reads answer,
// so that a test or a tool can wait until a reader has caught up with the journal: the
// reader classifies a batch before it asks for the next, so an empty answer at or past a
// USN means every record before that USN has been handed on.
class JournalReadProbe final : public VolumePlatform {
public:
    explicit JournalReadProbe(VolumePlatform& inner) : inner_(inner) {}

    // Waits until a read answered no records with a next USN at or past `usn`, a read
    // that started after this call. False when `timeout` passes first.
    bool WaitCaughtUp(std::int64_t usn,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20));
    std::uint64_t ReadCount() const;

    bool GetFileSystemName(const CWString& rootPath, CWString& name) override {
        return inner_.GetFileSystemName(rootPath, name);
    }
    unsigned QueryDriveType(const CWString& rootPath) override {
        return inner_.QueryDriveType(rootPath);
    }
    PlatformHandle OpenVolume(const CWString& devicePath) override {
        return inner_.OpenVolume(devicePath);
    }
    void CloseVolume(PlatformHandle volume) override { inner_.CloseVolume(volume); }
    bool DeviceIoControl(PlatformHandle volume, std::uint32_t code, const void* in,
                         std::uint32_t inSize, void* out, std::uint32_t outSize,
                         std::uint32_t& returned) override;
    std::uint32_t LastError() const override { return inner_.LastError(); }
    bool HasOpenByIdCalls() override { return inner_.HasOpenByIdCalls(); }
    std::int32_t QueryNameById(PlatformHandle volume, std::uint32_t desiredAccess,
                               std::uint64_t fileId, void* buffer, std::uint32_t size) override {
        return inner_.QueryNameById(volume, desiredAccess, fileId, buffer, size);
    }
    std::uint64_t GetFileId(const CWString& path) override { return inner_.GetFileId(path); }
    bool IsDirectory(const CWString& path) override { return inner_.IsDirectory(path); }
    CWString GetUserSidText() override { return inner_.GetUserSidText(); }
    std::int64_t CurrentUnixSeconds() override { return inner_.CurrentUnixSeconds(); }

private:
    VolumePlatform& inner_;
    mutable std::mutex mutex_;
    std::condition_variable answered_;
    std::uint64_t reads_ = 0;
    std::uint64_t readsStarted_ = 0;
    // The last empty answer: its next USN and the number of the read that gave it.
    std::int64_t lastEmptyNextUsn_ = -1;
    std::uint64_t lastEmptyReadNumber_ = 0;
};
