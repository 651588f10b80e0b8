#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "drum_voices.h"
#include "fdlibm_math.h"
#include "synth_fixture.h"

namespace kelvo::kernel {
namespace {

std::vector<double> mix(DrumSynth& s, int64_t frames) {
    std::vector<double> sum(frames, 0.0);
    mixVoices(s, sum.data(), frames);
    return sum;
}

int activeVoices(const DrumSynth& s) {
    int n = 0;
    for (int v = 0; v < DRUM_SYNTH_MAX_VOICES; ++v)
        n += s.voiceActive[v] != 0;
    return n;
}

TEST(Voices, VelocityGainIsSquaredWithHeadroom) {
    auto state = preparedState(48000);
    DrumSynth& s = *state->synth;
    const std::pair<double, double> cases[] = {{1, 0.7}, {0.5, 0.7 / 4}, {0, 0}, {1.7, 0.7}};
    for (auto [velocity, gain] : cases) {
        resetVoices(s);
        strikePiece(s, DRUM_PIECE_KICK, std::min(1.0, velocity));
        EXPECT_EQ(s.voiceGain[0], gain) << velocity;
        EXPECT_EQ(s.voiceActive[0], 1);  // even a silent strike holds its voice
    }
}

TEST(Voices, AVoicePlaysItsRowScaledByItsGain) {
    auto state = preparedState(48000);
    DrumSynth& s = *state->synth;
    strikePiece(s, DRUM_PIECE_RIM, 0.5);
    std::vector<float> row = publishedRow(s, DRUM_PIECE_RIM);
    std::vector<double> out = mix(s, static_cast<int64_t>(row.size()) + 10);
    for (size_t i = 0; i < row.size(); ++i)
        ASSERT_EQ(out[i], 0.7 / 4 * row[i]) << i;
    EXPECT_EQ(out[row.size()], 0.0);
    EXPECT_EQ(activeVoices(s), 0);
}

TEST(Voices, ClosedHatChokesOpenHatWithAnExponentialFade) {
    auto state = preparedState(48000);
    DrumSynth& s = *state->synth;
    strikePiece(s, DRUM_PIECE_HAT_OPEN, 1);
    mix(s, 100);
    std::vector<float> row = publishedRow(s, DRUM_PIECE_HAT_OPEN);
    strikePiece(s, DRUM_PIECE_HAT_CLOSED, 1);
    ASSERT_EQ(s.voiceFading[0], 1);
    EXPECT_EQ(s.fadeLength[0], 192);
    EXPECT_EQ(s.voiceRetired[0], 192);
    EXPECT_EQ(s.voicePiece[1], DRUM_PIECE_HAT_CLOSED);

    // Mix the open hat alone to read its ramp.
    s.voiceActive[1] = 0;
    std::vector<double> out = mix(s, 200);
    for (int k = 0; k < 192; ++k) {
        double ramp = static_cast<float>(
            0.7 * fdlibm::exp((k / 192.0) * (LOG_RAMP_EPSILON - fdlibm::log(0.7))));
        ASSERT_EQ(out[k], ramp * row[100 + k]) << k;
    }
    EXPECT_EQ(out[192], 0.0);
    EXPECT_EQ(s.voiceActive[0], 0);
}

TEST(Voices, RetriggerFadesTheOldVoiceWhileTheNewOneStarts) {
    auto state = preparedState(48000);
    DrumSynth& s = *state->synth;
    strikePiece(s, DRUM_PIECE_KICK, 1);
    mix(s, 50);
    strikePiece(s, DRUM_PIECE_KICK, 1);
    EXPECT_EQ(activeVoices(s), 2);
    EXPECT_EQ(s.voiceFading[0], 1);
    EXPECT_EQ(s.voiceFading[1], 0);
    mix(s, 193);
    EXPECT_EQ(activeVoices(s), 1);

    // A cut during a fade restarts the ramp from its current value.
    strikePiece(s, DRUM_PIECE_KICK, 1);
    mix(s, 10);
    double current = static_cast<float>(
        s.fadeStartGain[1] * fdlibm::exp((10 / 192.0) * (LOG_RAMP_EPSILON - fdlibm::log(0.7))));
    strikePiece(s, DRUM_PIECE_KICK, 1);
    EXPECT_EQ(s.fadeStartGain[1], current);
    EXPECT_EQ(s.voiceLength[1], 182);  // what was left of its retired frames
}

TEST(Voices, SeventeenthStrikeStealsTheOldest) {
    auto state = preparedState(48000);
    DrumSynth& s = *state->synth;
    const int pieces[] = {DRUM_PIECE_KICK, DRUM_PIECE_SNARE, DRUM_PIECE_CLAP, DRUM_PIECE_CYMBAL};
    for (int i = 0; i < 16; ++i)
        strikePiece(s, pieces[i % 4], 1);
    // 16 voices: 4 sounding, 12 fading after their retriggers.
    EXPECT_EQ(activeVoices(s), 16);
    strikePiece(s, DRUM_PIECE_COWBELL, 0.5);
    EXPECT_EQ(s.voicePiece[0], DRUM_PIECE_COWBELL);
    EXPECT_EQ(s.voiceFading[0], 0);
    EXPECT_EQ(s.voiceSerial[0], 17);
}

TEST(Voices, UnpublishedPieceCutsButDoesNotSound) {
    auto state = preparedState(48000);
    DrumSynth& s = *state->synth;
    strikePiece(s, DRUM_PIECE_HAT_OPEN, 1);
    s.published[DRUM_PIECE_HAT_CLOSED] = 0;
    strikePiece(s, DRUM_PIECE_HAT_CLOSED, 1);
    EXPECT_EQ(s.voiceFading[0], 1);
    EXPECT_EQ(activeVoices(s), 1);
    EXPECT_EQ(s.strikeCounter, 1);
}

TEST(Voices, AVoiceKeepsTheBankAndLengthItStartedWith) {
    auto state = preparedState(48000);
    DrumSynth& s = *state->synth;
    std::vector<float> before = publishedRow(s, DRUM_PIECE_KICK);
    strikePiece(s, DRUM_PIECE_KICK, 1);
    ASSERT_TRUE(setParameter(*state, "kick.decay", 0.2));
    stepsUntilClean(s);
    ASSERT_EQ(s.publishedBank[DRUM_PIECE_KICK], 1);
    std::vector<double> out = mix(s, static_cast<int64_t>(before.size()));
    for (size_t i = 0; i < before.size(); ++i)
        ASSERT_EQ(out[i], 0.7 * before[i]) << i;

    // Published twice while it plays: the second publish lands in its bank,
    // and it reads the newer samples up to its own length.
    resetVoices(s);
    strikePiece(s, DRUM_PIECE_KICK, 1);  // bank 1, short row
    const double length = s.voiceLength[0];
    ASSERT_TRUE(setParameter(*state, "kick.decay", 0.3));
    stepsUntilClean(s);
    ASSERT_TRUE(setParameter(*state, "kick.decay", 0.25));
    stepsUntilClean(s);
    ASSERT_EQ(s.publishedBank[DRUM_PIECE_KICK], 1);
    std::vector<float> newest = publishedRow(s, DRUM_PIECE_KICK);
    out = mix(s, static_cast<int64_t>(length) + 1);
    EXPECT_EQ(out[100], 0.7 * newest[100]);
    EXPECT_EQ(out[static_cast<size_t>(length)], 0.0);
}

TEST(Voices, RetireBufferLimitsVeryLongCutFades) {
    auto state = preparedState(384000);
    DrumSynth& s = *state->synth;
    strikePiece(s, DRUM_PIECE_CYMBAL, 1);
    strikePiece(s, DRUM_PIECE_CYMBAL, 1);
    EXPECT_EQ(s.fadeLength[0], 1536);
    EXPECT_EQ(s.voiceRetired[0], 1024);
    s.voiceActive[1] = 0;
    std::vector<double> out = mix(s, 1100);
    EXPECT_NE(out[1023], 0.0);
    EXPECT_EQ(out[1024], 0.0);
    EXPECT_EQ(s.voiceActive[0], 0);
}

}  // namespace
}  // namespace kelvo::kernel
