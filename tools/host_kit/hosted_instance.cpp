#include "hosted_instance.h"

#include <cstring>

#include "host_objects.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "public.sdk/source/common/memorystream.h"

namespace kelvo::host {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Hosts look the processor up by its category, not by a known ID.
bool findProcessorClass(IPluginFactory* factory, TUID cid) {
    for (int32 i = 0; i < factory->countClasses(); ++i) {
        PClassInfo info;
        if (factory->getClassInfo(i, &info) == kResultOk &&
            std::strcmp(info.category, kVstAudioEffectClass) == 0) {
            std::memcpy(cid, info.cid, sizeof(TUID));
            return true;
        }
    }
    return false;
}

}  // namespace

HostedInstance::HostedInstance(IPluginFactory* factory, FUnknown* hostContext) {
    TUID cid;
    if (!findProcessorClass(factory, cid)) return;
    component_ = createInstance<IComponent>(factory, cid);
    if (!component_ || component_->initialize(hostContext) != kResultOk) return;
    initialized_ = true;
    processor_ = FUnknownPtr<IAudioProcessor>(component_);
    if (component_->getControllerClassId(cid) != kResultOk) return;
    controller_ = createInstance<IEditController>(factory, cid);
    if (controller_ && controller_->initialize(hostContext) != kResultOk) controller_ = nullptr;
}

bool HostedInstance::connect() {
    FUnknownPtr<IConnectionPoint> processorPoint(component_);
    FUnknownPtr<IConnectionPoint> controllerPoint(controller_);
    connected_ = processorPoint && controllerPoint &&
                 processorPoint->connect(controllerPoint) == kResultOk &&
                 controllerPoint->connect(processorPoint) == kResultOk;
    MemoryStream state;
    if (connected_ && component_->getState(&state) == kResultOk) {
        state.seek(0, IBStream::kIBSeekSet, nullptr);
        controller_->setComponentState(&state);
    }
    return connected_;
}

tresult HostedInstance::setup(double sampleRate, int32 maxBlock) {
    ProcessSetup setup{kRealtime, kSample32, maxBlock, sampleRate};
    left_.assign(static_cast<size_t>(maxBlock), 0.0f);
    right_.assign(static_cast<size_t>(maxBlock), 0.0f);
    return processor_->setupProcessing(setup);
}

tresult HostedInstance::activate(bool state) {
    if (active_) processor_->setProcessing(false);
    const tresult result = component_->setActive(state);
    active_ = state && result == kResultOk;
    if (active_) processor_->setProcessing(true);
    return result;
}

tresult HostedInstance::process(IEventList* events, IParameterChanges* changes, int32 frames) {
    float* channels[2] = {left_.data(), right_.data()};
    AudioBusBuffers output;
    ProcessData data = outputBlock(output, channels, 2, frames);
    data.inputEvents = events;
    data.inputParameterChanges = changes;
    return processor_->process(data);
}

HostedInstance::~HostedInstance() {
    if (active_) activate(false);
    if (connected_) {
        FUnknownPtr<IConnectionPoint> processorPoint(component_);
        FUnknownPtr<IConnectionPoint> controllerPoint(controller_);
        processorPoint->disconnect(controllerPoint);
        controllerPoint->disconnect(processorPoint);
    }
    if (controller_) {
        controller_->setComponentHandler(nullptr);
        controller_->terminate();
    }
    if (initialized_) component_->terminate();
}

}  // namespace kelvo::host
