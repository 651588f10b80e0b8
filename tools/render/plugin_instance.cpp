#include "plugin_instance.h"

#include <sys/stat.h>

#include <cstring>

#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/vstspeaker.h"
#include "public.sdk/source/common/memorystream.h"
#include "text_format.h"
#include "tool_error.h"

namespace tambro::render {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

[[noreturn]] void failToLoad(const std::string& bundlePath, const std::string& reason) {
    throw ToolError(EXIT_BUNDLE, bundlePath + ": " + reason);
}

// The first audio module class whose subcategories name an instrument.
bool findInstrumentClass(IPluginFactory* factory, TUID cid, std::string& otherAudioModule) {
    FUnknownPtr<IPluginFactory2> factory2(factory);
    if (!factory2) return false;
    for (int32 i = 0; i < factory->countClasses(); ++i) {
        PClassInfo2 info;
        if (factory2->getClassInfo2(i, &info) != kResultOk ||
            std::strcmp(info.category, kVstAudioEffectClass) != 0)
            continue;
        if (std::strstr(info.subCategories, "Instrument") != nullptr) {
            std::memcpy(cid, info.cid, sizeof(TUID));
            return true;
        }
        otherAudioModule = info.subCategories;
    }
    return false;
}

}  // namespace

PluginInstance::PluginInstance(const std::string& bundlePath)
    : collector_(owned(new kelvo::host::EditRecorder())) {
    struct stat status {};
    if (stat(bundlePath.c_str(), &status) != 0) failToLoad(bundlePath, "no such bundle");
    bundle_ = std::make_unique<kelvo::LoadedBundle>(bundlePath);
    if (bundle_->factory() == nullptr) failToLoad(bundlePath, bundle_->error());
    try {
        createParts(bundlePath);
        connectParts();
        arrangeBuses();
    } catch (...) {
        tearDown();
        throw;
    }
}

void PluginInstance::createParts(const std::string& bundlePath) {
    IPluginFactory* factory = bundle_->factory();
    std::string otherAudioModule;
    if (!findInstrumentClass(factory, classId_, otherAudioModule))
        failToLoad(bundlePath,
                   otherAudioModule.empty()
                       ? "holds no audio module class"
                       : "is not an instrument (its audio module is \"" + otherAudioModule + "\")");
    component_ = kelvo::host::createInstance<IComponent>(factory, classId_);
    if (!component_) failToLoad(bundlePath, "the instrument's processor could not be created");
    if (component_->initialize(&application_) != kResultOk)
        failToLoad(bundlePath, "the instrument's processor failed to initialise");
    componentInitialized_ = true;
    processor_ = FUnknownPtr<IAudioProcessor>(component_);
    if (!processor_) failToLoad(bundlePath, "the instrument has no audio processor");

    TUID controllerId;
    if (component_->getControllerClassId(controllerId) == kResultOk)
        controller_ = kelvo::host::createInstance<IEditController>(factory, controllerId);
    else
        controller_ = FUnknownPtr<IEditController>(component_);  // a single-part plug-in
    if (!controller_) failToLoad(bundlePath, "the instrument has no edit controller");
    if (controller_.get() != FUnknownPtr<IEditController>(component_).getInterface()) {
        if (controller_->initialize(&application_) != kResultOk)
            failToLoad(bundlePath, "the instrument's controller failed to initialise");
        controllerInitialized_ = true;
    }
}

// Both parts connected directly, then the controller learns the processor's
// state, as hosts do when they insert an instrument.
void PluginInstance::connectParts() {
    FUnknownPtr<IConnectionPoint> processorPoint(component_);
    FUnknownPtr<IConnectionPoint> controllerPoint(controller_);
    if (processorPoint && controllerPoint && controllerInitialized_) {
        processorPoint->connect(controllerPoint);
        controllerPoint->connect(processorPoint);
        connected_ = true;
    }
    IPtr<MemoryStream> state = owned(new MemoryStream());
    if (component_->getState(state) == kResultOk) {
        state->seek(0, IBStream::kIBSeekSet, nullptr);
        controller_->setComponentState(state);
    }
    controller_->setComponentHandler(collector_);
}

