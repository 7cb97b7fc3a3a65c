#pragma once

#include "console/ConsoleHost.h"
#include "console/Win32TextStream.h"

// The console program's process on Windows: its standard output and error, the system's
// full path names and its token's elevation.
class Win32ConsoleHost final : public ConsoleHost {
public:
    Win32ConsoleHost() : out_(STD_OUTPUT_HANDLE), err_(STD_ERROR_HANDLE) {}

    TextStream& Out() override { return out_; }
    TextStream& Err() override { return err_; }
    std::u16string FullPath(std::u16string_view path) override;
    bool IsElevated() override;
    std::unique_ptr<RemovalWatch> WatchRemovals(std::vector<PlatformHandle> volumes,
                                                OnRemoval onRemoval) override;

private:
    Win32TextStream out_;
    Win32TextStream err_;
};
