// Rendering behind the sample-rate adapter: the kernel runs on its own 48 kHz
// clock, scheduled up to the adapter's look-ahead behind the newest host
// frame, events land on their exact kernel frames, and the output is
// interpolated back to the host rate.
#include <algorithm>

#include "kernel_engine.h"

namespace kelvo {

void KernelEngine::stampAndSortForAdapter() noexcept {
    for (int32_t i = 0; i < queue_.size(); ++i) {
        EngineEvent& event = queue_[i];
        if (event.stamped) continue;  // left over from an earlier call
        event.stamp = adapter_.hostPosition() + static_cast<uint64_t>(std::max(event.frame, 0));
        event.stamped = true;
    }
    queue_.sortByStamp();
}

// Gives every queued event its kernel frame and returns the parameters the
// queue sets at kernel frame 0, which the first republish leaves alone.
KernelEngine::ParameterMask KernelEngine::mapEventsToKernelFrames() noexcept {
    ParameterMask mask{};
    for (int32_t i = 0; i < queue_.size(); ++i) {
        eventKernelFrames_[i] = adapter_.kernelFrameOfStamp(queue_[i].stamp);
        delivered_[i] = false;
        if (queue_[i].kind == ENGINE_EVENT_PARAMETER && eventKernelFrames_[i] == 0)
            mask[queue_[i].index] = true;
    }
    return mask;
}

bool KernelEngine::renderAdapterChunks(uint64_t count, const ParameterMask& mask) noexcept {
    bool failed = false;
    for (uint64_t done = 0; done < count;) {
        const uint64_t n = std::min<uint64_t>(KERNEL_CHUNK_FRAMES, count - done);
        const uint64_t start = adapter_.kernelPosition();
        // The mask stands for events at kernel frame 0: only the very first
        // chunk carries them.
        publishDirtyProductParameters(start == 0 ? mask : ParameterMask{});
        for (int32_t i = 0; i < queue_.size(); ++i) {
            // Events whose position has passed go out at the chunk's first frame.
            const uint64_t at = std::max(eventKernelFrames_[i], start);
            if (delivered_[i] || at >= start + n) continue;
            deliverToKernel(queue_[i], static_cast<uint32_t>(at - start), false);
            delivered_[i] = true;
        }
        if (kernel_.process(kernelHandle_, static_cast<uint32_t>(n)) == 0) {
            if (!adapter_.appendKernelOutput(outputView_, outputView_ + KERNEL_CHUNK_FRAMES, n))
                return false;
        } else {
            adapter_.skipKernelFrames(n);
            failed = true;  // the remaining chunks still run; the block fails at the end
        }
        done += n;
    }
    return !failed;
}

bool KernelEngine::renderBehindAdapter(const float* const* inputs, int32_t inputChannels,
                                       float* const* outputs, int32_t outputChannels,
                                       int32_t frames) noexcept {
    stampAndSortForAdapter();
    if (!adapter_.appendInput(inputs, inputChannels, frames)) return false;
    const uint64_t count = adapter_.schedulableFrames();
    if (!renderAdapterChunks(count, mapEventsToKernelFrames())) return false;
    adapter_.readOutput(outputs, outputChannels, frames);

    int32_t index = 0;
    queue_.retain([&](const EngineEvent&) { return !delivered_[index++]; });
    updateSilence(outputs, outputChannels, frames);
    return true;
}

}  // namespace kelvo
