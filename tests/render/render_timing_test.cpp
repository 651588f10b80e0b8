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

struct Note {
    uint64_t tick;
    uint8_t note, velocity;
};

struct Tempo {
    uint64_t tick;
    uint32_t micros;
};

// The frame of `tick`: seconds summed over the tempo segments before it.
uint64_t expectedFrame(uint64_t tick, const std::vector<Tempo>& tempos, uint16_t division,
                       double rate) {
    long double seconds = 0;
    uint64_t at = 0;
    uint32_t micros = 500000;
    for (const Tempo& tempo : tempos) {
        if (tempo.tick >= tick) break;
        seconds += static_cast<long double>(tempo.tick - at) * micros / (division * 1e6L);
        at = tempo.tick;
        micros = tempo.micros;
    }
    seconds += static_cast<long double>(tick - at) * micros / (division * 1e6L);
    return static_cast<uint64_t>(std::llround(seconds * rate));
}

std::vector<float> kernelRender(double rate, const std::vector<std::pair<uint64_t, Note>>& notes,
                                uint64_t frames) {
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
        for (; next < notes.size() && notes[next].first < start + count; ++next)
            scpr_music_kelvo_drum_synth_c1cf50803a37_push_event(
                handle, NOTE_ON, static_cast<uint32_t>(notes[next].first - start),
                notes[next].second.note, static_cast<float>(notes[next].second.velocity) / 127.0f);
        scpr_music_kelvo_drum_synth_c1cf50803a37_process(handle, count);
        for (uint32_t i = 0; i < count; ++i) {
            out[2 * (start + i)] = view[i];
            out[2 * (start + i) + 1] = view[CHUNK + i];
        }
    }
    scpr_music_kelvo_drum_synth_c1cf50803a37_destroy(handle);
    return out;
}

std::vector<float> readWav(const std::string& path, int& rate) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr || info.channels != 2) return {};
    std::vector<float> samples(static_cast<size_t>(info.frames) * 2);
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    rate = info.samplerate;
    return samples;
}

class RenderTiming : public kelvo::test::TempDirTest {};

TEST_F(RenderTiming, NotesLandOnTheFramesOfTheTempoMapAndSoundAsTheKernelPlaysThem) {
    constexpr uint16_t DIVISION = 480;
    const std::vector<Tempo> tempos = {{960, 600000}, {1700, 333333}, {2900, 250000}};
    const std::vector<Note> notes = {{0, 36, 127},    {240, 42, 90},   {960, 38, 100},
                                     {1201, 42, 64},  {1700, 45, 127}, {2345, 36, 1},
                                     {2900, 49, 110}, {3333, 40, 77}};
    // Format 1: the tempo map in a track of its own, notes spread over two
    // more, one of them written with running status and a controller change
    // the plug-in does not map.
    TrackBytes tempoTrack, kicks, others;
    uint64_t at = 0;
    for (const Tempo& tempo : tempos) {
        tempoTrack.tempo(static_cast<uint32_t>(tempo.tick - at), tempo.micros);
        at = tempo.tick;
    }
    tempoTrack.end(0);
    uint64_t kickAt = 0, otherAt = 0;
    for (const Note& note : notes) {
        uint64_t& last = note.note == 36 ? kickAt : otherAt;
        TrackBytes& track = note.note == 36 ? kicks : others;
        const auto delta = static_cast<uint32_t>(note.tick - last);
        if (&track == &others && last > 0)
            track.event(delta, {note.note, note.velocity});  // running status
        else
            track.event(delta, {0x99, note.note, note.velocity});
        last = note.tick;
    }
    kicks.event(10, {0xB9, 7, 100}).end(0);
    others.end(600);
    writeBytes(dir / "song.mid", midiFile(1, DIVISION, {tempoTrack, kicks, others}));

    for (const double rate : {48000.0, 44100.0}) {
        SCOPED_TRACE(rate);
        const std::string wav = (dir / "song.wav").string();
        const ToolRun run = runTool({BUNDLE, (dir / "song.mid").string(), "-o", wav, "--rate",
                                     std::to_string(static_cast<int>(rate)), "--block", "333"},
                                    dir / "logs");
        ASSERT_EQ(run.exitCode, 0) << run.err;
        int wavRate = 0;
        const std::vector<float> rendered = readWav(wav, wavRate);
        ASSERT_EQ(wavRate, static_cast<int>(rate));
        std::vector<std::pair<uint64_t, Note>> placed;
        for (const Note& note : notes)
            placed.push_back({expectedFrame(note.tick, tempos, DIVISION, rate), note});
        const std::vector<float> expected = kernelRender(rate, placed, rendered.size() / 2);
        ASSERT_GT(rendered.size(), 2 * placed.back().first);
        EXPECT_TRUE(rendered == expected);
    }
}

}  // namespace
}  // namespace tambro::test
