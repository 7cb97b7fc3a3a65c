#pragma once

#include <cstddef>

// The one place that decides what running out of memory means: the process ends at once
// with exit status -1. No runtime operation reports an allocation failure to its caller,
// and the global operator new, whose new-handler the runtime sets before main, does not
// either.
[[noreturn]] void EndProcessOnOutOfMemory();

// malloc/realloc that never return null.
void* AllocateOrEnd(std::size_t bytes);
void* ReallocateOrEnd(void* block, std::size_t bytes);
