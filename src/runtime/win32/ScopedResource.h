#pragma once

#include <windows.h>

#include <utility>

// Owns one Win32 resource and gives it back once, with the call its kind needs. Move-only.
// Kinds differ in two things only: the call that closes them (Close) and which values mean
// "none" (NoneIf), so every kind is this one template and an alias below.
template <typename Handle, typename Close, typename NoneIf>
class ScopedResource {
public:
    ScopedResource() = default;
    explicit ScopedResource(Handle handle) : handle_(handle) {}
    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;
    ScopedResource(ScopedResource&& other) noexcept : handle_(other.Release()) {}
    ScopedResource& operator=(ScopedResource&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    ~ScopedResource() { Reset(); }

    Handle Get() const { return handle_; }
    bool Valid() const { return !NoneIf{}(handle_); }
    explicit operator bool() const { return Valid(); }
    // Closes what is held (unless it is `handle` itself) and holds `handle` instead.
    void Reset(Handle handle = Handle{}) {
        if (Valid() && handle_ != handle) {
            Close{}(handle_);
        }
        handle_ = handle;
    }
    // Hands the resource over to the caller, who closes it.
    Handle Release() { return std::exchange(handle_, Handle{}); }

private:
    Handle handle_{};
};

namespace scoped_resource {

struct IsNull {
    template <typename Handle>
    bool operator()(Handle handle) const {
        return handle == nullptr;
    }
};
// CreateFileW, FindFirstFileW and their kind answer INVALID_HANDLE_VALUE for none.
struct IsNullOrInvalid {
    bool operator()(HANDLE handle) const {
        return handle == nullptr || handle == INVALID_HANDLE_VALUE;
    }
};

struct CloseKernelHandle {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct CloseFind {
    void operator()(HANDLE handle) const { FindClose(handle); }
};
struct FreeLocal {
    void operator()(void* memory) const { LocalFree(memory); }
};
struct FreeModule {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
struct DeleteGdiObject {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct DestroyIconHandle {
    void operator()(HICON icon) const { DestroyIcon(icon); }
};
struct UnregisterDeviceNotice {
    void operator()(HDEVNOTIFY notice) const { UnregisterDeviceNotification(notice); }
};
// The screen's device context, from GetDC(nullptr).
struct ReleaseScreenDc {
    void operator()(HDC dc) const { ReleaseDC(nullptr, dc); }
};

}  // namespace scoped_resource

// Events, threads, files, tokens, volumes.
using ScopedHandle =
    ScopedResource<HANDLE, scoped_resource::CloseKernelHandle, scoped_resource::IsNullOrInvalid>;
using ScopedFindHandle =
    ScopedResource<HANDLE, scoped_resource::CloseFind, scoped_resource::IsNullOrInvalid>;
// Memory the system allocated with LocalAlloc for the caller (CommandLineToArgvW,
// ConvertSidToStringSidW).
template <typename Pointer>
using ScopedLocalMemory =
    ScopedResource<Pointer, scoped_resource::FreeLocal, scoped_resource::IsNull>;
using ScopedModule = ScopedResource<HMODULE, scoped_resource::FreeModule, scoped_resource::IsNull>;
// Fonts, brushes, bitmaps.
template <typename Object>
using ScopedGdiObject =
    ScopedResource<Object, scoped_resource::DeleteGdiObject, scoped_resource::IsNull>;
using ScopedFont = ScopedGdiObject<HFONT>;
using ScopedBrush = ScopedGdiObject<HBRUSH>;
// An icon loaded without LR_SHARED.
using ScopedIcon =
    ScopedResource<HICON, scoped_resource::DestroyIconHandle, scoped_resource::IsNull>;
using ScopedScreenDc =
    ScopedResource<HDC, scoped_resource::ReleaseScreenDc, scoped_resource::IsNull>;
// A registration for a device's notices (RegisterDeviceNotificationW).
using ScopedDeviceNotice =
    ScopedResource<HDEVNOTIFY, scoped_resource::UnregisterDeviceNotice, scoped_resource::IsNull>;
