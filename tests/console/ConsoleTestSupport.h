#pragma once

// Stand-ins for the console program's process: streams that keep what is written, and a
// host with administrator rights to choose.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "console/ConsoleHost.h"
#include "runtime/text/Utf8.h"

namespace console_test {

// Keeps every line as UTF-8; can be told to fail from some line on.
class CapturedStream final : public TextStream {
public:
    Result WriteLine(std::u16string_view line) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (failFrom_ && lines_.size() >= *failFrom_) {
            return failure_;
        }
        lines_.push_back(ToUtf8(line));
        written_.notify_all();
        return Result::Written;
    }

    // Line number `first` (from 0) and every later one answer `failure`.
    void FailFrom(std::size_t first, Result failure) {
        const std::lock_guard<std::mutex> lock(mutex_);
        failFrom_ = first;
        failure_ = failure;
    }
    std::vector<std::string> Lines() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    bool WaitForLines(std::size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20)) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return written_.wait_for(lock, timeout, [&] { return lines_.size() >= count; });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable written_;
    std::vector<std::string> lines_;
    std::optional<std::size_t> failFrom_;
    Result failure_ = Result::Failed;
};

// Administrator rights to choose.
class FakeHost final : public ConsoleHost {
public:
    CapturedStream out;
    CapturedStream err;
    bool elevated = true;

    TextStream& Out() override { return out; }
    TextStream& Err() override { return err; }
    bool IsElevated() override { return elevated; }
};

}  // namespace console_test
