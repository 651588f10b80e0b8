// Rendering and the audio-thread pushes must never touch the heap, neither
// on the direct path nor behind the rate adapter.
#include <gtest/gtest.h>

#include "allocation_counter.h"
#include "engine_fixture.h"

namespace kelvo::test {
namespace {

TEST(EngineAllocations, RenderingAndPushesNeverAllocate) {
    FakeRig rig(48000);  // 96 kHz runs behind the adapter
    rig.fake.events.reserve(10000);
    rig.fake.chunks.reserve(10000);
    KernelEngine direct, &adapted = rig.engine;
    ASSERT_TRUE(direct.setup(44100, 512));
    ASSERT_TRUE(adapted.setup(96000, 512));
    HostOutput out(2, 512);
    const auto play = [&](int blocks) {
        for (int block = 0; block < blocks; ++block) {
            for (KernelEngine* engine : {&direct, &adapted}) {
                engine->pushParamNormalized(block % 18u, (block % 7) / 6.0, 0);
                engine->pushNoteOn(36 + block % 22, 0.8, block % 512, 0, 0);
                engine->pushNoteOff(36 + block % 22, 511, 0, 0);
                render(*engine, out, block % 50 == 49 ? 0 : 512);  // flushes too
            }
        }
    };
    play(2);  // warm-up outside the counted scope
    AllocationScope scope;
    play(300);
    EXPECT_EQ(scope.allocations(), 0u);
}

}  // namespace
}  // namespace kelvo::test
