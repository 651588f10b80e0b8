// Seconds of audio rendered per second of wall time for the demo groove:
// through the bundle exactly as tambro-render drives it (blocks of 512
// frames, events placed in blocks, output copied and scanned for sound),
// against the drum kernel rendering the same timeline directly in chunks of
// 128 frames, in the same run. "ratio" is the bundle's time over the
// kernel's. Set-up, reset and settling are outside the timed parts; each
// figure is from the quickest of the runs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

#include "demo_pattern.h"
#include "drum_kernel.h"
#include "plugin_instance.h"
#include "render_loop.h"

namespace {

using namespace tambro::render;
using Clock = std::chrono::steady_clock;

constexpr uint32_t CHUNK = 128;
constexpr uint32_t NOTE_ON = 2;
constexpr double RATE = 48000;
constexpr int32_t BLOCK = 512;

class KernelRenderer {
  public:
    KernelRenderer() {
        scpr_music_kelvo_drum_synth_c1cf50803a37_runtime_init();
        handle_ = static_cast<uint32_t>(
            scpr_music_kelvo_drum_synth_c1cf50803a37_create(CHUNK, 0, 2, RATE));
        size_t length = 0;
        scpr_music_kelvo_drum_synth_c1cf50803a37_output_view(handle_, &view_, &length);
    }
    ~KernelRenderer() { scpr_music_kelvo_drum_synth_c1cf50803a37_destroy(handle_); }

    void reset() {
        scpr_music_kelvo_drum_synth_c1cf50803a37_reset(handle_);
        for (uint32_t i = 0; i < KELVO_DRUM_KERNEL_SETTLE_BLOCKS; ++i)
            scpr_music_kelvo_drum_synth_c1cf50803a37_process(handle_, CHUNK);
    }

    void render(const Timeline& timeline, std::vector<float>& out) {
        const uint64_t frames = out.size() / 2;
        size_t next = 0;
        for (uint64_t start = 0; start < frames; start += CHUNK) {
            const auto count = static_cast<uint32_t>(std::min<uint64_t>(CHUNK, frames - start));
            for (; next < timeline.events.size() && timeline.events[next].frame < start + count;
                 ++next) {
                const TimedEvent& event = timeline.events[next];
                scpr_music_kelvo_drum_synth_c1cf50803a37_push_event(
                    handle_, NOTE_ON, static_cast<uint32_t>(event.frame - start), event.number,
                    static_cast<float>(event.value) / 127.0f);
            }
            scpr_music_kelvo_drum_synth_c1cf50803a37_process(handle_, count);
            for (uint32_t i = 0; i < count; ++i) {
                out[2 * (start + i)] = view_[i];
                out[2 * (start + i) + 1] = view_[CHUNK + i];
            }
        }
    }

  private:
    uint32_t handle_ = 0;
    float* view_ = nullptr;
};

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_DemoGrooveBundleAgainstKernel(benchmark::State& state) {
    // A fixed length for both, the groove and a second of its tail: the
    // tool's listening for the end of the tail is not part of the comparison.
    Timeline timeline = demoTimeline(Rate{48000, 1});
    timeline.endFrame += static_cast<uint64_t>(RATE);
    PluginInstance instance(KELVO_BUNDLE_DIR);
    instance.setup(RATE, BLOCK);
    instance.start();
    KernelRenderer kernel;
    const uint64_t tailLimit = 0;
    // The quickest run of each: other work on the machine only ever adds time.
    double audio = 0, bundleTime = 1e9, kernelTime = 1e9;
    for (auto _ : state) {
        state.PauseTiming();
        instance.restart();
        kernel.reset();
        state.ResumeTiming();
        auto start = Clock::now();
        const Rendering rendering = render(instance, timeline, tailLimit, nullptr);
        bundleTime = std::min(bundleTime, secondsSince(start));
        start = Clock::now();
        std::vector<float> out(rendering.frames * 2);  // the tool makes its buffer too
        kernel.render(timeline, out);
        kernelTime = std::min(kernelTime, secondsSince(start));
        audio = static_cast<double>(rendering.frames) / RATE;
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bundle_audio_s_per_s"] = audio / bundleTime;
    state.counters["kernel_audio_s_per_s"] = audio / kernelTime;
    state.counters["ratio"] = bundleTime / kernelTime;
}
BENCHMARK(BM_DemoGrooveBundleAgainstKernel)->Unit(benchmark::kMillisecond)->Iterations(40);

}  // namespace
