#include "fft_levels.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace tambro::render {

namespace {

constexpr double FLOOR = 1e-12;  // keeps log10 finite in silence

}  // namespace

Spectrum::Spectrum(size_t size) : size_(size), window_(size), bins_(size), levels_(size / 2 + 1) {
    for (size_t i = 0; i < size; ++i) {
        window_[i] =
            static_cast<float>(0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) /
                                                    static_cast<double>(size)));
        windowSum_ += window_[i];
    }
}

const std::vector<float>& Spectrum::levels(const std::vector<float>& samples, long long centre) {
    const long long first = centre - static_cast<long long>(size_ / 2);
    for (size_t i = 0; i < size_; ++i) {
        const long long at = first + static_cast<long long>(i);
        const float sample = at >= 0 && at < static_cast<long long>(samples.size())
                                 ? samples[static_cast<size_t>(at)]
                                 : 0.0f;
        bins_[i] = {static_cast<double>(sample * window_[i]), 0.0};
    }
    transform();
    for (size_t k = 0; k < levels_.size(); ++k)
        levels_[k] =
            static_cast<float>(20 * std::log10(2 * std::abs(bins_[k]) / windowSum_ + FLOOR));
    return levels_;
}

// Iterative Cooley-Tukey: bit-reversed order, then butterflies.
void Spectrum::transform() {
    for (size_t i = 1, j = 0; i < size_; ++i) {
        size_t bit = size_ >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j |= bit;
        if (i < j) std::swap(bins_[i], bins_[j]);
    }
    for (size_t length = 2; length <= size_; length <<= 1) {
        const double angle = -2 * std::numbers::pi / static_cast<double>(length);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t start = 0; start < size_; start += length) {
            std::complex<double> twiddle(1, 0);
            for (size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> odd = bins_[start + k + length / 2] * twiddle;
                bins_[start + k + length / 2] = bins_[start + k] - odd;
                bins_[start + k] += odd;
                twiddle *= step;
            }
        }
    }
}

}  // namespace tambro::render
