#include <gtest/gtest.h>

#include <cmath>

#include "engine_fixture.h"

namespace kelvo::test {
namespace {

// A kernel that only runs at 48 kHz, behind a host at another rate.
class AdapterBlocks : public ::testing::Test, public FakeRig {
  protected:
    AdapterBlocks() : FakeRig(48000) {}
    void SetUp() override { ASSERT_TRUE(engine.setup(96000, 512)); }
};

TEST_F(AdapterBlocks, EventsLandOnTheirKernelFrames) {
    ASSERT_TRUE(engine.pushNoteOn(36, 1, 100, 0, 0));     // kernel frame 50
    ASSERT_TRUE(engine.pushNoteOn(38, 1, 505, 0, 0));     // kernel frame 253, not yet rendered
    ASSERT_TRUE(engine.pushParamNormalized(0, 0.5, -7));  // negative counts as 0
    HostOutput out(2, 512);
    render(engine, out, 512);
    render(engine, out, 512);
    // Kernel frames 248..375 are the third chunk: 253 is its frame 5.
    EXPECT_EQ(fake.events, (std::vector<FakeKernelEvent>{
                               {1, 0, 0, 75, 0}, {2, 50, 36, 1, 0}, {2, 5, 38, 1, 2}}));
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

TEST_F(AdapterBlocks, AFailedChunkLatchesUntilTheNextSetup) {
    fake.failChunk = 1;
    HostOutput out(2, 512);
    render(engine, out, 512);
    EXPECT_TRUE(engine.blockFailed());
    EXPECT_TRUE(engine.adapterFailed());
    render(engine, out, 512);
    for (float v : out.data[0])
        ASSERT_EQ(v, 0.0f);
    EXPECT_EQ(fake.chunks.size(), 2u);  // the latched adapter no longer runs the kernel
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

}  // namespace
}  // namespace kelvo::test
