#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "demo/ActivitySource.h"
#include "demo/win32/Win32FolderPlatform.h"
#include "sim/SimVolume.h"

// What keeps a demonstration's drive C busy, picked from its command line and owned for
// as long as the demonstration runs: without a folder, the scripted scenario; with one, the
// mirror of that real folder.
class DemoActivity {
public:
    DemoActivity(SimVolume& volume, std::optional<std::u16string_view> folder);

    // False when the folder given names no folder: there is nothing to play.
    bool Ready() const { return source_ != nullptr; }
    ActivitySource& Source() { return *source_; }

private:
    std::unique_ptr<Win32FolderPlatform> folder_;
    std::unique_ptr<ActivitySource> source_;
};
