// The render cache's schedule and the recipe values behind its rows; the
// rows of the default kit are pinned bit for bit by the golden render.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "drum_kernel.h"
#include "kit_tables.h"
#include "recipes.h"
#include "synth_fixture.h"

namespace kelvo::kernel {
namespace {

TEST(RenderCache, RowLengthsFollowDurationsAndCapacities) {
    // rate, a parameter to set first (or "") and its value, piece, frames
    const std::tuple<double, const char*, double, int, int> cases[] = {
        {48000, "", 0, DRUM_PIECE_CYMBAL, 78240},
        {192000, "cymbal.decay", 4.0, DRUM_PIECE_CYMBAL, 386880},      // the row's capacity
        {192000, "hat.closedDecay", -5, DRUM_PIECE_HAT_CLOSED, 3840},  // clamped to 0.01
        {100, "", 0, DRUM_PIECE_HAT_CLOSED, 8},  // 0.065 s at 100 Hz: the minimum
    };
    for (auto [rate, name, value, piece, frames] : cases) {
        auto state = preparedState(rate);
        ASSERT_TRUE(!*name || setParameter(*state, name, value));
        stepsUntilClean(*state->synth);
        EXPECT_EQ(state->synth->publishedLength[piece], frames) << rate << " " << piece;
    }
}

// Parameters the golden render's script leaves alone: a piece left clean, or
// one re-rendered for nothing, fails a row.
TEST(RenderCache, ParameterChangesDirtyOnlyPiecesWhoseKeysMove) {
    const std::tuple<const char*, double, std::vector<int>> cases[] = {
        {"snare.tune", 200, {DRUM_PIECE_SNARE, DRUM_PIECE_RIM}},
        {"snare.snap", 0.9, {DRUM_PIECE_SNARE}},
        {"tom.decay", 0.5, {DRUM_PIECE_TOM_LOW, DRUM_PIECE_TOM_MID}},
        {"clap.decay", 0.3, {DRUM_PIECE_CLAP}},
        {"master.level", 0.1, {}},
        {"kick.tune", 500, {DRUM_PIECE_KICK}},  // clamped to 120, still a new key
    };
    for (const auto& [name, value, dirty] : cases) {
        auto state = preparedState(48000);
        ASSERT_TRUE(setParameter(*state, name, value));
        EXPECT_EQ(dirtyPieces(*state->synth), dirty) << name;
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

// A change that no key of the rendering piece contains must not restart its
// render (a host automating one would starve it); setting the key back
// abandons the render and renders again with the right key.
TEST(RenderCache, OnlyAChangedKeyAbandonsTheRenderInProgress) {
    auto state = preparedState(48000);
    DrumSynth& s = *state->synth;
    const std::vector<float> original = publishedRow(s, DRUM_PIECE_SNARE);
    ASSERT_TRUE(setParameter(*state, "snare.tune", 200));
    drumSynthAdvanceRender(s);
    ASSERT_TRUE(setParameter(*state, "master.level", 0.5));
    EXPECT_EQ(s.renderPiece, DRUM_PIECE_SNARE);
    ASSERT_TRUE(setParameter(*state, "snare.tune", 190));
    EXPECT_EQ(s.renderPiece, -1);
    stepsUntilClean(s);
    EXPECT_EQ(publishedRow(s, DRUM_PIECE_SNARE), original);
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
        for (int i = 0; i <= DRUM_PARAM_KIT_TONE; ++i)
            if (DRUM_PARAM_NAMES[i].ends_with("ecay") || i == DRUM_PARAM_KIT_TONE)
                synth->parameters[i] = DRUM_PARAM_RANGES[i].high;
        drumSynthInvalidateAllRows(*synth);
        uint32_t steps = 0;
        for (; (synth->renderPiece >= 0 || !dirtyPieces(*synth).empty()) &&
               steps <= KELVO_DRUM_KERNEL_SETTLE_BLOCKS;
             ++steps)
            drumSynthAdvanceRender(*synth);
        EXPECT_LE(steps, KELVO_DRUM_KERNEL_SETTLE_BLOCKS) << rate;
    }
}

// Recipe values at the ends of the parameter ranges and for a value that
// is not a number; the golden render plays the defaults.
TEST(Recipes, RecipeValuesFollowTheParameters) {
    auto state = preparedState(48000);
    DrumSynth& s = *state->synth;
    const std::tuple<int, const char*, double, double PieceRecipe::*, double> cases[] = {
        {DRUM_PIECE_SNARE, "snare.snap", 0, &PieceRecipe::noiseWeight, 0.35},
        {DRUM_PIECE_SNARE, "snare.snap", 1, &PieceRecipe::toneWeight, 0.25},
        {DRUM_PIECE_RIM, "snare.decay", NAN, &PieceRecipe::toneDecay, 0.19 * 0.17},
        {DRUM_PIECE_TOM_LOW, "tom.tune", 100, &PieceRecipe::noiseFrames, 289},
        {DRUM_PIECE_HAT_CLOSED, "hat.metal", 1, &PieceRecipe::highpassHz, 9400},
        {DRUM_PIECE_CYMBAL, "hat.metal", 0, &PieceRecipe::highpassHz, 3200},
        {DRUM_PIECE_HAT_OPEN, "hat.metal", 0, &PieceRecipe::noiseWeight, 0.5},
    };
    for (auto [piece, name, value, field, expected] : cases) {
        const int index = drumParamIndex(name);
        s.parameters[index] = value;
        writeRecipe(s, piece, 100000);
        EXPECT_EQ(s.recipe.*field, expected) << name << " " << value;
        s.parameters[index] = DRUM_PARAM_INITIAL[index];
    }
    TypedArray<double> at30k(5), atLimit(5);  // filters stay below Nyquist
    bandpassCoefficients(at30k, 30000, 1, 48000);
    bandpassCoefficients(atLimit, 21600, 1, 48000);
    for (int i = 0; i < BIQUAD_STRIDE; ++i)
        EXPECT_EQ(at30k[i], atLimit[i]);
}

}  // namespace
}  // namespace kelvo::kernel
