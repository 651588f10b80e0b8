// Voice allocation, cuts and the processor module's block handling; how the
// kit sounds when played is pinned by the golden render.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
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

// A closed hat chokes the open hat, a retrigger cuts the piece's voice: a
// fade of 4 ms, read from a retire buffer that limits very long fades.
TEST(Voices, CutsFadeTheOldVoice) {
    // rate, first and second piece, fade length, retired frames
    const std::tuple<double, int, int, int, int> cases[] = {
        {48000, DRUM_PIECE_HAT_OPEN, DRUM_PIECE_HAT_CLOSED, 192, 192},
        {384000, DRUM_PIECE_CYMBAL, DRUM_PIECE_CYMBAL, 1536, 1024}};
    for (auto [rate, first, second, fadeLength, retired] : cases) {
        auto state = preparedState(rate);
        DrumSynth& s = *state->synth;
        strikePiece(s, first, 1);
        strikePiece(s, second, 1);
        EXPECT_EQ(std::tuple(s.voiceFading[0], s.fadeLength[0], s.voicePiece[1]),
                  std::tuple(1, fadeLength, second));
        s.voiceActive[1] = 0;  // the old voice alone
        const std::vector<double> out = mix(s, retired + 10);
        EXPECT_NE(out[retired - 1], 0.0) << rate;
        EXPECT_EQ(out[retired], 0.0) << rate;
        EXPECT_EQ(activeVoices(s), 0);
    }
}

TEST(Voices, ACutDuringAFadeRestartsFromTheCurrentGain) {
    auto state = preparedState(48000);
    DrumSynth& s = *state->synth;
    strikePiece(s, DRUM_PIECE_KICK, 1);
    strikePiece(s, DRUM_PIECE_KICK, 1);
    mix(s, 10);
    const double current = static_cast<float>(
        s.fadeStartGain[0] * fdlibm::exp((10 / 192.0) * (LOG_RAMP_EPSILON - fdlibm::log(0.7))));
    strikePiece(s, DRUM_PIECE_KICK, 1);
    EXPECT_EQ(s.fadeStartGain[0], current);
    EXPECT_EQ(s.voiceLength[0], 182);  // what was left of its retired frames
}

TEST(Voices, SeventeenthStrikeStealsTheOldest) {
    auto state = preparedState(48000);
    DrumSynth& s = *state->synth;
    const int pieces[] = {DRUM_PIECE_KICK, DRUM_PIECE_SNARE, DRUM_PIECE_CLAP, DRUM_PIECE_CYMBAL};
    for (int i = 0; i < 16; ++i)
        strikePiece(s, pieces[i % 4], 1);
    EXPECT_EQ(activeVoices(s), 16);  // 4 sounding, 12 fading
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

// Published twice while a voice plays: the second publish lands in its bank,
// and it reads the newer samples up to its own length.
TEST(Voices, AVoiceKeepsItsBankAndLength) {
    auto state = preparedState(48000);
    DrumSynth& s = *state->synth;
    ASSERT_TRUE(setParameter(*state, "kick.decay", 0.2));
    stepsUntilClean(s);
    strikePiece(s, DRUM_PIECE_KICK, 1);  // bank 1, short row
    const double length = s.voiceLength[0];
    for (double decay : {0.3, 0.25}) {
        ASSERT_TRUE(setParameter(*state, "kick.decay", decay));
        stepsUntilClean(s);
    }
    ASSERT_EQ(s.publishedBank[DRUM_PIECE_KICK], 1);
    const std::vector<float> newest = publishedRow(s, DRUM_PIECE_KICK);
    const std::vector<double> out = mix(s, static_cast<int64_t>(length) + 1);
    EXPECT_EQ(out[100], 0.7 * newest[100]);
    EXPECT_EQ(out[static_cast<size_t>(length)], 0.0);
}

TEST(ProcessorModule, NotesMapToPieces) {
    const std::pair<double, int> cases[] = {
        {47, DRUM_PIECE_HAT_OPEN},  {60, DRUM_PIECE_KICK},
        {61, DRUM_PIECE_SNARE},     {69, DRUM_PIECE_COWBELL},
        {70, DRUM_PIECE_KICK},      {0, DRUM_PIECE_KICK},
        {37.5, DRUM_PIECE_SNARE},   {35.5, DRUM_PIECE_KICK},
        {127, DRUM_PIECE_HAT_OPEN}, {1, 1},
    };
    for (auto [note, piece] : cases)
        EXPECT_EQ(mapNoteToPiece(note), piece) << note;
}

TEST(ProcessorModule, BlockShapesAreCheckedAndOnlyTheSubBlockIsWritten) {
    auto state = preparedState(48000);
    std::vector<float> planes(256, -7.0f);
    const auto block = [&](uint32_t offset, uint32_t count) {
        return ProcessorBlock{128, count, offset, nullptr, 0, planes.data(), planes.size(), 2};
    };
    ProcessorBlock shortOutput = block(0, 8), oneInput = block(0, 8);
    shortOutput.outputLength = 255;
    oneInput.inputChannels = 1;
    for (const ProcessorBlock& bad : {block(121, 8), shortOutput, oneInput})
        EXPECT_FALSE(process(*state, bad));
    EXPECT_TRUE(process(*state, block(0, 0)));
    auto unprepared = createState();
    EXPECT_FALSE(process(*unprepared, block(0, 8)));

    ASSERT_TRUE(handleEvent(*state, PROCESSOR_EVENT_NOTE_ON, 38, 1));
    const std::vector<float> snare = publishedRow(*state->synth, DRUM_PIECE_SNARE);
    ASSERT_TRUE(process(*state, block(120, 8)));
    for (int i = 0; i < 128; ++i) {
        const float expected = i >= 120 ? static_cast<float>(0.7 * snare[i - 120]) : -7.0f;
        ASSERT_EQ(planes[i], expected) << i;
        ASSERT_EQ(planes[128 + i], expected) << i;
    }
}

}  // namespace
}  // namespace kelvo::kernel
