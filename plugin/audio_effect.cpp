#include "audio_effect.h"

namespace kelvo {

using namespace Steinberg;
using namespace Steinberg::Vst;

AudioEffect::AudioEffect() {
    processSetup_.processMode = kRealtime;
    processSetup_.symbolicSampleSize = kSample32;
    processSetup_.maxSamplesPerBlock = 1024;
    processSetup_.sampleRate = 44100.0;
}

AudioBus* AudioEffect::addAudioInput(const TChar* name, SpeakerArrangement arrangement) {
    auto* bus = new AudioBus(name, kMain, BusInfo::kDefaultActive, arrangement);
    audioInputs.push_back(IPtr<Vst::Bus>(bus, false));
    return bus;
}

AudioBus* AudioEffect::addAudioOutput(const TChar* name, SpeakerArrangement arrangement) {
    auto* bus = new AudioBus(name, kMain, BusInfo::kDefaultActive, arrangement);
    audioOutputs.push_back(IPtr<Vst::Bus>(bus, false));
    return bus;
}

EventBus* AudioEffect::addEventInput(const TChar* name, int32 channels) {
    auto* bus = new EventBus(name, kMain, BusInfo::kDefaultActive, channels);
    eventInputs.push_back(IPtr<Vst::Bus>(bus, false));
    return bus;
}

AudioBus* AudioEffect::audioBus(BusDirection direction, int32 index) {
    BusList& list = direction == kInput ? audioInputs : audioOutputs;
    if (index < 0 || index >= static_cast<int32>(list.size())) return nullptr;
    return static_cast<AudioBus*>(list.at(index).get());
}

tresult PLUGIN_API AudioEffect::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                   SpeakerArrangement* outputs, int32 numOuts) {
    if (numIns < 0 || numOuts < 0 || numIns > static_cast<int32>(audioInputs.size()) ||
        numOuts > static_cast<int32>(audioOutputs.size()))
        return kResultFalse;
    if ((numIns > 0 && inputs == nullptr) || (numOuts > 0 && outputs == nullptr))
        return kInvalidArgument;
    for (int32 i = 0; i < numIns; ++i)
        audioBus(kInput, i)->setArrangement(inputs[i]);
    for (int32 i = 0; i < numOuts; ++i)
        audioBus(kOutput, i)->setArrangement(outputs[i]);
    return kResultTrue;
}

tresult PLUGIN_API AudioEffect::getBusArrangement(BusDirection direction, int32 index,
                                                  SpeakerArrangement& arrangement) {
    AudioBus* bus = audioBus(direction, index);
    if (bus == nullptr) return kInvalidArgument;
    arrangement = bus->getArrangement();
    return kResultTrue;
}

tresult PLUGIN_API AudioEffect::canProcessSampleSize(int32 symbolicSampleSize) {
    return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API AudioEffect::setupProcessing(ProcessSetup& setup) {
    if (canProcessSampleSize(setup.symbolicSampleSize) != kResultTrue) return kResultFalse;
    processSetup_ = setup;
    return kResultOk;
}

tresult PLUGIN_API AudioEffect::setProcessing(TBool state) {
    processing_ = state != 0;
    return kResultOk;
}

}  // namespace kelvo
