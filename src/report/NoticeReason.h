#pragma once

#include <string_view>

#include "engine/FileChange.h"

// Why a notice came, as the JSON line names it and as the window's line says it.
struct NoticeReason {
    std::string_view name;
    std::u16string_view text;
};

// The reason of a Gap or Ended notice (its `why`).
NoticeReason ReasonOf(const FileChange& notice);
