// Voice allocation, cuts and the processor module's block handling; how the
// kit sounds when played is pinned by the golden render.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "drum_voices.h"
#include "synth_fixture.h"

namespace kelvo::kernel {
namespace {

// A retrigger cuts the piece's voice with a fade of 4 ms, read from a retire
// buffer that limits very long fades. Chokes, cuts during a fade and voices
// outliving a re-render are pinned by the golden render.
TEST(Voices, ALongCutFadeIsLimitedByTheRetireBuffer) {
    auto state = preparedState(384000);
    DrumSynth& s = *state->synth;
    strikePiece(s, DRUM_PIECE_CYMBAL, 1);
    strikePiece(s, DRUM_PIECE_CYMBAL, 1);
    EXPECT_EQ(std::tuple(s.voiceFading[0], s.fadeLength[0], s.voiceActive[1]),
              std::tuple(1, 1536, 1));
    s.voiceActive[1] = 0;  // the old voice alone
    std::vector<double> out(1034, 0.0);
    mixVoices(s, out.data(), 1034);
    EXPECT_NE(out[1023], 0.0);
    EXPECT_EQ(std::tuple(out[1024], s.voiceActive[0]), std::tuple(0.0, 0));
}

TEST(Voices, SeventeenthStrikeStealsTheOldest) {
    auto state = preparedState(48000);
    DrumSynth& s = *state->synth;
    const int pieces[] = {DRUM_PIECE_KICK, DRUM_PIECE_SNARE, DRUM_PIECE_CLAP, DRUM_PIECE_CYMBAL};
    for (int i = 0; i < 16; ++i)  // 4 sounding, 12 fading: none is free
        strikePiece(s, pieces[i % 4], 1);
    strikePiece(s, DRUM_PIECE_COWBELL, 0.5);
    EXPECT_EQ(std::tuple(s.voicePiece[0], s.voiceFading[0], s.voiceSerial[0]),
              std::tuple(DRUM_PIECE_COWBELL, 0, 17.0));
}

TEST(ProcessorModule, NotesMapToPieces) {
    const std::pair<double, int> cases[] = {{47, DRUM_PIECE_HAT_OPEN}, {69, DRUM_PIECE_COWBELL},
                                            {0, DRUM_PIECE_KICK},      {1, DRUM_PIECE_SNARE},
                                            {37.5, DRUM_PIECE_SNARE},  {35.5, DRUM_PIECE_KICK}};
    for (auto [note, piece] : cases)
        EXPECT_EQ(mapNoteToPiece(note), piece) << note;
}

TEST(ProcessorModule, BlockShapesAreCheckedAndOnlyTheSubBlockIsWritten) {
    auto state = preparedState(48000);
    std::vector<float> planes(256, -7.0f);
    const auto block = [&](uint32_t offset, uint32_t count, uint32_t inputs = 0,
                           size_t length = 256) {
        return ProcessorBlock{128, count, offset, nullptr, inputs, planes.data(), length, 2};
    };
    for (const ProcessorBlock& bad : {block(121, 8), block(0, 8, 0, 255), block(0, 8, 1)})
        EXPECT_FALSE(process(*state, bad));
    EXPECT_TRUE(process(*state, block(0, 0)));
    auto unprepared = createState();
    EXPECT_FALSE(process(*unprepared, block(0, 8)));

    ASSERT_TRUE(handleEvent(*state, PROCESSOR_EVENT_NOTE_ON, 38, 1));
    const std::vector<float> snare = publishedRow(*state->synth, DRUM_PIECE_SNARE);
    ASSERT_TRUE(process(*state, block(120, 8)));
    for (int i = 0; i < 256; ++i)  // both channels
        ASSERT_EQ(planes[i],
                  i % 128 >= 120 ? static_cast<float>(0.7 * snare[i % 128 - 120]) : -7.0f)
            << i;
}

}  // namespace
}  // namespace kelvo::kernel
