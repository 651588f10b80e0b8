// Sixteen voices that play published cache rows. A retrigger or a choke cuts
// older voices with a short exponential fade, reading from a private retire
// buffer so the row underneath can be re-rendered meanwhile.
#pragma once

#include <cstdint>

#include "drum_synth.h"

namespace kelvo::kernel {

inline constexpr double DRUM_STRIKE_HEADROOM = 0.7;
inline constexpr double DRUM_CUT_FADE = 0.004;  // seconds

void strikePiece(DrumSynth& synth, int piece, double velocity);
void cutPiece(DrumSynth& synth, int piece, double fadeSeconds);
// Adds every voice's next `frames` samples to sum[0 .. frames), voice by
// voice; each frame's sum is therefore accumulated in voice order.
void mixVoices(DrumSynth& synth, double* sum, int64_t frames);
void resetVoices(DrumSynth& synth);

}  // namespace kelvo::kernel
