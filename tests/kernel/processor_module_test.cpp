#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "processor_module.h"
#include "synth_fixture.h"

namespace kelvo::kernel {
namespace {

struct Output {
    std::vector<float> planes = std::vector<float>(256, -7.0f);
    ProcessorBlock block(uint32_t offset, uint32_t count) {
        return ProcessorBlock{128, count, offset, nullptr, 0, planes.data(), planes.size(), 2};
    }
};

TEST(ProcessorModule, NotesMapToPieces) {
    const std::pair<double, int> cases[] = {
        {36, DRUM_PIECE_KICK},
        {42, DRUM_PIECE_HAT_CLOSED},
        {47, DRUM_PIECE_HAT_OPEN},
        {60, DRUM_PIECE_KICK},
        {61, DRUM_PIECE_SNARE},
        {69, DRUM_PIECE_COWBELL},
        {70, DRUM_PIECE_KICK},
        {0, DRUM_PIECE_KICK},
        {56, DRUM_PIECE_COWBELL},
        {37.5, DRUM_PIECE_SNARE},
        {35.5, DRUM_PIECE_KICK},
        {127, DRUM_PIECE_HAT_OPEN},
        {1, 1},
    };
    for (auto [note, piece] : cases)
        EXPECT_EQ(mapNoteToPiece(note), piece) << note;
}

// Validation codes are checked at the exported interface; a note-on above
// full velocity plays at full velocity.
TEST(ProcessorModule, LoudNotesPlayAtFullVelocity) {
    auto state = preparedState(48000);
    EXPECT_TRUE(handleEvent(*state, PROCESSOR_EVENT_NOTE_ON, 36, 2.5));
    EXPECT_EQ(state->synth->voiceGain[0], 0.7);
}

TEST(ProcessorModule, BlockShapesAreChecked) {
    auto state = preparedState(48000);
    Output out;
    EXPECT_TRUE(process(*state, out.block(120, 8)));
    EXPECT_FALSE(process(*state, out.block(121, 8)));
    EXPECT_TRUE(process(*state, out.block(0, 0)));
    ProcessorBlock small = out.block(0, 8);
    small.outputLength = 255;
    EXPECT_FALSE(process(*state, small));
    ProcessorBlock withInput = out.block(0, 8);
    withInput.inputChannels = 1;
    EXPECT_FALSE(process(*state, withInput));

    auto unprepared = createState();
    EXPECT_FALSE(process(*unprepared, out.block(0, 8)));
    EXPECT_FALSE(prepare(*unprepared, {0, 64, 2, 48000}));
    EXPECT_FALSE(prepare(*unprepared, {0, 128, 2, NAN}));
    EXPECT_FALSE(prepare(*unprepared, {1, 128, 2, 48000}));
}

TEST(ProcessorModule, WritesOnlyItsSubBlockAndBothChannels) {
    auto state = preparedState(48000);
    ASSERT_TRUE(handleEvent(*state, PROCESSOR_EVENT_NOTE_ON, 38, 1));
    Output out;
    std::vector<float> snare = publishedRow(*state->synth, DRUM_PIECE_SNARE);
    ASSERT_TRUE(process(*state, out.block(10, 20)));
    for (int i = 0; i < 128; ++i) {
        bool inside = i >= 10 && i < 30;
        float expected = inside ? static_cast<float>(0.7 * snare[i - 10]) : -7.0f;
        ASSERT_EQ(out.planes[i], expected) << i;
        ASSERT_EQ(out.planes[128 + i], expected) << i;
    }
}

TEST(ProcessorModule, ResetClearsVoicesAndRendersWithCurrentParameters) {
    auto state = preparedState(48000);
    ASSERT_TRUE(handleEvent(*state, PROCESSOR_EVENT_NOTE_ON, 36, 1));
    ASSERT_TRUE(setParameter(*state, "kick.decay", 0.8));
    reset(*state);
    const DrumSynth& s = *state->synth;
    EXPECT_EQ(s.voiceActive[0], 0);
    EXPECT_EQ(s.strikeCounter, 0);
    EXPECT_TRUE(dirtyPieces(s).empty());
    EXPECT_EQ(s.publishedLength[DRUM_PIECE_KICK], static_cast<int>(std::floor(48000 * 0.82)));
    EXPECT_EQ(s.publishedBank[DRUM_PIECE_KICK], 0);
}

}  // namespace
}  // namespace kelvo::kernel
