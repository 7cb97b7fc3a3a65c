#pragma once

#include "console/ConsoleHost.h"
#include "console/Win32TextStream.h"

// The console program's process on Windows: its standard output and error and its
// token's elevation.
class Win32ConsoleHost final : public ConsoleHost {
public:
    Win32ConsoleHost() : out_(STD_OUTPUT_HANDLE), err_(STD_ERROR_HANDLE) {}

    TextStream& Out() override { return out_; }
    TextStream& Err() override { return err_; }
    bool IsElevated() override;
    std::unique_ptr<RemovalWatch> WatchRemovals(std::vector<PlatformHandle> volumes,
                                                OnRemoval onRemoval) override;
    ReadResult ReadWholeFile(std::u16string_view path, std::string& bytes) override;
    bool WriteDurably(std::u16string_view path, std::string_view bytes) override;
    bool MoveOver(std::u16string_view from, std::u16string_view to) override;

private:
    Win32TextStream out_;
    Win32TextStream err_;
};
