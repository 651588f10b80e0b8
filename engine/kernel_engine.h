// The host-side driver of the DSP kernel, embedded in the audio processor.
// It validates the host format, creates the kernel at the host rate (or at
// 48 kHz behind the rate adapter), turns host blocks into sample-accurate
// kernel events and 128-frame chunks, and clears the output and records a
// diagnostic whenever a block cannot be rendered. Nothing here allocates,
// locks or logs on the audio thread (trace lines aside, when tracing is on).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "event_queue.h"
#include "kernel_functions.h"
#include "rate_adapter.h"
#include "runtime_diagnostics.h"

namespace kelvo {

inline constexpr int ENGINE_PARAMETER_COUNT = 18;
inline constexpr int KERNEL_CHUNK_FRAMES = 128;
inline constexpr int32_t ENGINE_MAX_BLOCK_FRAMES = 16384;

class KernelEngine {
  public:
    explicit KernelEngine(const KernelFunctions& kernel = drumKernelFunctions());
    ~KernelEngine();
    KernelEngine(const KernelEngine&) = delete;
    KernelEngine& operator=(const KernelEngine&) = delete;

    // Main thread, while the host does not call processBlock.
    bool setup(double sampleRate, int32_t maxBlockFrames);

    // Audio thread.
    void processBlock(const float* const* inputs, int32_t inputChannels, float* const* outputs,
                      int32_t outputChannels, int32_t frames);
    void processBlock(const float* const* inputs, int32_t inputChannels,
                      const float* const* secondInputs, int32_t secondInputChannels,
                      float* const* outputs, int32_t outputChannels, int32_t frames);
    bool pushParamNormalized(uint32_t index, double normalized, int32_t frame);
    bool pushNoteOn(uint32_t note, double velocity, int32_t frame, uint32_t route,
                    uint32_t channel);
    bool pushNoteOff(uint32_t note, int32_t frame, uint32_t route, uint32_t channel);

    static bool kernelTrapped();
    static int32_t eventInputCount() { return 1; }
    static int32_t eventOutputCount() { return 0; }
    static int32_t eventRouteForInput(int32_t) { return 0; }
    static bool hasKernel() { return true; }

    double paramValue(uint32_t index) const;
    void setParamValue(uint32_t index, double value);
    int32_t variation() const { return variation_; }
    void setVariation(int32_t value);
    uint32_t instanceToken() const { return kernelHandle_; }

    void drainRuntimeDiagnostics() { diagnostics_.drainRuntimeDiagnostics(); }
    RuntimeDiagnostics& diagnostics() { return diagnostics_; }

    bool ready() const { return ready_; }
    bool blockFailed() const { return blockFailed_; }
    bool outputSilent() const { return outputSilent_; }
    bool adapterOn() const { return adapterOn_; }
    bool adapterFailed() const { return adapterFailed_; }
    double sampleRate() const { return sampleRate_; }
    RateFraction rate() const { return rate_; }
    int32_t maxBlockFrames() const { return maxBlockFrames_; }
    // Host frames the output lags the host timeline: 0, or 16 host frames
    // plus 20 kernel frames (rounded up) with the rate adapter on.
    int32_t latencySamples() const;

  private:
    using ParameterMask = std::array<bool, ENGINE_PARAMETER_COUNT>;

    bool rejectFormat(double sampleRate, int32_t maxBlockFrames);
    bool reuseKernelInstance(bool adapterWasOn);
    void createKernelInstance();
    bool attachKernelViews();
    void settleKernel();
    void failBlock(float* const* outputs, int32_t outputChannels, int32_t frames, uint32_t code,
                   uint8_t severity);
    void renderDirect(float* const* outputs, int32_t outputChannels, int32_t frames);
    bool processHandleV2RateConverted(const float* const* inputs, int32_t inputChannels,
                                      float* const* outputs, int32_t outputChannels,
                                      int32_t frames);
    void stampAndSortForAdapter();
    bool appendAdapterInput(const float* const* inputs, int32_t inputChannels, int32_t frames);
    bool renderAdapterChunks(uint64_t count, const ParameterMask& mask);
    void deliverToKernel(const EngineEvent& event, uint32_t frame, bool traced);
    void publishDirtyProductParameters(const ParameterMask& mask);
    bool pushProductParameter(uint32_t index, uint32_t frame, double value, const char* source);
    double resolveSamplerVelocity(uint32_t note, double velocity) const;
    void updateSilence(float* const* outputs, int32_t outputChannels, int32_t frames);

    const KernelFunctions& kernel_;
    double sampleRate_ = 48000.0;
    RateFraction rate_;
    int32_t maxBlockFrames_ = 0;
    bool ready_ = false;
    bool blockFailed_ = false;
    bool outputSilent_ = false;
    bool adapterFailed_ = false;
    bool adapterOn_ = false;
    RuntimeDiagnostics diagnostics_;
    RateAdapter adapter_;
    EventQueue queue_;
    // Per queued event, behind the adapter: its kernel frame, and whether the
    // current call delivered it.
    std::array<uint64_t, EventQueue::CAPACITY> eventKernelFrames_{};
    std::array<bool, EventQueue::CAPACITY> delivered_{};
    std::array<std::atomic<double>, ENGINE_PARAMETER_COUNT> mirror_;
    std::atomic<bool> dirty_{true};
    std::array<double, ENGINE_PARAMETER_COUNT> shadow_;
    uint32_t kernelHandle_ = 0;
    double kernelHostRate_ = 0.0;  // the host rate the live instance was created for
    float* inputView_ = nullptr;
    size_t inputLength_ = 0;
    float* outputView_ = nullptr;
    size_t outputLength_ = 0;
    std::atomic<uint32_t> randomState_{0x6D2B79F5u};
    int32_t variation_ = 16;
};

}  // namespace kelvo
