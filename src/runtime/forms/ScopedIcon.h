#pragma once

#include <windows.h>

#include <utility>

// Owns one icon loaded without LR_SHARED and destroys it once. Move-only.
class ScopedIcon {
public:
    ScopedIcon() = default;
    explicit ScopedIcon(HICON icon) : icon_(icon) {}
    ScopedIcon(const ScopedIcon&) = delete;
    ScopedIcon& operator=(const ScopedIcon&) = delete;
    ScopedIcon(ScopedIcon&& other) noexcept : icon_(std::exchange(other.icon_, nullptr)) {}
    ScopedIcon& operator=(ScopedIcon&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.icon_, nullptr));
        }
        return *this;
    }
    ~ScopedIcon() { Reset(nullptr); }

    HICON Get() const { return icon_; }
    void Reset(HICON icon) {
        if (icon_ != nullptr && icon_ != icon) {
            DestroyIcon(icon_);
        }
        icon_ = icon;
    }

private:
    HICON icon_ = nullptr;
};
