#pragma once

#include <string>
#include <string_view>

#include "console/TextStream.h"

// What the console program needs from its process besides the volumes: its two output
// streams, the system's reading of a path and whether it holds administrator rights.
class ConsoleHost {
public:
    virtual ~ConsoleHost() = default;

    virtual TextStream& Out() = 0;
    virtual TextStream& Err() = 0;
    // The full path of a directory argument as the system resolves it (relative to the
    // current directory; "C:" alone is the current directory of drive C); the argument
    // itself when it cannot be resolved.
    virtual std::u16string FullPath(std::u16string_view path) = 0;
    // Whether the process runs with administrator rights in effect.
    virtual bool IsElevated() = 0;
};
