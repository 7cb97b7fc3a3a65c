#pragma once

#include <string>
#include <string_view>

// Path texts as Windows reads them before any file system is asked: the model of
// GetFullPathNameW.
namespace sim_paths {

// The full path of `path` for a process whose current directory is `currentDirectory` (a
// full path "X:\..."): "\\?\" paths as they are; "/" read as "\" and runs of separators as
// one; relative paths from the current directory, "X:name" from the current directory
// when it lies on X and from the root of X otherwise, "\name" from the current drive's
// root; "." and ".." resolved, never above the root ("\\server\share" for a network
// path); a name ending in a single dot loses it; the trailing dots and spaces of the
// last name dropped unless a separator ends the path, which is kept. Empty for an empty
// path.
std::u16string FullPathName(std::u16string_view path, std::u16string_view currentDirectory);

}  // namespace sim_paths
