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

// Waits for a count that other threads drive up without end.
void WaitUntilAtLeast(const std::atomic<int>& count, int target) {
    while (count.load() < target) {
        std::this_thread::yield();
    }
}

// Several threads raise two events of one source while another thread binds and rebinds
// them between two receivers and finally tears the first one down; the raisers go on
// raising after that. Sanitizers watch the receivers' memory throughout. The scenario is
// repeated so that teardown meets calls in progress many times.
TEST(EventStressTest, RaisingWhileBindingRebindingAndTearingDown) {
    constexpr int kScenarios = 50;
    constexpr int kRaisers = 3;
    constexpr int kBindRounds = 300;
    constexpr int kRaisesWhileBinding = 1500;
    constexpr int kCallsBeforeTearDown = 100;
    constexpr int kRaisesAfterTearDown = 300;

    int teardownsThatWaited = 0;
    for (int scenario = 0; scenario < kScenarios; ++scenario) {
        SCOPED_TRACE(scenario);
        TestReceiver doomed;
        TestReceiver survivor;
        CVolEventObjectPointer* doomedHandle = doomed.Handle();
        IntSlot slots[2];

        // Calls stay a moment, so that they overlap each other and the teardown.
        std::atomic<int> running{0};
        doomed.action = [&running](int value) {
            running.fetch_add(1);
            std::this_thread::yield();
            running.fetch_sub(1);
            return value;
        };

        std::atomic<int> raises{0};
        std::atomic<int> raisesAfterTearDown{0};
        std::atomic<int> wrongResults{0};
        std::vector<std::jthread> raisers;
        for (int r = 0; r < kRaisers; ++r) {
            raisers.emplace_back([&, r] {
                for (int i = 0; raisesAfterTearDown.load() < kRaisesAfterTearDown; ++i) {
                    const bool after = doomed.TornDown();
                    const int result = slots[(r + i) % 2].Raise(&slots, 1);
                    // 0 nothing called, 1 the plain handler, 2 the doubling one.
                    if (result < 0 || result > 2 || (after && result != 0)) {
                        wrongResults.fetch_add(1);
                    }
                    raises.fetch_add(1);
                    if (after) {
                        raisesAfterTearDown.fetch_add(1);
                    }
                }
            });
        }

        TestReceiver* receivers[2] = {&doomed, &survivor};
        IntSlot::Handler handlers[2] = {TestReceiver::OnEvent, Twice};
        for (int i = 0; i < kBindRounds || raises.load() < kRaisesWhileBinding; ++i) {
            IntSlot& slot = slots[i % 2];
            if (i % 5 == 4) {
                slot.Bind(nullptr, nullptr);
            } else {
                slot.Bind(handlers[(i / 2) % 2], receivers[(i / 3) % 2]->Handle());
            }
            if (i % 8 == 0) {
                std::this_thread::yield();
            }
        }
        slots[0].Bind(TestReceiver::OnEvent, doomedHandle);
        slots[1].Bind(Twice, doomedHandle);
        WaitUntilAtLeast(doomed.calls, doomed.calls.load() + kCallsBeforeTearDown);

        teardownsThatWaited += running.load() > 0 ? 1 : 0;
        doomed.TearDown();
        const int runningAtTearDownReturn = running.load();
        const int callsAtTearDownReturn = doomed.calls.load();
        raisers.clear();

        EXPECT_EQ(runningAtTearDownReturn, 0) << "teardown returned while a handler ran";
        EXPECT_EQ(doomed.calls, callsAtTearDownReturn) << "a handler ran after teardown";
        EXPECT_EQ(doomed.callsAfterTearDown, 0);
        EXPECT_EQ(wrongResults, 0);
        EXPECT_EQ(doomedHandle->ActiveCalls(), 0);
        EXPECT_EQ(doomedHandle->RefCount(), 2);  // the two slots'
        EXPECT_EQ(survivor.Handle()->RefCount(), 1);
    }
    RecordProperty("teardownsThatMetACallInProgress", teardownsThatWaited);
}

}  // namespace
