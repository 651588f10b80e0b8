// State of the sample-rate adapter: a kernel running at 48 kHz is driven from
// any host rate. Positions are exact integer maps between the host timeline
// (rate numerator/denominator) and the kernel timeline, and the kernel's
// output is resampled with a 32-tap, 1024-phase windowed-sinc interpolator.
#pragma once

#include <cstdint>
#include <vector>

namespace kelvo {

struct RateFraction {
    uint64_t numerator = 48000;
    uint64_t denominator = 1;
    double value() const {
        return static_cast<double>(numerator) / static_cast<double>(denominator);
    }
};

// Where a host output frame reads the kernel's output: integer kernel frame
// and interpolation phase.
struct KernelSource {
    int64_t frame;
    int32_t phase;
};

// (h - 16) * 48000 * denominator divided by the rate numerator, as floor
// quotient and remainder, stepped one host frame at a time without a
// 128-bit division per frame.
struct SourceCursor {
    int64_t quotient;
    uint64_t remainder;
};

class RateAdapter {
  public:
    static constexpr uint64_t KERNEL_RATE = 48000;
    static constexpr int TAPS = 32;
    static constexpr int PHASES = 1024;
    static constexpr int64_t HOST_DELAY = 16;    // host frames of look-ahead
    static constexpr int64_t KERNEL_DELAY = 20;  // kernel frames of filter delay
    static constexpr uint64_t MAX_CAPACITY = 1048576;

    // FIFO frames needed for blocks of up to maxBlockFrames at this rate.
    static uint64_t capacityFor(RateFraction rate, int32_t maxBlockFrames);

    // Allocates the buffers and builds the filter table (main thread).
    void configure(RateFraction rate, uint64_t capacity);
    void resetPositions();

    // Host frame of kernel frame m.
    int64_t hostFrameOf(uint64_t kernelFrame) const;
    // Kernel frame and phase that host output frame h interpolates.
    KernelSource sourceOf(uint64_t hostFrame) const { return sourceAt(cursorAt(hostFrame)); }
    SourceCursor cursorAt(uint64_t hostFrame) const;
    void advance(SourceCursor& cursor) const;
    KernelSource sourceAt(const SourceCursor& cursor) const;
    // Kernel frame of an event at absolute host frame s, rounded half up.
    uint64_t kernelFrameOfStamp(uint64_t stamp) const;
    // Kernel frames m >= kernelInPos with hostFrameOf(m) + 16 below the end of
    // the input window, at most `limit` of them.
    uint64_t schedulableFrames(uint64_t limit) const;

    // Drops frames before keep from the front of the input window / output FIFO.
    void trimInput(int64_t keep);
    void trimOutput(int64_t keep);
    // One interpolated sample of an output plane; 0 outside the FIFO.
    float interpolate(int plane, KernelSource source) const;

    RateFraction rate;
    uint64_t capacity = 0;
    uint64_t hostInPos = 0, hostOutPos = 0, kernelInPos = 0, kernelPos = 0;
    uint64_t inBase = 0, inFill = 0, outBase = 0, outFill = 0;
    std::vector<float> input[2];
    std::vector<float> output[2];
    std::vector<float> table;    // PHASES x TAPS
    std::vector<float> tapSums;  // per phase, summed in tap order in single precision

  private:
    void buildTable();
};

}  // namespace kelvo
