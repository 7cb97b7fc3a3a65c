#pragma once

#include "engine/VolumePlatform.h"
#include "runtime/text/CWString.h"

// A volume handle of the platform seam, owned: closed once, by Close or at the latest when
// this goes, on every path.
class ScopedVolume {
public:
    explicit ScopedVolume(VolumePlatform& platform) : platform_(platform) {}
    ScopedVolume(const ScopedVolume&) = delete;
    ScopedVolume& operator=(const ScopedVolume&) = delete;
    ~ScopedVolume() { Close(); }

    // Opens "\\.\X:", closing what was open before; false when the platform refuses.
    bool Open(const CWString& devicePath) {
        Close();
        handle_ = platform_.OpenVolume(devicePath);
        return IsOpen();
    }
    void Close() {
        if (IsOpen()) {
            platform_.CloseVolume(handle_);
            handle_ = kInvalidPlatformHandle;
        }
    }
    bool IsOpen() const { return handle_ != kInvalidPlatformHandle; }
    PlatformHandle Get() const { return handle_; }

private:
    VolumePlatform& platform_;
    PlatformHandle handle_ = kInvalidPlatformHandle;
};
