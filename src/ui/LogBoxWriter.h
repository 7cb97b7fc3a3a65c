#pragma once

#include <windows.h>

#include <cstddef>
#include <deque>
#include <string>

// Appends lines to a multi-line edit box on its window's thread, a batch at a time: one
// replace for the whole batch, with the box's redraw held meanwhile. The view follows the
// new lines only when the user is at the end (the caret after the last character, nothing
// selected, the last line in view); otherwise the user's selection and scroll position
// stay where they are while lines arrive below. The box keeps the newest lines: once it
// would hold more than `maxLines`, the oldest go in one block, down to `maxLines -
// trimBlock`, so that its memory stays flat however long lines keep coming.
class LogBoxWriter {
public:
    LogBoxWriter(std::size_t maxLines, std::size_t trimBlock);

    // Each line without its line break; "\r\n" follows each in the box.
    void Append(HWND box, const std::deque<std::u16string>& lines) const;

private:
    std::size_t maxLines_;
    std::size_t trimBlock_;
};
