// One instance's drum synthesizer: the double-banked render cache, the state
// of the incremental renderer and the sixteen voices. Everything is allocated
// when the synth is built and never again.
#pragma once

#include <cstdint>
#include <memory>

#include "kit_tables.h"
#include "runtime.h"

namespace kelvo::kernel {

inline constexpr int DRUM_SYNTH_CACHE_BANKS = 2;
inline constexpr int64_t DRUM_SYNTH_CACHE_FRAMES = 1086720;
inline constexpr int64_t DRUM_SYNTH_SCRATCH_FRAMES = 386880;
inline constexpr int CACHE_KEY_STRIDE = 4;
inline constexpr int64_t DRUM_SYNTH_RENDER_BUDGET = 8192;
inline constexpr int DRUM_SYNTH_RENDER_STAGE_PASSES = 24;
inline constexpr int DRUM_SYNTH_RENDER_DRAIN_LIMIT = 8192;
inline constexpr int DRUM_SYNTH_MAX_VOICES = 16;
inline constexpr int64_t DRUM_SYNTH_RETIRE_FRAMES = 1024;
inline constexpr uint32_t DRUM_SEED = 1374555406u;
inline constexpr double TWO_PI = 2 * 3.141592653589793;
// ln 1000 and ln 0.0001, computed once with the kernel's own log.
extern const double LN_1000;
extern const double LOG_RAMP_EPSILON;

// Each capacity is the piece's longest render at 96 kHz; offsets are their
// running sum.
inline constexpr auto PIECE_CAPACITY = std::to_array<int32_t>(
    {117120, 59520, 6720, 81600, 118080, 100800, 29760, 145920, 386880, 40320});
inline constexpr auto PIECE_OFFSET = std::to_array<int32_t>(
    {0, 117120, 176640, 183360, 264960, 383040, 483840, 513600, 659520, 1046400});
static_assert(PIECE_CAPACITY.size() == DRUM_PIECE_COUNT && PIECE_OFFSET.size() == DRUM_PIECE_COUNT);

// The rows tile a bank exactly, and the scratch rows hold the longest one.
constexpr bool pieceRowsTileTheBank() {
    int64_t end = 0, longest = 0;
    for (int p = 0; p < DRUM_PIECE_COUNT; ++p) {
        if (PIECE_OFFSET[p] != end) return false;
        end += PIECE_CAPACITY[p];
        longest = PIECE_CAPACITY[p] > longest ? PIECE_CAPACITY[p] : longest;
    }
    return end == DRUM_SYNTH_CACHE_FRAMES && longest == DRUM_SYNTH_SCRATCH_FRAMES;
}
static_assert(pieceRowsTileTheBank());

enum RenderStage : int {
    STAGE_CLEAR = 0,
    STAGE_NOISE = 1,
    STAGE_RECIPE = 2,
    STAGE_FILTER_A = 3,
    STAGE_FILTER_B = 4,
    STAGE_TILT = 5,
    STAGE_PEAK = 6,
    STAGE_NORMALIZE = 7,
    STAGE_CLICK_NOISE = 8,
    STAGE_CLICK = 9,
    STAGE_FADE = 10,
    STAGE_PUBLISH = 11,
    STAGE_DONE = 12,
};

inline constexpr int BIQUAD_B0 = 0;
inline constexpr int BIQUAD_B1 = 1;
inline constexpr int BIQUAD_B2 = 2;
inline constexpr int BIQUAD_A1 = 3;
inline constexpr int BIQUAD_A2 = 4;
inline constexpr int BIQUAD_STRIDE = 5;

inline constexpr int TILT_LOWPASS = 0;
inline constexpr int TILT_COEFFICIENT = 1;
inline constexpr int TILT_LOW_GAIN = 2;
inline constexpr int TILT_HIGH_GAIN = 3;

// The values a piece's synthesis works from, fixed from the parameters when
// its render starts. A field means the same thing for every piece that uses
// it; the other pieces leave it at 0.
struct PieceRecipe {
    // Kick and toms: a sine whose pitch glides from sweepHz down to baseHz.
    double baseHz = 0;
    double sweepHz = 0;
    // Snare and rim: the two sines of the body.
    double lowModeHz = 0;
    double highModeHz = 0;
    // -60 dB times in seconds.
    double toneDecay = 0;      // kick, snare, rim, toms: the pitched part
    double noiseDecay = 0;     // snare: the noise part
    double tailDecay = 0;      // clap: the tail after the three taps
    double envelopeDecay = 0;  // hats, cymbal: the envelope over the filtered row
    double toneWeight = 0;     // snare: share of the pitched part
    double noiseWeight = 0;    // snare, hats, cymbal: share of the noise
    double metal = 0;          // hats, cymbal: the square cluster weighs 0.45 * metal + 0.55
    double highpassHz = 0;     // hats, cymbal: cutoff of the high-pass on the row
    double clickAmount = 0;    // kick: loudness of the noise click
    double noiseFrames = 0;    // toms: frames of the noise thump, a whole number
};

struct DrumSynth {
    explicit DrumSynth(double rate);

