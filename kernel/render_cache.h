// The incremental renderer of the drum cache: stale pieces are rebuilt one
// at a time, a bounded amount of stage work per step, and published into the
// bank their sounding voices are not reading.
#pragma once

#include <cstdint>

#include "drum_synth.h"

namespace kelvo::kernel {

void drumSynthInvalidateAllRows(DrumSynth& synth);
// One render step: at most DRUM_SYNTH_RENDER_BUDGET frames of stage work in
// at most DRUM_SYNTH_RENDER_STAGE_PASSES stage passes.
void drumSynthAdvanceRender(DrumSynth& synth);
// Repeats render steps until nothing is dirty (bounded by the drain limit).
void drumSynthRenderAllPending(DrumSynth& synth);
void writeCacheKey(const DrumSynth& synth, TypedArray<double>& destination, int piece,
                   int64_t offset);
uint32_t drumVoiceNoiseSeed(int piece);
// Frames the piece's next render will produce at the synth's rate.
int64_t renderFrameCount(const DrumSynth& synth, int piece);
// After a parameter change: marks pieces whose key moved away from their
// published key, and abandons the render in progress if its own key moved.
void invalidateChangedPieces(DrumSynth& synth);

}  // namespace kelvo::kernel
