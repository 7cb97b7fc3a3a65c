#include "runtime/events/CVolEventObjectPointer.h"

CVolEventObjectPointer::CVolEventObjectPointer(void* owner) : owner_(owner) {}

CVolEventObjectPointer::~CVolEventObjectPointer() = default;

void* CVolEventObjectPointer::Owner() const {
    return owner_.load(std::memory_order_acquire);
}

std::int32_t CVolEventObjectPointer::ActiveCalls() const {
    std::lock_guard state(stateLock_);
    return activeCalls_;
}

bool CVolEventObjectPointer::BeginCall() {
    bool mayCall = false;
    {
        std::lock_guard state(stateLock_);
        // Once teardown is waiting, no call may start, not even one that overlaps a call in
        // progress: otherwise overlapping raises from several threads could keep the count
        // above 0 and teardown waiting for ever.
        if (!tearingDown_ && (activeCalls_ > 0 || drainGate_.TryTake())) {
            ++activeCalls_;
            // A revoked owner lets nothing through either; the count is undone.
            if (owner_.load(std::memory_order_relaxed) != nullptr) {
                mayCall = true;
            } else if (--activeCalls_ == 0) {
                drainGate_.Give();
            }
        }
    }
    if (!mayCall) {
        Release();
    }
    return mayCall;
}

void CVolEventObjectPointer::EndCall() {
    {
        std::lock_guard state(stateLock_);
        if (--activeCalls_ == 0) {
            drainGate_.Give();
        }
    }
    // Last: this may free the handle.
    Release();
}

void CVolEventObjectPointer::TearDown() {
    {
        std::lock_guard state(stateLock_);
        tearingDown_ = true;
    }
    // Without stateLock_: the calls in progress need it to end.
    drainGate_.Take();
    {
        std::lock_guard state(stateLock_);
        owner_.store(nullptr, std::memory_order_release);
    }
    Release();
}
