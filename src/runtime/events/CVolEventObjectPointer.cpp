#include "runtime/events/CVolEventObjectPointer.h"

std::int32_t CVolEventObjectPointer::ActiveCalls() const {
    std::lock_guard<std::recursive_mutex> lock(stateLock_);
    return activeCalls_;
}

bool CVolEventObjectPointer::BeginCall() {
    {
        std::unique_lock<std::recursive_mutex> lock(stateLock_);
        if (activeCalls_ == 0 && !drainGate_.TryAcquire()) {
            lock.unlock();
            Release();  // being torn down
            return false;
        }
        ++activeCalls_;
        if (Owner() != nullptr) {
            return true;
        }
        if (--activeCalls_ == 0) {
            drainGate_.Release();
        }
    }
    Release();
    return false;
}

void CVolEventObjectPointer::EndCall() {
    {
        std::lock_guard<std::recursive_mutex> lock(stateLock_);
        if (--activeCalls_ == 0) {
            drainGate_.Release();
        }
    }
    Release();
}

void CVolEventObjectPointer::TearDown() {
    tornDown_.store(true, std::memory_order_release);
    drainGate_.Acquire();  // never given back
    owner_.store(nullptr, std::memory_order_release);
    Release();
}
