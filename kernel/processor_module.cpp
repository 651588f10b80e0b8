#include "processor_module.h"

#include <cmath>

#include "drum_voices.h"
#include "render_cache.h"
#include "script_math.h"

namespace kelvo::kernel {

std::unique_ptr<DrumProcessorState> createState() {
    auto state = std::make_unique<DrumProcessorState>();
    state->synth = initDrumSynthVoice(48000);
    return state;
}

bool prepare(DrumProcessorState& state, const ProcessorConfig& config) {
    state.prepared = false;
    if (!std::isfinite(config.sampleRate) || !(config.sampleRate > 0) ||
        config.maximumBlockSize != DRUM_SYNTH_MAX_FRAMES || config.inputChannels != 0 ||
        config.outputChannels != DRUM_SYNTH_OUTPUT_CHANNELS)
        return false;
    // Release the old synth before building the new one: an instance never
    // holds two.
    state.synth.reset();
    state.synth = initDrumSynthVoice(config.sampleRate);
    drumSynthInvalidateAllRows(*state.synth);
    drumSynthRenderAllPending(*state.synth);
    state.prepared = true;
    return true;
}

bool setParameterByIndex(DrumProcessorState& state, int64_t index, double value) {
    if (index < 0 || index >= DRUM_PARAM_COUNT || !std::isfinite(value)) return false;
    DrumSynth& synth = *state.synth;
    if (synth.parameters[index] == value) return true;
    synth.parameters[index] = value;
    invalidateChangedPieces(synth);
    return true;
}

bool setParameter(DrumProcessorState& state, std::string_view name, double value) {
    return setParameterByIndex(state, drumParamIndex(name), value);
}

int mapNoteToPiece(double note) {
    double rounded = jsRound(note);
    for (int p = 0; p < DRUM_PIECE_COUNT; ++p)
        if (PIECE_NOTE[p] == rounded) return p;
    double wrapped = std::fmod(std::fmod(rounded - 60, 10) + 10, 10);
    return static_cast<int>(wrapped);
}

bool handleEvent(DrumProcessorState& state, int kind, double a, double value) {
    if (!std::isfinite(a) || !std::isfinite(value)) return false;
    if (kind != PROCESSOR_EVENT_NOTE_ON && kind != PROCESSOR_EVENT_NOTE_OFF) return false;
    if (a < 0 || a > 127) return false;
    // Drum sounds always play out: a note-off changes nothing.
    if (kind == PROCESSOR_EVENT_NOTE_OFF) return true;
    strikePiece(*state.synth, mapNoteToPiece(a), jsMin(1, jsMax(0, value)));
    return true;
}

bool process(DrumProcessorState& state, const ProcessorBlock& block) {
    const uint64_t end = uint64_t{block.frameOffset} + block.frameCount;
    if (!state.prepared || block.inputChannels != 0 ||
        block.outputChannels != DRUM_SYNTH_OUTPUT_CHANNELS || block.frameCapacity < 1 ||
        block.frameCount > DRUM_SYNTH_MAX_FRAMES || end > DRUM_SYNTH_MAX_FRAMES ||
        end > block.frameCapacity || block.output == nullptr ||
        block.outputLength < 2 * uint64_t{block.frameCapacity})
        return false;
    DrumSynth& synth = *state.synth;
    drumSynthAdvanceRender(synth);

    double sum[DRUM_SYNTH_MAX_FRAMES] = {};
    mixVoices(synth, sum, block.frameCount);
    float* left = block.output + block.frameOffset;
    float* right = block.output + block.frameCapacity + block.frameOffset;
    for (uint32_t i = 0; i < block.frameCount; ++i) {
        // Both channels carry the same mono mix; no master gain or limiting.
        left[i] = static_cast<float>(sum[i]);
        right[i] = left[i];
    }
    return true;
}

void reset(DrumProcessorState& state) {
    DrumSynth& synth = *state.synth;
    resetVoices(synth);
    drumSynthInvalidateAllRows(synth);
    synth.publishedLength.fill(0);
    synth.publishedBank.fill(0);
    synth.cacheKeys.fill(0);
    synth.strikeCounter = 0;
    drumSynthRenderAllPending(synth);
}

}  // namespace kelvo::kernel