// Stereo on the main output if the plug-in agrees, its own choice otherwise;
// every other bus keeps the arrangement it has.
void PluginInstance::arrangeBuses() {
    const int32 outputs = component_->getBusCount(kAudio, kOutput);
    if (outputs < 1) throw ToolError(EXIT_BUNDLE, "the instrument has no audio output");
    std::vector<SpeakerArrangement> in(
        static_cast<size_t>(component_->getBusCount(kAudio, kInput)));
    std::vector<SpeakerArrangement> out(static_cast<size_t>(outputs));
    for (size_t i = 0; i < in.size(); ++i)
        processor_->getBusArrangement(kInput, static_cast<int32>(i), in[i]);
    for (size_t i = 0; i < out.size(); ++i)
        processor_->getBusArrangement(kOutput, static_cast<int32>(i), out[i]);
    out[0] = SpeakerArr::kStereo;
    processor_->setBusArrangements(in.data(), static_cast<int32>(in.size()), out.data(), outputs);
    SpeakerArrangement main = 0;
    processor_->getBusArrangement(kOutput, 0, main);
    outputChannels_ = SpeakerArr::getChannelCount(main);
    if (outputChannels_ < 1)
        throw ToolError(EXIT_BUNDLE, "the instrument's output has no channels");
    component_->activateBus(kAudio, kOutput, 0, true);
    if (component_->getBusCount(kEvent, kInput) > 0)
        component_->activateBus(kEvent, kInput, 0, true);
}

void PluginInstance::setup(double sampleRate, int32 maxBlockFrames) {
    sampleRate_ = sampleRate;
    maxBlockFrames_ = maxBlockFrames;
    ProcessSetup setup{kOffline, kSample32, maxBlockFrames, sampleRate};
    if (processor_->canProcessSampleSize(kSample32) != kResultTrue ||
        processor_->setupProcessing(setup) != kResultOk)
        throw ToolError(EXIT_PLUGIN, "the plug-in refused to run at " + fixed(sampleRate, 3) +
                                         " Hz in blocks of " + std::to_string(maxBlockFrames) +
                                         " frames");
}

void PluginInstance::activate(bool state) {
    if (!state) {
        if (processing_) processor_->setProcessing(false);
        processing_ = false;
        if (active_) component_->setActive(false);
        active_ = false;
        return;
    }
    if (component_->setActive(true) != kResultOk)
        throw ToolError(EXIT_PLUGIN, "the plug-in failed to activate");
    active_ = true;
    processor_->setProcessing(true);  // optional for plug-ins: any answer will do
    processing_ = true;
}

void PluginInstance::start() {
    activate(true);
    if (pending_.empty()) return;
    primeWithPendingEdits();
    restart();
}

void PluginInstance::restart() {
    activate(false);
    activate(true);
}

void PluginInstance::primeWithPendingEdits() {
    IPtr<kelvo::host::ParameterChanges> changes =
        owned(new kelvo::host::ParameterChanges(pending_.size()));
    for (const auto& [id, value] : pending_)
        changes->add(id, 0, value);
    pending_.clear();
    std::vector<std::vector<float>> planes(
        static_cast<size_t>(outputChannels_),
        std::vector<float>(static_cast<size_t>(maxBlockFrames_)));
    std::vector<float*> channels;
    for (auto& plane : planes)
        channels.push_back(plane.data());
    AudioBusBuffers output;
    ProcessData data = kelvo::host::outputBlock(output, channels.data(), outputChannels_,
                                                maxBlockFrames_, kOffline);
    data.inputParameterChanges = changes;
    if (processor_->process(data) != kResultOk)
        throw ToolError(EXIT_PLUGIN, "the plug-in failed to take the parameter values");
}

PluginInstance::~PluginInstance() {
    tearDown();
}

void PluginInstance::tearDown() {
    if (!component_) return;
    activate(false);
    if (controller_) controller_->setComponentHandler(nullptr);
    if (connected_) {
        FUnknownPtr<IConnectionPoint>(component_)
            ->disconnect(FUnknownPtr<IConnectionPoint>(controller_));
        FUnknownPtr<IConnectionPoint>(controller_)
            ->disconnect(FUnknownPtr<IConnectionPoint>(component_));
    }
    if (controllerInitialized_) controller_->terminate();
    controller_ = nullptr;
    processor_ = nullptr;
    if (componentInitialized_) component_->terminate();
    component_ = nullptr;
}

}  // namespace tambro::render
