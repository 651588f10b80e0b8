// The drum machine behind the kernel interface: one synth per instance,
// parameter changes turned into cache invalidations, note-ons into strikes,
// and sub-blocks rendered by one background render step plus the voice mix.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "drum_synth.h"

namespace kelvo::kernel {

inline constexpr uint32_t DRUM_SYNTH_MAX_FRAMES = 128;
inline constexpr uint32_t DRUM_SYNTH_OUTPUT_CHANNELS = 2;
inline constexpr int PROCESSOR_EVENT_NOTE_ON = 2;
inline constexpr int PROCESSOR_EVENT_NOTE_OFF = 3;

struct DrumProcessorState {
    bool prepared = false;
    std::unique_ptr<DrumSynth> synth;
};

struct ProcessorConfig {
    uint32_t inputChannels;
    uint32_t maximumBlockSize;
    uint32_t outputChannels;
    double sampleRate;
};

// One sub-block: the module fills frames [frameOffset, frameOffset +
// frameCount) of each planar channel, channel c starting at c * frameCapacity.
struct ProcessorBlock {
    uint32_t frameCapacity = 0;
    uint32_t frameCount = 0;
    uint32_t frameOffset = 0;
    const float* input = nullptr;
    uint32_t inputChannels = 0;
    float* output = nullptr;
    size_t outputLength = 0;
    uint32_t outputChannels = 0;
};

std::unique_ptr<DrumProcessorState> createState();
bool prepare(DrumProcessorState& state, const ProcessorConfig& config);
// Stores a finite value for a known parameter (by index, or by its exact
// name) and marks the pieces it changes; false refuses the change.
bool setParameterByIndex(DrumProcessorState& state, int64_t index, double value);
bool setParameter(DrumProcessorState& state, std::string_view name, double value);
bool handleEvent(DrumProcessorState& state, int kind, double a, double value);
bool process(DrumProcessorState& state, const ProcessorBlock& block);
void reset(DrumProcessorState& state);
int mapNoteToPiece(double note);

}  // namespace kelvo::kernel
