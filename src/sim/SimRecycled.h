#pragma once

#include <cstdint>
#include <string>

// Where a delete to the recycle bin put an item.
struct SimRecycled {
    std::uint64_t item = 0;      // the item, now named `name` in `folder`
    std::uint64_t infoFile = 0;  // the $I… file beside it
    std::uint64_t folder = 0;    // $RECYCLE.BIN\<SID>
    std::u16string name;         // $R…

    explicit operator bool() const { return item != 0; }
};
