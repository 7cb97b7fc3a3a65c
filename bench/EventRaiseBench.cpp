// Raising a bound event with an empty handler, on one thread and on two at once, and an
// unbound raise, each against a plain call through a function pointer.
#include <benchmark/benchmark.h>

#include "runtime/events/CVolEventObjectPointer.h"
#include "runtime/events/EventSlot.h"

namespace {

int EmptyHandler(void*, void*, std::uint32_t, int value) {
    return value;
}

struct Bound {
    int owner = 0;
    CVolEventObjectPointer* handle = new CVolEventObjectPointer(&owner);
    EventSlot<int> slot;
    Bound() { slot.Bind(EmptyHandler, handle); }
    ~Bound() { handle->TearDown(); }
};

Bound& SharedBound() {
    static Bound bound;
    return bound;
}

void BM_PlainFunctionPointerCall(benchmark::State& state) {
    int (*volatile call)(void*, void*, std::uint32_t, int) = EmptyHandler;
    int sum = 0;
    for (auto _ : state) {
        sum += call(nullptr, nullptr, 0, 1);
    }
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_PlainFunctionPointerCall)->Threads(1)->Threads(2);

void BM_BoundRaise(benchmark::State& state) {
    Bound& bound = SharedBound();
    int sum = 0;
    for (auto _ : state) {
        sum += bound.slot.Raise(nullptr, 1);
    }
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_BoundRaise)->Threads(1)->Threads(2);

void BM_UnboundRaise(benchmark::State& state) {
    static EventSlot<int> unbound;
    int sum = 0;
    for (auto _ : state) {
        sum += unbound.Raise(nullptr, 1);
    }
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_UnboundRaise)->Threads(1)->Threads(2);

}  // namespace

BENCHMARK_MAIN();
