#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "TestReceiver.h"
#include "runtime/events/EventSlot.h"

namespace {

using IntSlot = EventSlot<int>;

int Twice(void* receiver, void* source, std::uint32_t extra, int value) {
    return 2 * TestReceiver::OnEvent(receiver, source, extra, value);
}

// Several threads raise two events of one source while another thread binds and rebinds
// them between two receivers and finally tears the first one down; the raisers go on
// raising after that. Sanitizers watch the receivers' memory throughout.
TEST(EventStressTest, RaisingWhileBindingRebindingAndTearingDown) {
    constexpr int kRaisers = 3;
    constexpr int kBindRounds = 3000;
    constexpr int kRaisesAfterTearDown = 2000;

    TestReceiver doomed;
    TestReceiver survivor;
    CVolEventObjectPointer* doomedHandle = doomed.Handle();
    IntSlot slots[2];

    // Handlers in progress on the doomed receiver; each call stays a moment so that calls
    // overlap each other and the teardown.
    std::atomic<int> running{0};
    doomed.action = [&running](int value) {
        running.fetch_add(1);
        for (int i = 0; i < 3; ++i) {
            std::this_thread::yield();
        }
        running.fetch_sub(1);
        return value;
    };

    std::atomic<bool> bindingDone{false};
    std::atomic<int> raisesAfterTearDown{0};
    std::atomic<int> wrongResults{0};
    std::vector<std::jthread> raisers;
    for (int r = 0; r < kRaisers; ++r) {
        raisers.emplace_back([&, r] {
            for (int i = 0; raisesAfterTearDown.load() < kRaisesAfterTearDown; ++i) {
                const bool after = doomed.TornDown();
                const int result = slots[(r + i) % 2].Raise(&slots, 1);
                // 0 nothing called, 1 the plain handler, 2 the doubling one.
                if (result < 0 || result > 2) {
                    wrongResults.fetch_add(1);
                }
                if (after) {
                    raisesAfterTearDown.fetch_add(1);
                }
            }
        });
    }

    int runningAtTearDownReturn = -1;
    int callsAtTearDownReturn = -1;
    std::jthread binder([&] {
        TestReceiver* receivers[2] = {&doomed, &survivor};
        IntSlot::Handler handlers[2] = {TestReceiver::OnEvent, Twice};
        for (int i = 0; i < kBindRounds; ++i) {
            IntSlot& slot = slots[i % 2];
            switch (i % 5) {
                case 0:
                case 1:
                case 2:
                    slot.Bind(handlers[(i / 2) % 2], receivers[(i / 3) % 2]->Handle());
                    break;
                case 3:
                    slot.Bind(handlers[i % 2], doomed.Handle());
                    break;
                case 4:
                    slot.Bind(nullptr, nullptr);
                    break;
            }
        }
        slots[0].Bind(TestReceiver::OnEvent, doomed.Handle());
        slots[1].Bind(Twice, doomed.Handle());
        doomed.TearDown();
        runningAtTearDownReturn = running.load();
        callsAtTearDownReturn = doomed.calls.load();
        bindingDone.store(true);
    });
    binder.join();
    raisers.clear();

    EXPECT_EQ(runningAtTearDownReturn, 0) << "teardown returned while a handler ran";
    EXPECT_EQ(doomed.calls, callsAtTearDownReturn) << "a handler ran after teardown";
    EXPECT_EQ(doomed.callsAfterTearDown, 0);
    EXPECT_EQ(wrongResults, 0);
    EXPECT_GT(doomed.calls, 0) << "the raisers never reached the doomed receiver";
    EXPECT_EQ(doomedHandle->ActiveCalls(), 0);
    EXPECT_EQ(doomedHandle->RefCount(), 2);  // the two slots'
    EXPECT_EQ(survivor.Handle()->RefCount(), 1);
}

}  // namespace
