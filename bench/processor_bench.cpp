// The processor's cost over the engine's: the same groove at 48 kHz in
// 512-frame blocks, with one parameter automated every block, rendered once
// by a KernelEngine directly and once through KelvoProcessor::process.
#include <benchmark/benchmark.h>

#include <vector>

#include "test_host.h"

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

constexpr int32 BLOCK = 512;
constexpr int64_t STEP = 6000;  // a sixteenth note at 120 BPM
constexpr int16 NOTES[] = {36, 38, 40, 39, 41, 45, 42, 46, 49, 56};

// Notes of the block starting at frame (every piece on every sixteenth).
template <typename Strike>
void strikesIn(int64_t frame, Strike strike) {
    for (int64_t f = frame; f < frame + BLOCK; ++f)
        if (f % STEP == 0)
            for (int16 note : NOTES)
                strike(static_cast<int32>(f - frame), note);
}

void BM_EngineGroove(benchmark::State& state) {
    kelvo::KernelEngine engine;
    engine.setup(48000, BLOCK);
    std::vector<float> left(BLOCK), right(BLOCK);
    float* channels[2] = {left.data(), right.data()};
    int64_t frame = 0, block = 0;
    for (auto _ : state) {
        engine.pushParamNormalized(static_cast<uint32_t>(block % 14), (block % 10) / 9.0, 0);
        strikesIn(frame, [&](int32 at, int16 note) { engine.pushNoteOn(note, 0.9, at, 0, 0); });
        engine.processBlock(nullptr, 0, channels, 2, BLOCK);
        benchmark::DoNotOptimize(left.data());
        frame += BLOCK;
        ++block;
    }
    state.counters["realtime_factor"] =
        benchmark::Counter(static_cast<double>(frame) / 48000.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EngineGroove)->Unit(benchmark::kMicrosecond);

void BM_ProcessorGroove(benchmark::State& state) {
    kelvo::test::ProcessorHost host;
    host.setup(48000, BLOCK);
    host.activate();
    int64_t frame = 0, block = 0;
    for (auto _ : state) {
        host.parameters().add(static_cast<ParamID>(block % 14), 0, (block % 10) / 9.0);
        strikesIn(frame, [&](int32 at, int16 note) { host.events().noteOn(at, note, 0.9f); });
        host.process(BLOCK);
        benchmark::DoNotOptimize(host.left().data());
        frame += BLOCK;
        ++block;
    }
    state.counters["realtime_factor"] =
        benchmark::Counter(static_cast<double>(frame) / 48000.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ProcessorGroove)->Unit(benchmark::kMicrosecond);

}  // namespace
