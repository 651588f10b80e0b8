#include <gtest/gtest.h>

#include <cmath>

#include "drum_kernel.h"
#include "kit_tables.h"
#include "processor_module.h"
#include "render_cache.h"
#include "synth_fixture.h"

namespace kelvo::kernel {
namespace {

TEST(RenderCache, RowLengthsFollowDurationsAndCapacities) {
    struct Case {
        double rate;
        const char* name;  // a parameter to set first, or ""
        double value;
        int piece, frames;
    };
    const Case cases[] = {
        {48000, "", 0, DRUM_PIECE_KICK, 21120},
        {48000, "", 0, DRUM_PIECE_RIM, 3360},
        {48000, "", 0, DRUM_PIECE_CYMBAL, 78240},
        {48000, "", 0, DRUM_PIECE_COWBELL, 20160},
        {48000, "", 0, DRUM_PIECE_SNARE, 10080},
        {48000, "", 0, DRUM_PIECE_TOM_MID, 18576},
        {192000, "cymbal.decay", 4.0, DRUM_PIECE_CYMBAL, 386880},      // the row's capacity
        {192000, "hat.closedDecay", -5, DRUM_PIECE_HAT_CLOSED, 3840},  // clamped to 0.01
        {100, "", 0, DRUM_PIECE_HAT_CLOSED, 8},  // 0.065 s at 100 Hz: the minimum
    };
    for (const Case& c : cases) {
        auto state = preparedState(c.rate);
        if (*c.name) {
            ASSERT_TRUE(setParameter(*state, c.name, c.value));
        }
        stepsUntilClean(*state->synth);
        EXPECT_EQ(state->synth->published[c.piece], 1);
        EXPECT_EQ(state->synth->publishedLength[c.piece], c.frames) << c.rate << " " << c.piece;
    }
}

TEST(RenderCache, ParameterChangesDirtyOnlyPiecesWhoseKeysMove) {
    struct Case {
        const char* name;
        double value;
        std::vector<int> dirty;
    };
    const std::vector<int> all = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    const Case cases[] = {
        {"kick.tune", 60, {DRUM_PIECE_KICK}},
        {"snare.tune", 200, {DRUM_PIECE_SNARE, DRUM_PIECE_RIM}},
        {"snare.snap", 0.9, {DRUM_PIECE_SNARE}},
        {"tom.decay", 0.5, {DRUM_PIECE_TOM_LOW, DRUM_PIECE_TOM_MID}},
        {"hat.metal", 0.2, {DRUM_PIECE_HAT_CLOSED, DRUM_PIECE_HAT_OPEN, DRUM_PIECE_CYMBAL}},
        {"clap.decay", 0.3, {DRUM_PIECE_CLAP}},
        {"kit.tone", 0.7, all},
        {"master.level", 0.1, {}},
        {"pattern.tempo", 140, {}},
        {"kick.tune", 500, {DRUM_PIECE_KICK}},  // clamped to 120, still a new key
    };
    for (const Case& c : cases) {
        auto state = preparedState(48000);
        ASSERT_TRUE(setParameter(*state, c.name, c.value));
        EXPECT_EQ(dirtyPieces(*state->synth), c.dirty) << c.name;
    }
    // Moving further outside the range keeps the clamped key: nothing to re-render.
    auto state = preparedState(48000);
    ASSERT_TRUE(setParameter(*state, "kick.tune", 500));
    stepsUntilClean(*state->synth);
    ASSERT_TRUE(setParameter(*state, "kick.tune", 900));
    EXPECT_TRUE(dirtyPieces(*state->synth).empty());
    EXPECT_FALSE(setParameter(*state, "kick.tune", NAN));
    EXPECT_FALSE(setParameter(*state, "kick.tuning", 50));
}

TEST(RenderCache, SettingBackDuringARenderRendersAgainWithTheRightKey) {
    auto state = preparedState(48000);
    DrumSynth& s = *state->synth;
    const std::vector<float> original = publishedRow(s, DRUM_PIECE_SNARE);
    ASSERT_TRUE(setParameter(*state, "snare.tune", 200));
    drumSynthAdvanceRender(s);
    ASSERT_EQ(s.renderPiece, DRUM_PIECE_SNARE);
    ASSERT_TRUE(setParameter(*state, "snare.tune", 190));
    EXPECT_EQ(s.renderPiece, -1);  // abandoned
    EXPECT_EQ(dirtyPieces(s), (std::vector<int>{DRUM_PIECE_SNARE, DRUM_PIECE_RIM}));
    stepsUntilClean(s);
    EXPECT_EQ(publishedRow(s, DRUM_PIECE_SNARE), original);
    EXPECT_EQ(s.cacheKeys[DRUM_PIECE_SNARE * CACHE_KEY_STRIDE], 190);
}

TEST(RenderCache, UnrelatedChangesDoNotStarveARender) {
    // A host automating a parameter that no key of the piece contains must
    // not keep restarting the render in progress.
    auto state = preparedState(48000);
    DrumSynth& s = *state->synth;
    ASSERT_TRUE(setParameter(*state, "cymbal.decay", 2.5));
    drumSynthAdvanceRender(s);
    ASSERT_TRUE(setParameter(*state, "snare.tune", 230));
    EXPECT_EQ(s.renderPiece, DRUM_PIECE_CYMBAL);
    int steps = 0;
    for (; !dirtyPieces(s).empty() && steps < 1000; ++steps) {
        ASSERT_TRUE(setParameter(*state, "master.level", 0.5 + steps * 0.001));
        ASSERT_TRUE(setParameter(*state, "pattern.tempo", 90 + steps));
        drumSynthAdvanceRender(s);
    }
    EXPECT_TRUE(dirtyPieces(s).empty());
    for (int p = 0; p < DRUM_PIECE_COUNT; ++p) {
        writeCacheKey(s, s.scratchKey, p, 0);
        for (int k = 0; k < CACHE_KEY_STRIDE; ++k)
            EXPECT_EQ(s.cacheKeys[p * CACHE_KEY_STRIDE + k], s.scratchKey[k]) << p;
    }
}

TEST(RenderCache, RendersAlternateBanks) {
    auto state = preparedState(48000);
    DrumSynth& s = *state->synth;
    for (int bank : {1, 0, 1}) {
        ASSERT_TRUE(setParameter(*state, "cymbal.decay", 1.6 + bank * 1e-9));
        stepsUntilClean(s);
        EXPECT_EQ(s.publishedBank[DRUM_PIECE_CYMBAL], bank);
    }
}

TEST(RenderCache, InvalidateAllUnpublishesEverything) {
    auto state = preparedState(48000);
    DrumSynth& s = *state->synth;
    drumSynthInvalidateAllRows(s);
    for (int p = 0; p < DRUM_PIECE_COUNT; ++p) {
        EXPECT_EQ(s.published[p], 0);
        EXPECT_EQ(s.dirty[p], 1);
    }
    drumSynthRenderAllPending(s);
    EXPECT_TRUE(dirtyPieces(s).empty());
    EXPECT_EQ(s.renderPiece, -1);
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
        for (; (synth->renderPiece >= 0 || !dirtyPieces(*synth).empty()) &&
               steps <= KELVO_DRUM_KERNEL_SETTLE_BLOCKS;
             ++steps)
            drumSynthAdvanceRender(*synth);
        EXPECT_LE(steps, KELVO_DRUM_KERNEL_SETTLE_BLOCKS) << rate;
    }
}

}  // namespace
}  // namespace kelvo::kernel
