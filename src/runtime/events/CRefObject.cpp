#include "runtime/events/CRefObject.h"

#include <cstdlib>

#include "runtime/text/OutOfMemory.h"

CRefObject::CRefObject() : refCount_(1) {}

CRefObject::~CRefObject() = default;

void CRefObject::AddRef() {
    // A new reference is always taken from one already held, so no ordering is needed.
    refCount_.fetch_add(1, std::memory_order_relaxed);
}

void CRefObject::Release() {
    // acq_rel: the last holder must see every write the other holders made before letting go.
    if (refCount_.fetch_sub(1, std::memory_order_acq_rel) - 1 > 0) {
        return;
    }
    LastRelease();
    delete this;
}

std::int32_t CRefObject::RefCount() const {
    return refCount_.load(std::memory_order_acquire);
}

void* CRefObject::operator new(std::size_t bytes) {
    return AllocateOrEnd(bytes);
}

void CRefObject::operator delete(void* block) noexcept {
    std::free(block);
}
