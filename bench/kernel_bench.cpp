// Kernel costs: instance creation (time and resident memory), rendering a
// block with every voice sounding, and the most expensive render step.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <algorithm>
#include <chrono>
#include <vector>

#include "drum_kernel.h"
#include "drum_voices.h"
#include "processor_module.h"
#include "render_cache.h"

#define KERNEL(operation) scpr_music_kelvo_drum_synth_c1cf50803a37_##operation

namespace {

using namespace kelvo::kernel;

// Heap bytes in use. The kernel writes every page it allocates when it
// allocates it, so this is also what an instance keeps resident.
double heapMegabytes() {
    struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / 1048576.0;
}

// Wall time of create (which renders the whole kit) and the memory each live
// instance holds.
void BM_Create(benchmark::State& state) {
    const double rate = static_cast<double>(state.range(0));
    KERNEL(runtime_init)();
    for (auto _ : state) {
        auto handle = static_cast<uint32_t>(KERNEL(create)(128, 0, 2, rate));
        benchmark::DoNotOptimize(handle);
        state.PauseTiming();
        KERNEL(destroy)(handle);
        state.ResumeTiming();
    }
    KERNEL(runtime_init)();
    constexpr int LIVE = 8;
    const double before = heapMegabytes();
    for (int i = 0; i < LIVE; ++i)
        KERNEL(create)(128, 0, 2, rate);
    state.counters["MB_per_instance"] = (heapMegabytes() - before) / LIVE;
    KERNEL(runtime_init)();
}
BENCHMARK(BM_Create)->Arg(44100)->Arg(48000)->Arg(96000)->Unit(benchmark::kMillisecond);

// One 128-frame block with all sixteen voices playing (not fading) and
// nothing left to render.
void BM_ProcessSixteenVoices(benchmark::State& state) {
    auto drum = createState();
    prepare(*drum, {0, 128, 2, 48000});
    setParameter(*drum, "cymbal.decay", 4.0);
    drumSynthRenderAllPending(*drum->synth);
    DrumSynth& s = *drum->synth;
    strikePiece(s, DRUM_PIECE_CYMBAL, 1);
    // Every voice plays the long cymbal row from its own position; none fades.
    for (int v = 0; v < DRUM_SYNTH_MAX_VOICES; ++v) {
        s.voiceActive[v] = 1;
        s.voicePiece[v] = DRUM_PIECE_CYMBAL;
        s.voiceBank[v] = s.publishedBank[DRUM_PIECE_CYMBAL];
        s.voiceLength[v] = s.publishedLength[DRUM_PIECE_CYMBAL];
        s.voiceGain[v] = 0.7;
        s.voicePosition[v] = v;
    }
    std::vector<float> planes(256);
    const ProcessorBlock block{128, 128, 0, nullptr, 0, planes.data(), planes.size(), 2};
    int64_t frames = 0;
    for (auto _ : state) {
        if (s.voicePosition[0] + 128 > s.voiceLength[0]) {
            state.PauseTiming();
            for (int v = 0; v < DRUM_SYNTH_MAX_VOICES; ++v)
                s.voicePosition[v] = v;
            state.ResumeTiming();
        }
        process(*drum, block);
        benchmark::DoNotOptimize(planes.data());
        frames += 128;
    }
    state.counters["active_voices"] = DRUM_SYNTH_MAX_VOICES;
    state.counters["realtime_factor"] =
        benchmark::Counter(static_cast<double>(frames) / 48000.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ProcessSixteenVoices);

// The slowest single render step of a full render of one piece at 48 kHz,
// with the parameters that make its render longest (reported time: that
// slowest step, averaged over renders).
void BM_WorstRenderStep(benchmark::State& state) {
    const int piece = static_cast<int>(state.range(0));
    auto drum = createState();
    prepare(*drum, {0, 128, 2, 48000});
    for (auto [name, value] : {std::pair{"kick.decay", 1.2},
                               {"snare.decay", 0.6},
                               {"clap.decay", 0.8},
                               {"tom.decay", 1.2},
                               {"hat.closedDecay", 0.3},
                               {"hat.openDecay", 1.5},
                               {"cymbal.decay", 4.0},
                               {"kit.tone", 0.8}})
        setParameter(*drum, name, value);
    DrumSynth& s = *drum->synth;
    drumSynthRenderAllPending(s);
    double slowestTotal = 0;
    int steps = 0;
    for (auto _ : state) {
        s.dirty[piece] = 1;
        double slowest = 0;
        steps = 0;
        while (s.dirty[piece] != 0) {
            auto start = std::chrono::steady_clock::now();
            drumSynthAdvanceRender(s);
            std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            slowest = std::max(slowest, took.count());
            ++steps;
        }
        slowestTotal += slowest;
        state.SetIterationTime(slowest);
    }
    state.SetLabel(std::string(PIECE_LABEL[piece]));
    state.counters["steps"] = steps;
    // Share of the real-time budget of one 128-frame block (2.67 ms) taken by
    // the slowest step of a render, averaged over renders.
    const double slowestMean = slowestTotal / static_cast<double>(state.iterations());
    state.counters["share_of_128_frame_block"] = slowestMean / (128.0 / 48000.0);
}
BENCHMARK(BM_WorstRenderStep)->DenseRange(0, 9)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
