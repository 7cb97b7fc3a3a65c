#pragma once

#include <string>
#include <string_view>

#include "sim/SimNames.h"

// Paths relative to the mirrored folder ("sub\a.txt"), as notifications name them.
namespace mirror_paths {

// A notification's name is taken only when every part of it is a name the volume can
// hold: no empty part, no "." or "..", nothing that could lead out of the mirror.
inline bool IsUsable(std::u16string_view path) {
    if (path.empty()) {
        return false;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find(u'\\', start);
        const std::u16string_view part = path.substr(
            start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start);
        if (!sim_names::IsValid(part)) {
            return false;
        }
        if (end == std::u16string_view::npos) {
            return true;
        }
        start = end + 1;
    }
}

inline std::u16string_view ParentOf(std::u16string_view path) {
    const std::size_t slash = path.rfind(u'\\');
    return slash == std::u16string_view::npos ? std::u16string_view() : path.substr(0, slash);
}

inline std::u16string_view LeafOf(std::u16string_view path) {
    const std::size_t slash = path.rfind(u'\\');
    return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

inline std::u16string Join(std::u16string_view directory, std::u16string_view name) {
    std::u16string path(directory);
    if (!path.empty()) {
        path += u'\\';
    }
    path += name;
    return path;
}

inline bool IsBelow(std::u16string_view path, std::u16string_view directory) {
    return path.size() > directory.size() && path[directory.size()] == u'\\' &&
           sim_names::Equal(path.substr(0, directory.size()), directory);
}

}  // namespace mirror_paths
