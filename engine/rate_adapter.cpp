#include "rate_adapter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kelvo {
namespace {

using i128 = __int128;

// Division rounding toward minus infinity, for a positive divisor.
i128 floorDiv(i128 n, i128 d) {
    i128 q = n / d;
    return (n % d != 0 && n < 0) ? q - 1 : q;
}

void dropFront(std::vector<float>* planes, uint64_t& base, uint64_t& fill, int64_t keep) {
    if (keep <= static_cast<int64_t>(base)) return;
    const uint64_t drop = std::min(static_cast<uint64_t>(keep) - base, fill);
    for (int p = 0; p < 2; ++p)
        std::memmove(planes[p].data(), planes[p].data() + drop, (fill - drop) * sizeof(float));
    base += drop;
    fill -= drop;
}

}  // namespace

uint64_t RateAdapter::capacityFor(RateFraction rate, int32_t maxBlockFrames) {
    const auto scaled = static_cast<i128>(maxBlockFrames) * KERNEL_RATE * rate.denominator;
    const i128 needed = (scaled + rate.numerator - 1) / rate.numerator;
    const i128 minimum = 3 * static_cast<i128>(maxBlockFrames) + 8;
    const i128 capacity = std::max(minimum, needed + 64);
    return capacity > static_cast<i128>(MAX_CAPACITY) ? MAX_CAPACITY + 1
                                                      : static_cast<uint64_t>(capacity);
}

void RateAdapter::configure(RateFraction newRate, uint64_t newCapacity) {
    rate = newRate;
    capacity = newCapacity;
    for (int p = 0; p < 2; ++p) {
        input[p].assign(capacity, 0.0f);
        output[p].assign(capacity, 0.0f);
    }
    buildTable();
    resetPositions();
}

void RateAdapter::resetPositions() {
    hostInPos = hostOutPos = kernelInPos = kernelPos = 0;
    inBase = inFill = outBase = outFill = 0;
}

void RateAdapter::buildTable() {
    table.assign(static_cast<size_t>(PHASES) * TAPS, 0.0f);
    tapSums.assign(PHASES, 0.0f);
    const double cutoff = std::min(rate.value() / static_cast<double>(KERNEL_RATE), 1.0);
    for (int p = 0; p < PHASES; ++p) {
        float* taps = &table[static_cast<size_t>(p) * TAPS];
        double sum = 0;
        for (int k = 0; k < TAPS; ++k) {
            const double x = cutoff * (static_cast<double>(p) / PHASES - (k - 15));
            const double sinc = std::fabs(x) < 1e-12 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
            const double window = 0.5 - 0.5 * std::cos(2 * M_PI * k / (TAPS - 1));
            taps[k] = static_cast<float>(window * cutoff * sinc);
            sum += taps[k];
        }
        float singleSum = 0;
        for (int k = 0; k < TAPS; ++k) {
            if (sum != 0) taps[k] = static_cast<float>(taps[k] / sum);
            singleSum += taps[k];
        }
        tapSums[p] = singleSum;
    }
}

int64_t RateAdapter::hostFrameOf(uint64_t kernelFrame) const {
    const i128 scaled = static_cast<i128>(kernelFrame) * rate.numerator;
    return static_cast<int64_t>(scaled / (static_cast<i128>(rate.denominator) * KERNEL_RATE));
}

SourceCursor RateAdapter::cursorAt(uint64_t hostFrame) const {
    const i128 scaled =
        (static_cast<i128>(hostFrame) - HOST_DELAY) * KERNEL_RATE * rate.denominator;
    const i128 quotient = floorDiv(scaled, rate.numerator);
    return {static_cast<int64_t>(quotient),
            static_cast<uint64_t>(scaled - quotient * static_cast<i128>(rate.numerator))};
}

void RateAdapter::advance(SourceCursor& cursor) const {
    // The remainder stays below the numerator (at most 4e12) and the step is
    // at most 4.8e10, so 64 bits hold the sum.
    cursor.remainder += KERNEL_RATE * rate.denominator;
    if (cursor.remainder >= rate.numerator) {
        cursor.quotient += static_cast<int64_t>(cursor.remainder / rate.numerator);
        cursor.remainder %= rate.numerator;
    }
}

KernelSource RateAdapter::sourceAt(const SourceCursor& cursor) const {
    const uint64_t phase = (cursor.remainder * PHASES + rate.numerator / 2) / rate.numerator;
    return {cursor.quotient - KERNEL_DELAY,
            static_cast<int32_t>(std::min<uint64_t>(phase, PHASES - 1))};
}

uint64_t RateAdapter::kernelFrameOfStamp(uint64_t stamp) const {
    const i128 scaled = static_cast<i128>(stamp) * KERNEL_RATE * rate.denominator;
    return static_cast<uint64_t>((scaled + rate.numerator / 2) / rate.numerator);
}

uint64_t RateAdapter::schedulableFrames(uint64_t limit) const {
    // hostFrameOf(m) + 16 < end  <=>  m * num < (end - 16) * den * 48000.
    const i128 end = static_cast<i128>(inBase + inFill) - HOST_DELAY;
    if (end <= 0) return 0;
    const i128 bound = end * rate.denominator * KERNEL_RATE;
    const i128 firstRefused = (bound + rate.numerator - 1) / rate.numerator;
    const i128 available = firstRefused - static_cast<i128>(kernelInPos);
    if (available <= 0) return 0;
    return available < static_cast<i128>(limit) ? static_cast<uint64_t>(available) : limit;
}

void RateAdapter::trimInput(int64_t keep) {
    dropFront(input, inBase, inFill, keep);
}

void RateAdapter::trimOutput(int64_t keep) {
    dropFront(output, outBase, outFill, keep);
}

float RateAdapter::interpolate(int plane, KernelSource source) const {
    const int64_t base = static_cast<int64_t>(outBase);
    const int64_t fill = static_cast<int64_t>(outFill);
    if (source.frame < 0 || source.frame < base || source.frame + 16 >= base + fill) return 0.0f;
    const float* samples = output[plane].data();
    const float tapSum = tapSums[source.phase];
    if (tapSum == 0) return samples[source.frame - base];
    const float* taps = &table[static_cast<size_t>(source.phase) * TAPS];
    const int64_t first = source.frame - 15 - base;
    float sum = 0;
    if (first >= 0) {  // the whole window is inside the FIFO
        for (int k = 0; k < TAPS; ++k)
            sum += taps[k] * samples[first + k];
    } else {
        for (int k = 0; k < TAPS; ++k)
            sum += taps[k] * samples[std::clamp<int64_t>(first + k, 0, fill - 1)];
    }
    return sum / tapSum;
}

}  // namespace kelvo
