#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <unordered_map>

// What the records of a file said of its names before the record that closes its handle,
// seen in one journal pass: the name it had before its first rename, and the first link
// its handle added. Both wait for that closing record (the records of different files
// interleave, for instance when an editor saves through a temporary file). Keyed by the
// full 64-bit file reference number. Bounded: beyond the capacity the oldest file's names
// are dropped, so a pass that sees names whose closes never come cannot grow without end.
class PendingNames {
public:
    struct Name {
        std::u16string name;
        std::uint64_t parent = 0;
    };
    struct Held {
        std::optional<Name> oldName;    // before the first rename: a → b → c was a
        std::optional<Name> addedLink;  // a further name the handle gave the file
    };

    static constexpr std::size_t kDefaultCapacity = 4096;

    explicit PendingNames(std::size_t capacity = kDefaultCapacity) : capacity_(capacity) {}

    // Holds the name `file` had before a rename, unless it holds an earlier one.
    void HoldOldName(std::uint64_t file, Name name);
    // Holds a link added to `file`, unless it holds an earlier one.
    void HoldAddedLink(std::uint64_t file, Name link);
    // Removes and answers what is held for `file` (nothing: neither is set).
    Held Take(std::uint64_t file);
    void Clear();
    std::size_t Size() const { return byFile_.size(); }

private:
    struct Entry {
        std::uint64_t file;
        Held held;
    };

    // The entry of `file`, made when there is none.
    Held& HeldFor(std::uint64_t file);

    std::size_t capacity_;
    std::list<Entry> oldestFirst_;
    std::unordered_map<std::uint64_t, std::list<Entry>::iterator> byFile_;
};
