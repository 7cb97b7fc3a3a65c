#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "console/TextStream.h"
#include "engine/VolumePlatform.h"

// What the console program needs from its process besides the volumes: its two output
// streams, whether it holds administrator rights, the system's word before a watched
// volume's device is removed, and the file it keeps its state in.
class ConsoleHost {
public:
    // While it lives, the system's questions about removing the devices go to the program.
    class RemovalWatch {
    public:
        virtual ~RemovalWatch() = default;
    };
    using OnRemoval = std::function<void(PlatformHandle volume)>;

    virtual ~ConsoleHost() = default;

    virtual TextStream& Out() = 0;
    virtual TextStream& Err() = 0;
    // Whether the process runs with administrator rights in effect.
    virtual bool IsElevated() = 0;
    // Calls `onRemoval`, on a thread of the host's, when the system asks to remove the
    // device of one of the open `volumes`; the removal goes on once it returns, so it
    // closes the volume first. Until the answer is destroyed.
    virtual std::unique_ptr<RemovalWatch> WatchRemovals(std::vector<PlatformHandle> volumes,
                                                        OnRemoval onRemoval) = 0;

    // ---- Files (the state file), each call one step a crash may come between
    enum class ReadResult { kRead, kMissing, kFailed };
    virtual ReadResult ReadWholeFile(std::u16string_view path, std::string& bytes) = 0;
    // Creates the file or empties it, writes `bytes` and flushes them to the disk.
    virtual bool WriteDurably(std::u16string_view path, std::string_view bytes) = 0;
    // Moves `from` over `to`, replacing it in one step; on the disk when it returns.
    virtual bool MoveOver(std::u16string_view from, std::u16string_view to) = 0;
};
