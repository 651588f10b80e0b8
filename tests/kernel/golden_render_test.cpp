// Pins the kernel's sound: a fixed script of notes and parameter changes is
// rendered and the output's bits are hashed. Any change to a formula, an
// evaluation order, the render schedule or the voices changes the hash.
#include <gtest/gtest.h>

#include <bit>

#include "kernel_api.h"

namespace {

struct ScriptEvent {
    uint32_t block, kind, frame, a;
    double value;
};

// Notes on every piece across two bars, with parameter changes landing while
// earlier strikes still sound and while pieces re-render.
const ScriptEvent SCRIPT[] = {
    {0, 2, 0, 36, 1},     {0, 2, 64, 42, 0.8},   {2, 2, 5, 38, 0.9},  {3, 1, 0, 0, 70},
    {3, 2, 100, 46, 0.7}, {5, 2, 0, 36, 1},      {5, 2, 0, 42, 0.6},  {6, 1, 17, 10, 0.1},
    {7, 2, 30, 39, 1},    {8, 2, 127, 41, 0.75}, {10, 2, 0, 45, 0.8}, {11, 1, 0, 13, 0.8},
    {11, 2, 0, 49, 0.9},  {12, 2, 60, 56, 0.5},  {13, 2, 3, 40, 1},   {15, 1, 90, 4, 0.5},
    {16, 2, 90, 38, 1},   {18, 2, 0, 42, 1},     {18, 2, 1, 46, 1},   {20, 3, 0, 36, 0},
    {21, 2, 7, 36, 2.5},  {24, 1, 0, 13, 0.5},   {30, 2, 64, 49, 1},  {40, 2, 0, 46, 1},
    {41, 2, 50, 42, 1},   {60, 1, 0, 11, 0.4},   {62, 2, 0, 49, 1},   {90, 2, 0, 36, 0.3},
};

uint64_t renderScriptHash(double rate, int blocks) {
    KERNEL(runtime_init)();
    auto handle = static_cast<uint32_t>(KERNEL(create)(128, 0, 2, rate));
    EXPECT_NE(handle, 0u);
    uint64_t hash = 14695981039346656037ull;
    size_t next = 0;
    for (int block = 0; block < blocks; ++block) {
        for (; next < std::size(SCRIPT) && SCRIPT[next].block == static_cast<uint32_t>(block);
             ++next) {
            const ScriptEvent& e = SCRIPT[next];
            EXPECT_EQ(KERNEL(push_event)(handle, e.kind, e.frame, e.a, e.value), 0);
        }
        EXPECT_EQ(KERNEL(process)(handle, 128), 0);
        float* out = nullptr;
        size_t length = 0;
        KERNEL(output_view)(handle, &out, &length);
        for (size_t i = 0; i < length; ++i)
            hash = (hash ^ std::bit_cast<uint32_t>(out[i])) * 1099511628211ull;
    }
    return hash;
}

TEST(GoldenRender, ScriptRendersToPinnedBits) {
    EXPECT_EQ(renderScriptHash(48000, 200), 0x84cebf45f2dc3825ull);
    EXPECT_EQ(renderScriptHash(44100, 200), 0x8714cee85aa30161ull);
}

}  // namespace
