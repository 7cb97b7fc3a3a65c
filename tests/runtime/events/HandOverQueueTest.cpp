#include "runtime/events/HandOverQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

std::vector<int> Items(std::deque<int> taken) {
    return {taken.begin(), taken.end()};
}

// A queue whose wake-ups are counted, and can be made to fail.
struct CountedQueue {
    std::atomic<int> wakes{0};
    std::atomic<bool> wakeFails{false};
    HandOverQueue<int> queue;

    explicit CountedQueue(std::size_t capacity = 100)
        : queue(capacity, [this] {
              ++wakes;
              return !wakeFails.load();
          }) {}
};

TEST(HandOverQueue, ABurstWakesTheTakerOnceAndIsTakenInOrder) {
    CountedQueue counted;
    for (int i = 0; i < 50; ++i) {
        counted.queue.Give(i);
    }
    EXPECT_EQ(counted.wakes, 1);
    std::vector<int> expected(50);
    for (int i = 0; i < 50; ++i) {
        expected[static_cast<std::size_t>(i)] = i;
    }
    EXPECT_EQ(Items(counted.queue.TakeAll()), expected);
    EXPECT_TRUE(counted.queue.TakeAll().empty());
    // Taken: the next item is a new batch and wakes the taker again.
    counted.queue.Give(7);
    counted.queue.Give(8);
    EXPECT_EQ(counted.wakes, 2);
    EXPECT_EQ(Items(counted.queue.TakeAll()), (std::vector<int>{7, 8}));
}

// A taker that comes back by itself takes in turns: no wake-up while its takes find items,
// and once one finds none, the next item wakes it again.
TEST(HandOverQueue, ATakerTakingInTurnsIsWokenOnlyOnceItsTurnsFindNothing) {
    CountedQueue counted;
    for (int i = 1; i <= 5; ++i) {
        counted.queue.Give(i);
    }
    EXPECT_EQ(counted.wakes, 1);
    EXPECT_EQ(Items(counted.queue.TakeTurn(2)), (std::vector<int>{1, 2}));
    EXPECT_EQ(Items(counted.queue.TakeTurn(2)), (std::vector<int>{3, 4}));
    counted.queue.Give(6);  // the taker comes back anyway
    EXPECT_EQ(counted.wakes, 1);
    EXPECT_EQ(Items(counted.queue.TakeTurn(2)), (std::vector<int>{5, 6}));
    EXPECT_TRUE(counted.queue.TakeTurn(2).empty());
    EXPECT_EQ(counted.wakes, 1);
    counted.queue.Give(7);
    EXPECT_EQ(counted.wakes, 2);
    EXPECT_EQ(Items(counted.queue.TakeTurn(2)), (std::vector<int>{7}));
}

TEST(HandOverQueue, PastItsCapacityTheOldestItemsGo) {
    CountedQueue counted(3);
    for (int i = 1; i <= 5; ++i) {
        counted.queue.Give(i);
    }
    EXPECT_EQ(Items(counted.queue.TakeAll()), (std::vector<int>{3, 4, 5}));
}

TEST(HandOverQueue, AWakeThatFailedIsTriedAgainWithTheNextItem) {
    CountedQueue counted;
    counted.wakeFails = true;
    counted.queue.Give(1);
    counted.wakeFails = false;
    counted.queue.Give(2);
    counted.queue.Give(3);
    EXPECT_EQ(counted.wakes, 2);
    EXPECT_EQ(Items(counted.queue.TakeAll()), (std::vector<int>{1, 2, 3}));
}

TEST(HandOverQueue, AClosedQueueDropsWhatItHoldsAndWhatComesUntilItIsOpened) {
    CountedQueue counted;
    counted.queue.Give(1);
    counted.queue.Close();
    counted.queue.Give(2);
    EXPECT_EQ(counted.wakes, 1);
    EXPECT_TRUE(counted.queue.TakeAll().empty());
    counted.queue.Open();
    counted.queue.Give(3);
    EXPECT_EQ(counted.wakes, 2);
    EXPECT_EQ(Items(counted.queue.TakeAll()), (std::vector<int>{3}));
}

// Givers on several threads, a taker that takes only when woken, as a window's thread takes
// on a posted message: every item arrives, each giver's in its order, and no wake-up is
// lost (a lost one would leave items behind and the taker waiting for ever).
TEST(HandOverQueue, GiversOnSeveralThreadsAndATakerWokenPerBatchLoseNothing) {
    constexpr int kGivers = 4;
    constexpr int kItemsEach = 20000;
    std::mutex mutex;
    std::condition_variable woken;
    int pendingWakes = 0;
    HandOverQueue<std::pair<int, int>> queue(kGivers * kItemsEach, [&] {
        std::lock_guard lock(mutex);
        ++pendingWakes;
        woken.notify_one();
        return true;
    });
    std::vector<std::thread> givers;
    for (int g = 0; g < kGivers; ++g) {
        givers.emplace_back([&queue, g] {
            for (int i = 0; i < kItemsEach; ++i) {
                queue.Give({g, i});
            }
        });
    }
    std::vector<int> next(kGivers, 0);
    int received = 0;
    bool inOrder = true;
    while (received < kGivers * kItemsEach) {
        {
            std::unique_lock lock(mutex);
            woken.wait(lock, [&] { return pendingWakes > 0; });
            --pendingWakes;
        }
        for (const auto& [giver, item] : queue.TakeAll()) {
            inOrder = inOrder && item == next[static_cast<std::size_t>(giver)];
            next[static_cast<std::size_t>(giver)] = item + 1;
            ++received;
        }
    }
    for (std::thread& giver : givers) {
        giver.join();
    }
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(received, kGivers * kItemsEach);
}

}  // namespace
