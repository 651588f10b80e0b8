// Host-side buffers and helpers for driving a KernelEngine as a host does.
#pragma once

#include <cmath>
#include <vector>

#include "fake_kernel.h"
#include "kernel_engine.h"

namespace kelvo::test {

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
