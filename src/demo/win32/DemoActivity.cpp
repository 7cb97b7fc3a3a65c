#include "demo/win32/DemoActivity.h"

#include "demo/DemoScenario.h"
#include "demo/FolderMirror.h"

DemoActivity::DemoActivity(SimVolume& volume, std::optional<std::u16string_view> folder) {
    if (!folder) {
        source_ = std::make_unique<DemoScenario>(volume);
        return;
    }
    if (const std::optional<std::u16string> path = Win32FolderPlatform::DirectoryPath(*folder)) {
        folder_ = std::make_unique<Win32FolderPlatform>(*path);
        source_ = std::make_unique<FolderMirror>(volume, *folder_);
    }
}
