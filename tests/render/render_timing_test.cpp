// A MIDI file with tempo changes rendered through the bundle equals the
// drum kernel driven directly with every note at the frame the file's tempo
// map gives it, computed here on its own: every note lands on its exact
// frame, and the plug-in adds nothing to the kernel's sound.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>

#include "drum_kernel.h"
#include "temp_dir.h"
#include "tool_run.h"

namespace tambro::test {
namespace {

constexpr uint32_t CHUNK = 128;
constexpr uint32_t NOTE_ON = 2;
constexpr uint16_t DIVISION = 480;

struct Note {
    uint64_t tick;
    uint8_t note, velocity;
};

// Tick and microseconds per quarter from there on.
const std::vector<std::pair<uint64_t, uint32_t>> TEMPOS = {
    {0, 500000}, {960, 600000}, {1700, 333333}, {2900, 250000}};

const std::vector<Note> NOTES = {{0, 36, 127},    {240, 42, 90}, {960, 38, 100},  {1201, 42, 64},
                                 {1700, 45, 127}, {2345, 36, 1}, {2900, 49, 110}, {3333, 40, 77}};

// Format 1: the tempo map in a track of its own, the notes spread over two
// more, one written with running status and ending with a controller change
// the plug-in does not map.
Bytes song() {
    TrackBytes tempos, kicks, others;
    tempos.tempo(960, 600000).tempo(740, 333333).tempo(1200, 250000).end(0);
    kicks.event(0, {0x99, 36, 127}).event(2345, {0x99, 36, 1}).event(10, {0xB9, 7, 100}).end(0);
    others.event(240, {0x99, 42, 90}).event(720, {38, 100}).event(241, {42, 64});
    others.event(499, {45, 127}).event(1200, {49, 110}).event(433, {40, 77}).end(600);
    return midiFile(1, DIVISION, {tempos, kicks, others});
}

// The frame of `tick`: seconds summed over the tempo segments before it.
uint64_t expectedFrame(uint64_t tick, double rate) {
    long double seconds = 0;
    for (size_t i = 0; i < TEMPOS.size() && TEMPOS[i].first < tick; ++i) {
        const uint64_t until = i + 1 < TEMPOS.size() ? std::min(TEMPOS[i + 1].first, tick) : tick;
        seconds += static_cast<long double>(until - TEMPOS[i].first) * TEMPOS[i].second /
                   (DIVISION * 1e6L);
    }
    return static_cast<uint64_t>(std::llround(seconds * rate));
}

// The kernel's interleaved stereo output with each note at its frame.
std::vector<float> kernelRender(double rate, uint64_t frames) {
    static const bool initialised = (scpr_music_kelvo_drum_synth_c1cf50803a37_runtime_init(), true);
    (void)initialised;
    const auto handle =
        static_cast<uint32_t>(scpr_music_kelvo_drum_synth_c1cf50803a37_create(CHUNK, 0, 2, rate));
    for (uint32_t i = 0; i < KELVO_DRUM_KERNEL_SETTLE_BLOCKS; ++i)
        scpr_music_kelvo_drum_synth_c1cf50803a37_process(handle, CHUNK);
    float* view = nullptr;
    size_t length = 0;
    scpr_music_kelvo_drum_synth_c1cf50803a37_output_view(handle, &view, &length);
    std::vector<float> out(frames * 2);
    size_t next = 0;
    for (uint64_t start = 0; start < frames; start += CHUNK) {
        const auto count = static_cast<uint32_t>(std::min<uint64_t>(CHUNK, frames - start));
        for (; next < NOTES.size() && expectedFrame(NOTES[next].tick, rate) < start + count; ++next)
            scpr_music_kelvo_drum_synth_c1cf50803a37_push_event(
                handle, NOTE_ON,
                static_cast<uint32_t>(expectedFrame(NOTES[next].tick, rate) - start),
                NOTES[next].note, static_cast<float>(NOTES[next].velocity) / 127.0f);
        scpr_music_kelvo_drum_synth_c1cf50803a37_process(handle, count);
        for (uint32_t i = 0; i < count; ++i) {
            out[2 * (start + i)] = view[i];
            out[2 * (start + i) + 1] = view[CHUNK + i];
        }
    }
    scpr_music_kelvo_drum_synth_c1cf50803a37_destroy(handle);
    return out;
}

class RenderTiming : public kelvo::test::TempDirTest {};

TEST_F(RenderTiming, NotesLandOnTheFramesOfTheTempoMapAndSoundAsTheKernelPlaysThem) {
    writeBytes(dir / "song.mid", song());
    const std::string wav = (dir / "song.wav").string();
    for (const int rate : {48000, 44100}) {
        SCOPED_TRACE(rate);
        const ToolRun run = runTool({BUNDLE, (dir / "song.mid").string(), "-o", wav, "--rate",
                                     std::to_string(rate), "--block", "333"},
                                    dir / "logs");
        ASSERT_EQ(run.exitCode, 0) << run.err;
        SF_INFO info{};
        SNDFILE* file = sf_open(wav.c_str(), SFM_READ, &info);
        ASSERT_TRUE(file && info.channels == 2 && info.samplerate == rate);
        std::vector<float> rendered(static_cast<size_t>(info.frames) * 2);
        sf_readf_float(file, rendered.data(), info.frames);
        sf_close(file);
        ASSERT_GT(rendered.size(), 2 * expectedFrame(NOTES.back().tick, rate));
        EXPECT_TRUE(rendered == kernelRender(rate, rendered.size() / 2));
    }
}

}  // namespace
}  // namespace tambro::test
