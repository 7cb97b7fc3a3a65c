#pragma once

#include "engine/VolumePlatform.h"

// A platform that hands every call to another: the base of those that watch or change a
// few calls of a platform and leave the rest as they are.
class ForwardingPlatform : public VolumePlatform {
public:
    explicit ForwardingPlatform(VolumePlatform& inner) : inner_(inner) {}

    bool QueryVolumeInformation(const CWString& rootPath, VolumeInformation& information) override {
        return inner_.QueryVolumeInformation(rootPath, information);
    }
    unsigned QueryDriveType(const CWString& rootPath) override {
        return inner_.QueryDriveType(rootPath);
    }
    PlatformHandle OpenVolume(const CWString& devicePath) override {
        return inner_.OpenVolume(devicePath);
    }
    void CloseVolume(PlatformHandle volume) override { inner_.CloseVolume(volume); }
    bool DeviceIoControl(PlatformHandle volume, std::uint32_t code, const void* in,
                         std::uint32_t inSize, void* out, std::uint32_t outSize,
                         std::uint32_t& returned) override {
        return inner_.DeviceIoControl(volume, code, in, inSize, out, outSize, returned);
    }
    std::uint32_t LastError() const override { return inner_.LastError(); }
    bool HasOpenByIdCalls() override { return inner_.HasOpenByIdCalls(); }
    std::int32_t QueryNameById(PlatformHandle volume, std::uint32_t desiredAccess,
                               std::uint64_t fileId, void* buffer, std::uint32_t size) override {
        return inner_.QueryNameById(volume, desiredAccess, fileId, buffer, size);
    }
    CWString FullPathName(const CWString& path) override { return inner_.FullPathName(path); }
    bool IdentifyFile(const CWString& path, FileIdentity& identity) override {
        return inner_.IdentifyFile(path, identity);
    }

protected:
    VolumePlatform& Inner() const { return inner_; }

private:
    VolumePlatform& inner_;
};
