// A scriptable stand-in for the DSP kernel, reached through the same table
// of functions as the real one: it can refuse sample rates, refuse events or
// fail chunks, records every call, and renders a ramp of its own frame
// counter so positions can be checked. Host-side buffers and helpers drive a
// KernelEngine as a host does.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "kernel_engine.h"

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

// Output channels pre-filled with a marker so untouched samples show.
struct HostOutput {
    static constexpr float UNTOUCHED = -123.0f;
    explicit HostOutput(int channels, int frames)
        : data(channels, std::vector<float>(frames, UNTOUCHED)) {
        for (auto& channel : data)
            pointers.push_back(channel.data());
    }
    float* const* channels() { return pointers.data(); }
    int count() const { return static_cast<int>(data.size()); }
    std::vector<std::vector<float>> data;
    std::vector<float*> pointers;
};

// A fresh engine in front of a fake kernel that accepts only acceptedRate
// (0: every rate).
struct FakeRig {
    explicit FakeRig(double acceptedRate = 0) {
        fake.acceptedRate = acceptedRate;
        fake.install();
    }
    FakeKernel fake;
    KernelEngine engine{fakeKernelFunctions()};
};

inline void render(KernelEngine& engine, HostOutput& out, int frames) {
    engine.processBlock(nullptr, 0, out.channels(), out.count(), frames);
}

// Codes of the records stored in the engine's ring, after draining.
inline std::vector<uint32_t> diagnosticCodes(KernelEngine& engine) {
    engine.drainRuntimeDiagnostics();
    const auto& ring = engine.diagnostics().ring();
    std::vector<uint32_t> codes;
    for (uint32_t i = 0; i < ring.count; ++i)
        codes.push_back(ring.records[i].code);
    return codes;
}

}  // namespace kelvo::test
