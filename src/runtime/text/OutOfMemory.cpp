#include "OutOfMemory.h"

#include <cstdlib>

void EndProcessOnOutOfMemory() {
    std::_Exit(-1);
}

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
