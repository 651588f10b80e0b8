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
#include <memory>

#include "event_queue.h"
#include "kelvo_params.h"
#include "kernel_functions.h"
#include "rate_adapter.h"
#include "runtime_diagnostics.h"
#include "sampler_pad_overrides.h"
#include "sampler_velocity.h"
#include "staged_bank.h"
#include "state_document.h"

namespace kelvo {

// The engine's parameters are the rows of the parameter table, by index.
inline constexpr int ENGINE_PARAMETER_COUNT = static_cast<int>(KELVO_PARAM_COUNT);
inline constexpr int KERNEL_CHUNK_FRAMES = 128;
inline constexpr int32_t ENGINE_MAX_BLOCK_FRAMES = 16384;
inline constexpr int MIDI_NOTE_COUNT = 128;

// Why a recalled state's bank cannot be provided.
enum BankRecallOutcome : int32_t {
    BANK_RECALL_NOT_CONTAINED = 2,  // the state names a bank this system does not hold
    BANK_RECALL_HASH_DIFFERS = 3,   // the state names a bank whose manifest digest differs
};

class KernelEngine {
  public:
    // Main thread.
    explicit KernelEngine(const KernelFunctions& kernel = drumKernelFunctions());
    // Main thread.
    ~KernelEngine();
    KernelEngine(const KernelEngine&) = delete;
    KernelEngine& operator=(const KernelEngine&) = delete;

    // Main thread, while the host does not call processBlock.
    bool setup(double sampleRate, int32_t maxBlockFrames);

    // Audio thread.
    void processBlock(const float* const* inputs, int32_t inputChannels, float* const* outputs,
                      int32_t outputChannels, int32_t frames) noexcept;
    // Audio thread; the second input set is ignored.
    void processBlock(const float* const* inputs, int32_t inputChannels,
                      const float* const* secondInputs, int32_t secondInputChannels,
                      float* const* outputs, int32_t outputChannels, int32_t frames) noexcept;
    // Audio thread; false when the index is not a parameter or the queue is full.
    bool pushParamNormalized(uint32_t index, double normalized, int32_t frame) noexcept;
    // Audio thread; false when the queue is full.
    bool pushNoteOn(uint32_t note, double velocity, int32_t frame, uint32_t route,
                    uint32_t channel) noexcept;
    // Audio thread; false when the queue is full.
    bool pushNoteOff(uint32_t note, int32_t frame, uint32_t route, uint32_t channel) noexcept;

    // Any thread.
    static bool kernelTrapped();
    // Any thread.
    static int32_t eventInputCount() { return 1; }
    // Any thread.
    static int32_t eventOutputCount() { return 0; }
    // Any thread.
    static int32_t eventRouteForInput(int32_t) { return 0; }
    // Any thread.
    static bool hasKernel() { return true; }

    // Main thread.
    double paramValue(uint32_t index) const;
    // Main thread (state recall); the kernel gets the value before its next chunk.
    void setParamValue(uint32_t index, double value);
    // Main thread.
    int32_t variation() const { return variation_; }
    // Main thread.
    void setVariation(int32_t value);
    // Any thread.
    uint32_t instanceToken() const { return kernelHandle_; }

    // Main thread.
    void drainRuntimeDiagnostics() { diagnostics_.drainRuntimeDiagnostics(); }
    // Main thread.
    RuntimeDiagnostics& diagnostics() { return diagnostics_; }

    // Main thread.
    bool ready() const { return ready_; }
    // Audio thread, after processBlock.
    bool blockFailed() const { return blockFailed_; }
    // Audio thread, after processBlock.
    bool outputSilent() const { return outputSilent_; }
    // Main thread.
    bool adapterOn() const { return adapterOn_; }
    // Main thread.
    bool adapterFailed() const { return adapterFailed_; }
    // Main thread.
    double sampleRate() const { return sampleRate_; }
    // Main thread.
    RateFraction rate() const { return rate_; }
    // Main thread.
    int32_t maxBlockFrames() const { return maxBlockFrames_; }
    // Main thread: host frames the output lags the host timeline (0 unless
    // the rate adapter is on).
    int32_t latencySamples() const;

