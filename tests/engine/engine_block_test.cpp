// Queue semantics: where host events land in the kernel's chunks, in which
// order, and what a refused or failed call leaves behind; the same behind the
// rate adapter, and with the real kernel.
#include <gtest/gtest.h>

#include "engine_fixture.h"

namespace kelvo::test {
namespace {

using Events = std::vector<FakeKernelEvent>;
constexpr uint32_t PARAMETER = 1, NOTE_ON = 2, NOTE_OFF = 3;

class EngineBlocks : public ::testing::Test, public FakeRig {
  protected:
    void SetUp() override { ASSERT_TRUE(engine.setup(48000, 4096)); }
    // Renders blocks of these sizes; returns the events the kernel received.
    Events play(std::initializer_list<int> blocks) {
        for (int frames : blocks) {
            HostOutput out(2, std::max(frames, 1));
            render(engine, out, frames);
        }
        return fake.events;
    }
};

// What a row pushes before its first block: a normalized parameter value, a
// note, or a value written to the mirror (state recall).
struct Push {
    enum { VALUE, NOTE, MIRROR } what;
    uint32_t a;
    double value;
    int32_t frame = 0;
};

TEST_F(EngineBlocks, EventOrderAndTiming) {
    struct Case {
        const char* what;
        std::vector<Push> pushes;
        std::vector<int> blocks;
        Events expected;
        int refusedParameterPushes = 0;
    };
    const Case cases[] = {
        {"equal frames keep push order, earlier frames go first",
         {{Push::NOTE, 40, 1, 10},
          {Push::VALUE, 0, 0.5, 5},
          {Push::VALUE, 0, 1.0, 5},
          {Push::NOTE, 41, 1, 5}},
         {64},
         {{PARAMETER, 5, 0, 75, 0},
          {PARAMETER, 5, 0, 120, 0},
          {NOTE_ON, 5, 41, 1, 0},
          {NOTE_ON, 10, 40, 1, 0}}},
        {"blocks render in chunks of 128 frames, events in their chunk",
         {{Push::NOTE, 36, 0.9, 130}},
         {300},
         {{NOTE_ON, 2, 36, 0.9, 1}}},
        {"an event at frame == block length reaches the kernel before the next block",
         {{Push::VALUE, 0, 1.0, 64}},
         {64, 64},
         {{PARAMETER, 0, 0, 120, 1}}},
        {"a value refused at frame 0 goes out with the next chunk",
         {{Push::VALUE, 0, 1.0}},
         {300},
         {{PARAMETER, 0, 0, 120, 1}},
         1},
        {"notes outside the block are dropped",
         {{Push::NOTE, 36, 1, -1}, {Push::NOTE, 37, 1, 64}, {Push::NOTE, 38, 1, 63}},
         {64, 64},
         {{NOTE_ON, 63, 38, 1, 0}}},
        {"the mirror is republished, except what the block sets at frame 0",
         {{Push::MIRROR, 0, 80}, {Push::MIRROR, 1, 0.9}, {Push::VALUE, 0, 0.5}},
         {16, 16},
         {{PARAMETER, 0, 1, 0.9, 0}, {PARAMETER, 0, 0, 75, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRig rig;
        rig.fake.refuseParameterPushes = c.refusedParameterPushes;
        KernelEngine& fresh = rig.engine;
        ASSERT_TRUE(fresh.setup(48000, 4096));
        for (const Push& p : c.pushes) {
            if (p.what == Push::MIRROR) fresh.setParamValue(p.a, p.value);
            if (p.what == Push::VALUE) fresh.pushParamNormalized(p.a, p.value, p.frame);
            if (p.what == Push::NOTE) fresh.pushNoteOn(p.a, p.value, p.frame, 0, 0);
        }
        for (int frames : c.blocks) {
            HostOutput out(2, frames);
            render(fresh, out, frames);
        }
        EXPECT_EQ(rig.fake.events, c.expected);
        EXPECT_FALSE(fresh.blockFailed());
        EXPECT_TRUE(diagnosticCodes(fresh).empty());  // a refused value is no error
    }
    fake.install();
}

TEST_F(EngineBlocks, FlushBlocksOnlyUpdateTheMirror) {
    play({16});
    ASSERT_TRUE(engine.pushParamNormalized(0, 1.0, 0));
    ASSERT_TRUE(engine.pushNoteOn(36, 1, 0, 0, 0));
    play({0});
    EXPECT_EQ(fake.chunks, std::vector<uint32_t>{16});
    EXPECT_EQ(engine.paramValue(0), 120);
    EXPECT_FALSE(engine.blockFailed());
    EXPECT_TRUE(play({16}).empty());  // the note was dropped; the value is not dirty
}

TEST_F(EngineBlocks, PushesRefuseWhatTheyCannotQueue) {
    EXPECT_FALSE(engine.pushParamNormalized(18, 0.5, 0));  // not a parameter
    for (int i = 0; i < EventQueue::CAPACITY; ++i)
        ASSERT_TRUE(engine.pushNoteOff(1, 0, 0, 0));
    EXPECT_FALSE(engine.pushNoteOn(36, 1, 0, 0, 0));
    EXPECT_FALSE(engine.pushParamNormalized(0, 1, 0));
}

TEST_F(EngineBlocks, FailuresClearTheOutputAndAreReported) {
    fake.refuseNotes = true;  // reported once per note, the block still renders
    ASSERT_TRUE(engine.pushNoteOn(36, 1, 0, 0, 0));
    ASSERT_TRUE(engine.pushNoteOn(200, 1, 5, 0, 0));
    play({32});
    EXPECT_FALSE(engine.blockFailed());
    fake.failChunk = 2;  // the second chunk of the next block
    HostOutput out(2, 5000);
    render(engine, out, 300);
    EXPECT_TRUE(engine.blockFailed());
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(out.data[0][i] == 0.0f, i >= 128 && i < 256) << i;
    render(engine, out, 5000);  // above the maximum block
    EXPECT_EQ(out.data[1][4999], 0.0f);
    engine.processBlock(nullptr, 0, nullptr, 2, 64);
    EXPECT_EQ(diagnosticCodes(engine), (std::vector<uint32_t>{22, 22, 4, 4, 4}));
}

// The kernel renders its frame counter; a host frame h reads kernel position
// (h - 16) * 48000 / rate - 20 (+1 for the counter's offset), at unity gain,
// whether the adapter filters (below 48 kHz) or not.
TEST(AdapterTimeline, OutputFollowsTheKernelTimeline) {
    for (double rate : {44100.0, 96000.0, 22050.0}) {
        FakeRig rig(48000);
        KernelEngine& engine = rig.engine;
        ASSERT_TRUE(engine.setup(rate, 300));
        HostOutput out(2, 300);
        render(engine, out, 300);
        const int latency = engine.latencySamples();
        EXPECT_EQ(out.data[0][latency - 1], 0.0f) << rate;
        EXPECT_NE(out.data[0][latency], 0.0f) << rate;
        for (int block = 1; block < 4; ++block)
            render(engine, out, 300);
        for (int i = 100; i < 300; ++i) {
            const double expected = (900 + i - 16) * 48000.0 / rate - 20 + 1;
            ASSERT_NEAR(out.data[0][i], expected, 0.02) << rate << " " << i;
            ASSERT_NEAR(out.data[1][i], -expected, 0.02) << rate << " " << i;
        }
    }
}

// A kernel that only runs at 48 kHz, behind a host at 96 kHz.
TEST(AdapterBlocks, AFailedChunkLatchesUntilTheNextSetup) {
    FakeRig rig(48000);
    KernelEngine& engine = rig.engine;
    ASSERT_TRUE(engine.setup(96000, 512));
    rig.fake.failChunk = 1;
    HostOutput out(2, 512);
    render(engine, out, 512);
    EXPECT_TRUE(engine.blockFailed());
    EXPECT_TRUE(engine.adapterFailed());
    render(engine, out, 512);
    for (float v : out.data[0])
        ASSERT_EQ(v, 0.0f);
    EXPECT_EQ(rig.fake.chunks.size(), 2u);  // the latched adapter no longer runs the kernel
    EXPECT_EQ(diagnosticCodes(engine), (std::vector<uint32_t>{2, 2}));
    ASSERT_TRUE(engine.setup(96000, 512));
    render(engine, out, 512);
    EXPECT_FALSE(engine.blockFailed());
}

TEST(RateAdapterMaps, PositionsAreExact) {
    RateAdapter adapter;
    adapter.configure({88199, 2}, RateAdapter::capacityFor({88199, 2}, 64));
    // Stepping the cursor frame by frame matches the direct computation.
    SourceCursor cursor = adapter.cursorAt(0);
    for (uint64_t h = 0; h < 5000; ++h, adapter.advance(cursor)) {
        const KernelSource stepped = adapter.sourceAt(cursor);
        const KernelSource direct = adapter.sourceOf(h);
        ASSERT_EQ(stepped.frame, direct.frame) << h;
        ASSERT_EQ(stepped.phase, direct.phase) << h;
    }
    EXPECT_EQ(adapter.sourceOf(0).frame, -38);  // floor(-16 * 96000 / 88199) - 20
    EXPECT_EQ(adapter.kernelFrameOfStamp(100), 109u);
    EXPECT_EQ(adapter.hostFrameOf(48000), 44099);

    RateAdapter huge;
    huge.configure({4000000, 1}, RateAdapter::capacityFor({4000000, 1}, 16));
    // 2^50 kernel frames * 4 MHz overflows 64 bits before the division.
    EXPECT_EQ(huge.hostFrameOf(uint64_t{1} << 50), 93824992236885333);
}

// The engine driving the real drum kernel: notes sound from their exact
// sample and the host's block size does not change the audio.
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
