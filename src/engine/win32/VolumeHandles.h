#pragma once

#include <windows.h>

#include "runtime/win32/ScopedResource.h"

// The handles of one opened volume. The control codes go to the device. An open by file id
// names its file relative to a handle on the volume: Windows takes the device's, Wine only one
// of the volume's root directory, which is then kept open here and closed with the device.
struct VolumeHandles {
    ScopedHandle device;
    ScopedHandle rootDirectory;  // open only where the device's handle does not serve

    HANDLE OpenByIdBase() const {
        return rootDirectory.Valid() ? rootDirectory.Get() : device.Get();
    }
};
