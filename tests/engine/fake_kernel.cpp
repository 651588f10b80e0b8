#include "engine_fixture.h"

namespace kelvo::test {
namespace {

FakeKernel* current = nullptr;
KernelPanicSink panicSink = nullptr;
float emptyInput[1];

double create(uint32_t, uint32_t, uint32_t, double rate) {
    current->createRates.push_back(rate);
    if (current->acceptedRate != 0 && rate != current->acceptedRate) return 0;
    return ++current->creates;
}

double pushEvent(uint32_t, uint32_t kind, uint32_t frame, uint32_t a, double value) {
    if (kind != 1 && current->refuseNotes) return 2;
    if (kind == 1 && current->refuseParameterPushes > 0) {
        --current->refuseParameterPushes;
        return 3;
    }
    current->events.push_back({kind, frame, a, value, static_cast<int>(current->chunks.size())});
    return 0;
}

double process(uint32_t, uint32_t frames) {
    const int chunk = static_cast<int>(current->chunks.size());
    current->chunks.push_back(frames);
    if (chunk == current->failChunk) return 2;
    for (uint32_t i = 0; i < frames; ++i) {
        const auto ramp = static_cast<float>(current->renderedFrames + i + 1);
        current->output[i] = ramp;
        current->output[128 + i] = -ramp;
    }
    current->renderedFrames += frames;
    return 0;
}

}  // namespace

void FakeKernel::install() {
    current = this;
}

KernelPanicSink fakeKernelPanicSink() {
    return panicSink;
}

const KernelFunctions& fakeKernelFunctions() {
    static constexpr KernelFunctions fake{
        [] { return uint64_t{0}; },
        [](KernelPanicSink sink, void*) { panicSink = sink; },
        [] { return 2.0; },
        [] { return uint64_t{0}; },
        create,
        [](uint32_t) { return 0.0; },
        [](uint32_t, float** data, size_t* length) { *data = emptyInput, *length = 0; },
        [](uint32_t, float** data, size_t* length) { *data = current->output, *length = 256; },
        pushEvent,
        process,
        [](uint32_t) { return 0.0; },
        0};
    return fake;
}

}  // namespace kelvo::test
