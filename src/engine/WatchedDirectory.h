#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/OpenRefusal.h"
#include "engine/VolumePlatform.h"

// The one reading of a directory someone names for a watch, the window's box and the
// console's arguments alike: the text as Windows resolves it (relative to the current
// directory, "/" as "\", "." and ".." resolved, "\\?\" understood), the drive checked by
// its type before anything asks its file system, then the directory opened as Windows
// opens it, through junctions, symbolic links, mounted folders and subst drives, to the
// final directory and the drive letter of its volume. A directory that cannot be told for
// certain is refused with the reason: a watch never covers more than was asked for. What
// it finds is what the engine watches: nothing asks again.
struct WatchedDirectory {
    OpenRefusal refusal = OpenRefusal::None;
    // Upper case: the final directory's drive; for a refusal, the drive it concerns.
    char16_t drive = 0;
    // The text as Windows resolves it, "X:\..." with the letter in upper case, a trailing
    // separator as typed; the resolved text as it is when it names no drive.
    std::u16string fullPath;
    // The final directory, "D:\x" (a root "D:\"), as the system names it; empty when
    // refused.
    std::u16string path;
    // The final directory's file id and its volume's serial number.
    std::uint64_t fileId = 0;
    std::uint32_t volumeSerial = 0;
    // The file-system name of the final drive ("NTFS"); empty when it cannot be read.
    std::u16string fileSystem;

    // Trailing spaces are no part of a path, as Windows reads one: "C:\data " is C:\data.
    static WatchedDirectory Resolve(VolumePlatform& platform, std::u16string_view text);

    // The drive letter of a full path "X:\..." or "\\?\X:\...", in upper case.
    static std::optional<char16_t> DriveLetterOf(std::u16string_view fullPath);
    // "X:\..." of a full path of a drive, "\\?\" taken off and the letter upper-cased;
    // other paths as they are.
    static std::u16string DrivePathOf(std::u16string_view fullPath);
    // "\\?\X:\...": the form that opens directories whatever their length. Only for full
    // paths, which it takes literally.
    static std::u16string LongPathForm(std::u16string_view fullPath);
    // "X:\".
    static std::u16string RootOf(char16_t drive);
};
