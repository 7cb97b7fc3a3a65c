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

private:
    Win32TextStream out_;
    Win32TextStream err_;
};
