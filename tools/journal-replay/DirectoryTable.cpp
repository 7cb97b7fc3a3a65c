#include "DirectoryTable.h"

#include <libfsntfs.h>

#include <charconv>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string_view>

#include "ntfs/JournalRecords.h"
#include "runtime/text/Utf8.h"
#include "sim/SimVolume.h"

namespace {

// Hex digits only (no sign, no blanks), at most 64 bits.
bool ParseHex(std::string_view text, bool needPrefix, std::uint64_t& value) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    } else if (needPrefix) {
        return false;
    }
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return !text.empty() && status == std::errc() && end == text.data() + text.size();
}

// libfsntfs handles, freed in reverse order of their making.
struct FsntfsError {
    libfsntfs_error_t* error = nullptr;
    ~FsntfsError() { libfsntfs_error_free(&error); }
};

constexpr std::uint32_t kAttributeTypeFileName = 0x30;
constexpr std::uint8_t kNameSpaceDos = 2;

}  // namespace

bool DirectoryTable::LoadTsv(const std::string& path, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open directories file " + path;
        return false;
    }
    std::vector<Entry> entries;
    std::set<std::uint64_t> seen;
    std::string line;
    int number = 0;
    while (std::getline(file, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || (number == 1 && line == "frn\tparent\tattributes\tname")) {
            continue;
        }
        const auto fail = [&](const std::string& why) {
            error = path + " line " + std::to_string(number) + ": " + why;
            return false;
        };
        std::vector<std::string> fields;
        for (std::size_t start = 0;;) {
            const std::size_t tab = line.find('\t', start);
            fields.push_back(line.substr(start, tab - start));
            if (tab == std::string::npos) {
                break;
            }
            start = tab + 1;
        }
        if (fields.size() != 4) {
            return fail("expected 4 tab-separated columns (frn, parent, attributes, name), found " +
                        std::to_string(fields.size()));
        }
        Entry entry;
        std::uint64_t attributes = 0;
        if (!ParseHex(fields[0], true, entry.frn) || !ParseHex(fields[1], true, entry.parent)) {
            return fail("frn and parent must be 0x-prefixed 64-bit hex numbers");
        }
        if (!ParseHex(fields[2], false, attributes) || attributes > 0xFFFFFFFFu) {
            return fail("attributes must be a 32-bit hex number");
        }
        entry.name = FromUtf8(fields[3]);
        if (ToUtf8(entry.name) != fields[3]) {
            return fail("the name is not valid UTF-8");
        }
        const bool root = entry.parent == entry.frn;
        if (root && (entry.frn != ntfs::kRootFileReference || !entry.name.empty())) {
            return fail("only the root (0x0005000000000005, with an empty name) is its own parent");
        }
        if (!root && entry.name.empty()) {
            return fail("a directory other than the root needs a name");
        }
        if (!seen.insert(entry.frn).second) {
            return fail("frn " + fields[0] + " appears twice");
        }
        entry.attributes = static_cast<std::uint32_t>(attributes) | ntfs::kAttributeDirectory;
        entries.push_back(std::move(entry));
    }
    if (file.bad()) {
        error = "cannot read directories file " + path;
        return false;
    }
    entries_ = std::move(entries);
    return true;
}

DirectoryTable::Placement DirectoryTable::PlaceInto(SimVolume& volume) const {
    std::multimap<std::uint64_t, const Entry*> children;
    for (const Entry& entry : entries_) {
        if (entry.frn != entry.parent) {
            children.emplace(entry.parent, &entry);
        }
    }
    Placement placement;
    std::vector<std::uint64_t> ready{SimVolume::kRoot};
    while (!ready.empty()) {
        const std::uint64_t parent = ready.back();
        ready.pop_back();
        const auto [first, last] = children.equal_range(parent);
        for (auto it = first; it != last; ++it) {
            const Entry& entry = *it->second;
            if (volume.PlaceExisting(entry.frn, parent, entry.name, entry.attributes)) {
                ++placement.placed;
                ready.push_back(entry.frn);
            }
        }
    }
    for (const Entry& entry : entries_) {
        placement.leftOut += entry.frn != entry.parent ? 1 : 0;
    }
    placement.leftOut -= placement.placed;
    return placement;
}

