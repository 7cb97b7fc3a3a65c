#include "console/ChangeOutput.h"

bool ChangeOutput::WriteChange(std::u16string_view line) {
    return Write(line, true);
}

bool ChangeOutput::WriteNote(std::u16string_view line) {
    return Write(line, false);
}

bool ChangeOutput::Write(std::u16string_view line, bool counted) {
    bool stop = false;
    bool written = false;
    {
        // Held while writing: lines of several workers never mix.
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!open_) {
            return false;
        }
        outcome_ = stream_.WriteLine(line);
        written = outcome_ == TextStream::Result::Written;
        if (!written) {
            open_ = false;
            stop = true;
        } else if (counted && ++changes_ == limit_) {
            open_ = false;
            stop = true;
        }
    }
    if (stop) {
        stop_.Set();
    }
    return written;
}

void ChangeOutput::Close() {
    const std::lock_guard<std::mutex> lock(mutex_);
    open_ = false;
}

TextStream::Result ChangeOutput::Outcome() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return outcome_;
}

std::uint64_t ChangeOutput::ChangesWritten() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return changes_;
}
