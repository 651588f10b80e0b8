// The sample-rate adapter: a kernel running at 48 kHz is driven from any host
// rate. Positions are exact integer maps between the host timeline (rate
// numerator/denominator) and the kernel timeline, and the kernel's output is
// resampled with a windowed-sinc interpolator of TAPS taps and PHASES phases.
// The adapter owns its clocks, the host input window and the output FIFO; the
// engine drives one host block through the operations below, in order.
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

// (h - LOOK_AHEAD_FRAMES) * 48000 * denominator divided by the rate
// numerator, as floor quotient and remainder, stepped one host frame at a
// time without a 128-bit division per frame.
struct SourceCursor {
    int64_t quotient;
    uint64_t remainder;
};

class RateAdapter {
  public:
    static constexpr uint64_t KERNEL_RATE = 48000;
    static constexpr int TAPS = 32;
    static constexpr int PHASES = 1024;
    // Tap k reads kernel frame q + FIRST_TAP_OFFSET + k around the source
    // frame q, so the window spans FIRST_TAP_OFFSET..LAST_TAP_OFFSET.
    static constexpr int64_t FIRST_TAP_OFFSET = 1 - TAPS / 2;
    static constexpr int64_t LAST_TAP_OFFSET = TAPS / 2;
    // Host frames the kernel clock stays behind the newest host input frame.
    static constexpr int64_t LOOK_AHEAD_FRAMES = 16;
    static constexpr int64_t KERNEL_DELAY = 20;  // kernel frames of filter delay
    static constexpr uint64_t MAX_CAPACITY = 1048576;

    // FIFO frames needed for blocks of up to maxBlockFrames at this rate.
    static uint64_t capacityFor(RateFraction rate, int32_t maxBlockFrames);
    // Host frames the output lags the host timeline at this host rate:
    // LOOK_AHEAD_FRAMES plus KERNEL_DELAY kernel frames, rounded up.
    static int32_t latencyFrames(double hostRate);

    // Allocates the buffers, builds the filter table and resets (main thread).
    void configure(RateFraction rate, uint64_t capacity);
    // Back to the start of both timelines, buffers kept (after a failure).
    void reset() noexcept;

    // Host frame of kernel frame m.
    int64_t hostFrameOf(uint64_t kernelFrame) const noexcept;
    // Kernel frame and phase that host output frame h interpolates.
    KernelSource sourceOf(uint64_t hostFrame) const noexcept {
        return sourceAt(cursorAt(hostFrame));
    }
    SourceCursor cursorAt(uint64_t hostFrame) const noexcept;
    void advance(SourceCursor& cursor) const noexcept;
    KernelSource sourceAt(const SourceCursor& cursor) const noexcept;
    // Kernel frame of an event at absolute host frame s, rounded half up.
    uint64_t kernelFrameOfStamp(uint64_t stamp) const noexcept;

    // The host frame the next block starts at.
    uint64_t hostPosition() const noexcept { return hostPos_; }
    // The kernel frame the next kernel chunk starts at.
    uint64_t kernelPosition() const noexcept { return kernelPos_; }

    // 1. The host's input channels 0 and 1 (zeros where missing) join the
    // input window; false when the window has no room.
    bool appendInput(const float* const* inputs, int32_t channels, int32_t frames) noexcept;
    // 2. Kernel frames from kernelPosition() whose host frame is at least
    // LOOK_AHEAD_FRAMES before the end of the input window.
    uint64_t schedulableFrames() const noexcept;
    // 3. Per kernel chunk: its output planes join the FIFO and the kernel
    // clock moves on (false when the FIFO has no room), or, for a chunk the
    // kernel failed, only the clock moves on.
    bool appendKernelOutput(const float* left, const float* right, uint64_t frames) noexcept;
    void skipKernelFrames(uint64_t frames) noexcept { kernelPos_ += frames; }
    // 4. Interpolates the block's host frames into the output channels
    // (channel 1 reads the right plane, every other channel the left), moves
    // the host clock on and drops what later blocks no longer need.
    void readOutput(float* const* outputs, int32_t channels, int32_t frames) noexcept;

  private:
    void buildTable();
    // One interpolated sample of an output plane; 0 outside the FIFO.
    float interpolate(int plane, KernelSource source) const noexcept;

    RateFraction rate_;
    uint64_t capacity_ = 0;
    // Every block takes and gives the same number of host frames, so one
    // host position serves input and output; kernel frames are rendered in
    // the block that schedules them, so one kernel position serves both.
    uint64_t hostPos_ = 0, kernelPos_ = 0;
    uint64_t inBase_ = 0, inFill_ = 0;    // host frames: first in the window, count
    uint64_t outBase_ = 0, outFill_ = 0;  // kernel frames: first in the FIFO, count
    std::vector<float> input_[2];
    std::vector<float> output_[2];
    std::vector<float> table_;    // PHASES x TAPS
    std::vector<float> tapSums_;  // per phase, summed in tap order in single precision
};

}  // namespace kelvo
