#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "runtime/events/CVolEventObjectPointer.h"
#include "runtime/events/EventSlot.h"

// Several threads raise one receiver's events while another binds, rebinds and finally
// tears the receiver down. Teardown returns only after every handler in progress has
// returned, and no handler runs after it.
namespace {

struct Shared {
    std::atomic<int> inProgress{0};
    std::atomic<int> calls{0};
    std::atomic<bool> tornDown{false};
    std::atomic<int> afterTeardown{0};
};

struct Receiver {
    Shared* shared;
    CVolEventObjectPointer* handle = new CVolEventObjectPointer(this);
};

int Handle(void* receiver, void*, std::uint32_t, int spin) {
    Shared* shared = static_cast<Receiver*>(receiver)->shared;
    if (shared->tornDown) {
        ++shared->afterTeardown;
    }
    ++shared->inProgress;
    ++shared->calls;
    std::atomic<int> work{0};
    for (int i = 0; i < spin; ++i) {
        work.fetch_add(1, std::memory_order_relaxed);
    }
    --shared->inProgress;
    return 1;
}

int HandleOther(void* receiver, void* source, std::uint32_t extra, int spin) {
    return Handle(receiver, source, extra, spin / 2);
}

TEST(EventStress, TeardownWaitsForEveryHandlerAndNoneRunsAfterIt) {
    for (int round = 0; round < 5; ++round) {
        Shared shared;
        Receiver receiver{&shared};
        Receiver stranger{&shared};
        EventSlot<int> slots[3];
        for (auto& slot : slots) {
            slot.Bind(Handle, receiver.handle);
        }
        std::atomic<bool> stop{false};
        std::vector<std::thread> raisers;
        for (int t = 0; t < 3; ++t) {
            raisers.emplace_back([&, t] {
                while (!stop) {
                    slots[t % 3].Raise(nullptr, 200);
                    slots[(t + 1) % 3].RaiseFlag(nullptr, 50);
                }
            });
        }
        std::thread binder([&] {
            for (int i = 0; i < 300; ++i) {
                auto& slot = slots[i % 3];
                slot.Bind(i % 2 ? HandleOther : Handle, receiver.handle);
                slot.Bind(Handle, stranger.handle);  // another receiver, then back
                slot.Bind(Handle, receiver.handle);
            }
        });
        binder.join();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        receiver.handle->TearDown();
        EXPECT_EQ(shared.inProgress, 0) << "a handler was still running after teardown";
        shared.tornDown = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        stop = true;
        for (auto& t : raisers) {
            t.join();
        }
        EXPECT_EQ(shared.afterTeardown, 0);
        EXPECT_GT(shared.calls, 0);
        stranger.handle->TearDown();
    }
}

TEST(EventStress, TeardownWaitsForACallStartedOnASecondThreadDuringTheFirst) {
    struct Gate {
        std::atomic<int> entered{0};
        std::atomic<bool> release{false};
        std::atomic<int> returned{0};
        CVolEventObjectPointer* handle = new CVolEventObjectPointer(this);
    } gate;
    EventSlot<> slot;
    slot.Bind(
        [](void* receiver, void*, std::uint32_t) {
            auto* g = static_cast<Gate*>(receiver);
            ++g->entered;
            while (!g->release) {
                std::this_thread::yield();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(g->entered == 2 ? 20 : 1));
            ++g->returned;
            return 0;
        },
        gate.handle);
    std::thread first([&] { slot.Raise(nullptr); });
    while (gate.entered < 1) {
        std::this_thread::yield();
    }
    std::thread second([&] { slot.Raise(nullptr); });
    while (gate.entered < 2) {
        std::this_thread::yield();
    }
    std::atomic<bool> tornDown{false};
    std::thread teardown([&] {
        gate.handle->TearDown();
        tornDown = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(tornDown);
    gate.release = true;
    teardown.join();
    EXPECT_EQ(gate.returned, 2);
    first.join();
    second.join();
    EXPECT_EQ(slot.Raise(nullptr), 0);
}

}  // namespace