bool DirectoryTable::LoadMft(const std::string& path, std::string& error) {
    FsntfsError failure;
    libfsntfs_mft_metadata_file_t* mft = nullptr;
    if (libfsntfs_mft_metadata_file_initialize(&mft, &failure.error) != 1) {
        error = "cannot initialise the MFT reader";
        return false;
    }
    const std::unique_ptr<libfsntfs_mft_metadata_file_t*, void (*)(libfsntfs_mft_metadata_file_t**)>
        mftOwner(&mft, [](libfsntfs_mft_metadata_file_t** p) {
            libfsntfs_mft_metadata_file_free(p, nullptr);
        });
    if (libfsntfs_mft_metadata_file_open(mft, path.c_str(), LIBFSNTFS_OPEN_READ, &failure.error) !=
        1) {
        error = "cannot read MFT file " + path;
        return false;
    }
    std::uint64_t count = 0;
    if (libfsntfs_mft_metadata_file_get_number_of_file_entries(mft, &count, &failure.error) != 1) {
        error = "cannot count the entries of " + path;
        libfsntfs_mft_metadata_file_close(mft, nullptr);
        return false;
    }
    entries_.clear();
    for (std::uint64_t index = 0; index < count; ++index) {
        libfsntfs_file_entry_t* fileEntry = nullptr;
        if (libfsntfs_mft_metadata_file_get_file_entry_by_index(mft, index, &fileEntry, nullptr) !=
            1) {
            continue;  // a damaged entry is left out, as the volume would not list it either
        }
        const std::unique_ptr<libfsntfs_file_entry_t*, void (*)(libfsntfs_file_entry_t**)>
            entryOwner(&fileEntry,
                       [](libfsntfs_file_entry_t** p) { libfsntfs_file_entry_free(p, nullptr); });
        if (libfsntfs_file_entry_is_allocated(fileEntry, nullptr) != 1 ||
            libfsntfs_file_entry_has_directory_entries_index(fileEntry, nullptr) != 1) {
            continue;
        }
        Entry entry;
        std::uint32_t flags = 0;
        libfsntfs_file_entry_get_file_attribute_flags(fileEntry, &flags, nullptr);
        entry.attributes = flags | ntfs::kAttributeDirectory;
        if (libfsntfs_file_entry_get_file_reference(fileEntry, &entry.frn, nullptr) != 1) {
            continue;
        }
        // The $FILE_NAME attribute with a Win32 (or POSIX) name, a DOS one only if alone.
        int attributes = 0;
        libfsntfs_file_entry_get_number_of_attributes(fileEntry, &attributes, nullptr);
        bool named = false;
        for (int a = 0; a < attributes; ++a) {
            libfsntfs_attribute_t* attribute = nullptr;
            if (libfsntfs_file_entry_get_attribute_by_index(fileEntry, a, &attribute, nullptr) !=
                1) {
                continue;
            }
            const std::unique_ptr<libfsntfs_attribute_t*, void (*)(libfsntfs_attribute_t**)>
                attributeOwner(&attribute, [](libfsntfs_attribute_t** p) {
                    libfsntfs_attribute_free(p, nullptr);
                });
            std::uint32_t type = 0;
            std::uint8_t nameSpace = 0;
            std::size_t size = 0;
            std::uint64_t parent = 0;
            if (libfsntfs_attribute_get_type(attribute, &type, nullptr) != 1 ||
                type != kAttributeTypeFileName ||
                libfsntfs_file_name_attribute_get_name_space(attribute, &nameSpace, nullptr) != 1 ||
                (named && nameSpace == kNameSpaceDos) ||
                libfsntfs_file_name_attribute_get_utf16_name_size(attribute, &size, nullptr) != 1 ||
                libfsntfs_file_name_attribute_get_parent_file_reference(attribute, &parent,
                                                                        nullptr) != 1) {
                continue;
            }
            std::u16string name(size, u'\0');
            if (size > 0 &&
                libfsntfs_file_name_attribute_get_utf16_name(
                    attribute, reinterpret_cast<std::uint16_t*>(name.data()), size, nullptr) != 1) {
                continue;
            }
            while (!name.empty() && name.back() == u'\0') {
                name.pop_back();
            }
            entry.name = std::move(name);
            entry.parent = parent;
            named = true;
            if (nameSpace != kNameSpaceDos) {
                break;
            }
        }
        if (!named) {
            continue;
        }
        if (entry.parent == entry.frn) {
            entry.name.clear();  // the root's name is "."
        }
        entries_.push_back(std::move(entry));
    }
    libfsntfs_mft_metadata_file_close(mft, nullptr);
    return true;
}
