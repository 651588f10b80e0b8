#include "fake_kernel.h"

namespace kelvo::test {
namespace {

FakeKernel* current = nullptr;
KernelPanicSink panicSink = nullptr;
float emptyInput[1];

uint64_t runtimeInit() {
    return 0;
}
void setPanicSink(KernelPanicSink sink, void*) {
    panicSink = sink;
}
double abiVersion() {
    return 2;
}
uint64_t collect() {
    return 0;
}

double create(uint32_t, uint32_t, uint32_t, double rate) {
    current->createRates.push_back(rate);
    if (current->acceptedRate != 0 && rate != current->acceptedRate) return 0;
    return ++current->creates;
}

double destroy(uint32_t) {
    return 0;
}

void inputView(uint32_t, float** data, size_t* length) {
    *data = emptyInput;
    *length = 0;
}

void outputView(uint32_t, float** data, size_t* length) {
    *data = current->output;
    *length = 256;
}

double pushEvent(uint32_t, uint32_t kind, uint32_t frame, uint32_t a, double value) {
    if ((kind == 1 && current->refuseParameters) || (kind != 1 && current->refuseNotes)) return 2;
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
    if (current->failEveryChunk || chunk == current->failChunk) return 2;
    for (uint32_t i = 0; i < frames; ++i) {
        const auto ramp = static_cast<float>(current->renderedFrames + i + 1);
        current->output[i] = current->constantOutput ? 1.0f : ramp;
        current->output[128 + i] = current->constantOutput ? 1.0f : -ramp;
    }
    current->renderedFrames += frames;
    return 0;
}

double reset(uint32_t) {
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
    static constexpr KernelFunctions fake{runtimeInit, setPanicSink, abiVersion, collect,
                                          create,      destroy,      inputView,  outputView,
                                          pushEvent,   process,      reset,      0};
    return fake;
}

}  // namespace kelvo::test
