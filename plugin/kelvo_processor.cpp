#include "kelvo_processor.h"

#include <string>

#include "plugin_ids.h"
#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/vstspeaker.h"
#include "runtime_health_json.h"

namespace kelvo {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int32 SILENCE_FLAG_CHANNELS = 63;

bool channelSilent(const float* samples, int32 frames) {
    if (samples == nullptr) return true;
    for (int32 i = 0; i < frames; ++i)
        if (samples[i] != 0.0f) return false;
    return true;
}

const char* layoutName(SpeakerArrangement arrangement) {
    switch (arrangement) {
        case SpeakerArr::kStereo:
            return "stereo";
        case SpeakerArr::kMono:
            return "mono";
        default:
            return nullptr;
    }
}

int32 hostProcessMode(int32 processMode) {
    switch (processMode) {
        case kOffline:
            return HOST_PROCESS_OFFLINE;
        case kPrefetch:
            return HOST_PROCESS_PREFETCH;
        default:
            return HOST_PROCESS_REALTIME;
    }
}

const char* busIdPrefix(BusDirection direction) {
    switch (direction) {
        case kInput:
            return "in";
        default:
            return "out";
    }
}

}  // namespace

KelvoProcessor::KelvoProcessor(const KernelFunctions& kernel) : engine_(kernel) {
    setControllerClass(kControllerUid);
}

FUnknown* KelvoProcessor::createInstance(void*) {
    return static_cast<IAudioProcessor*>(new KelvoProcessor());
}

tresult PLUGIN_API KelvoProcessor::initialize(FUnknown* context) {
    const tresult result = AudioEffect::initialize(context);
    if (result != kResultOk) return result;
    addAudioOutput(STR16("Stereo Out"), SpeakerArr::kStereo);
    for (int32 i = 0; i < KernelEngine::eventInputCount(); ++i)
        addEventInput(STR16("Event In"), 1);
    return kResultOk;
}

tresult PLUGIN_API KelvoProcessor::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                      SpeakerArrangement* outputs, int32 numOuts) {
    if (numIns != 0 || numOuts != 1 || outputs == nullptr || outputs[0] != SpeakerArr::kStereo)
        return kResultFalse;
    const tresult result = AudioEffect::setBusArrangements(inputs, numIns, outputs, numOuts);
    if (result != kResultTrue) return result;
    refreshHostFacts();
    return kResultTrue;
}

