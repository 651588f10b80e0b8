// The sound of each drum piece: recipe values fixed when a render starts, the
// per-sample synthesis, the noise and row filters, the metal envelope and the
// kick's click. Each function works on one window of the row being built.
#pragma once

#include <cstdint>

#include "drum_synth.h"

namespace kelvo::kernel {

inline constexpr double KICK_SWEEP = 4.2;
inline constexpr double KICK_SWEEP_TAU = 0.03;
inline constexpr double SNARE_MODE_RATIO = 1.593;
inline constexpr auto METAL_RATIOS = std::to_array<double>({2, 3, 4.16, 5.43, 6.79, 8.21});
inline constexpr int METAL_RATIO_COUNT = static_cast<int>(METAL_RATIOS.size());
inline constexpr double METAL_BASE_HZ = 40;
inline constexpr auto CLAP_TAPS = std::to_array<double>({0, 0.0105, 0.021});
inline constexpr int CLAP_TAP_COUNT = static_cast<int>(CLAP_TAPS.size());
inline constexpr double CLAP_TAIL_AT = 0.031;
inline constexpr double COWBELL_LOW = 540;
inline constexpr double COWBELL_HIGH = 800;

// Seconds of sound the piece's render covers, before the frame limits.
double renderDurationSeconds(const DrumSynth& synth, int piece);
// Frames of the noise row that hold noise: all of them except for the toms,
// whose noise is a 6 ms burst.
int64_t noiseFillEnd(const DrumSynth& synth, int piece, int64_t frames);
// Sets synth.recipe for a render of the piece that is `frames` long.
void writeRecipe(DrumSynth& synth, int piece, int64_t frames);

bool isMetalPiece(int piece);
bool filtersNoiseRow(int piece);   // snare, rim, clap: filters run on the noise
bool filtersRenderRow(int piece);  // hats, cymbal, cowbell: filters run on the row
bool hasSecondFilter(int piece);
// Loads filter A (which = 0) or B (which = 1) of the piece and clears the state.
void writeRenderFilter(DrumSynth& synth, int piece, int which);
void bandpassCoefficients(TypedArray<double>& out, double frequency, double q, double rate);
void highpassCoefficients(TypedArray<double>& out, double frequency, double rate);

void renderRecipeWindow(DrumSynth& synth, int piece, int64_t start, int64_t count);
void biquadWindow(DrumSynth& synth, TypedArray<float>& row, int64_t start, int64_t count);
void metalEnvelopeWindow(DrumSynth& synth, int piece, int64_t start, int64_t count);
void kickClickWindow(DrumSynth& synth, int64_t start, int64_t count);

}  // namespace kelvo::kernel