    double sampleRate;
    TypedArray<double> parameters{DRUM_PARAM_COUNT};

    // Bank b, piece p, frame i lives at b * DRUM_SYNTH_CACHE_FRAMES + PIECE_OFFSET[p] + i.
    TypedArray<float> cache{DRUM_SYNTH_CACHE_BANKS * DRUM_SYNTH_CACHE_FRAMES};
    TypedArray<int32_t> published{DRUM_PIECE_COUNT};
    TypedArray<int32_t> publishedBank{DRUM_PIECE_COUNT};
    TypedArray<int32_t> publishedLength{DRUM_PIECE_COUNT};
    TypedArray<int32_t> dirty{DRUM_PIECE_COUNT};
    TypedArray<double> cacheKeys{DRUM_PIECE_COUNT * CACHE_KEY_STRIDE};

    TypedArray<double> scratchKey{CACHE_KEY_STRIDE};
    // The key the render in progress was started for.
    TypedArray<double> renderKey{CACHE_KEY_STRIDE};
    TypedArray<float> renderRow{DRUM_SYNTH_SCRATCH_FRAMES};
    TypedArray<float> noiseRow{DRUM_SYNTH_SCRATCH_FRAMES};

    int renderPiece = -1;
    int renderStage = STAGE_DONE;
    int64_t renderCursor = 0;
    int64_t renderFrames = 0;
    double renderPeak = 0;
    double normalizeGain = 1;
    double renderPhase = 0;  // oscillator phase in cycles, carried across windows
    int64_t fadeFrames = 0;
    uint32_t noiseState = 0;
    // Set once the hats' or cymbal's envelope pass has covered the whole row.
    bool metalEnvelopeDone = false;
    PieceRecipe recipe;
    TypedArray<double> filterCoefficients{BIQUAD_STRIDE};
    TypedArray<double> filterState{4};  // x1, x2, y1, y2
    TypedArray<double> tilt{4};

    double strikeCounter = 0;
    TypedArray<int32_t> voiceActive{DRUM_SYNTH_MAX_VOICES};
    TypedArray<int32_t> voicePiece{DRUM_SYNTH_MAX_VOICES};
    TypedArray<int32_t> voiceBank{DRUM_SYNTH_MAX_VOICES};
    TypedArray<double> voicePosition{DRUM_SYNTH_MAX_VOICES};
    TypedArray<double> voiceLength{DRUM_SYNTH_MAX_VOICES};
    TypedArray<double> voiceGain{DRUM_SYNTH_MAX_VOICES};
    TypedArray<double> voiceSerial{DRUM_SYNTH_MAX_VOICES};
    TypedArray<int32_t> voiceFading{DRUM_SYNTH_MAX_VOICES};
    TypedArray<double> fadePosition{DRUM_SYNTH_MAX_VOICES};
    TypedArray<double> fadeLength{DRUM_SYNTH_MAX_VOICES};
    TypedArray<double> fadeStartGain{DRUM_SYNTH_MAX_VOICES};
    // ln(0.0001) - ln(fadeStartGain), fixed for the whole ramp.
    TypedArray<double> fadeLogSpan{DRUM_SYNTH_MAX_VOICES};
    TypedArray<int32_t> voiceRetired{DRUM_SYNTH_MAX_VOICES};
    TypedArray<float> retireBuffer{DRUM_SYNTH_MAX_VOICES * DRUM_SYNTH_RETIRE_FRAMES};

    // The rate the renderer works at: a rate <= 0 counts as 48000.
    double renderRate() const { return sampleRate > 0 ? sampleRate : 48000.0; }
    double parameter(int index) const;  // clamped with the kit's range for that index
};

std::unique_ptr<DrumSynth> initDrumSynthVoice(double sampleRate);

}  // namespace kelvo::kernel
