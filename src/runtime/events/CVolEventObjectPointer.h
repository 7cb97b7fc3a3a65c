#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "runtime/events/DrainGate.h"

#include "runtime/events/CRefObject.h"

// The receiver handle: stands for an object that receives events and outlives it, so that
// any thread may raise an event while the receiver is torn down on another.
//
// References: one is the receiver's own, one per event slot bound to the handle, one per
// call in progress. Calls in progress are counted across all threads; the first call of a
// group takes DrainGate and the last one gives it back, whichever threads they run on, so
// DrainGate is a semaphore, not a mutex. Teardown takes DrainGate for good: it waits for
// the calls in progress and no call starts after it.
//
// Lock order: StateLock is taken alone and only ever tries DrainGate; teardown waits for
// DrainGate without StateLock.
class CVolEventObjectPointer final : public CRefObject {
public:
    explicit CVolEventObjectPointer(void* owner) : owner_(owner) {}

    void* Owner() const { return owner_.load(std::memory_order_acquire); }
    std::int32_t ActiveCalls() const;
    bool BeingTornDown() const { return tornDown_.load(std::memory_order_acquire); }

    // Counts a call in progress for a caller that holds a reference. False when nothing
    // may be called (the receiver is being or has been torn down); that reference has
    // then been given back.
    bool BeginCall();
    // Ends a call counted by BeginCall and gives its reference back.
    void EndCall();
    // The receiver's teardown, the first step of its destructor: waits until no call
    // through this handle is in progress, revokes the owner and gives the receiver's own
    // reference back. Must not run on a thread a handler of this receiver waits for.
    void TearDown();

private:
    ~CVolEventObjectPointer() override = default;

    mutable std::recursive_mutex stateLock_;  // StateLock: active calls and owner
    DrainGate drainGate_;
    std::int32_t activeCalls_ = 0;
    std::atomic<void*> owner_;
    std::atomic<bool> tornDown_{false};
};
