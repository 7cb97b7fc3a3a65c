#include "AllocationProbe.h"

#include <cstdlib>
#include <new>

namespace {
std::atomic<long> allocations{0};
}

long AllocationProbe::Count() {
    return allocations.load();
}

// The replaceable global forms; the array and nothrow forms call these.
void* operator new(std::size_t bytes) {
    allocations.fetch_add(1);
    if (void* block = std::malloc(bytes == 0 ? 1 : bytes)) {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
