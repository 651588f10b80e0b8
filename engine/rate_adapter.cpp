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

// Drops the frames before `keep` from the front of both planes: each plane
// stays a linear array, moved down in memory.
void dropFront(std::vector<float>* planes, uint64_t& base, uint64_t& fill, int64_t keep) noexcept {
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

int32_t RateAdapter::latencyFrames(double hostRate) {
    return static_cast<int32_t>(hostRate * KERNEL_DELAY / static_cast<double>(KERNEL_RATE) +
                                LOOK_AHEAD_FRAMES + 0.999999);
}

void RateAdapter::configure(RateFraction rate, uint64_t capacity) {
    rate_ = rate;
    capacity_ = capacity;
    for (int p = 0; p < 2; ++p) {
        input_[p].assign(capacity, 0.0f);
        output_[p].assign(capacity, 0.0f);
    }
    buildTable();
    reset();
}

void RateAdapter::reset() noexcept {
    hostPos_ = kernelPos_ = 0;
    inBase_ = inFill_ = outBase_ = outFill_ = 0;
}

void RateAdapter::buildTable() {
    table_.assign(static_cast<size_t>(PHASES) * TAPS, 0.0f);
    tapSums_.assign(PHASES, 0.0f);
    const double cutoff = std::min(rate_.value() / static_cast<double>(KERNEL_RATE), 1.0);
    for (int p = 0; p < PHASES; ++p) {
        float* taps = &table_[static_cast<size_t>(p) * TAPS];
        double sum = 0;
        for (int k = 0; k < TAPS; ++k) {
            const double offset = static_cast<double>(k + FIRST_TAP_OFFSET);
            const double x = cutoff * (static_cast<double>(p) / PHASES - offset);
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
        tapSums_[p] = singleSum;
    }
}

int64_t RateAdapter::hostFrameOf(uint64_t kernelFrame) const noexcept {
    const i128 scaled = static_cast<i128>(kernelFrame) * rate_.numerator;
    return static_cast<int64_t>(scaled / (static_cast<i128>(rate_.denominator) * KERNEL_RATE));
}

SourceCursor RateAdapter::cursorAt(uint64_t hostFrame) const noexcept {
    const i128 scaled =
        (static_cast<i128>(hostFrame) - LOOK_AHEAD_FRAMES) * KERNEL_RATE * rate_.denominator;
    const i128 quotient = floorDiv(scaled, rate_.numerator);
    return {static_cast<int64_t>(quotient),
            static_cast<uint64_t>(scaled - quotient * static_cast<i128>(rate_.numerator))};
}

void RateAdapter::advance(SourceCursor& cursor) const noexcept {
    // The remainder stays below the numerator (at most 4e12) and the step is
    // at most 4.8e10, so 64 bits hold the sum.
    cursor.remainder += KERNEL_RATE * rate_.denominator;
    if (cursor.remainder >= rate_.numerator) {
        cursor.quotient += static_cast<int64_t>(cursor.remainder / rate_.numerator);
        cursor.remainder %= rate_.numerator;
    }
}

KernelSource RateAdapter::sourceAt(const SourceCursor& cursor) const noexcept {
    const uint64_t phase = (cursor.remainder * PHASES + rate_.numerator / 2) / rate_.numerator;
    return {cursor.quotient - KERNEL_DELAY,
            static_cast<int32_t>(std::min<uint64_t>(phase, PHASES - 1))};
}

uint64_t RateAdapter::kernelFrameOfStamp(uint64_t stamp) const noexcept {
    const i128 scaled = static_cast<i128>(stamp) * KERNEL_RATE * rate_.denominator;
    return static_cast<uint64_t>((scaled + rate_.numerator / 2) / rate_.numerator);
}

bool RateAdapter::appendInput(const float* const* inputs, int32_t channels,
                              int32_t frames) noexcept {
    if (inFill_ + static_cast<uint64_t>(frames) > capacity_) return false;
    for (int32_t p = 0; p < 2; ++p) {
        float* target = input_[p].data() + inFill_;
        const float* source = inputs != nullptr && p < channels ? inputs[p] : nullptr;
        if (source != nullptr)
            std::memcpy(target, source, sizeof(float) * frames);
        else
            std::memset(target, 0, sizeof(float) * frames);
    }
    inFill_ += static_cast<uint64_t>(frames);
    return true;
}

uint64_t RateAdapter::schedulableFrames() const noexcept {
    // hostFrameOf(m) + look-ahead < end  <=>  m * num < (end - look-ahead) * den * 48000.
    const i128 end = static_cast<i128>(inBase_ + inFill_) - LOOK_AHEAD_FRAMES;
    if (end <= 0) return 0;
    const i128 bound = end * rate_.denominator * KERNEL_RATE;
    const i128 firstRefused = (bound + rate_.numerator - 1) / rate_.numerator;
    const i128 available = firstRefused - static_cast<i128>(kernelPos_);
    if (available <= 0) return 0;
    return available < static_cast<i128>(capacity_) ? static_cast<uint64_t>(available) : capacity_;
}

bool RateAdapter::appendKernelOutput(const float* left, const float* right,
                                     uint64_t frames) noexcept {
    if (outFill_ + frames > capacity_) return false;
    std::memcpy(output_[0].data() + outFill_, left, sizeof(float) * frames);
    std::memcpy(output_[1].data() + outFill_, right, sizeof(float) * frames);
    outFill_ += frames;
    kernelPos_ += frames;
    return true;
}

void RateAdapter::readOutput(float* const* outputs, int32_t channels, int32_t frames) noexcept {
    SourceCursor cursor = cursorAt(hostPos_);
    for (int32_t i = 0; i < frames; ++i, advance(cursor)) {
        const KernelSource source = sourceAt(cursor);
        for (int32_t c = 0; c < channels; ++c)
            if (outputs[c] != nullptr) outputs[c][i] = interpolate(c == 1 ? 1 : 0, source);
    }
    hostPos_ += static_cast<uint64_t>(frames);
    // Kept for later blocks: output from half a filter window before the next
    // source frame, input from LOOK_AHEAD_FRAMES before the next kernel frame.
    dropFront(output_, outBase_, outFill_,
              std::max<int64_t>(sourceOf(hostPos_).frame - TAPS / 2, 0));
    dropFront(input_, inBase_, inFill_,
              std::max<int64_t>(hostFrameOf(kernelPos_) - LOOK_AHEAD_FRAMES, 0));
}

float RateAdapter::interpolate(int plane, KernelSource source) const noexcept {
    const int64_t base = static_cast<int64_t>(outBase_);
    const int64_t fill = static_cast<int64_t>(outFill_);
    if (source.frame < 0 || source.frame < base || source.frame + LAST_TAP_OFFSET >= base + fill)
        return 0.0f;
    const float* samples = output_[plane].data();
    const float tapSum = tapSums_[source.phase];
    if (tapSum == 0) return samples[source.frame - base];
    const float* taps = &table_[static_cast<size_t>(source.phase) * TAPS];
    const int64_t first = source.frame + FIRST_TAP_OFFSET - base;
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