    // Sampler support. Published objects are immutable and released only on
    // the main thread; the audio thread reads only the sensitivity table.
    // Main thread: always false, this engine has no sample arena.
    bool publishRuntimeBank(std::shared_ptr<const StagedBank> bank);
    // Main thread: no runtime bank from now on.
    void withdrawRuntimeBank();
    // Main thread: false (nothing changes) for more than 256 entries or an
    // entry with an empty or over-long pad id or an empty mask.
    bool publishSamplerPadOverrides(const SamplerPadOverrides& overrides);
    // Main thread.
    void refreshSamplerPadVelocitySensitivity(const SamplerPadOverrides* overrides,
                                              const StagedBank* bank);
    // Main thread: the table entry of a note (1 for notes above 127).
    float velocitySensitivity(uint32_t note) const;
    // Main thread.
    std::shared_ptr<const StagedBank> publishedRuntimeBank() const { return publishedBank_; }
    // Main thread.
    std::shared_ptr<const SamplerPadOverrides> publishedPadOverrides() const {
        return publishedPads_;
    }
    // Main thread: 0, or BANK_RECALL_NOT_CONTAINED after recording it when
    // the state names a bank.
    int32_t recallSampleBank(const StateChunk& chunk);
    // Main thread.
    void recordBankRecallFailure(int32_t outcome, const char* bankId);
    // Main thread: a failed runtime bank load (null texts count as empty).
    void recordRuntimeBankFailure(int32_t outcome, const char* error, const char* source);

  private:
    using ParameterMask = std::array<bool, ENGINE_PARAMETER_COUNT>;

    bool rejectFormat(double sampleRate, int32_t maxBlockFrames);
    bool reuseKernelInstance(bool adapterWasOn);
    void createKernelInstance();
    bool attachKernelViews();
    void settleKernel();
    void failBlock(float* const* outputs, int32_t outputChannels, int32_t frames, uint32_t code,
                   uint8_t severity) noexcept;
    void flushParameters() noexcept;
    void renderDirect(float* const* outputs, int32_t outputChannels, int32_t frames) noexcept;
    bool renderBehindAdapter(const float* const* inputs, int32_t inputChannels,
                             float* const* outputs, int32_t outputChannels,
                             int32_t frames) noexcept;
    void stampAndSortForAdapter() noexcept;
    ParameterMask mapEventsToKernelFrames() noexcept;
    bool renderAdapterChunks(uint64_t count, const ParameterMask& mask) noexcept;
    void deliverToKernel(const EngineEvent& event, uint32_t frame, bool traced) noexcept;
    void publishDirtyProductParameters(const ParameterMask& mask) noexcept;
    void lookUpVelocityParameters();
    double resolveSamplerVelocity(uint32_t note, double velocity) noexcept;
    void pushProductParameter(uint32_t index, uint32_t frame, double value,
                              const char* source) noexcept;
    void updateSilence(float* const* outputs, int32_t outputChannels, int32_t frames) noexcept;

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
    // The value last seen per parameter (written by both threads) and the
    // value the kernel last accepted; dirty when the two may differ.
    std::array<std::atomic<double>, ENGINE_PARAMETER_COUNT> mirror_;
    std::atomic<bool> dirty_{true};
    std::array<double, ENGINE_PARAMETER_COUNT> shadow_;
    uint32_t kernelHandle_ = 0;
    double kernelHostRate_ = 0.0;  // the host rate the live instance was created for
    float* outputView_ = nullptr;  // two planes of KERNEL_CHUNK_FRAMES floats
    std::atomic<uint32_t> randomState_{0x6D2B79F5u};  // velocity variation; setup restarts it
    int32_t variation_ = 16;
    std::shared_ptr<const StagedBank> publishedBank_;
    std::shared_ptr<const SamplerPadOverrides> publishedPads_;
    // Per note; each entry is written and read whole (a note-on during a
    // publication may see some entries renewed and others not).
    std::array<std::atomic<float>, MIDI_NOTE_COUNT> velocitySensitivity_;
    // Indexes of "velocity.mode", "velocity.fixed" and "velocity.variation"
    // in the parameter table; -1 when it has no such parameter.
    int32_t velocityModeIndex_ = -1;
    int32_t velocityFixedIndex_ = -1;
    int32_t velocityVariationIndex_ = -1;
};

}  // namespace kelvo
