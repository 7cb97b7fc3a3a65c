#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "runtime/events/CRefObject.h"
#include "runtime/events/DrainGate.h"

// The receiver handle: stands for a receiver of events and outlives it. The receiver holds
// one reference, every event slot bound to it one more, every call in progress one more.
// Calls may run on any thread; teardown waits for those in progress and lets no new one
// start, so no handler ever runs on a receiver that has begun to destroy its members.
//
// Locks: StateLock guards the active calls and the owner and is only ever held alone;
// while holding it a thread only *tries* DrainGate. DrainGate is held by the calls as a
// group while any is in progress (taken by the call that brings the count from 0 to 1,
// given back by whichever call brings it back to 0, possibly on another thread) and for
// good once teardown has taken it.
class CVolEventObjectPointer final : public CRefObject {
public:
    explicit CVolEventObjectPointer(void* owner);

    // The receiver, or none once torn down.
    void* Owner() const;
    std::int32_t ActiveCalls() const;

    // For a caller that holds a reference of its own: counts a call in progress. False when
    // the receiver is torn down or being torn down; the caller's reference is then released
    // and nothing may be called.
    bool BeginCall();
    // Ends a call begun by BeginCall and releases the caller's reference.
    void EndCall();

    // The first step of the receiver's destructor, run once: waits until the calls in progress have
    // ended (new ones are refused from now on), revokes the owner and releases the
    // receiver's own reference. Never from inside one of the receiver's own handlers, nor on
    // a thread such a handler waits for: it would wait for itself.
    void TearDown();

private:
    ~CVolEventObjectPointer() override;

    mutable std::recursive_mutex stateLock_;
    DrainGate drainGate_;
    std::int32_t activeCalls_ = 0;  // under stateLock_
    bool tearingDown_ = false;      // under stateLock_
    std::atomic<void*> owner_;      // written under stateLock_, read anywhere
};
