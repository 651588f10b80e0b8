#include <gtest/gtest.h>

#include <cmath>

#include "engine_fixture.h"

namespace kelvo::test {
namespace {

// A kernel that only runs at 48 kHz, behind a host at another rate.
class AdapterBlocks : public ::testing::Test {
  protected:
    void start(double hostRate, int32_t block) {
        fake.acceptedRate = 48000;
        fake.install();
        ASSERT_TRUE(engine.setup(hostRate, block));
        ASSERT_TRUE(engine.adapterOn());
    }
    FakeKernel fake;
    KernelEngine engine{fakeKernelFunctions()};
};

TEST_F(AdapterBlocks, KernelClockRunsSixteenHostFramesBehind) {
    start(96000, 512);
    HostOutput out(2, 512);
    render(engine, out, 512);
    EXPECT_EQ(fake.chunks, (std::vector<uint32_t>{128, 120}));
    for (int i = 0; i < 56; ++i)
        ASSERT_EQ(out.data[0][i], 0.0f) << i;  // the reported latency
    EXPECT_NE(out.data[0][56], 0.0f);
    fake.chunks.clear();
    render(engine, out, 512);
    EXPECT_EQ(fake.chunks, (std::vector<uint32_t>{128, 128}));
}

TEST_F(AdapterBlocks, EventsLandOnTheirKernelFrames) {
    start(96000, 512);
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

TEST_F(AdapterBlocks, ConstantSignalPassesAtUnityGain) {
    for (double rate : {44100.0, 96000.0, 22050.0, 192000.0}) {
        SCOPED_TRACE(rate);
        FakeKernel constant;
        constant.acceptedRate = 48000;
        constant.constantOutput = true;
        constant.install();
        KernelEngine adapted(fakeKernelFunctions());
        ASSERT_TRUE(adapted.setup(rate, 256));
        HostOutput out(2, 256);
        for (int block = 0; block < 8; ++block)
            render(adapted, out, 256);
        for (int i = 0; i < 256; ++i) {
            ASSERT_NEAR(out.data[0][i], 1.0f, 1e-5f) << i;
            ASSERT_NEAR(out.data[1][i], 1.0f, 1e-5f) << i;
        }
    }
}

TEST_F(AdapterBlocks, OutputFollowsTheKernelTimeline) {
    // The kernel renders its frame counter; a host frame h reads kernel
    // position (h - 16) * 48000 / 44100 - 20 (+1 for the counter's offset).
    start(44100, 300);
    HostOutput out(2, 300);
    for (int block = 0; block < 4; ++block)
        render(engine, out, 300);
    for (int i = 100; i < 300; ++i) {
        const double h = 900 + i;
        const double expected = (h - 16) * 48000.0 / 44100.0 - 20 + 1;
        ASSERT_NEAR(out.data[0][i], expected, 0.02) << i;
        ASSERT_NEAR(out.data[1][i], -expected, 0.02) << i;
    }
}

TEST_F(AdapterBlocks, AFailedChunkLatchesUntilTheNextSetup) {
    start(96000, 512);
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
