#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "runtime/events/CVolEventObjectPointer.h"

// A receiver built as the system's windows are: it creates its handle when constructed and
// tears it down first thing when destroyed. Its handler counts the calls and checks that
// it never runs on a torn-down receiver; what else a call does is the test's action.
class TestReceiver {
public:
    static constexpr int kAlive = 0x600D;
    static constexpr int kDead = 0xDEAD;

    TestReceiver() : handle_(new CVolEventObjectPointer(this)) {}
    ~TestReceiver() { TearDown(); }
    TestReceiver(const TestReceiver&) = delete;
    TestReceiver& operator=(const TestReceiver&) = delete;

    // Valid until teardown; afterwards only while a slot still holds a reference.
    CVolEventObjectPointer* Handle() const { return handle_; }

    void TearDown() {
        if (tornDown_.load()) {
            return;
        }
        handle_->TearDown();
        tornDown_.store(true);
        // A plain write: a handler still reading state_ now is a race ThreadSanitizer reports.
        state_ = kDead;
    }
    bool TornDown() const { return tornDown_.load(); }

    static int OnEvent(void* receiver, void* source, std::uint32_t extra, int value) {
        auto* self = static_cast<TestReceiver*>(receiver);
        if (self->tornDown_.load() || self->state_ != kAlive) {
            self->callsAfterTearDown.fetch_add(1);
        }
        self->calls.fetch_add(1);
        self->lastSource.store(source);
        self->lastExtra.store(extra);
        return self->action ? self->action(value) : value;
    }

    std::function<int(int value)> action;  // set before the first raise
    std::atomic<int> calls{0};
    std::atomic<int> callsAfterTearDown{0};
    std::atomic<void*> lastSource{nullptr};
    std::atomic<std::uint32_t> lastExtra{0xFFFFFFFF};

private:
    CVolEventObjectPointer* handle_;
    std::atomic<bool> tornDown_{false};
    int state_ = kAlive;
};
