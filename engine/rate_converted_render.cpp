// Rendering behind the sample-rate adapter: the kernel runs on its own 48 kHz
// clock, scheduled up to 16 host frames behind the newest host frame, events
// land on their exact kernel frames, and the output is interpolated back to
// the host rate.
#include <algorithm>
#include <cstring>

#include "kernel_engine.h"

namespace kelvo {

void KernelEngine::stampAndSortForAdapter() {
    for (int32_t i = 0; i < queue_.size(); ++i) {
        EngineEvent& event = queue_[i];
        if (event.stamped) continue;  // left over from an earlier call
        event.stamp = adapter_.hostInPos + static_cast<uint64_t>(std::max(event.frame, 0));
        event.stamped = true;
    }
    queue_.sortByStamp();
}

bool KernelEngine::appendAdapterInput(const float* const* inputs, int32_t inputChannels,
                                      int32_t frames) {
    RateAdapter& a = adapter_;
    if (a.inFill + static_cast<uint64_t>(frames) > a.capacity) return false;
    for (int32_t p = 0; p < 2; ++p) {
        float* target = a.input[p].data() + a.inFill;
        const float* source = inputs != nullptr && p < inputChannels ? inputs[p] : nullptr;
        if (source != nullptr)
            std::memcpy(target, source, sizeof(float) * frames);
        else
            std::memset(target, 0, sizeof(float) * frames);
    }
    a.inFill += static_cast<uint64_t>(frames);
    return true;
}

bool KernelEngine::renderAdapterChunks(uint64_t count, const ParameterMask& mask) {
    RateAdapter& a = adapter_;
    bool failed = false;
    for (uint64_t done = 0; done < count;) {
        const uint64_t n = std::min<uint64_t>(KERNEL_CHUNK_FRAMES, count - done);
        const uint64_t start = a.kernelPos;
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
            if (a.outFill + n > a.capacity) return false;
            for (int p = 0; p < 2; ++p)
                std::memcpy(a.output[p].data() + a.outFill, outputView_ + p * KERNEL_CHUNK_FRAMES,
                            sizeof(float) * n);
            a.outFill += n;
        } else {
            failed = true;  // the remaining chunks still run; the block fails at the end
        }
        a.kernelPos += n;
        done += n;
    }
    return !failed;
}

bool KernelEngine::processHandleV2RateConverted(const float* const* inputs, int32_t inputChannels,
                                                float* const* outputs, int32_t outputChannels,
                                                int32_t frames) {
    if (frames < 1 || outputChannels < 1 || outputs == nullptr || frames > maxBlockFrames_ ||
        kernelHandle_ == 0 || inputView_ == nullptr || outputView_ == nullptr)
        return false;
    RateAdapter& a = adapter_;
    stampAndSortForAdapter();
    a.trimInput(std::max<int64_t>(a.hostFrameOf(a.kernelInPos) - 16, 0));
    a.trimOutput(std::max<int64_t>(a.sourceOf(a.hostOutPos).frame - 16, 0));
    if (!appendAdapterInput(inputs, inputChannels, frames)) return false;
    const uint64_t count = a.schedulableFrames(a.capacity);
    a.kernelInPos += count;

    ParameterMask mask{};
    for (int32_t i = 0; i < queue_.size(); ++i) {
        eventKernelFrames_[i] = a.kernelFrameOfStamp(queue_[i].stamp);
        delivered_[i] = false;
        if (queue_[i].kind == ENGINE_EVENT_PARAMETER && eventKernelFrames_[i] == 0 &&
            queue_[i].index < ENGINE_PARAMETER_COUNT)
            mask[queue_[i].index] = true;
    }
    if (!renderAdapterChunks(count, mask)) return false;

    SourceCursor cursor = a.cursorAt(a.hostOutPos);
    for (int32_t i = 0; i < frames; ++i, a.advance(cursor)) {
        const KernelSource source = a.sourceAt(cursor);
        for (int32_t c = 0; c < outputChannels; ++c)
            if (outputs[c] != nullptr) outputs[c][i] = a.interpolate(c == 1 ? 1 : 0, source);
    }
    a.hostInPos += static_cast<uint64_t>(frames);
    a.hostOutPos += static_cast<uint64_t>(frames);
    a.trimOutput(std::max<int64_t>(a.sourceOf(a.hostOutPos).frame - 16, 0));

    int32_t index = 0;
    queue_.retain([&](const EngineEvent&) { return !delivered_[index++]; });
    updateSilence(outputs, outputChannels, frames);
    return true;
}

}  // namespace kelvo
