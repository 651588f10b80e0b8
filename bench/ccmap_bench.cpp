// CC resolution against a full 64-binding map: the cost per resolution when
// every binding answers the controller (plain absolute bindings, and every
// mode with router state, where takeover and relative modes search the 128
// controller positions), and the cost of a message that one binding of 64
// answers.
#include <benchmark/benchmark.h>

#include "cc_resolve.h"

namespace {

using namespace kelvo;

double readCurrent(void* context, uint32_t paramId) {
    return (*static_cast<int*>(context) + paramId) % 11 / 10.0;
}

// 64 bindings; `spread` puts binding i on controller i instead of all on 0.
CcMap fullMap(bool mixed, bool spread) {
    CcMap map;
    for (uint32_t i = 0; i < CC_MAP_CAPACITY; ++i) {
        CcBinding& b = map.bindings[map.count++];
        b.paramId = i % KELVO_PARAM_COUNT;
        b.cc = uint8_t(spread ? i : 0);
        if (!mixed) continue;
        b.curve = uint8_t(i % 4);
        b.valueMode = uint8_t(i % 5);
        b.takeover = uint8_t(i / 5 % 3);
        b.hasMin = i % 3 == 0;
        b.min = b.hasMin ? 0.1 : 0.0;
    }
    return map;
}

void run(benchmark::State& state, const CcMap& map, bool withState) {
    CcRouterState router;
    CcResolution out[CC_MAP_CAPACITY];
    int value = 0;
    int64_t resolutions = 0;
    for (auto _ : state) {
        value = (value + 37) % 128;
        uint32_t n = ccResolve(map, 0, 1, value, withState ? &router : nullptr,
                               withState ? readCurrent : nullptr, &value, out, CC_MAP_CAPACITY);
        benchmark::DoNotOptimize(out);
        resolutions += n;
    }
    state.SetItemsProcessed(resolutions);
    state.counters["resolutions_per_call"] =
        benchmark::Counter(double(resolutions) / double(state.iterations()));
}

void BM_CcResolveAbsolute64(benchmark::State& state) {
    run(state, fullMap(false, false), false);
}

void BM_CcResolveMixedModes64(benchmark::State& state) {
    run(state, fullMap(true, false), true);
}

void BM_CcResolveOneOf64(benchmark::State& state) {
    run(state, fullMap(false, true), true);
}

BENCHMARK(BM_CcResolveAbsolute64);
BENCHMARK(BM_CcResolveMixedModes64);
BENCHMARK(BM_CcResolveOneOf64);

}  // namespace
