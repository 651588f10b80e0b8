#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "engine_fixture.h"

namespace kelvo::test {
namespace {

// Hosts set up and run instances from several threads at once: the first
// setups race to initialise the kernel, and each engine then renders on its
// own thread.
TEST(EngineConcurrency, EnginesSetUpAndRenderOnTwoThreadsAtOnce) {
    std::vector<float> peaks(2, 0.0f);
    auto run = [&](int which) {
        KernelEngine engine;
        ASSERT_TRUE(engine.setup(which == 0 ? 48000 : 44100, 256));
        HostOutput out(2, 256);
        for (int block = 0; block < 40; ++block) {
            engine.pushParamNormalized(13, (block % 4) / 4.0, 0);
            engine.pushNoteOn(36 + block % 10, 1.0, block % 200, 0, 0);
            render(engine, out, 256);
            for (float sample : out.data[0])
                peaks[which] = std::max(peaks[which], std::abs(sample));
        }
    };
    std::thread first(run, 0), second(run, 1);
    first.join();
    second.join();
    EXPECT_GT(peaks[0], 0.1f);
    EXPECT_GT(peaks[1], 0.1f);
}

}  // namespace
}  // namespace kelvo::test
