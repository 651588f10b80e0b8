// Short-time magnitude spectra for the picture: a Hann-windowed radix-2 FFT.
#pragma once

#include <complex>
#include <vector>

namespace tambro::render {

class Spectrum {
  public:
    // `size` is a power of two.
    explicit Spectrum(size_t size);
    size_t size() const { return size_; }
    // Levels in dB relative to a full-scale sine of the `size` frames of
    // `samples` centred on `centre` (zeros outside the signal), bins 0...size/2.
    const std::vector<float>& levels(const std::vector<float>& samples, long long centre);

  private:
    void transform();

    size_t size_;
    std::vector<float> window_;
    double windowSum_ = 0;
    std::vector<std::complex<double>> bins_;
    std::vector<float> levels_;
};

}  // namespace tambro::render
