// Helpers for tests that work on a drum synth directly.
#pragma once

#include <memory>
#include <vector>

#include "drum_synth.h"
#include "processor_module.h"
#include "render_cache.h"

namespace kelvo::kernel {

inline std::unique_ptr<DrumProcessorState> preparedState(double rate) {
    auto state = createState();
    if (!prepare(*state, {0, DRUM_SYNTH_MAX_FRAMES, DRUM_SYNTH_OUTPUT_CHANNELS, rate}))
        return nullptr;
    return state;
}

// The published row of a piece, as voices read it.
inline std::vector<float> publishedRow(const DrumSynth& s, int piece) {
    const float* row =
        s.cache.data() + s.publishedBank[piece] * DRUM_SYNTH_CACHE_FRAMES + PIECE_OFFSET[piece];
    return std::vector<float>(row, row + s.publishedLength[piece]);
}

inline std::vector<int> dirtyPieces(const DrumSynth& s) {
    std::vector<int> pieces;
    for (int p = 0; p < DRUM_PIECE_COUNT; ++p)
        if (s.dirty[p] != 0) pieces.push_back(p);
    return pieces;
}

// Render steps until no piece is dirty (bounded, should a render never end).
inline void stepsUntilClean(DrumSynth& s) {
    for (int steps = 0; !dirtyPieces(s).empty() && steps < 100000; ++steps)
        drumSynthAdvanceRender(s);
}

}  // namespace kelvo::kernel
