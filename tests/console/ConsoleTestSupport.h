#pragma once

// Stand-ins for the console program's process: streams that keep what is written, and a
// host with administrator rights to choose.

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "console/ConsoleHost.h"
#include "runtime/text/Utf8.h"

namespace console_test {

// Keeps every line as UTF-8; can be told to fail from some line on.
class CapturedStream final : public TextStream {
public:
    Result WriteLine(std::u16string_view line) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (failFrom_ && lines_.size() >= *failFrom_) {
            return failure_;
        }
        lines_.push_back(ToUtf8(line));
        written_.notify_all();
        return Result::Written;
    }

    // Line number `first` (from 0) and every later one answer `failure`.
    void FailFrom(std::size_t first, Result failure) {
        const std::lock_guard<std::mutex> lock(mutex_);
        failFrom_ = first;
        failure_ = failure;
    }
    std::vector<std::string> Lines() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    bool WaitForLines(std::size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20)) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return written_.wait_for(lock, timeout, [&] { return lines_.size() >= count; });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable written_;
    std::vector<std::string> lines_;
    std::optional<std::size_t> failFrom_;
    Result failure_ = Result::Failed;
};

// Administrator rights to choose.
class FakeHost final : public ConsoleHost {
public:
    CapturedStream out;
    CapturedStream err;
    bool elevated = true;

    TextStream& Out() override { return out; }
    TextStream& Err() override { return err; }
    bool IsElevated() override { return elevated; }

    // ---- Files: a disk that keeps what was flushed or moved, and loses the rest in a crash.
    // Every call is one step or more; after `CrashAfter(n)` steps the machine stops: later
    // steps fail and change nothing, and `Restart` leaves only what reached the disk.
    ReadResult ReadWholeFile(std::u16string_view path, std::string& bytes) override {
        const std::lock_guard<std::mutex> lock(diskMutex_);
        const auto it = seen_.find(std::u16string(path));
        if (it == seen_.end()) {
            return ReadResult::kMissing;
        }
        if (unreadable_.count(std::u16string(path)) != 0) {
            return ReadResult::kFailed;
        }
        bytes = it->second;
        return ReadResult::kRead;
    }
    bool WriteDurably(std::u16string_view path, std::string_view bytes) override {
        const std::lock_guard<std::mutex> lock(diskMutex_);
        const std::u16string file(path);
        // Emptied (a change of the file's size that reaches the disk at once), written
        // (in the cache), flushed: three steps.
        if (!Step()) {
            return false;
        }
        seen_[file].clear();
        onDisk_[file].clear();
        if (!Step()) {
            return false;
        }
        seen_[file] = std::string(bytes);
        if (!Step()) {
            return false;
        }
        onDisk_[file] = seen_[file];
        return true;
    }
    bool MoveOver(std::u16string_view from, std::u16string_view to) override {
        const std::lock_guard<std::mutex> lock(diskMutex_);
        const auto source = seen_.find(std::u16string(from));
        if (source == seen_.end() || !Step()) {
            return false;
        }
        seen_[std::u16string(to)] = source->second;
        onDisk_[std::u16string(to)] = source->second;
        seen_.erase(std::u16string(from));
        onDisk_.erase(std::u16string(from));
        return true;
    }
    void PutFile(const std::u16string& path, const std::string& bytes) {
        const std::lock_guard<std::mutex> lock(diskMutex_);
        seen_[path] = bytes;
        onDisk_[path] = bytes;
    }
    std::optional<std::string> FileText(const std::u16string& path) const {
        const std::lock_guard<std::mutex> lock(diskMutex_);
        const auto it = seen_.find(path);
        return it == seen_.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    void MakeUnreadable(const std::u16string& path) {
        const std::lock_guard<std::mutex> lock(diskMutex_);
        unreadable_.insert(path);
    }
    void CrashAfter(int steps) {
        const std::lock_guard<std::mutex> lock(diskMutex_);
        stepsLeft_ = steps;
    }
    bool Crashed() const {
        const std::lock_guard<std::mutex> lock(diskMutex_);
        return stepsLeft_ == 0;
    }
    // The machine comes back: what was not on the disk is gone.
    void Restart() {
        const std::lock_guard<std::mutex> lock(diskMutex_);
        seen_ = onDisk_;
        stepsLeft_ = -1;
    }

    // The system's questions about removing devices: kept, so that a test can ask one.
    std::unique_ptr<RemovalWatch> WatchRemovals(std::vector<PlatformHandle> volumes,
                                                OnRemoval onRemoval) override {
        const std::lock_guard<std::mutex> lock(removalMutex_);
        removalVolumes_ = std::move(volumes);
        onRemoval_ = std::move(onRemoval);
        removalWatched_.notify_all();
        return std::make_unique<Watch>(*this);
    }
    // Waits until the program watches for removals, then asks to remove the device of its
    // `index`th volume, as the system does; false when nothing watches.
    bool AskToRemove(std::size_t index) {
        std::unique_lock<std::mutex> lock(removalMutex_);
        removalWatched_.wait_for(lock, std::chrono::seconds(30),
                                 [&] { return onRemoval_ != nullptr; });
        if (!onRemoval_ || index >= removalVolumes_.size()) {
            return false;
        }
        onRemoval_(removalVolumes_[index]);
        return true;
    }

private:
    class Watch final : public RemovalWatch {
    public:
        explicit Watch(FakeHost& host) : host_(host) {}
        ~Watch() override {
            const std::lock_guard<std::mutex> lock(host_.removalMutex_);
            host_.onRemoval_ = nullptr;
        }

    private:
        FakeHost& host_;
    };

    bool Step() {
        if (stepsLeft_ == 0) {
            return false;
        }
        if (stepsLeft_ > 0) {
            --stepsLeft_;
        }
        return true;
    }

    mutable std::mutex diskMutex_;
    std::map<std::u16string, std::string> seen_;    // what reads see
    std::map<std::u16string, std::string> onDisk_;  // what a restart finds
    std::set<std::u16string> unreadable_;
    int stepsLeft_ = -1;  // steps before a crash; -1: none coming
    std::mutex removalMutex_;
    std::condition_variable removalWatched_;
    std::vector<PlatformHandle> removalVolumes_;
    OnRemoval onRemoval_;
};

}  // namespace console_test
