#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "runtime/text/CVolObject.h"

// An object shared by several holders on several threads. It starts with one reference,
// the creator's; every holder adds one and gives it back with Release. The last Release
// runs the last-release hook and frees the object, so it must live on the heap.
class CRefObject : public CVolObject {
public:
    CRefObject();
    CRefObject(const CRefObject&) = delete;
    CRefObject& operator=(const CRefObject&) = delete;

    void AddRef();
    void Release();
    std::int32_t RefCount() const;

    // Running out of memory ends the process with -1 rather than throwing from `new`.
    static void* operator new(std::size_t bytes);
    static void operator delete(void* block) noexcept;

protected:
    ~CRefObject() override;
    // Runs once, on the thread of the last Release, before the object is destroyed.
    virtual void LastRelease() {}

private:
    std::atomic<std::int32_t> refCount_;
};
