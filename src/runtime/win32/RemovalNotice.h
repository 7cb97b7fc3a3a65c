#pragma once

#include <windows.h>

#include <dbt.h>

#include "runtime/win32/ScopedResource.h"

// Asks the system to tell a window before the device of an open volume is removed
// ("Safely Remove Hardware", an eject): WM_DEVICECHANGE with DBT_DEVICEQUERYREMOVE. The
// removal goes on only if every handle on the volume is closed by the time the window
// answers; a program that keeps one open blocks it. Unregistered when destroyed.
class RemovalNotice {
public:
    RemovalNotice() = default;
    RemovalNotice(HWND window, HANDLE volume) : volume_(volume) {
        DEV_BROADCAST_HANDLE filter{};
        filter.dbch_size = sizeof filter;
        filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
        filter.dbch_handle = volume;
        registration_.Reset(
            RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
    }

    // Whether a WM_DEVICECHANGE asks whether the device of `volume` may be removed.
    static bool AsksToRemove(WPARAM event, LPARAM data, HANDLE volume) {
        if (event != DBT_DEVICEQUERYREMOVE || data == 0) {
            return false;
        }
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
        if (header->dbch_devicetype != DBT_DEVTYP_HANDLE) {
            return false;
        }
        return reinterpret_cast<const DEV_BROADCAST_HANDLE*>(data)->dbch_handle == volume;
    }
    // Whether a WM_DEVICECHANGE asks about this notice's volume.
    bool AsksToRemove(WPARAM event, LPARAM data) const {
        return volume_ != nullptr && AsksToRemove(event, data, volume_);
    }

private:
    HANDLE volume_ = nullptr;
    ScopedDeviceNotice registration_;
};
