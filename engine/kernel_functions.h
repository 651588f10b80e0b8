// The engine reaches its DSP kernel only through this table of the kernel's
// eleven C functions and one fact about it. The default is the drum kernel;
// tests substitute kernels that refuse rates, fail blocks or refuse events.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvo {

using KernelPanicSink = void (*)(void* context, const uint8_t* record, size_t length,
                                 uintptr_t site);

struct KernelFunctions {
    uint64_t (*runtimeInit)();
    void (*setPanicSink)(KernelPanicSink sink, void* context);
    double (*abiVersion)();
    uint64_t (*collect)();
    double (*create)(uint32_t maximumFrames, uint32_t inputChannels, uint32_t outputChannels,
                     double sampleRate);
    double (*destroy)(uint32_t handle);
    void (*inputView)(uint32_t handle, float** data, size_t* length);
    void (*outputView)(uint32_t handle, float** data, size_t* length);
    double (*pushEvent)(uint32_t handle, uint32_t kind, uint32_t frame, uint32_t a, double value);
    double (*process)(uint32_t handle, uint32_t frames);
    double (*reset)(uint32_t handle);
    // Silent 128-frame process calls after which a new or reset instance has
    // finished re-rendering for any set of parameter values, at any rate.
    uint32_t settleBlocks;
};

// The drum kernel linked into this library.
const KernelFunctions& drumKernelFunctions();

}  // namespace kelvo
