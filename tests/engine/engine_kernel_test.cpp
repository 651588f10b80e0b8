// The engine driving the real drum kernel: notes sound from their exact
// sample, instances are independent, and the host's block size does not
// change the audio.
#include <gtest/gtest.h>

#include "engine_fixture.h"

namespace kelvo::test {
namespace {

struct Note {
    int64_t frame;
    uint32_t note;
};

// Renders a note timeline in host blocks of the given size.
std::vector<float> renderTimeline(double rate, int block, const std::vector<Note>& notes,
                                  int64_t total) {
    KernelEngine engine;
    EXPECT_TRUE(engine.setup(rate, block));
    std::vector<float> audio;
    HostOutput out(2, block);
    for (int64_t start = 0; start < total; start += block) {
        const int frames = static_cast<int>(std::min<int64_t>(block, total - start));
        for (const Note& n : notes)
            if (n.frame >= start && n.frame < start + frames)
                engine.pushNoteOn(n.note, 1.0, static_cast<int32_t>(n.frame - start), 0, 0);
        render(engine, out, frames);
        audio.insert(audio.end(), out.data[0].begin(), out.data[0].begin() + frames);
    }
    EXPECT_TRUE(diagnosticCodes(engine).empty());
    return audio;
}

// Sample accuracy at five rates, two of them behind the rate adapter, and
// the same audio whatever the host's block size.
TEST(EngineWithKernel, NotesSoundFromTheirExactFrameAtAnyBlockSize) {
    const std::vector<Note> notes = {{130, 38}, {1000, 36}, {1001, 46}, {4095, 49}};
    for (double rate : {22050.0, 44100.0, 48000.0, 96000.0, 192000.0}) {
        const std::vector<float> audio = renderTimeline(rate, 300, notes, 5000);
        for (int i = 0; i < 130; ++i)
            ASSERT_EQ(audio[i], 0.0f) << rate << " " << i;
        EXPECT_NE(audio[131], 0.0f) << rate;
        for (int block : {1, 31, 4096})
            EXPECT_EQ(renderTimeline(rate, block, notes, 5000), audio) << rate << " " << block;
    }
}

}  // namespace
}  // namespace kelvo::test
