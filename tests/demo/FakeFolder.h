#pragma once

// A real folder as the mirror's tests need it: an in-memory tree with file indexes,
// sizes, attributes and write times, listed in NTFS's index order and named as a
// case-sensitive (Linux) folder names its entries; and a watch whose reads hand over
// exactly the notifications, overflows and failures a test queues, as bytes.

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "demo/FileNotifyRecords.h"
#include "demo/FolderPlatform.h"
#include "ntfs/JournalRecords.h"
#include "sim/SimNames.h"

class FakeFolder final : public FolderPlatform {
public:
    struct Read {
        FolderReadStatus status = FolderReadStatus::kChanges;
        std::vector<std::uint8_t> bytes;
    };

    // ---- The folder's contents (no notifications: tests say what the watch reports)
    void PutFile(const std::u16string& path, std::uint64_t size,
                 std::uint32_t attributes = ntfs::kAttributeArchive) {
        const std::lock_guard<std::mutex> lock(mutex_);
        FolderEntry& entry = Entry(path);
        entry.attributes = attributes;
        entry.size = size;
        entry.lastWrite = ++clock_;
    }
    void PutDirectory(const std::u16string& path) {
        const std::lock_guard<std::mutex> lock(mutex_);
        FolderEntry& entry = Entry(path);
        entry.attributes = ntfs::kAttributeDirectory;
        entry.lastWrite = ++clock_;
    }
    void Write(const std::u16string& path, std::uint64_t size) {
        const std::lock_guard<std::mutex> lock(mutex_);
        entries_.at(path).size = size;
        entries_.at(path).lastWrite = ++clock_;
    }
    void Touch(const std::u16string& path) {
        const std::lock_guard<std::mutex> lock(mutex_);
        entries_.at(path).lastWrite = ++clock_;
    }
    void SetAttributes(const std::u16string& path, std::uint32_t attributes) {
        const std::lock_guard<std::mutex> lock(mutex_);
        entries_.at(path).attributes = attributes;
    }
    // Moves an entry and everything below it; file indexes stay.
    void Move(const std::u16string& from, const std::u16string& to) {
        const std::lock_guard<std::mutex> lock(mutex_);
        std::map<std::u16string, FolderEntry> moved;
        for (auto it = entries_.begin(); it != entries_.end();) {
            if (it->first == from || IsBelow(it->first, from)) {
                FolderEntry entry = it->second;
                const std::u16string path = to + it->first.substr(from.size());
                entry.name = Leaf(path);
                moved.emplace(path, entry);
                it = entries_.erase(it);
            } else {
                ++it;
            }
        }
        entries_.merge(moved);
    }
    void Remove(const std::u16string& path) {
        const std::lock_guard<std::mutex> lock(mutex_);
        std::erase_if(entries_, [&](const auto& item) {
            return item.first == path || IsBelow(item.first, path);
        });
    }
    // The folder itself goes, with what it holds; a folder of the same name may come back,
    // another folder with another file index.
    void RemoveFolder() {
        const std::lock_guard<std::mutex> lock(mutex_);
        entries_.clear();
        folderExists_ = false;
    }
    void MakeFolderAgain() {
        const std::lock_guard<std::mutex> lock(mutex_);
        folderExists_ = true;
        ++folderId_;
    }
    // The folder's short name for a path (Windows may report either).
    void AddShortName(const std::u16string& shortPath, const std::u16string& longPath) {
        const std::lock_guard<std::mutex> lock(mutex_);
        shortNames_[shortPath] = longPath;
    }
    void FailListing(const std::u16string& directory) {
        const std::lock_guard<std::mutex> lock(mutex_);
        unlistable_.push_back(directory);
    }
    std::uint64_t IdOf(const std::u16string& path) const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return entries_.at(path).id;
    }
    const std::map<std::u16string, FolderEntry>& Entries() const { return entries_; }

    // ---- What the watch reports
    void QueueChanges(const std::vector<FolderChange>& changes) {
        const std::lock_guard<std::mutex> lock(mutex_);
        reads_.push_back({FolderReadStatus::kChanges, file_notify::Encode(changes)});
    }
    void QueueBytes(std::vector<std::uint8_t> bytes) {
        const std::lock_guard<std::mutex> lock(mutex_);
        reads_.push_back({FolderReadStatus::kChanges, std::move(bytes)});
    }
    void QueueStatus(FolderReadStatus status) {
        const std::lock_guard<std::mutex> lock(mutex_);
        reads_.push_back({status, {}});
    }
    bool AllRead() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return reads_.empty();
    }
    void RefuseWatches(int count) {
        const std::lock_guard<std::mutex> lock(mutex_);
        refusedWatches_ = count;
    }
    int WatchesRefused() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return watchesRefused_;
    }
    int WatchesStarted() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return watchesStarted_;
    }
    int ListingsBeforeTheFirstWatch() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return listingsAtFirstWatch_;
    }

    // ---- FolderPlatform
    bool List(std::u16string_view directory, std::vector<FolderEntry>& entries) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++listings_;
        for (const std::u16string& refused : unlistable_) {
            if (refused == directory) {
                return false;
            }
        }
        if (!folderExists_ ||
            (!directory.empty() && entries_.count(std::u16string(directory)) == 0)) {
            return false;
        }
        for (const auto& [path, entry] : entries_) {
            if (Parent(path) == directory) {
                entries.push_back(entry);
            }
        }
        std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
            return sim_names::Compare(a.name, b.name) < 0;
        });
        return true;
    }
    bool Stat(std::u16string_view path, FolderEntry& entry) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (path.empty()) {
            entry = FolderEntry{u"", folderId_, ntfs::kAttributeDirectory, 0, 0};
            return folderExists_;
        }
        std::u16string key(path);
        if (const auto alias = shortNames_.find(key); alias != shortNames_.end()) {
            key = alias->second;
        }
        const auto it = entries_.find(key);
        if (it == entries_.end()) {
            return false;
        }
        entry = it->second;
        entry.name.clear();
        return true;
    }
    bool StartWatch() override {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!folderExists_) {
            return false;
        }
        if (refusedWatches_ > 0) {
            --refusedWatches_;
            ++watchesRefused_;
            return false;
        }
        ++watchesStarted_;
        listingsAtFirstWatch_ = watchesStarted_ == 1 ? listings_ : listingsAtFirstWatch_;
        return true;
    }
    FolderReadStatus ReadChanges(std::vector<std::uint8_t>& bytes, unsigned) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (reads_.empty()) {
            return FolderReadStatus::kQuiet;
        }
        Read read = std::move(reads_.front());
        reads_.pop_front();
        bytes = std::move(read.bytes);
        return read.status;
    }
    std::u16string LongPath(std::u16string_view path) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto alias = shortNames_.find(std::u16string(path));
        return alias == shortNames_.end() ? std::u16string() : alias->second;
    }

    static std::u16string_view Parent(std::u16string_view path) {
        const std::size_t slash = path.rfind(u'\\');
        return slash == std::u16string_view::npos ? std::u16string_view() : path.substr(0, slash);
    }
    static std::u16string Leaf(const std::u16string& path) {
        const std::size_t slash = path.rfind(u'\\');
        return slash == std::u16string::npos ? path : path.substr(slash + 1);
    }

private:
    static bool IsBelow(const std::u16string& path, const std::u16string& directory) {
        return path.size() > directory.size() &&
               path.compare(0, directory.size(), directory) == 0 && path[directory.size()] == u'\\';
    }
    FolderEntry& Entry(const std::u16string& path) {
        FolderEntry& entry = entries_[path];
        if (entry.id == 0) {
            entry.id = 0x0001000000000040ULL + nextId_++;
            entry.name = Leaf(path);
        }
        return entry;
    }

    mutable std::mutex mutex_;  // the mirror's thread reads while a test changes the folder
    std::map<std::u16string, FolderEntry> entries_;
    std::map<std::u16string, std::u16string> shortNames_;
    std::vector<std::u16string> unlistable_;
    std::deque<Read> reads_;
    std::uint64_t nextId_ = 0;
    std::int64_t clock_ = 133594620000000000LL;
    bool folderExists_ = true;
    std::uint64_t folderId_ = 0x0001000000000030ULL;
    int refusedWatches_ = 0;
    int watchesStarted_ = 0;
    int watchesRefused_ = 0;
    int listings_ = 0;
    int listingsAtFirstWatch_ = -1;
};
