#include "engine/DirectoryEnumeration.h"

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "engine/BatchWalk.h"
#include "ntfs/JournalRecords.h"

void EnumerateDirectories(VolumePlatform& platform, PlatformHandle volume, const StopSignal& stop,
                          FileRecordIndex& index, std::size_t expectedDirectories) {
    index.Reserve(expectedDirectories);
    ntfs::MftEnumDataV0 request{0, 0, 0x7FFFFFFFFFFFFFFFLL};
    std::vector<std::uint8_t> buffer(kEnumBufferSize, 0);
    std::u16string name;
    while (!stop.IsSet()) {
        std::uint32_t returned = 0;
        if (!platform.DeviceIoControl(volume, ntfs::kFsctlEnumUsnData, &request, sizeof request,
                                      buffer.data(), kEnumBufferSize, returned)) {
            return;  // the normal end, past the last entry; any other failure ends it too
        }
        returned = std::min(returned, kEnumBufferSize);
        if (returned < 8) {
            return;
        }
        journal::WalkBatch(buffer.data(), returned, INT64_MIN,
                           [&](const ntfs::UsnRecordV2& record) {
                               if (record.FileAttributes() & ntfs::kAttributeDirectory) {
                                   record.CopyName(name);
                                   index.Set(record.FileReferenceNumber(),
                                             record.ParentFileReferenceNumber(), name);
                               }
                           });
        const std::uint64_t next = ntfs::ReadU64(buffer.data());
        if (next == request.StartFileReferenceNumber) {
            return;  // no progress: a device that answers the same portion again ends here
        }
        request.StartFileReferenceNumber = next;
    }
}
