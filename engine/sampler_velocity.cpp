#include "sampler_velocity.h"

#include <algorithm>
#include <cmath>

namespace kelvo {

double samplerVariationDraw(uint32_t state) noexcept {
    uint32_t h = state ^ (state >> 16);
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return static_cast<double>(h >> 8) / 16777216.0;
}

double resolveVelocity(double velocity, const SamplerVelocityControls& controls, float sensitivity,
                       std::atomic<uint32_t>& randomState) noexcept {
    double base;
    if (std::floor(controls.mode + 0.5) == 1)
        base = std::isfinite(controls.fixed) ? std::clamp(controls.fixed, 0.01, 1.0) : 0.01;
    else
        base = !std::isfinite(velocity) || velocity < 0 ? 0.0 : std::min(velocity, 1.0);

    const double s =
        std::isfinite(sensitivity) && sensitivity > 0 ? std::min<double>(sensitivity, 1.0) : 0.0;
    double v = s == 1.0 ? base : 1 - s + base * s;

    double spread = std::isfinite(controls.variation) && controls.variation > 0
                        ? std::min(controls.variation, 0.25)
                        : 0.0;
    if (spread > 0) {
        const uint32_t state = randomState.fetch_add(0x9E3779B9u, std::memory_order_relaxed);
        v *= 1 + spread * (2 * samplerVariationDraw(state) - 1);
    }
    return std::clamp(v, 0.01, 1.0);
}

}  // namespace kelvo
