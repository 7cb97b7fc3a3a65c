#include "runtime/text/OutOfMemory.h"

#include <gtest/gtest.h>

#include "support/OutOfMemoryExit.h"

#include <cstdint>

#include "runtime/text/CVolMem.h"

namespace {

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
