#pragma once

#include "console/TextStream.h"

// What the console program needs from its process besides the volumes: its two output
// streams and whether it holds administrator rights.
class ConsoleHost {
public:
    virtual ~ConsoleHost() = default;

    virtual TextStream& Out() = 0;
    virtual TextStream& Err() = 0;
    // Whether the process runs with administrator rights in effect.
    virtual bool IsElevated() = 0;
};
