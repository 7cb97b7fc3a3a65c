#pragma once

#include "engine/FileRecordIndex.h"
#include "engine/StopSignal.h"
#include "engine/VolumePlatform.h"

// Enters every directory of the volume's master file table into `index` with its parent and
// name, reading the table in portions of kEnumBufferSize bytes. Ends at the table's end (the
// request fails), at any other failure, or at a stop, which it looks at between requests.
// A caller that knows about how many directories the volume holds (from an earlier
// enumeration of it) passes that number, and the index is sized for them at once.
constexpr std::uint32_t kEnumBufferSize = 10240;

void EnumerateDirectories(VolumePlatform& platform, PlatformHandle volume, const StopSignal& stop,
                          FileRecordIndex& index, std::size_t expectedDirectories = 0);
