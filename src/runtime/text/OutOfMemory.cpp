#include "OutOfMemory.h"

#include <cstdlib>
#include <new>

void EndProcessOnOutOfMemory() {
    std::_Exit(-1);
}

namespace {

// Every program that uses text values has this file linked in, so the handler is in place
// before main and before any thread starts: a standard container that cannot grow, on any
// thread, then ends the process here too instead of throwing into code that has no answer
// to it (on a worker that would be std::terminate).
[[maybe_unused]] const std::new_handler kReplacedNewHandler =
    std::set_new_handler([] { EndProcessOnOutOfMemory(); });

}  // namespace

void* AllocateOrEnd(std::size_t bytes) {
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) {
        EndProcessOnOutOfMemory();
    }
    return block;
}

void* ReallocateOrEnd(void* block, std::size_t bytes) {
    void* grown = std::realloc(block, bytes == 0 ? 1 : bytes);
    if (grown == nullptr) {
        EndProcessOnOutOfMemory();
    }
    return grown;
}
