#include "drum_synth.h"

#include "fdlibm_math.h"
#include "script_math.h"

namespace kelvo::kernel {

const double LN_1000 = fdlibm::log(1000.0);
const double LOG_RAMP_EPSILON = fdlibm::log(0.0001);

DrumSynth::DrumSynth(double rate) : sampleRate(rate) {
    for (int i = 0; i < DRUM_PARAM_COUNT; ++i)
        parameters[i] = DRUM_PARAM_INITIAL[i];
}

double DrumSynth::parameter(int index) const {
    const DrumParamRange& range = DRUM_PARAM_RANGES[checkedIndex(index, DRUM_PARAM_RANGES.size())];
    return clampParam(parameters[index], range.fallback, range.low, range.high);
}

std::unique_ptr<DrumSynth> initDrumSynthVoice(double sampleRate) {
    return std::make_unique<DrumSynth>(sampleRate);
}

}  // namespace kelvo::kernel
