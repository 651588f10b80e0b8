#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "kernel_api.h"
#include "kernel_interface.h"
#include "render_cache.h"
#include "synth_fixture.h"

namespace kelvo::kernel {
namespace {

// Event kinds.
constexpr uint32_t ON = 2, OFF = 3, PAR = 1, CC = 4;

class KernelInterface : public ::testing::Test {
  protected:
    void SetUp() override { KERNEL(runtime_init)(); }
    static uint32_t create(double rate = 48000) {
        return static_cast<uint32_t>(KERNEL(create)(128, 0, 2, rate));
    }
    static std::vector<float> render(uint32_t handle, uint32_t frames) {
        EXPECT_EQ(KERNEL(process)(handle, frames), 0);
        float* data = nullptr;
        size_t length = 0;
        KERNEL(output_view)(handle, &data, &length);
        return std::vector<float>(data, data + length);
    }
};

TEST_F(KernelInterface, CreateRefusesUnsupportedShapes) {
    const std::tuple<uint32_t, uint32_t, uint32_t, double> refused[] = {
        {64, 0, 2, 48000},     {129, 0, 2, 48000}, {0, 0, 2, 48000},    {128, 1, 2, 48000},
        {128, 0, 1, 48000},    {128, 0, 2, 0},     {128, 0, 2, -48000}, {128, 0, 2, NAN},
        {128, 0, 2, INFINITY}, {128, 0, 2, 1e300}};
    for (auto [frames, inputs, outputs, rate] : refused)
        EXPECT_EQ(KERNEL(create)(frames, inputs, outputs, rate), 0)
            << frames << " " << inputs << " " << outputs << " " << rate;
    EXPECT_EQ(KERNEL(abi_version)(), 2);
    EXPECT_EQ(KERNEL(collect)(), 0u);
}

TEST_F(KernelInterface, HandlesCarrySlotAndGeneration) {
    EXPECT_EQ(create(), 1u);
    EXPECT_EQ(KERNEL(destroy)(1), 0);
    EXPECT_EQ(KERNEL(destroy)(1), 1);
    EXPECT_EQ(KERNEL(create)(64, 0, 2, 48000), 0);  // a failed create still bumps the generation
    EXPECT_EQ(create(), 65u);
    for (double code : {KERNEL(process)(1, 16), KERNEL(push_event)(1, ON, 0, 36, 1),
                        KERNEL(reset)(1), KERNEL(destroy)(1)})
        EXPECT_EQ(code, 1);
    for (auto view : {&KERNEL(output_view), &KERNEL(input_view)}) {
        float* data = nullptr;
        size_t length = 99;
        view(1, &data, &length);  // a stale handle, or no inputs: the shared empty view
        EXPECT_EQ(std::tuple(length, data != nullptr), std::tuple(0u, true));
    }
    EXPECT_EQ(render(65, 128).size(), 256u);
    EXPECT_EQ(KERNEL(process)(65, 129), 1);

    KERNEL(runtime_init)();  // a fresh table holds thirty-two instances
    for (uint32_t i = 1; i <= 32; ++i)
        ASSERT_EQ(create(22050), i);
    EXPECT_EQ(create(22050), 0u);
    EXPECT_EQ(KERNEL(destroy)(5), 0);
    EXPECT_EQ(create(22050), 5u + 32);
}

TEST_F(KernelInterface, PushEventResultCodes) {
    const uint32_t h = create();
    // kind, frame, a, value, result code
    const std::tuple<uint32_t, uint32_t, uint32_t, double, double> cases[] = {
        {ON, 127, 36, 1, 0},    {ON, 128, 36, 1, 1},     {PAR, 127, 17, 0.5, 0},
        {PAR, 127, 18, 0.5, 2}, {ON, 127, 128, 1, 2},    {ON, 127, 36, 2.5, 0},
        {ON, 127, 36, 1.5, 2},  {ON, 127, 36, -0.1, 2},  {ON, 127, 36, NAN, 2},
        {OFF, 127, 36, 0.5, 2}, {OFF, 127, 36, 0, 0},    {CC, 127, 7, 0.5, 0},
        {CC, 127, 7, 1.5, 2},   {CC, 127, 128, 0.5, 2},  {0, 127, 0, 0, 2},
        {PAR, 127, 0, NAN, 3},  {PAR, 127, 0, 1e300, 3}, {PAR, 126, 0, 50, 4},
    };
    for (auto [kind, frame, a, value, code] : cases)
        EXPECT_EQ(KERNEL(push_event)(h, kind, frame, a, value), code)
            << kind << " frame " << frame << " a " << a << " value " << value;
    EXPECT_EQ(KERNEL(reset)(h), 0);  // empties the queue
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(KERNEL(push_event)(h, OFF, 5, 1, 0), 0);
    EXPECT_EQ(KERNEL(push_event)(h, OFF, 5, 1, 0), 3);
}

TEST_F(KernelInterface, EventsBeyondTheBlockAreDroppedUnlessItIsRefused) {
    const uint32_t h = create();
    ASSERT_EQ(KERNEL(push_event)(h, ON, 0, 36, 1), 0);
    render(h, 0);
    EXPECT_EQ(instanceState(h)->synth->strikeCounter, 0);
    ASSERT_EQ(KERNEL(push_event)(h, ON, 0, 38, 1), 0);
    ASSERT_EQ(KERNEL(push_event)(h, ON, 40, 36, 1), 0);
    render(h, 32);
    EXPECT_EQ(instanceState(h)->synth->strikeCounter, 1);
    render(h, 128);

    // A refused block keeps its queue.
    ASSERT_EQ(KERNEL(push_event)(h, ON, 0, 36, 1), 0);
    ASSERT_EQ(KERNEL(push_event)(h, CC, 20, 7, 0.5), 0);
    EXPECT_EQ(KERNEL(process)(h, 64), 2);
    EXPECT_EQ(KERNEL(process)(h, 64), 2);
    EXPECT_EQ(instanceState(h)->synth->strikeCounter, 3);  // the note before it ran each time
    EXPECT_EQ(KERNEL(process)(h, 16), 0);  // the refused event lies beyond 16 frames
    EXPECT_EQ(KERNEL(push_event)(h, ON, 0, 36, 1), 0);
}

TEST_F(KernelInterface, ResetRendersChangesThenRestoresDefaults) {
    const uint32_t h = create();
    ASSERT_EQ(KERNEL(push_event)(h, PAR, 0, 0, 80), 0);
    ASSERT_EQ(KERNEL(push_event)(h, ON, 0, 36, 1), 0);
    render(h, 128);
    ASSERT_EQ(KERNEL(push_event)(h, ON, 3, 38, 1), 0);
    EXPECT_EQ(KERNEL(reset)(h), 0);
    const DrumSynth& s = *instanceState(h)->synth;
    // The kick was rendered synchronously for the changed value, then the
    // default came back; the voices stopped and the queued snare was dropped.
    EXPECT_EQ(std::tuple(s.parameters[0], s.cacheKeys[0], dirtyPieces(s)),
              std::tuple(52.0, 80.0, std::vector<int>{DRUM_PIECE_KICK}));
    EXPECT_EQ(render(h, 128), std::vector<float>(256, 0.0f));
}

}  // namespace
}  // namespace kelvo::kernel
