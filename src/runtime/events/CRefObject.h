#pragma once

#include <atomic>
#include <cstdint>

#include "runtime/text/CVolObject.h"

// A heap object shared by reference count. The count starts at 1 and changes only by
// locked increments and decrements; the release that brings it to 0 runs the last-release
// hook and deletes the object.
class CRefObject : public CVolObject {
public:
    CRefObject() = default;
    CRefObject(const CRefObject&) = delete;
    CRefObject& operator=(const CRefObject&) = delete;

    void AddRef() { refCount_.fetch_add(1, std::memory_order_relaxed); }
    void Release() {
        if (refCount_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            LastRelease();
            delete this;
        }
    }
    std::int32_t RefCount() const { return refCount_.load(std::memory_order_acquire); }

protected:
    ~CRefObject() override = default;
    // Runs once, just before the object is deleted.
    virtual void LastRelease() {}

private:
    std::atomic<std::int32_t> refCount_{1};
};
