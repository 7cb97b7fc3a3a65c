#include "runtime/text/OutOfMemory.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "runtime/text/CVolMem.h"

// Sanitizers would report the huge request themselves; let malloc answer null instead.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
extern "C" const char* __tsan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

#ifdef _WIN32
constexpr int kExitMinusOne = -1;
#else
constexpr int kExitMinusOne = 255;
#endif

TEST(OutOfMemoryDeathTest, AnAllocationThatFailsEndsTheProcessWithMinusOne) {
    EXPECT_EXIT(AllocateOrEnd(SIZE_MAX / 2), ::testing::ExitedWithCode(kExitMinusOne), "");
    // A size whose capacity cannot be expressed is the same failure, not an overflow.
    EXPECT_EXIT(
        {
            CVolMem mem;
            mem.Resize(0x7FFFFFF0);
        },
        ::testing::ExitedWithCode(kExitMinusOne), "");
}

}  // namespace
