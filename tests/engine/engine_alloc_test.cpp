// Rendering and the audio-thread pushes must never touch the heap, neither
// on the direct path nor behind the rate adapter.
#include <gtest/gtest.h>

#include "allocation_counter.h"
#include "engine_fixture.h"

namespace kelvo::test {
namespace {

void playBlocks(KernelEngine& engine, HostOutput& out, int blocks, int frames) {
    for (int block = 0; block < blocks; ++block) {
        engine.pushParamNormalized(static_cast<uint32_t>(block % 18), (block % 7) / 6.0, 0);
        engine.pushNoteOn(36 + block % 22, 0.8, block % frames, 0, 0);
        engine.pushNoteOff(36 + block % 22, frames - 1, 0, 0);
        render(engine, out, frames);
    }
    render(engine, out, 0);
}

TEST(EngineAllocations, DirectPathNeverAllocates) {
    KernelEngine engine;
    ASSERT_TRUE(engine.setup(44100, 512));
    HostOutput out(2, 512);
    playBlocks(engine, out, 2, 512);  // warm-up outside the counted scope
    kelvo::test::AllocationScope scope;
    playBlocks(engine, out, 300, 512);
    EXPECT_EQ(scope.allocations(), 0u);
}

TEST(EngineAllocations, AdapterPathNeverAllocates) {
    FakeKernel fake;
    fake.acceptedRate = 48000;
    fake.events.reserve(10000);
    fake.chunks.reserve(10000);
    fake.install();
    KernelEngine engine(fakeKernelFunctions());
    ASSERT_TRUE(engine.setup(96000, 512));
    HostOutput out(2, 512);
    playBlocks(engine, out, 2, 512);
    kelvo::test::AllocationScope scope;
    playBlocks(engine, out, 300, 512);
    EXPECT_EQ(scope.allocations(), 0u);
}

}  // namespace
}  // namespace kelvo::test
