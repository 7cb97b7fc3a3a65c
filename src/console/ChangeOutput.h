#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>

#include "console/TextStream.h"
#include "engine/StopSignal.h"

// Standard output as the engines' workers write to it, one whole line at a time, several
// workers alike. After the number of change lines asked for, or once the output cannot
// be written, it writes nothing more and asks the program to stop.
class ChangeOutput {
public:
    ChangeOutput(TextStream& stream, std::optional<std::uint64_t> limit, StopSignal& stop)
        : stream_(stream), limit_(limit), stop_(stop) {}

    // A line that reports a change: counted. False when it was not written (the limit was
    // reached, or the output failed).
    bool WriteChange(std::u16string_view line);
    // Any other line (the start of a watch, a notice): not counted.
    bool WriteNote(std::u16string_view line);
    // Nothing is written after this.
    void Close();

    // Written, or how the output failed first.
    TextStream::Result Outcome() const;
    std::uint64_t ChangesWritten() const;

private:
    bool Write(std::u16string_view line, bool counted);

    TextStream& stream_;
    const std::optional<std::uint64_t> limit_;
    StopSignal& stop_;
    mutable std::mutex mutex_;
    bool open_ = true;
    std::uint64_t changes_ = 0;
    TextStream::Result outcome_ = TextStream::Result::Written;
};
