#include "console/ChangeOutput.h"

void ChangeOutput::WriteChange(std::u16string_view line) {
    Write(line, true);
}

void ChangeOutput::WriteNote(std::u16string_view line) {
    Write(line, false);
}

void ChangeOutput::Write(std::u16string_view line, bool counted) {
    bool stop = false;
    {
        // Held while writing: lines of several workers never mix.
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!open_) {
            return;
        }
        outcome_ = stream_.WriteLine(line);
        if (outcome_ != TextStream::Result::Written) {
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