tresult PLUGIN_API KelvoProcessor::canProcessSampleSize(int32 symbolicSampleSize) {
    return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

uint32 PLUGIN_API KelvoProcessor::getLatencySamples() {
    return static_cast<uint32>(engine_.latencySamples());
}

tresult PLUGIN_API KelvoProcessor::setupProcessing(ProcessSetup& setup) {
    const tresult result = AudioEffect::setupProcessing(setup);
    if (result != kResultOk) return result;
    if (!engine_.setup(setup.sampleRate, setup.maxSamplesPerBlock)) {
        sendRuntimeDiagnostics(true);
        return kResultFalse;
    }
    refreshHostFacts();
    return kResultOk;
}

tresult PLUGIN_API KelvoProcessor::setActive(TBool state) {
    if (state && !engine_.setup(processSetup_.sampleRate, processSetup_.maxSamplesPerBlock)) {
        sendRuntimeDiagnostics(true);
        return kResultFalse;
    }
    const tresult result = AudioEffect::setActive(state);
    if (result != kResultOk) return result;
    refreshHostFacts();
    return kResultOk;
}

tresult PLUGIN_API KelvoProcessor::process(ProcessData& data) noexcept {
    if (data.symbolicSampleSize != kSample32) return kResultFalse;
    queueParameterChanges(data.inputParameterChanges);
    queueNoteEvents(data.inputEvents);
    if (data.numSamples <= 0) {
        // A parameter flush: values reach the engine's mirror now and the
        // kernel with the next rendered block.
        engine_.processBlock(nullptr, 0, nullptr, 0, 0);
        queueParameterChanges(data.inputParameterChanges);
        return kResultOk;
    }
    if (data.numOutputs < 1 || data.outputs == nullptr ||
        data.outputs[0].channelBuffers32 == nullptr || data.outputs[0].numChannels < 1)
        return kResultFalse;

    const bool haveInput = data.numInputs >= 1 && data.inputs != nullptr;
    AudioBusBuffers& out = data.outputs[0];
    engine_.processBlock(haveInput ? data.inputs[0].channelBuffers32 : nullptr,
                         haveInput ? data.inputs[0].numChannels : 0, out.channelBuffers32,
                         out.numChannels, data.numSamples);

    out.silenceFlags = 0;
    for (int32 c = 0; c < out.numChannels && c < SILENCE_FLAG_CHANNELS; ++c)
        if (channelSilent(out.channelBuffers32[c], data.numSamples))
            out.silenceFlags |= uint64{1} << c;
    return engine_.blockFailed() ? kResultFalse : kResultOk;
}

void KelvoProcessor::queueParameterChanges(IParameterChanges* changes) noexcept {
    if (changes == nullptr) return;
    const int32 count = changes->getParameterCount();
    for (int32 i = 0; i < count; ++i) {
        IParamValueQueue* queue = changes->getParameterData(i);
        if (queue == nullptr) continue;
        const ParamID id = queue->getParameterId();
        if (id >= ENGINE_PARAMETER_COUNT) continue;  // not an engine parameter
        const int32 points = queue->getPointCount();
        for (int32 p = 0; p < points; ++p) {
            int32 offset = 0;
            ParamValue value = 0;
            if (queue->getPoint(p, offset, value) == kResultOk)
                engine_.pushParamNormalized(id, value, offset);
        }
    }
}

void KelvoProcessor::queueNoteEvents(IEventList* events) noexcept {
    if (events == nullptr) return;
    const int32 count = events->getEventCount();
    for (int32 i = 0; i < count; ++i) {
        Event event{};
        if (events->getEvent(i, event) != kResultOk) continue;
        const auto route = static_cast<uint32>(
            KernelEngine::eventRouteForInput(event.busIndex < 0 ? 0 : event.busIndex));
        if (event.type == Event::kNoteOnEvent) {
            const NoteOnEvent& on = event.noteOn;
            const auto pitch = static_cast<uint32>(on.pitch);
            const auto channel = static_cast<uint32>(on.channel);
            if (on.velocity > 0.0f)
                engine_.pushNoteOn(pitch, on.velocity, event.sampleOffset, route, channel);
            else
                engine_.pushNoteOff(pitch, event.sampleOffset, route, channel);
        } else if (event.type == Event::kNoteOffEvent) {
            engine_.pushNoteOff(static_cast<uint32>(event.noteOff.pitch), event.sampleOffset, route,
                                static_cast<uint32>(event.noteOff.channel));
        }
    }
}

// A fresh record: the tail and the internal rate stay unreported, and the
// host's identity is the controller's to fill in.
HostFacts KelvoProcessor::captureHostFacts() {
    HostFacts facts;
    facts.sampleRate = processSetup_.sampleRate;
    facts.maxBlockFrames = processSetup_.maxSamplesPerBlock;
    facts.processMode = hostProcessMode(processSetup_.processMode);
    facts.sampleSize = processSetup_.symbolicSampleSize == kSample64 ? 64 : 32;
    facts.latencySamples = static_cast<int32>(getLatencySamples());
    for (BusDirection direction : {kInput, kOutput}) {
        const int32 count = getBusCount(kAudio, direction);
        for (int32 i = 0; i < count; ++i) {
            AudioBus* bus = audioBus(direction, i);
            const std::string id = busIdPrefix(direction) + std::to_string(i);
            facts.addBus(id.c_str(), direction == kInput,
                         SpeakerArr::getChannelCount(bus->getArrangement()), bus->isActive(),
                         layoutName(bus->getArrangement()));
        }
    }
    return facts;
}

void KelvoProcessor::refreshHostFacts() {
    hostFacts_ = captureHostFacts();
    sendJsonMessage("kelvo.diag.hostFacts", &hostFacts_, sizeof hostFacts_);
}

// Hosts may set the processor up before they connect it to the controller,
// and messages sent without a connection are lost.
tresult PLUGIN_API KelvoProcessor::connect(IConnectionPoint* other) {
    const tresult result = AudioEffect::connect(other);
    if (result != kResultOk) return result;
    // Captured facts always list the output bus: without buses none were sent.
    if (hostFacts_.busCount > 0)
        sendJsonMessage("kelvo.diag.hostFacts", &hostFacts_, sizeof hostFacts_);
    RuntimeDiagnostics& diagnostics = engine_.diagnostics();
    diagnostics.drainRuntimeDiagnostics();
    if (diagnostics.ring().count > 0) sendRuntimeDiagnostics(lastReportForced_);
    return kResultOk;
}

void KelvoProcessor::sendRuntimeDiagnostics(bool force) {
    lastReportForced_ = force;
    const std::string report =
        writeRuntimeHealthJson(engine_.diagnostics().snapshot(), KELVO_MODULE_ID, KELVO_VERSION,
                               engine_.sampleRate(), engine_.maxBlockFrames(), force);
    sendJsonMessage("kelvo.runtimeDiagnostics", report.data(), static_cast<uint32>(report.size()));
}

void KelvoProcessor::sendJsonMessage(const char* id, const void* bytes, uint32 size) {
    IPtr<IMessage> message = owned(allocateMessage());
    if (!message) return;
    message->setMessageID(id);
    IAttributeList* attributes = message->getAttributes();
    if (attributes == nullptr) return;
    attributes->setBinary("json", bytes, size);
    sendMessage(message);
}

}  // namespace kelvo
