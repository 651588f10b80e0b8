// The recipe values each parameter sets; the rows rendered from them are
// pinned bit for bit by the golden render.
#include <gtest/gtest.h>

#include <cmath>
#include "recipes.h"
#include "synth_fixture.h"

namespace kelvo::kernel {
namespace {

TEST(Recipes, RecipeValuesFollowTheParameters) {
    auto state = preparedState(48000);
    DrumSynth& s = *state->synth;
    struct Case {
        int piece;
        const char* name;
        double value;
        double PieceRecipe::*field;
        double expected;
    };
    const Case cases[] = {
        {DRUM_PIECE_SNARE, "snare.snap", 0, &PieceRecipe::toneWeight, 1.0},
        {DRUM_PIECE_SNARE, "snare.snap", 0, &PieceRecipe::noiseWeight, 0.35},
        {DRUM_PIECE_SNARE, "snare.snap", 1, &PieceRecipe::toneWeight, 0.25},
        {DRUM_PIECE_SNARE, "snare.snap", 1, &PieceRecipe::noiseWeight, 1.0},
        {DRUM_PIECE_RIM, "snare.decay", 0.6, &PieceRecipe::toneDecay, 0.045},
        {DRUM_PIECE_RIM, "snare.decay", NAN, &PieceRecipe::toneDecay, 0.19 * 0.17},
        {DRUM_PIECE_TOM_MID, "tom.tune", 100, &PieceRecipe::baseHz, 150},
        {DRUM_PIECE_TOM_LOW, "tom.tune", 100, &PieceRecipe::noiseFrames, 289},
        {DRUM_PIECE_HAT_CLOSED, "hat.metal", 1, &PieceRecipe::highpassHz, 9400},
        {DRUM_PIECE_CYMBAL, "hat.metal", 0, &PieceRecipe::highpassHz, 3200},
        {DRUM_PIECE_HAT_OPEN, "hat.metal", 0, &PieceRecipe::noiseWeight, 0.5},
        {DRUM_PIECE_KICK, "kick.tune", 52, &PieceRecipe::sweepHz, 52 * 4.2},
    };
    for (const Case& c : cases) {
        s.parameters[drumParamIndex(c.name)] = c.value;
        writeRecipe(s, c.piece, 100000);
        EXPECT_EQ(s.recipe.*c.field, c.expected) << c.name << " " << c.value;
        s.parameters[drumParamIndex(c.name)] = DRUM_PARAM_INITIAL[drumParamIndex(c.name)];
    }
}

TEST(Recipes, FiltersStayBelowNyquist) {
    TypedArray<double> at30k(5), atLimit(5);
    bandpassCoefficients(at30k, 30000, 1, 48000);
    bandpassCoefficients(atLimit, 21600, 1, 48000);
    for (int i = 0; i < BIQUAD_STRIDE; ++i)
        EXPECT_EQ(at30k[i], atLimit[i]);
}

}  // namespace
}  // namespace kelvo::kernel
