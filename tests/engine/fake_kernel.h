// A scriptable stand-in for the DSP kernel, reached through the same table
// of functions as the real one: it can refuse sample rates, refuse events or
// fail chunks, records every call, and renders a ramp of its own frame
// counter so positions can be checked.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "kernel_functions.h"

namespace kelvo::test {

struct FakeKernelEvent {
    uint32_t kind, frame, a;
    double value;
    int chunk;  // index of the process call the event was queued for
    bool operator==(const FakeKernelEvent&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const FakeKernelEvent& e) {
    return os << "{kind " << e.kind << ", frame " << e.frame << ", a " << e.a << ", value "
              << e.value << ", chunk " << e.chunk << "}";
}

struct FakeKernel {
    double acceptedRate = 0;        // 0: every rate; otherwise only this one
    bool refuseNotes = false;       // push_event of kinds 2 and 3 returns 2
    int refuseParameterPushes = 0;  // refuses this many parameter pushes, then accepts
    int failChunk = -1;             // process call (0-based) that returns 2
    bool constantOutput = false;    // 1.0 on both planes instead of the ramp

    int creates = 0;
    std::vector<double> createRates;
    std::vector<FakeKernelEvent> events;
    std::vector<uint32_t> chunks;  // frames of each process call
    uint64_t renderedFrames = 0;
    float output[256] = {};

    // Installs this fake as the kernel behind fakeKernelFunctions().
    void install();
};

const KernelFunctions& fakeKernelFunctions();
// The panic sink an engine handed to the fake kernel (once per process).
KernelPanicSink fakeKernelPanicSink();

}  // namespace kelvo::test
