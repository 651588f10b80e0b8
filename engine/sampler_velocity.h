// How a note-on's velocity is shaped before it reaches the kernel: a fixed or
// played base, the pad's velocity sensitivity, and a random variation.
#pragma once

#include <atomic>
#include <cstdint>

namespace kelvo {

// The engine parameter values the resolution reads, plain.
struct SamplerVelocityControls {
    double mode = 0;       // rounds to 1: every note plays `fixed`
    double fixed = 1;      // 0.01 ... 1
    double variation = 0;  // 0 ... 0.25 of random spread
};

// One draw of the variation generator from its state before the draw: a
// value in [0, 1).
double samplerVariationDraw(uint32_t state) noexcept;

// The velocity to send to the kernel, 0.01 ... 1. `sensitivity` is the note's
// entry of the sensitivity table (1: full velocity response). The generator
// advances only when the controls ask for variation, atomically, so no two
// notes draw the same value. Audio thread.
double resolveVelocity(double velocity, const SamplerVelocityControls& controls, float sensitivity,
                       std::atomic<uint32_t>& randomState) noexcept;

}  // namespace kelvo
