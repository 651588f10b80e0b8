#include <gtest/gtest.h>

#include "engine_fixture.h"

namespace kelvo::test {
namespace {

class EngineBlocks : public ::testing::Test {
  protected:
    void SetUp() override {
        fake.install();
        ASSERT_TRUE(engine.setup(48000, 4096));
    }
    FakeKernel fake;
    KernelEngine engine{fakeKernelFunctions()};
};

TEST_F(EngineBlocks, BlocksRenderInChunksWithEventsAtTheirFrames) {
    ASSERT_TRUE(engine.pushNoteOn(36, 0.9, 130, 0, 0));
    ASSERT_TRUE(engine.pushNoteOff(36, 299, 0, 17));
    HostOutput out(3, 300);
    render(engine, out, 300);
    EXPECT_EQ(fake.chunks, (std::vector<uint32_t>{128, 128, 44}));
    ASSERT_EQ(fake.events.size(), 2u);
    EXPECT_EQ(fake.events[0].kind, 2u);
    EXPECT_EQ(fake.events[0].frame, 2u);
    EXPECT_EQ(fake.events[0].chunk, 1);
    EXPECT_EQ(fake.events[0].value, 0.9);
    EXPECT_EQ(fake.events[1].kind, 3u);
    EXPECT_EQ(fake.events[1].frame, 43u);
    EXPECT_EQ(fake.events[1].value, 0.0);
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(out.data[0][i], static_cast<float>(i + 1)) << i;
        ASSERT_EQ(out.data[1][i], -static_cast<float>(i + 1)) << i;
        ASSERT_EQ(out.data[2][i], static_cast<float>(i + 1)) << i;  // left again
    }
    EXPECT_FALSE(engine.outputSilent());
    EXPECT_FALSE(engine.blockFailed());
}

TEST_F(EngineBlocks, APointOnePastTheBlockReachesTheKernelBeforeTheNext) {
    ASSERT_TRUE(engine.pushParamNormalized(0, 1.0, 64));
    HostOutput out(2, 64);
    render(engine, out, 64);
    EXPECT_TRUE(fake.events.empty());
    render(engine, out, 64);
    ASSERT_EQ(fake.events.size(), 1u);
    EXPECT_EQ(fake.events[0].chunk, 1);
    EXPECT_EQ(fake.events[0].frame, 0u);
    EXPECT_EQ(fake.events[0].value, 120);
}

TEST_F(EngineBlocks, AValueRefusedAtFrameZeroGoesOutWithTheNextChunk) {
    fake.refuseParameterPushes = 1;
    ASSERT_TRUE(engine.pushParamNormalized(0, 1.0, 0));
    HostOutput out(2, 300);
    render(engine, out, 300);
    ASSERT_EQ(fake.events.size(), 1u);
    EXPECT_EQ(fake.events[0].chunk, 1);
    EXPECT_EQ(fake.events[0].frame, 0u);
    EXPECT_EQ(fake.events[0].value, 120);
}

TEST_F(EngineBlocks, EqualFramesKeepPushOrderAndEarlierFramesGoFirst) {
    ASSERT_TRUE(engine.pushNoteOn(40, 1, 10, 0, 0));
    ASSERT_TRUE(engine.pushParamNormalized(0, 0.5, 5));
    ASSERT_TRUE(engine.pushParamNormalized(0, 1.0, 5));
    ASSERT_TRUE(engine.pushNoteOn(41, 1, 5, 0, 0));
    HostOutput out(2, 64);
    render(engine, out, 64);
    ASSERT_EQ(fake.events.size(), 4u);
    const std::pair<uint32_t, double> expected[] = {{1, 75}, {1, 120}, {2, 1}, {2, 1}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(fake.events[i].kind, expected[i].first) << i;
        EXPECT_EQ(fake.events[i].value, expected[i].second) << i;
    }
    EXPECT_EQ(fake.events[2].a, 41u);
    EXPECT_EQ(fake.events[3].frame, 10u);
    EXPECT_EQ(engine.paramValue(0), 120);
}

TEST_F(EngineBlocks, NormalizedValuesBecomePlainValues) {
    struct Case {
        uint32_t index;
        double normalized, plain;
    };
    const Case cases[] = {{14, 0.5, 1}, {14, 0.49, 0}, {16, 0.5, 3},
                          {0, 0.5, 75}, {0, 1.7, 120}, {3, -1, 120}};
    for (const Case& c : cases)
        ASSERT_TRUE(engine.pushParamNormalized(c.index, c.normalized, 0));
    EXPECT_FALSE(engine.pushParamNormalized(18, 0.5, 0));
    HostOutput out(2, 16);
    render(engine, out, 16);
    ASSERT_EQ(fake.events.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(fake.events[i].value, cases[i].plain) << i;
}

TEST_F(EngineBlocks, RepublishSkipsParametersTheBlockSetsAtFrameZero) {
    engine.setParamValue(0, 80);  // state recall
    engine.setParamValue(1, 0.9);
    ASSERT_TRUE(engine.pushParamNormalized(0, 0.5, 0));
    HostOutput out(2, 16);
    render(engine, out, 16);
    ASSERT_EQ(fake.events.size(), 2u);
    EXPECT_EQ(fake.events[0].a, 1u);  // republished from the mirror
    EXPECT_EQ(fake.events[0].value, 0.9);
    EXPECT_EQ(fake.events[1].a, 0u);  // the block's own value, never the older 80
    EXPECT_EQ(fake.events[1].value, 75);
    fake.events.clear();
    render(engine, out, 16);
    EXPECT_TRUE(fake.events.empty());  // nothing dirty any more
}

TEST_F(EngineBlocks, RefusedParametersAreSentAgainNextChunk) {
    fake.refuseParameters = true;
    ASSERT_TRUE(engine.pushParamNormalized(2, 1.0, 3));
    HostOutput out(2, 200);
    render(engine, out, 200);
    EXPECT_TRUE(fake.events.empty());
    fake.refuseParameters = false;
    render(engine, out, 16);
    ASSERT_EQ(fake.events.size(), 1u);
    EXPECT_EQ(fake.events[0].frame, 0u);
    EXPECT_EQ(fake.events[0].value, 1.0);
    EXPECT_TRUE(diagnosticCodes(engine).empty());
}

TEST_F(EngineBlocks, EventsOutsideTheBlockAreDropped) {
    ASSERT_TRUE(engine.pushNoteOn(36, 1, -1, 0, 0));
    ASSERT_TRUE(engine.pushNoteOn(37, 1, 64, 0, 0));
    ASSERT_TRUE(engine.pushNoteOn(38, 1, 63, 0, 0));
    HostOutput out(2, 64);
    render(engine, out, 64);
    ASSERT_EQ(fake.events.size(), 1u);
    EXPECT_EQ(fake.events[0].a, 38u);
    render(engine, out, 64);
    EXPECT_EQ(fake.events.size(), 1u);
}

TEST_F(EngineBlocks, TheQueueHolds2048Events) {
    for (int i = 0; i < EventQueue::CAPACITY; ++i)
        ASSERT_TRUE(engine.pushNoteOff(1, 0, 0, 0));
    EXPECT_FALSE(engine.pushNoteOn(36, 1, 0, 0, 0));
    EXPECT_FALSE(engine.pushParamNormalized(0, 1, 0));
}

TEST_F(EngineBlocks, FlushBlocksOnlyUpdateTheMirror) {
    HostOutput out(2, 16);
    render(engine, out, 16);
    ASSERT_TRUE(engine.pushParamNormalized(0, 1.0, 0));
    ASSERT_TRUE(engine.pushNoteOn(36, 1, 0, 0, 0));
    fake.chunks.clear();
    render(engine, out, 0);
    EXPECT_TRUE(fake.chunks.empty());
    EXPECT_TRUE(fake.events.empty());
    EXPECT_EQ(engine.paramValue(0), 120);
    EXPECT_FALSE(engine.blockFailed());
    render(engine, out, 16);
    EXPECT_TRUE(fake.events.empty());  // the note was dropped; the value is not dirty
}

TEST_F(EngineBlocks, RefusedNotesAreReportedOncePerNote) {
    fake.refuseNotes = true;
    ASSERT_TRUE(engine.pushNoteOn(36, 1, 0, 0, 0));
    ASSERT_TRUE(engine.pushNoteOn(200, 1, 5, 0, 0));
    HostOutput out(2, 32);
    render(engine, out, 32);
    EXPECT_EQ(diagnosticCodes(engine), (std::vector<uint32_t>{22, 22}));
    EXPECT_FALSE(engine.blockFailed());
}

TEST_F(EngineBlocks, AFailedChunkIsClearedAndReported) {
    fake.failChunk = 1;
    HostOutput out(2, 300);
    render(engine, out, 300);
    EXPECT_TRUE(engine.blockFailed());
    for (int i = 0; i < 300; ++i) {
        const bool cleared = i >= 128 && i < 256;
        ASSERT_EQ(out.data[0][i] == 0.0f, cleared) << i;
    }
    EXPECT_EQ(diagnosticCodes(engine), std::vector<uint32_t>{4});
}

TEST_F(EngineBlocks, BadBlockArgumentsClearTheOutput) {
    HostOutput out(2, 5000);
    render(engine, out, 5000);  // above the maximum block
    EXPECT_TRUE(engine.blockFailed());
    EXPECT_EQ(out.data[1][4999], 0.0f);
    engine.processBlock(nullptr, 0, nullptr, 2, 64);
    EXPECT_EQ(diagnosticCodes(engine), (std::vector<uint32_t>{4, 4}));
    EXPECT_TRUE(fake.chunks.empty());
}

TEST(EngineBeforeSetup, ClearsOutputAndFails) {
    FakeKernel fake;
    fake.install();
    KernelEngine engine(fakeKernelFunctions());
    HostOutput out(2, 64);
    out.pointers[1] = nullptr;  // a missing channel is skipped
    engine.processBlock(nullptr, 0, out.channels(), 2, 64);
    EXPECT_EQ(out.data[0][63], 0.0f);
    EXPECT_EQ(out.data[1][63], HostOutput::UNTOUCHED);
    EXPECT_TRUE(engine.blockFailed());
    EXPECT_TRUE(engine.outputSilent());
}

}  // namespace
}  // namespace kelvo::test
