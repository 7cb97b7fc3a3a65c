#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "Signal.h"
#include "TestReceiver.h"
#include "runtime/events/EventSlot.h"

namespace {

using namespace std::chrono_literals;
using IntSlot = EventSlot<int>;

// Raises until a raise is refused, which shows that teardown has begun to wait. Every
// accepted raise returns its argument; a refused one returns 0.
bool RaiseUntilRefused(IntSlot& slot, int value) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (slot.Raise(nullptr, value) != 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

// Tears a receiver down on a thread of its own and notes what it found when done.
class TearDownThread {
public:
    TearDownThread(TestReceiver& receiver, const std::atomic<int>& finishedHandlers)
        : thread_([this, &receiver, &finishedHandlers] {
              receiver.TearDown();
              finishedAtReturn_ = finishedHandlers.load();
              returned_.store(true);
          }) {}

    bool Returned() const { return returned_.load(); }
    int FinishedAtReturn() {
        thread_.join();
        return finishedAtReturn_;
    }

private:
    std::atomic<bool> returned_{false};
    int finishedAtReturn_ = -1;
    std::jthread thread_;
};

TEST(TearDownTest, WaitsForEveryCallInProgressAndRefusesNewOnes) {
    TestReceiver receiver;
    CVolEventObjectPointer* handle = receiver.Handle();
    IntSlot first;
    IntSlot second;
    first.Bind(TestReceiver::OnEvent, handle);
    second.Bind(TestReceiver::OnEvent, handle);

    Signal firstEntered, secondEntered, releaseFirst, releaseSecond;
    std::atomic<int> finished{0};
    receiver.action = [&](int value) {
        if (value == 1) {
            firstEntered.Set();
            releaseFirst.Wait();
        } else if (value == 2) {
            secondEntered.Set();
            releaseSecond.Wait();
        } else {
            return value;  // a raise that overlaps the two
        }
        finished.fetch_add(1);
        return value;
    };

    std::jthread firstCaller([&] { first.Raise(nullptr, 1); });
    firstEntered.Wait();
    // Started on a second thread during the first one's call.
    std::jthread secondCaller([&] { second.Raise(nullptr, 2); });
    secondEntered.Wait();
    EXPECT_EQ(handle->ActiveCalls(), 2);

    TearDownThread tearDown(receiver, finished);
    EXPECT_TRUE(RaiseUntilRefused(first, 3)) << "teardown never began to refuse calls";
    const int callsWhileWaiting = receiver.calls;
    EXPECT_EQ(second.Raise(nullptr, 3), 0);
    EXPECT_EQ(receiver.calls, callsWhileWaiting);
    EXPECT_FALSE(tearDown.Returned());

    releaseFirst.Set();
    firstCaller.join();
    EXPECT_FALSE(tearDown.Returned()) << "the second call is still in progress";

    releaseSecond.Set();
    secondCaller.join();
    EXPECT_EQ(tearDown.FinishedAtReturn(), 2);
    EXPECT_EQ(receiver.callsAfterTearDown, 0);
    EXPECT_EQ(handle->ActiveCalls(), 0);
    EXPECT_EQ(handle->RefCount(), 2);  // the two slots'
    EXPECT_EQ(first.Raise(nullptr, 1), 0);
    EXPECT_EQ(handle->RefCount(), 2);
}

TEST(TearDownTest, ANestedCallKeepsTheGateUntilTheOuterCallEnds) {
    TestReceiver receiver;
    CVolEventObjectPointer* handle = receiver.Handle();
    IntSlot outer;
    IntSlot inner;
    outer.Bind(TestReceiver::OnEvent, handle);
    inner.Bind(TestReceiver::OnEvent, handle);

    std::atomic<int> outerFinished{0};
    std::unique_ptr<TearDownThread> tearDown;
    bool refused = false;
    bool returnedDuringOuterCall = true;
    receiver.action = [&](int value) {
        if (value != 1) {
            return value;
        }
        EXPECT_EQ(inner.Raise(nullptr, 2), 2);
        // The inner call has ended; the outer one still holds the gate.
        EXPECT_EQ(handle->ActiveCalls(), 1);
        tearDown = std::make_unique<TearDownThread>(receiver, outerFinished);
        refused = RaiseUntilRefused(inner, 2);
        // Give a gate released too early the time to let teardown through.
        const auto until = std::chrono::steady_clock::now() + 50ms;
        while (!tearDown->Returned() && std::chrono::steady_clock::now() < until) {
            std::this_thread::yield();
        }
        returnedDuringOuterCall = tearDown->Returned();
        outerFinished.store(1);
        return value;
    };

    EXPECT_EQ(outer.Raise(nullptr, 1), 1);
    ASSERT_NE(tearDown, nullptr);
    EXPECT_EQ(tearDown->FinishedAtReturn(), 1);
    EXPECT_TRUE(refused);
    EXPECT_FALSE(returnedDuringOuterCall);
    EXPECT_EQ(receiver.callsAfterTearDown, 0);
    EXPECT_EQ(handle->RefCount(), 2);
}

TEST(TearDownTest, WithNoCallInProgressItReturnsAtOnceAndKeepsTheSlotsReferences) {
    TestReceiver receiver;
    CVolEventObjectPointer* handle = receiver.Handle();
    IntSlot slot;
    slot.Bind(TestReceiver::OnEvent, handle);
    EXPECT_EQ(slot.Raise(nullptr, 7), 7);

    receiver.TearDown();
    EXPECT_EQ(handle->Owner(), nullptr);
    EXPECT_EQ(handle->RefCount(), 1);
    // Binding a revoked handle is allowed and still calls nothing.
    IntSlot late;
    late.Bind(TestReceiver::OnEvent, handle);
    EXPECT_EQ(handle->RefCount(), 2);
    EXPECT_EQ(late.Raise(nullptr, 7), 0);
    EXPECT_EQ(receiver.calls, 1);
}

}  // namespace
