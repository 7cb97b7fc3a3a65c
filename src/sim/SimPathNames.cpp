#include "sim/SimPathNames.h"

#include <algorithm>
#include <vector>

#include "runtime/text/AsciiCase.h"

namespace sim_paths {

namespace {

bool IsDriveSpecified(std::u16string_view path) {
    return path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == u':';
}

// "\\server\share" (or "\\.\device"): the first two names, which ".." never leaves.
std::size_t NetworkRootLength(std::u16string_view path) {
    std::size_t position = 2;
    for (int names = 0; names < 2 && position < path.size(); ++names) {
        while (position < path.size() && path[position] == u'\\') {
            ++position;
        }
        while (position < path.size() && path[position] != u'\\') {
            ++position;
        }
    }
    return position;
}

// A name ending in one dot loses it ("data." is data); "..." is a name of its own.
std::u16string_view WithoutSingleTrailingDot(std::u16string_view name) {
    if (name.size() >= 2 && name.back() == u'.' && name[name.size() - 2] != u'.') {
        name.remove_suffix(1);
    }
    return name;
}

}  // namespace

std::u16string FullPathName(std::u16string_view input, std::u16string_view currentDirectory) {
    if (input.empty()) {
        return {};
    }
    if (input.starts_with(u"\\\\?\\")) {
        return std::u16string(input);
    }
    std::u16string path(input);
    std::replace(path.begin(), path.end(), u'/', u'\\');

    std::u16string root;  // "X:" or "\\server\share"
    std::u16string rest;  // below the root
    if (path.starts_with(u"\\\\")) {
        const std::size_t length = NetworkRootLength(path);
        root = path.substr(0, length);
        rest = path.substr(length);
    } else if (IsDriveSpecified(path)) {
        root = path.substr(0, 2);
        rest = path.substr(2);
        if (rest.empty() || rest[0] != u'\\') {
            // "X:name": from the current directory when it lies on X, else from the root.
            const bool onCurrentDrive =
                IsDriveSpecified(currentDirectory) &&
                FoldAsciiLetter(currentDirectory[0]) == FoldAsciiLetter(path[0]);
            const std::u16string base(onCurrentDrive ? currentDirectory.substr(2) : u"\\");
            rest = rest.empty() ? base : base + u'\\' + rest;
        }
    } else {
        root = currentDirectory.substr(0, 2);
        rest = path[0] == u'\\' ? path : std::u16string(currentDirectory.substr(2)) + u'\\' + path;
    }

    const bool endsWithSeparator = rest.size() > 1 && rest.back() == u'\\';
    std::vector<std::u16string_view> names;
    const std::u16string_view all(rest);
    for (std::size_t start = 0; start < all.size();) {
        std::size_t end = all.find(u'\\', start);
        if (end == std::u16string_view::npos) {
            end = all.size();
        }
        const std::u16string_view name = all.substr(start, end - start);
        if (name == u"..") {
            if (!names.empty()) {
                names.pop_back();
            }
        } else if (!name.empty() && name != u".") {
            names.push_back(WithoutSingleTrailingDot(name));
        }
        start = end + 1;
    }

    std::u16string full = root;
    for (const std::u16string_view name : names) {
        full += u'\\';
        full += name;
    }
    if (names.empty() || endsWithSeparator) {
        full += u'\\';
    } else {
        // The last name's trailing dots and spaces are no part of it.
        const std::size_t kept = full.find_last_not_of(u". ");
        full.resize(std::max(kept + 1, root.size() + 1));
    }
    return full;
}

}  // namespace sim_paths
