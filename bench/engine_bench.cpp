// Engine costs: a host block at 48 kHz with a busy pattern and automation,
// and the rate adapter's cost per host frame against the interpolation it
// has to do, measured in the same run.
#include <benchmark/benchmark.h>

#include <utility>
#include <vector>

#include "kernel_engine.h"

namespace {

using kelvo::KernelEngine;
using kelvo::KernelFunctions;

constexpr int BLOCK = 512;
constexpr int STEP = 6000;  // a sixteenth note at 120 BPM and 48 kHz
constexpr uint32_t NOTES[] = {36, 38, 40, 39, 41, 45, 42, 46, 49, 56};

struct Output {
    std::vector<float> left = std::vector<float>(BLOCK), right = std::vector<float>(BLOCK);
    float* channels[2] = {left.data(), right.data()};
};

// 48 kHz, 512-frame blocks: every piece struck on sixteenth notes, one
// parameter changed every block (so pieces keep re-rendering).
void BM_ProcessBlockPattern(benchmark::State& state) {
    KernelEngine engine;
    engine.setup(48000, BLOCK);
    Output out;
    int64_t frame = 0, block = 0;
    for (auto _ : state) {
        engine.pushParamNormalized(static_cast<uint32_t>(block % 14), (block % 10) / 9.0, 0);
        for (int64_t f = frame; f < frame + BLOCK; ++f)
            if (f % STEP == 0)
                for (uint32_t note : NOTES)
                    engine.pushNoteOn(note, 0.9, static_cast<int32_t>(f - frame), 0, 0);
        engine.processBlock(nullptr, 0, out.channels, 2, BLOCK);
        benchmark::DoNotOptimize(out.left.data());
        frame += BLOCK;
        ++block;
    }
    state.counters["realtime_factor"] =
        benchmark::Counter(static_cast<double>(frame) / 48000.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ProcessBlockPattern)->Unit(benchmark::kMicrosecond);

// Activation with a restored session: every decay at its longest and a kit
// tone that changes every piece, so the whole kit re-renders before setup
// returns. Arg 0: the instance is kept (re-activation at the same rate);
// arg 1: a new instance is created (first activation or a new rate).
void BM_ActivationWithSession(benchmark::State& state) {
    const auto rate = static_cast<double>(state.range(0));
    const bool fresh = state.range(1) != 0;
    KernelEngine kept;
    kept.setup(rate, BLOCK);
    int round = 0;
    for (auto _ : state) {
        KernelEngine created;
        KernelEngine& engine = fresh ? created : kept;
        const double tone = (++round % 2) != 0 ? 0.2 : 0.8;
        for (auto [index, value] : {std::pair{1u, 1.2},
                                    {4u, 0.6},
                                    {7u, 1.2},
                                    {8u, 0.3},
                                    {9u, 1.5},
                                    {11u, 4.0},
                                    {12u, 0.8},
                                    {13u, tone}})
            engine.setParamValue(index, value);
        engine.setup(rate, BLOCK);
    }
}
BENCHMARK(BM_ActivationWithSession)
    ->ArgsProduct({{44100, 48000, 96000, 192000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// A kernel that only runs at 48 kHz and costs nothing, so the adapter's own
// work is what is measured.
float silentOutput[256];
float emptyInput[1];
const KernelFunctions idleKernel{
    [] { return uint64_t{0}; },
    [](kelvo::KernelPanicSink, void*) {},
    [] { return 2.0; },
    [] { return uint64_t{0}; },
    [](uint32_t, uint32_t, uint32_t, double rate) { return rate == 48000 ? 1.0 : 0.0; },
    [](uint32_t) { return 0.0; },
    [](uint32_t, float** data, size_t* length) { *data = emptyInput, *length = 0; },
    [](uint32_t, float** data, size_t* length) { *data = silentOutput, *length = 256; },
    [](uint32_t, uint32_t, uint32_t, uint32_t, double) { return 0.0; },
    [](uint32_t, uint32_t frames) {
        for (uint32_t i = 0; i < frames; ++i)
            silentOutput[i] = silentOutput[128 + i] = 0.25f;
        return 0.0;
    },
    [](uint32_t) { return 0.0; },
    0,
};

void BM_AdapterPerHostFrame(benchmark::State& state) {
    KernelEngine engine(idleKernel);
    engine.setup(static_cast<double>(state.range(0)), BLOCK);
    Output out;
    for (auto _ : state) {
        engine.processBlock(nullptr, 0, out.channels, 2, BLOCK);
        benchmark::DoNotOptimize(out.left.data());
    }
    state.SetItemsProcessed(state.iterations() * BLOCK);
}
BENCHMARK(BM_AdapterPerHostFrame)->Arg(44100)->Arg(96000);

// The floor: only the 32-tap multiply-adds for two channels per host frame,
// accumulated in order in single precision as the adapter must.
void BM_InterpolationFloor(benchmark::State& state) {
    std::vector<float> taps(1024 * 32, 1.0f / 32), plane(4096, 0.25f);
    Output out;
    for (auto _ : state) {
        for (int i = 0; i < BLOCK; ++i) {
            const float* t = &taps[static_cast<size_t>((i * 37) % 1024) * 32];
            const float* x = &plane[static_cast<size_t>(i) * 2 % 3000];
            float left = 0, right = 0;
            for (int k = 0; k < 32; ++k)
                left += t[k] * x[k];
            for (int k = 0; k < 32; ++k)
                right += t[k] * x[k + 1];
            out.left[i] = left;
            out.right[i] = right;
        }
        benchmark::DoNotOptimize(out.left.data());
        benchmark::DoNotOptimize(out.right.data());
    }
    state.SetItemsProcessed(state.iterations() * BLOCK);
}
BENCHMARK(BM_InterpolationFloor);

}  // namespace
