#include "DirectoryTable.h"

#include <libfsntfs.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "engine/JournalRecords.h"
#include "runtime/text/Utf8.h"

namespace {

bool ParseHex(const std::string& text, bool needPrefix, std::uint64_t& value) {
    std::string digits = text;
    if (digits.rfind("0x", 0) == 0 || digits.rfind("0X", 0) == 0) {
        digits = digits.substr(2);
    } else if (needPrefix) {
        return false;
    }
    if (digits.empty() || digits.size() > 16) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(digits.c_str(), &end, 16);
    return errno == 0 && *end == '\0';
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
    std::ifstream file(path);
    if (!file) {
        error = "cannot open directories file " + path;
        return false;
    }
    entries_.clear();
    std::string line;
    int number = 0;
    while (std::getline(file, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty()) {
            continue;
        }
        std::string fields[4];
        std::size_t start = 0;
        for (int i = 0; i < 3; ++i) {
            const std::size_t tab = line.find('\t', start);
            if (tab == std::string::npos) {
                error = "directories line " + std::to_string(number) +
                        ": expected 4 tab-separated columns";
                return false;
            }
            fields[i] = line.substr(start, tab - start);
            start = tab + 1;
        }
        fields[3] = line.substr(start);
        Entry entry;
        std::uint64_t attributes = 0;
        if (!ParseHex(fields[0], true, entry.frn) || !ParseHex(fields[1], true, entry.parent) ||
            !ParseHex(fields[2], false, attributes) || attributes > 0xFFFFFFFFu) {
            error = "directories line " + std::to_string(number) +
                    ": frn and parent must be 0x-prefixed hex, attributes hex";
            return false;
        }
        entry.attributes = static_cast<std::uint32_t>(attributes) | ntfs::kAttributeDirectory;
        entry.name = FromUtf8(fields[3]);
        entries_.push_back(std::move(entry));
    }
    return true;
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
