#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "engine/WatchedDirectory.h"
#include "sim/ForwardingPlatform.h"

// A platform that forwards every call and notes those that ask a drive's file system (its
// volume information, an open of a path) by the drive they ask, upper case: a drive judged
// by its type alone is never asked. On Windows such a question can stall the caller on a
// network drive whose server is gone, or raise the system's "no disk" box.
class FileSystemQueries final : public ForwardingPlatform {
public:
    explicit FileSystemQueries(VolumePlatform& inner) : ForwardingPlatform(inner) {}

    std::u16string DrivesAsked() const {
        const std::lock_guard lock(mutex_);
        return asked_;
    }
    // The drives whose type was asked (GetDriveTypeW), which asks the file system nothing.
    std::u16string TypesAsked() const {
        const std::lock_guard lock(mutex_);
        return typesAsked_;
    }
    void Forget() {
        const std::lock_guard lock(mutex_);
        asked_.clear();
        typesAsked_.clear();
    }
    unsigned QueryDriveType(const CWString& rootPath) override {
        {
            const std::lock_guard lock(mutex_);
            typesAsked_ += WatchedDirectory::DriveLetterOf(rootPath.View()).value_or(u'?');
        }
        return ForwardingPlatform::QueryDriveType(rootPath);
    }
    bool QueryVolumeInformation(const CWString& rootPath, VolumeInformation& information) override {
        Note(rootPath);
        return ForwardingPlatform::QueryVolumeInformation(rootPath, information);
    }
    bool IdentifyFile(const CWString& path, FileIdentity& identity) override {
        Note(path);
        return ForwardingPlatform::IdentifyFile(path, identity);
    }

private:
    void Note(const CWString& path) {
        const std::lock_guard lock(mutex_);
        asked_ += WatchedDirectory::DriveLetterOf(path.View()).value_or(u'?');
    }

    mutable std::mutex mutex_;
    std::u16string asked_;
    std::u16string typesAsked_;
};
