// Queue semantics: where host events land in the kernel's chunks, in which
// order, and what a refused or failed call leaves behind.
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

TEST_F(EngineBlocks, BlocksRenderInChunksWithEventsAtTheirFrames) {
    ASSERT_TRUE(engine.pushNoteOn(36, 0.9, 130, 0, 0));
    ASSERT_TRUE(engine.pushNoteOff(36, 299, 0, 17));
    HostOutput out(3, 300);
    render(engine, out, 300);
    EXPECT_EQ(fake.chunks, (std::vector<uint32_t>{128, 128, 44}));
    EXPECT_EQ(fake.events, (Events{{NOTE_ON, 2, 36, 0.9, 1}, {NOTE_OFF, 43, 36, 0, 2}}));
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(out.data[0][i], static_cast<float>(i + 1)) << i;
        ASSERT_EQ(out.data[1][i], -static_cast<float>(i + 1)) << i;
        ASSERT_EQ(out.data[2][i], static_cast<float>(i + 1)) << i;  // left again
    }
    EXPECT_FALSE(engine.outputSilent());
    EXPECT_FALSE(engine.blockFailed());
}

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
        {"normalized values become plain values",
         {{Push::VALUE, 14, 0.5},
          {Push::VALUE, 14, 0.49},
          {Push::VALUE, 16, 0.5},
          {Push::VALUE, 0, 0.5},
          {Push::VALUE, 0, 1.7},
          {Push::VALUE, 3, -1}},
         {16},
         {{PARAMETER, 0, 14, 1, 0},
          {PARAMETER, 0, 14, 0, 0},
          {PARAMETER, 0, 16, 3, 0},
          {PARAMETER, 0, 0, 75, 0},
          {PARAMETER, 0, 0, 120, 0},
          {PARAMETER, 0, 3, 120, 0}}},
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

// Before setup every block is cleared (missing channels skipped) and fails.
TEST(EngineBeforeSetup, ClearsOutputAndFails) {
    FakeRig rig;
    KernelEngine& engine = rig.engine;
    HostOutput out(2, 64);
    out.pointers[1] = nullptr;
    engine.processBlock(nullptr, 0, out.channels(), 2, 64);
    EXPECT_EQ(out.data[0][63], 0.0f);
    EXPECT_EQ(out.data[1][63], HostOutput::UNTOUCHED);
    EXPECT_TRUE(engine.blockFailed());
    EXPECT_TRUE(engine.outputSilent());
}

}  // namespace
}  // namespace kelvo::test
