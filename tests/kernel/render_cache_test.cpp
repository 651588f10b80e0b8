#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "processor_module.h"
#include "render_cache.h"
#include "synth_fixture.h"

namespace kelvo::kernel {
namespace {

TEST(RenderCache, RowLengthsFollowDurationsAndCapacities) {
    auto state = preparedState(48000);
    const DrumSynth& s = *state->synth;
    const std::pair<int, int> expected[] = {
        {DRUM_PIECE_KICK, 21120},    {DRUM_PIECE_RIM, 3360},    {DRUM_PIECE_CYMBAL, 78240},
        {DRUM_PIECE_COWBELL, 20160}, {DRUM_PIECE_SNARE, 10080}, {DRUM_PIECE_TOM_MID, 18576}};
    for (auto [piece, frames] : expected) {
        EXPECT_EQ(s.published[piece], 1) << piece;
        EXPECT_EQ(s.publishedLength[piece], frames) << piece;
    }

    auto fast = preparedState(192000);
    ASSERT_TRUE(setParameter(*fast, "cymbal.decay", 4.0));
    ASSERT_TRUE(setParameter(*fast, "hat.closedDecay", -5));  // clamped to 0.01
    stepsUntilClean(*fast->synth);
    EXPECT_EQ(fast->synth->publishedLength[DRUM_PIECE_CYMBAL], 386880);
    EXPECT_EQ(fast->synth->publishedLength[DRUM_PIECE_HAT_CLOSED], 3840);

    auto slow = preparedState(100);  // 0.065 s at 100 Hz: the minimum of 8 frames
    EXPECT_EQ(slow->synth->publishedLength[DRUM_PIECE_HAT_CLOSED], 8);
}

TEST(RenderCache, NoiseSeedsHashThePieceLabel) {
    EXPECT_EQ(drumVoiceNoiseSeed(DRUM_PIECE_KICK), 3743119938u);
    std::set<uint32_t> seeds;
    for (int p = 0; p < DRUM_PIECE_COUNT; ++p)
        seeds.insert(drumVoiceNoiseSeed(p));
    EXPECT_EQ(seeds.size(), 10u);
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

TEST(RenderCache, StepsAreBoundedAndAlternateBanks) {
    auto state = preparedState(48000);
    DrumSynth& s = *state->synth;
    EXPECT_EQ(s.publishedBank[DRUM_PIECE_CYMBAL], 0);
    ASSERT_TRUE(setParameter(*state, "cymbal.decay", 1.6 + 1e-9));
    // 78240 frames: clear, noise, recipe, filter, envelope, peak, normalise,
    // publish, plus the 192-frame fade, at 8192 frames of work per step.
    EXPECT_EQ(stepsUntilClean(s), 77);
    EXPECT_EQ(s.publishedBank[DRUM_PIECE_CYMBAL], 1);
    ASSERT_TRUE(setParameter(*state, "cymbal.decay", 1.6));
    stepsUntilClean(s);
    EXPECT_EQ(s.publishedBank[DRUM_PIECE_CYMBAL], 0);
}

TEST(RenderCache, RowsAreNormalisedToTheirLevel) {
    auto state = preparedState(44100);
    const DrumSynth& s = *state->synth;
    for (int p = 1; p < DRUM_PIECE_COUNT; ++p) {
        std::vector<float> row = publishedRow(s, p);
        float peak = 0;
        for (float v : row)
            peak = std::max(peak, std::fabs(v));
        EXPECT_NEAR(peak, PIECE_LEVEL[p] * 0.96, 1e-6) << p;
        // The 4 ms linear fade ends one step above silence.
        EXPECT_LE(std::fabs(row.back()), peak / std::floor(44100 * 0.004)) << p;
    }
    // The kick's click is added after normalisation and clamped at 0.95.
    std::vector<float> kick = publishedRow(s, DRUM_PIECE_KICK);
    float peak = 0;
    for (float v : kick)
        peak = std::max(peak, std::fabs(v));
    EXPECT_EQ(peak, 0.95f);
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

}  // namespace
}  // namespace kelvo::kernel
