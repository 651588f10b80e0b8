#include <gtest/gtest.h>

#include <utility>

#include "drum_kernel.h"
#include "kit_tables.h"
#include "render_cache.h"

namespace kelvo::kernel {
namespace {

bool renderPending(const DrumSynth& synth) {
    if (synth.renderPiece >= 0) return true;
    for (int p = 0; p < DRUM_PIECE_COUNT; ++p)
        if (synth.dirty[p] != 0) return true;
    return false;
}

// The engine lets a new or reset instance finish rendering with
// KELVO_DRUM_KERNEL_SETTLE_BLOCKS silent process calls (one render step
// each). The longest work any values can cause is the whole kit with every
// decay at its longest and the tone pass on; measured at every rate class
// the engine accepts, up to its 4 MHz ceiling.
TEST(RenderSettle, TheLongestKitRenderFitsTheSettleBound) {
    for (double rate : {8000.0, 22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0,
                        384000.0, 4000000.0}) {
        std::unique_ptr<DrumSynth> synth = initDrumSynthVoice(rate);
        for (auto [index, value] : {std::pair{DRUM_PARAM_KICK_DECAY, 1.2},
                                    {DRUM_PARAM_SNARE_DECAY, 0.6},
                                    {DRUM_PARAM_TOM_DECAY, 1.2},
                                    {DRUM_PARAM_HAT_CLOSED_DECAY, 0.3},
                                    {DRUM_PARAM_HAT_OPEN_DECAY, 1.5},
                                    {DRUM_PARAM_CYMBAL_DECAY, 4.0},
                                    {DRUM_PARAM_CLAP_DECAY, 0.8},
                                    {DRUM_PARAM_KIT_TONE, 1.0}})
            synth->parameters[index] = value;
        drumSynthInvalidateAllRows(*synth);
        uint32_t steps = 0;
        for (; renderPending(*synth) && steps <= KELVO_DRUM_KERNEL_SETTLE_BLOCKS; ++steps)
            drumSynthAdvanceRender(*synth);
        EXPECT_LE(steps, KELVO_DRUM_KERNEL_SETTLE_BLOCKS) << rate;
    }
}

}  // namespace
}  // namespace kelvo::kernel
