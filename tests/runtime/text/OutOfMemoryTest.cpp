#include "runtime/text/OutOfMemory.h"

#include <gtest/gtest.h>

#include "support/OutOfMemoryExit.h"

#include <cstdint>
#include <new>
#include <thread>
#include <vector>

#include "runtime/text/CVolMem.h"
#include "runtime/text/CWString.h"

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

TEST(OutOfMemoryDeathTest, TheNewHandlerIsInPlaceBeforeMainAndEndsTheProcess) {
    const std::new_handler handler = std::get_new_handler();
    ASSERT_NE(handler, nullptr);
    EXPECT_EXIT(handler(), ::testing::ExitedWithCode(kExitMinusOne), "");
}

TEST(OutOfMemoryDeathTest, AContainerThatCannotGrowOnAWorkerEndsTheProcessWithMinusOne) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' operator new reports a failure itself";
#else
    EXPECT_EXIT(
        {
            std::thread worker([] {
                std::vector<std::uint8_t> bytes;
                bytes.reserve(bytes.max_size());
            });
            worker.join();
        },
        ::testing::ExitedWithCode(kExitMinusOne), "");
#endif
}

// A count whose byte size cannot be expressed is an allocation that cannot succeed: the
// process ends as on any failed allocation, before a unit is read.
TEST(OutOfMemoryDeathTest, ACountTooLargeForTheBufferEndsTheProcess) {
    static const char16_t few[] = u"ab";
    EXPECT_EXIT(
        {
            CWString text;
            text.AppendChars(few, 0x40000000);
        },
        ::testing::ExitedWithCode(kExitMinusOne), "");
    EXPECT_EXIT(
        {
            CWString text(u"x");
            text.AppendChars(few, 0x7FFFFFFF);
        },
        ::testing::ExitedWithCode(kExitMinusOne), "");
    EXPECT_EXIT(
        {
            CWString text(u"x");
            text.AssignChars(few, 0x40000000);
        },
        ::testing::ExitedWithCode(kExitMinusOne), "");
}

}  // namespace
