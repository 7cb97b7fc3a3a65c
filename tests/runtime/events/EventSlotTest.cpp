#include "runtime/events/EventSlot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "runtime/events/CVolEventObjectPointer.h"

namespace {

// A receiver as the system has them: it creates its handle and tears it down first thing
// in its destructor.
struct Receiver {
    CVolEventObjectPointer* handle = new CVolEventObjectPointer(this);
    int calls = 0;
    int lastArgument = 0;
    void* lastSource = nullptr;
    ~Receiver() { handle->TearDown(); }
};

int Count(void* receiver, void* source, std::uint32_t, int value) {
    auto* r = static_cast<Receiver*>(receiver);
    ++r->calls;
    r->lastArgument = value;
    r->lastSource = source;
    return value;
}

int Other(void* receiver, void*, std::uint32_t, int) {
    static_cast<Receiver*>(receiver)->calls += 100;
    return 7;
}

TEST(EventSlot, RaiseCallsTheBoundHandlerWithReceiverSourceAndArguments) {
    Receiver receiver;
    EventSlot<int> slot;
    slot.Bind(Count, receiver.handle);
    int source = 0;
    EXPECT_EQ(slot.Raise(&source, 5), 5);
    EXPECT_EQ(receiver.calls, 1);
    EXPECT_EQ(receiver.lastArgument, 5);
    EXPECT_EQ(receiver.lastSource, &source);
    EXPECT_EQ(receiver.handle->ActiveCalls(), 0);
}

TEST(EventSlot, BindingTheSameHandleTwiceOnlyReplacesTheHandler) {
    Receiver receiver;
    EventSlot<int> slot;
    slot.Bind(Count, receiver.handle);
    EXPECT_EQ(receiver.handle->RefCount(), 2);
    slot.Bind(Other, receiver.handle);
    EXPECT_EQ(receiver.handle->RefCount(), 2);
    EXPECT_EQ(slot.Raise(nullptr, 1), 7);
    EXPECT_EQ(receiver.calls, 100);
}

TEST(EventSlot, BindingAnotherHandleGivesTheOldOneBack) {
    Receiver first;
    Receiver second;
    EventSlot<int> slot;
    slot.Bind(Count, first.handle);
    slot.Bind(Count, second.handle);
    EXPECT_EQ(first.handle->RefCount(), 1);
    EXPECT_EQ(second.handle->RefCount(), 2);
    EXPECT_EQ(slot.Receiver(), second.handle);
    slot.Raise(nullptr, 3);
    EXPECT_EQ(first.calls, 0);
    EXPECT_EQ(second.calls, 1);
    slot.Bind(Count, nullptr);
    EXPECT_EQ(second.handle->RefCount(), 1);
    EXPECT_FALSE(slot.IsBound());
}

TEST(EventSlot, UnboundRaisesAnswerTheEventDefault) {
    EventSlot<int> slot;
    EXPECT_EQ(slot.Raise(nullptr, 9), 0);
    EXPECT_TRUE(slot.RaisePermission(nullptr, 9));
    EXPECT_FALSE(slot.RaiseFlag(nullptr, 9));
}

TEST(EventSlot, PermissionAndFlagFollowTheHandlersAnswer) {
    Receiver receiver;
    EventSlot<int> slot;
    slot.Bind(Count, receiver.handle);
    EXPECT_TRUE(slot.RaisePermission(nullptr, 0));
    EXPECT_FALSE(slot.RaisePermission(nullptr, 1));
    EXPECT_TRUE(slot.RaiseFlag(nullptr, 2));
    EXPECT_FALSE(slot.RaiseFlag(nullptr, 0));
    EXPECT_EQ(receiver.calls, 4);
}

TEST(EventSlot, ARaiseAfterTeardownCallsNothingAndKeepsTheCount) {
    EventSlot<int> slot;
    CVolEventObjectPointer* handle = nullptr;
    {
        Receiver receiver;
        handle = receiver.handle;
        slot.Bind(Count, handle);
    }
    // Only the slot's reference is left.
    EXPECT_EQ(handle->RefCount(), 1);
    EXPECT_EQ(handle->Owner(), nullptr);
    EXPECT_EQ(slot.Raise(nullptr, 4), 0);
    EXPECT_TRUE(slot.RaisePermission(nullptr, 4));
    EXPECT_EQ(handle->RefCount(), 1);
    EXPECT_EQ(handle->ActiveCalls(), 0);
    // The last slot to let go frees the handle (the sanitizers see a leak otherwise).
}

TEST(EventSlot, ReferencesComeBackOnEveryPath) {
    Receiver receiver;
    EventSlot<int> a;
    EventSlot<int> b;
    a.Bind(Count, receiver.handle);
    b.Bind(Count, receiver.handle);
    EXPECT_EQ(receiver.handle->RefCount(), 3);
    for (int i = 0; i < 10; ++i) {
        a.Raise(nullptr, i);
        b.RaiseFlag(nullptr, i);
    }
    EXPECT_EQ(receiver.handle->RefCount(), 3);
    EventSlot<int>::Call call;
    ASSERT_TRUE(a.Acquire(call));
    EXPECT_EQ(receiver.handle->RefCount(), 4);
    EXPECT_EQ(receiver.handle->ActiveCalls(), 1);
    call.handle->EndCall();
    EXPECT_EQ(receiver.handle->RefCount(), 3);
    b.Bind(nullptr, nullptr);
    EXPECT_EQ(receiver.handle->RefCount(), 2);
}

TEST(EventSlot, AThrowingHandlerStillEndsItsCall) {
    Receiver receiver;
    EventSlot<int> slot;
    slot.Bind([](void*, void*, std::uint32_t, int) -> int { throw 1; }, receiver.handle);
    EXPECT_THROW(slot.Raise(nullptr, 0), int);
    EXPECT_EQ(receiver.handle->ActiveCalls(), 0);
    EXPECT_EQ(receiver.handle->RefCount(), 2);
}

// The handlers of one receiver, one raising the other, as a window's click handler might.
struct Nesting {
    CVolEventObjectPointer* handle = new CVolEventObjectPointer(this);
    EventSlot<> outer;
    EventSlot<> inner;
    std::atomic<int> activeSeenInside{0};
    std::atomic<bool> insideOuter{false};
    std::atomic<bool> teardownStarted{false};
    std::atomic<bool> outerReturning{false};
};

TEST(EventSlot, ANestedRaiseCountsTwoCallsAndTheGateOpensWhenTheOuterEnds) {
    Nesting n;
    n.outer.Bind(
        [](void* receiver, void*, std::uint32_t) {
            auto* self = static_cast<Nesting*>(receiver);
            self->inner.Raise(self);
            EXPECT_EQ(self->handle->ActiveCalls(), 1);
            self->insideOuter = true;
            while (!self->teardownStarted) {
                std::this_thread::yield();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            self->outerReturning = true;
            return 0;
        },
        n.handle);
    n.inner.Bind(
        [](void* receiver, void*, std::uint32_t) {
            auto* self = static_cast<Nesting*>(receiver);
            self->activeSeenInside = self->handle->ActiveCalls();
            return 0;
        },
        n.handle);
    std::thread raiser([&] { n.outer.Raise(nullptr); });
    while (!n.insideOuter) {
        std::this_thread::yield();
    }
    n.teardownStarted = true;
    n.handle->TearDown();  // waits for the outer call
    EXPECT_TRUE(n.outerReturning) << "teardown returned while the outer call was in progress";
    raiser.join();
    EXPECT_EQ(n.activeSeenInside, 2);
    EXPECT_EQ(n.outer.Raise(nullptr), 0);
}

}  // namespace
