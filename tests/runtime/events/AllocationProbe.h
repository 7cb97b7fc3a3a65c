#pragma once

#include <atomic>

// Counts the calls of the global operator new in this test program, so that a test can
// show that a piece of code allocates nothing.
class AllocationProbe {
public:
    static long Count();
};
