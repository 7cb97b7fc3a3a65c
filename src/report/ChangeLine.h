#pragma once

#include <string>
#include <string_view>

#include "engine/FileChange.h"

// The text in brackets that names a kind on a line ("新建文件"); empty for a notice that
// has no line.
std::u16string_view KindLabel(ChangeKind kind);

// The line a change is shown as, in the window and by the console program, without a
// line end: the time of day, the kind in brackets, one space, the full path, and what the
// change came from, if anything:
//   14:03:27[新建文件] C:\data\a.txt
//   14:03:30[重命名] C:\data\b.txt  (原名:a.txt)
//   14:03:31[移到回收站] C:\data\b.txt            (the place it was taken from)
//   14:03:32[移动] C:\old\b.txt  (原位置:C:\data\b.txt)
//   14:03:33[移动] C:\old\c.txt  (原位置:未知)     (moved in before the watch began)
// Empty for a change that has no line (the start of a watch).
std::u16string ChangeLine(std::u16string_view timeOfDay, const FileChange& change);
