#pragma once

#include <string_view>

// Where the console program's text goes: standard output or standard error.
class TextStream {
public:
    enum class Result {
        Written,
        ReaderGone,  // the pipe's reader has closed it: nobody reads any more
        Failed,      // the line could not be written (a full disk, a console gone)
    };

    virtual ~TextStream() = default;

    // One whole line, written out at once; the stream adds the line end.
    virtual Result WriteLine(std::u16string_view line) = 0;
};
