#include "runtime/events/CRefObject.h"

#include <gtest/gtest.h>

#include "support/OutOfMemoryExit.h"

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

// Records what happens at the end of its life.
class LifeLog : public CRefObject {
public:
    explicit LifeLog(std::string& log) : log_(log) {}

protected:
    ~LifeLog() override { log_ += "destroyed;"; }
    void LastRelease() override { log_ += "last release at " + std::to_string(RefCount()) + ";"; }

private:
    std::string& log_;
};

TEST(CRefObjectTest, TheLastReleaseRunsTheHookThenDestroysAndNoEarlierOneDoes) {
    std::string log;
    auto* object = new LifeLog(log);
    EXPECT_EQ(object->RefCount(), 1);
    object->AddRef();
    object->AddRef();
    EXPECT_EQ(object->RefCount(), 3);

    object->Release();
    object->Release();
    EXPECT_EQ(object->RefCount(), 1);
    EXPECT_EQ(log, "");

    object->Release();
    EXPECT_EQ(log, "last release at 0;destroyed;");
}

TEST(CRefObjectTest, ReferencesTakenAndGivenBackOnManyThreadsAtOnceAreNotLost) {
    std::string log;
    auto* object = new LifeLog(log);
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([object] {
                for (int i = 0; i < kRounds; ++i) {
                    object->AddRef();
                    object->AddRef();
                    object->Release();
                    object->Release();
                }
            });
        }
    }
    EXPECT_EQ(object->RefCount(), 1);
    EXPECT_EQ(log, "");
    object->Release();
    EXPECT_EQ(log, "last release at 0;destroyed;");
}

TEST(CRefObjectTest, WhenSeveralThreadsLetGoTogetherExactlyOneOfThemDestroys) {
    constexpr int kThreads = 4;
    for (int round = 0; round < 100; ++round) {
        std::string log;
        auto* object = new LifeLog(log);
        for (int t = 1; t < kThreads; ++t) {
            object->AddRef();
        }
        {
            std::vector<std::jthread> threads;
            for (int t = 0; t < kThreads; ++t) {
                threads.emplace_back([object] { object->Release(); });
            }
        }
        ASSERT_EQ(log, "last release at 0;destroyed;") << "round " << round;
    }
}

// Larger than any address space leaves room for.
class Unallocatable : public CRefObject {
    char bytes_[PTRDIFF_MAX - 4096];
};

TEST(CRefObjectDeathTest, AnObjectThatCannotBeAllocatedEndsTheProcessWithMinusOne) {
    EXPECT_EXIT(new Unallocatable, ::testing::ExitedWithCode(kExitMinusOne), "");
}

}  // namespace
