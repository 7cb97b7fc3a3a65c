#pragma once

#include "engine/FileRecordIndex.h"
#include "engine/StopSignal.h"
#include "engine/VolumePlatform.h"

// Enters every directory of the volume's master file table into `index` with its parent,
// reading the table in portions of kEnumBufferSize bytes. Ends at the table's end (the
// request fails), at any other failure, or at a stop, which it looks at between requests.
constexpr std::uint32_t kEnumBufferSize = 10240;

void EnumerateDirectories(VolumePlatform& platform, PlatformHandle volume, const StopSignal& stop,
                          FileRecordIndex& index);
