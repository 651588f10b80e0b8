#include "kernel_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <numeric>
#include <string_view>

#include "engine_trace.h"
#include "kit_tables.h"

namespace kelvo {
namespace {

// The parameter table, the engine's mirror and the kernel's kit table are
// indexed alike, and a new kernel instance starts at the table's defaults.
constexpr bool tableMatchesKernel() {
    for (int i = 0; i < ENGINE_PARAMETER_COUNT; ++i)
        if (paramText(KELVO_PARAMS[i].path) != kernel::DRUM_PARAM_NAMES[i] ||
            KELVO_PARAMS[i].defaultPlain != kernel::DRUM_PARAM_INITIAL[i])
            return false;
    return true;
}
static_assert(ENGINE_PARAMETER_COUNT == kernel::DRUM_PARAM_COUNT, "one parameter count");
static_assert(tableMatchesKernel(), "the parameter table and the kernel's kit table disagree");

constexpr uint32_t KERNEL_EVENT_PARAMETER = 1;
constexpr uint32_t KERNEL_EVENT_NOTE_ON = 2;
constexpr uint32_t KERNEL_EVENT_NOTE_OFF = 3;

constexpr uint32_t kernelEventKind(uint32_t engineKind) {
    switch (engineKind) {
        case ENGINE_EVENT_PARAMETER:
            return KERNEL_EVENT_PARAMETER;
        case ENGINE_EVENT_NOTE_ON:
            return KERNEL_EVENT_NOTE_ON;
        default:
            return KERNEL_EVENT_NOTE_OFF;
    }
}

std::atomic<bool> trappedFlag{false};

// The kernel calls this with its trap record just before it ends the
// process: report it and never call back into the kernel.
void panicSink(void*, const uint8_t* record, size_t length, uintptr_t) {
    trappedFlag.store(true);
    std::fprintf(stderr, "kelvo-plugin-shell: trelc trap: %.*s\n", static_cast<int>(length),
                 reinterpret_cast<const char*>(record));
}

// Each kernel is initialised once per process, before its first instance.
// Hosts set up instances from more than one thread, so the guard is locked
// (setup never runs on the audio thread).
void initialiseKernelOnce(const KernelFunctions& kernel) {
    static std::mutex guard;
    static std::array<uint64_t (*)(), 8> initialised{};
    const std::lock_guard lock(guard);
    for (auto* done : initialised)
        if (done == kernel.runtimeInit) return;
    for (auto& slot : initialised)
        if (slot == nullptr) {
            slot = kernel.runtimeInit;
            break;
        }
    kernel.setPanicSink(panicSink, nullptr);
    kernel.runtimeInit();
}

void zeroChannels(float* const* outputs, int32_t channels, int32_t offset,
                  int32_t frames) noexcept {
    if (outputs == nullptr || frames <= 0) return;
    for (int32_t c = 0; c < channels; ++c)
        if (outputs[c] != nullptr) std::memset(outputs[c] + offset, 0, sizeof(float) * frames);
}

}  // namespace

KernelEngine::KernelEngine(const KernelFunctions& kernel) : kernel_(kernel) {
    lookUpVelocityParameters();
    for (int i = 0; i < ENGINE_PARAMETER_COUNT; ++i) {
        mirror_[i].store(KELVO_PARAMS[i].defaultPlain, std::memory_order_relaxed);
        shadow_[i] = KELVO_PARAMS[i].defaultPlain;
    }
}

KernelEngine::~KernelEngine() {
    if (kernelHandle_ != 0) kernel_.destroy(kernelHandle_);
}

bool KernelEngine::kernelTrapped() {
    return trappedFlag.load();
}

double KernelEngine::paramValue(uint32_t index) const {
    return index < ENGINE_PARAMETER_COUNT ? mirror_[index].load(std::memory_order_relaxed) : 0.0;
}

void KernelEngine::setParamValue(uint32_t index, double value) {
    if (index >= ENGINE_PARAMETER_COUNT) return;
    mirror_[index].store(value, std::memory_order_relaxed);
    dirty_.store(true);  // after the value, so the audio thread never misses it
}

void KernelEngine::setVariation(int32_t value) {
    variation_ = std::clamp(value, 0, 19);
}

int32_t KernelEngine::latencySamples() const {
    if (!adapterOn_ || sampleRate_ == RateAdapter::KERNEL_RATE) return 0;
    return RateAdapter::latencyFrames(sampleRate_);
}

bool KernelEngine::rejectFormat(double sampleRate, int32_t maxBlockFrames) {
    diagnostics_.recordDiagnostic(DIAGNOSTIC_INVALID_CONFIGURATION, DIAGNOSTIC_SEVERITY_ERROR,
                                  DIAGNOSTIC_PHASE_CONFIGURE,
                                  "host processing configuration is invalid", nullptr);
    std::fprintf(stderr,
                 "kelvo-plugin-shell: rejected host format (sampleRate=%.9g, maxBlockFrames=%d)\n",
                 sampleRate, maxBlockFrames);
    if (maxBlockFrames > ENGINE_MAX_BLOCK_FRAMES)
        std::fprintf(stderr,
                     "kelvo-plugin-shell: maxBlockFrames exceeds the %d-frame ceiling; render long "
                     "fixtures as a LOOP of <=%d-frame blocks rather than declaring the whole "
                     "fixture as one block\n",
                     ENGINE_MAX_BLOCK_FRAMES, ENGINE_MAX_BLOCK_FRAMES);
    return false;
}

bool KernelEngine::setup(double sampleRate, int32_t maxBlockFrames) {
    ready_ = false;
    blockFailed_ = false;
    outputSilent_ = true;
    if (!std::isfinite(sampleRate) || sampleRate < 0.000001 || sampleRate > 4000000)
        return rejectFormat(sampleRate, maxBlockFrames);
    // The rate as an exact fraction of micro-hertz, rounded half away from zero.
    const double micro = std::round(sampleRate * 1000000);
    if (!std::isfinite(micro) || micro < 1 || micro > 18446744073709551615.0)
        return rejectFormat(sampleRate, maxBlockFrames);
    const auto microHertz = static_cast<uint64_t>(micro);
    const uint64_t divisor = std::gcd(microHertz, uint64_t{1000000});
    const RateFraction rate{microHertz / divisor, 1000000 / divisor};
    if (maxBlockFrames < 1 || maxBlockFrames > ENGINE_MAX_BLOCK_FRAMES ||
        !std::isfinite(rate.value()))
        return rejectFormat(sampleRate, maxBlockFrames);

    rate_ = rate;
    sampleRate_ = rate.value();
    maxBlockFrames_ = maxBlockFrames;
    const uint64_t capacity = RateAdapter::capacityFor(rate, maxBlockFrames);
    if (capacity > RateAdapter::MAX_CAPACITY) {
        diagnostics_.recordDiagnostic(DIAGNOSTIC_INVALID_CONFIGURATION, DIAGNOSTIC_SEVERITY_ERROR,
                                      DIAGNOSTIC_PHASE_CONFIGURE,
                                      "host rate requires unsupported SRC FIFO capacity", nullptr);
        return false;
    }
    adapter_.configure(rate, capacity);
    adapterFailed_ = false;
    const bool adapterWasOn = adapterOn_;
    adapterOn_ = false;
    queue_.clear();
    dirty_.store(true);
    randomState_.store(0x6D2B79F5u);

    initialiseKernelOnce(kernel_);
    if (!reuseKernelInstance(adapterWasOn)) {
        if (kernelHandle_ != 0) kernel_.destroy(kernelHandle_);
        kernelHandle_ = 0;
        createKernelInstance();
    }
    if (!attachKernelViews()) return false;
    settleKernel();
    return true;
}

// Hosts deactivate and re-activate around every export: an instance already
// running at this rate is reset (voices and queue cleared) instead of being
// rebuilt from the defaults.
bool KernelEngine::reuseKernelInstance(bool adapterWasOn) {
    if (kernelHandle_ == 0 || kernelHostRate_ != sampleRate_) return false;
    if (kernel_.reset(kernelHandle_) != 0) return false;
    adapterOn_ = adapterWasOn;
    return true;
}

void KernelEngine::createKernelInstance() {
    kernelHandle_ = static_cast<uint32_t>(kernel_.create(KERNEL_CHUNK_FRAMES, 0, 2, sampleRate_));
    if (kernelHandle_ == 0) {
        kernelHandle_ = static_cast<uint32_t>(kernel_.create(
            KERNEL_CHUNK_FRAMES, 0, 2, static_cast<double>(RateAdapter::KERNEL_RATE)));
        adapterOn_ = kernelHandle_ != 0 && sampleRate_ != RateAdapter::KERNEL_RATE;
    }
    kernelHostRate_ = kernelHandle_ != 0 ? sampleRate_ : 0.0;
    if (std::FILE* trace = openEngineTrace()) {
        std::fprintf(trace, "S this=%p rate=%.17g kernelRate=%.17g handle=%u\n",
                     static_cast<void*>(this), sampleRate_, sampleRate_, kernelHandle_);
        std::fflush(trace);
    }
    if (kernelHandle_ == 0)
        diagnostics_.recordDiagnostic(DIAGNOSTIC_KERNEL_CREATE_FAILED, DIAGNOSTIC_SEVERITY_FATAL,
                                      DIAGNOSTIC_PHASE_CONFIGURE,
                                      "product kernel instance creation failed", nullptr);
}

// The engine needs both views, though the kernel takes no audio input; only
// the output view (two chunk-long planes) is read.
bool KernelEngine::attachKernelViews() {
    outputView_ = nullptr;
    if (kernelHandle_ != 0) {
        // A new or reset instance holds the kernel's defaults.
        for (int i = 0; i < ENGINE_PARAMETER_COUNT; ++i)
            shadow_[i] = KELVO_PARAMS[i].defaultPlain;
        float* inputView = nullptr;
        size_t inputLength = 0, outputLength = 0;
        kernel_.inputView(kernelHandle_, &inputView, &inputLength);
        kernel_.outputView(kernelHandle_, &outputView_, &outputLength);
        if (inputView != nullptr && outputView_ != nullptr &&
            outputLength > 2 * KERNEL_CHUNK_FRAMES - 1) {
            ready_ = true;
            return true;
        }
    }
    ready_ = false;
    diagnostics_.recordDiagnostic(DIAGNOSTIC_ENGINE_UNAVAILABLE, DIAGNOSTIC_SEVERITY_FATAL,
                                  DIAGNOSTIC_PHASE_CONFIGURE,
                                  "kernel runtime is unavailable after setup", nullptr);
    std::fprintf(stderr, "kelvo-plugin-shell: kernel setup failed at %.9g Hz\n", sampleRate_);
    return false;
}

// The instance is handed the current values and re-renders now, on the main
// thread, while no note is queued: the first block after activation already
// sounds as the session was left instead of playing default pieces while the
// changed ones re-render block by block.
void KernelEngine::settleKernel() {
    publishDirtyProductParameters(ParameterMask{});
    for (uint32_t i = 0; i < kernel_.settleBlocks; ++i)
        if (kernel_.process(kernelHandle_, KERNEL_CHUNK_FRAMES) != 0) break;
}

void KernelEngine::failBlock(float* const* outputs, int32_t outputChannels, int32_t frames,
                             uint32_t code, uint8_t severity) noexcept {
    zeroChannels(outputs, outputChannels, 0, frames);
    queue_.clear();
    blockFailed_ = true;
    outputSilent_ = true;
    diagnostics_.recordRealtimeDiagnostic(code, severity, DIAGNOSTIC_PHASE_PROCESS);
}

void KernelEngine::processBlock(const float* const* inputs, int32_t inputChannels,
                                const float* const*, int32_t, float* const* outputs,
                                int32_t outputChannels, int32_t frames) noexcept {
    processBlock(inputs, inputChannels, outputs, outputChannels, frames);
}

// Setup leaves the engine ready only with a kernel instance and its views.
void KernelEngine::processBlock(const float* const* inputs, int32_t inputChannels,
                                float* const* outputs, int32_t outputChannels,
                                int32_t frames) noexcept {
    if (!ready_)
        return failBlock(outputs, outputChannels, frames, DIAGNOSTIC_PROCESS_FAILED,
                         DIAGNOSTIC_SEVERITY_FATAL);
    blockFailed_ = false;
    outputSilent_ = false;
    if (frames < 1) return flushParameters();
    if (outputChannels < 1 || outputs == nullptr || frames > maxBlockFrames_)
        return failBlock(outputs, outputChannels, frames, DIAGNOSTIC_PROCESS_FAILED,
                         DIAGNOSTIC_SEVERITY_ERROR);
    if (!adapterOn_ || sampleRate_ == RateAdapter::KERNEL_RATE)
        return renderDirect(outputs, outputChannels, frames);
    if (!adapterFailed_ &&
        renderBehindAdapter(inputs, inputChannels, outputs, outputChannels, frames))
        return;
    if (!adapterFailed_) {
        adapter_.reset();
        adapterFailed_ = true;
    }
    failBlock(outputs, outputChannels, frames, DIAGNOSTIC_RATE_ADAPTER_FAILED,
              DIAGNOSTIC_SEVERITY_ERROR);
}

// A block of no frames: parameter values reach the mirror, nothing reaches
// the kernel.
void KernelEngine::flushParameters() noexcept {
    queue_.sortByFrame();
    for (int32_t i = 0; i < queue_.size(); ++i)
        if (queue_[i].kind == ENGINE_EVENT_PARAMETER)
            mirror_[queue_[i].index].store(queue_[i].value, std::memory_order_relaxed);
    queue_.clear();
}

void KernelEngine::renderDirect(float* const* outputs, int32_t outputChannels,
                                int32_t frames) noexcept {
    queue_.sortByFrame();
    ParameterMask mask{};
    for (int32_t i = 0; i < queue_.size(); ++i)
        if (queue_[i].kind == ENGINE_EVENT_PARAMETER && queue_[i].frame == 0)
            mask[queue_[i].index] = true;

    for (int32_t offset = 0; offset < frames; offset += KERNEL_CHUNK_FRAMES) {
        const int32_t chunk = std::min(KERNEL_CHUNK_FRAMES, frames - offset);
        if (std::FILE* trace = engineTrace()) {
            const uint64_t block = offset == 0 ? advanceTraceBlock() : traceBlock();
            std::fprintf(trace, "B this=%p blk=%llu off=%d chunk=%d frames=%d events=%d\n",
                         static_cast<void*>(this), static_cast<unsigned long long>(block), offset,
                         chunk, frames, queue_.size());
        }
        // Only the first chunk carries the frame-0 events the mask stands for;
        // a value refused there goes out again with the next chunk.
        publishDirtyProductParameters(offset == 0 ? mask : ParameterMask{});
        for (int32_t i = 0; i < queue_.size(); ++i) {
            const EngineEvent& event = queue_[i];
            if (event.frame >= offset && event.frame < offset + chunk)
                deliverToKernel(event, static_cast<uint32_t>(event.frame - offset), true);
        }
        if (std::FILE* trace = engineTrace()) std::fflush(trace);

        if (kernel_.process(kernelHandle_, static_cast<uint32_t>(chunk)) != 0) {
            blockFailed_ = true;
            diagnostics_.recordRealtimeDiagnostic(
                DIAGNOSTIC_PROCESS_FAILED, DIAGNOSTIC_SEVERITY_ERROR, DIAGNOSTIC_PHASE_PROCESS);
            zeroChannels(outputs, outputChannels, offset, chunk);
            continue;
        }
        for (int32_t c = 0; c < outputChannels; ++c) {
            if (outputs[c] == nullptr) continue;
            const float* plane = outputView_ + (c == 1 ? KERNEL_CHUNK_FRAMES : 0);
            std::memcpy(outputs[c] + offset, plane, sizeof(float) * chunk);
        }
    }
    // Hosts place automation points one past the block (the next block's
    // start): keep such a value so the kernel has it before the next block.
    for (int32_t i = 0; i < queue_.size(); ++i)
        if (queue_[i].kind == ENGINE_EVENT_PARAMETER && queue_[i].frame >= frames) {
            mirror_[queue_[i].index].store(queue_[i].value, std::memory_order_relaxed);
            dirty_.store(true);
        }
    queue_.clear();
    updateSilence(outputs, outputChannels, frames);
}

void KernelEngine::updateSilence(float* const* outputs, int32_t outputChannels,
                                 int32_t frames) noexcept {
    outputSilent_ = true;
    for (int32_t c = 0; c < outputChannels && outputSilent_; ++c) {
        if (outputs[c] == nullptr) continue;
        for (int32_t i = 0; i < frames; ++i)
            if (outputs[c][i] != 0.0f) {
                outputSilent_ = false;
                break;
            }
    }
}

void KernelEngine::deliverToKernel(const EngineEvent& event, uint32_t frame, bool traced) noexcept {
    if (event.kind == ENGINE_EVENT_PARAMETER) {
        mirror_[event.index].store(event.value, std::memory_order_relaxed);
        pushProductParameter(event.index, frame, event.value, "queue");
        return;
    }
    const uint32_t kind = kernelEventKind(event.kind);
    const double status = kernel_.pushEvent(kernelHandle_, kind, frame, event.note, event.value);
    if (!traced) return;
    if (std::FILE* trace = engineTrace())
        std::fprintf(trace,
                     "E this=%p blk=%llu frame=%u kind=%d a=%u value=%.17g src=queue status=%g\n",
                     static_cast<void*>(this), static_cast<unsigned long long>(traceBlock()), frame,
                     static_cast<int>(kind), event.note, event.value, status);
    if (status != 0)
        diagnostics_.recordRealtimeDiagnostic(DIAGNOSTIC_EVENT_REJECTED, DIAGNOSTIC_SEVERITY_ERROR,
                                              DIAGNOSTIC_PHASE_PROCESS);
}

void KernelEngine::pushProductParameter(uint32_t index, uint32_t frame, double value,
                                        const char* source) noexcept {
    const double status =
        kernel_.pushEvent(kernelHandle_, KERNEL_EVENT_PARAMETER, frame, index, value);
    if (std::FILE* trace = engineTrace())
        std::fprintf(trace,
                     "E this=%p blk=%llu frame=%u kind=1 a=%u value=%.17g src=%s status=%g\n",
                     static_cast<void*>(this), static_cast<unsigned long long>(traceBlock()), frame,
                     index, value, source, status);
    if (status == 0)
        shadow_[index] = value;
    else
        dirty_.store(true);  // sent again before the next chunk
}

void KernelEngine::publishDirtyProductParameters(const ParameterMask& mask) noexcept {
    if (!dirty_.exchange(false)) return;
    for (uint32_t i = 0; i < ENGINE_PARAMETER_COUNT; ++i) {
        if (mask[i]) continue;
        const double value = mirror_[i].load(std::memory_order_relaxed);
        if (shadow_[i] != value) pushProductParameter(i, 0, value, "republish");
    }
}

bool KernelEngine::pushParamNormalized(uint32_t index, double normalized, int32_t frame) noexcept {
    if (index >= ENGINE_PARAMETER_COUNT) return false;
    const double plain = paramToPlain(KELVO_PARAMS[index], normalized);
    return queue_.push({ENGINE_EVENT_PARAMETER, frame, index, plain, 0, 0, false});
}

// Route and channel are part of the host's event shape; the kernel takes
// neither. A full queue refuses the note before its velocity is resolved.
bool KernelEngine::pushNoteOn(uint32_t note, double velocity, int32_t frame, uint32_t,
                              uint32_t) noexcept {
    if (queue_.size() >= EventQueue::CAPACITY) return false;
    const double resolved = resolveSamplerVelocity(note, velocity);
    return queue_.push({ENGINE_EVENT_NOTE_ON, frame, 0, resolved, note, 0, false});
}

bool KernelEngine::pushNoteOff(uint32_t note, int32_t frame, uint32_t, uint32_t) noexcept {
    return queue_.push({ENGINE_EVENT_NOTE_OFF, frame, 0, 0.0, note, 0, false});
}

}  // namespace kelvo
