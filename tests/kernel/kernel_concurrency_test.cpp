// Hosts run several plug-in instances on several audio threads at once while
// their main thread creates and destroys others: calls for distinct instances
// must not disturb each other.
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>
#include <vector>

#include "kernel_api.h"

namespace {

constexpr uint32_t PARAMETER = 1, NOTE_ON = 2;
constexpr int BLOCKS = 400;
// Slot 2 in generation 1000: stale for the whole test, yet resolving it reads
// the slot the create/destroy thread keeps reusing.
constexpr uint32_t STALE_IN_CHURNED_SLOT = 2 + 32 * 999 + 1;

uint32_t create(double rate) {
    return static_cast<uint32_t>(KERNEL(create)(128, 0, 2, rate));
}

// Notes and tuning changes on a per-instance pattern, then the instance is
// destroyed; returns every block's output.
std::vector<float> runScript(uint32_t handle, int seed) {
    std::vector<float> rendered;
    rendered.reserve(BLOCKS * 256);
    for (int block = 0; block < BLOCKS; ++block) {
        if (block % 50 == seed) {
            // Kick tune for one script, snare tune for the other: each re-renders a piece.
            const double tune = (seed == 0 ? 50 : 180) + block / 10.0;
            EXPECT_EQ(KERNEL(push_event)(handle, PARAMETER, 0, seed * 3, tune), 0);
        }
        if (block % 6 == 0) {
            const uint32_t note = seed == 0 ? 36 + block % 5 : 38 + block % 3;
            EXPECT_EQ(KERNEL(push_event)(handle, NOTE_ON, (block * 37 + seed) % 128, note, 0.8), 0);
        }
        EXPECT_EQ(KERNEL(process)(handle, 128), 0);
        EXPECT_EQ(KERNEL(process)(STALE_IN_CHURNED_SLOT, 128), 1);
        float* data = nullptr;
        size_t length = 0;
        KERNEL(output_view)(handle, &data, &length);
        rendered.insert(rendered.end(), data, data + length);
    }
    EXPECT_EQ(KERNEL(destroy)(handle), 0);
    return rendered;
}

TEST(KernelConcurrency, InstancesOnTwoThreadsRenderAsWhenAlone) {
    KERNEL(runtime_init)();
    const std::vector<float> aloneA = runScript(create(48000), 0);
    const std::vector<float> aloneB = runScript(create(44100), 1);
    ASSERT_EQ(aloneA.size(), BLOCKS * 256u);
    ASSERT_TRUE(aloneA != aloneB);
    const uint32_t a = create(48000), b = create(44100);  // slots 0 and 1

    std::vector<float> renderedA, renderedB;
    std::atomic<int> running{2};
    // Two threads create and destroy at once: a slot handed out twice makes
    // one thread's handle stale under it.
    std::latch churnStarted(2);
    const auto churn = [&] {
        churnStarted.count_down();
        do {
            const uint32_t handle = create(32000);
            EXPECT_NE(handle, 0u);
            EXPECT_EQ(KERNEL(process)(handle, 128), 0);
            EXPECT_EQ(KERNEL(destroy)(handle), 0);
        } while (running.load() > 0);
    };
    std::thread churnA(churn), churnB(churn);
    churnStarted.wait();  // rendering starts while the first create runs
    std::thread first([&] {
        renderedA = runScript(a, 0);
        --running;
    });
    std::thread second([&] {
        renderedB = runScript(b, 1);
        --running;
    });
    first.join();
    second.join();
    churnA.join();
    churnB.join();
    EXPECT_TRUE(renderedA == aloneA);
    EXPECT_TRUE(renderedB == aloneB);
}

}  // namespace
