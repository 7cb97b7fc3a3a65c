#pragma once

#include <cstdint>

#include "sim/SimVolume.h"

// One change of every kind a watch reports, made on `volume` in the folder `data` (which
// holds the file `a`, "a.txt") and `other`, in this order:
//   [新建文件] data\b 文件.txt        [文件修改] data\a.txt
//   [重命名]   data\a2.txt (a.txt)    [移动]     other\b 文件.txt (data\b 文件.txt)
//   [属性]     data\a2.txt           [新建文件] data\link.txt (a link to a2.txt)
//   [其他]     data\a2.txt           [新建文件] data\gone.txt, then [彻底删除]
//   [移到回收站] data\a2.txt
// Answers where a2.txt went in the recycle bin.
inline SimRecycled MakeEveryKindOfChange(SimVolume& volume, std::uint64_t data,
                                         std::uint64_t other, std::uint64_t a) {
    const auto b = volume.MakeFile(data, u"b 文件.txt", 10);
    volume.Write(a, 0, 100);
    volume.Rename(a, data, u"a2.txt");
    volume.Rename(b, other, u"b 文件.txt");
    volume.SetAttributes(a, ntfs::kAttributeArchive | ntfs::kAttributeReadonly);
    volume.AddHardLink(a, data, u"link.txt");
    volume.NoteChange(a, ntfs::kReasonObjectIdChange);
    const auto gone = volume.MakeFile(data, u"gone.txt");
    volume.Delete(gone);
    return volume.Recycle(a);
}
