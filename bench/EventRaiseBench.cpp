// The cost of raising an event, against the plain call through a function pointer that a
// raise ends in. Compare the times per call: RaiseBound / PlainCall is what the protocol
// adds to a handler call; with two threads, both raise the same slot to one receiver at
// once, as two engines' workers may.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "runtime/events/EventSlot.h"

namespace {

__attribute__((noinline)) int EmptyHandler(void*, void*, std::uint32_t, int) {
    return 0;
}

using IntSlot = EventSlot<int>;

// One bound and one unbound slot, shared by all benchmark threads for the whole run.
struct Events {
    Events() : handle(new CVolEventObjectPointer(this)) { bound.Bind(EmptyHandler, handle); }
    ~Events() { handle->TearDown(); }

    CVolEventObjectPointer* handle;
    IntSlot bound;
    IntSlot unbound;
};

Events& SharedEvents() {
    static Events events;
    return events;
}

void PlainCall(benchmark::State& state) {
    IntSlot::Handler handler = EmptyHandler;
    int source = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(handler);
        benchmark::DoNotOptimize(handler(&source, &source, 0, 1));
    }
    state.SetItemsProcessed(state.iterations());
}

void RaiseBound(benchmark::State& state) {
    IntSlot& slot = SharedEvents().bound;
    int source = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(slot.Raise(&source, 1));
    }
    state.SetItemsProcessed(state.iterations());
}

void RaiseUnbound(benchmark::State& state) {
    IntSlot& slot = SharedEvents().unbound;
    int source = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(slot.Raise(&source, 1));
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(PlainCall);
BENCHMARK(PlainCall)->Threads(2)->UseRealTime();
BENCHMARK(RaiseBound);
BENCHMARK(RaiseBound)->Threads(2)->UseRealTime();
BENCHMARK(RaiseUnbound);
BENCHMARK(RaiseUnbound)->Threads(2)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
