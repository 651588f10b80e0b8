// One plug-in instance held the way a host holds it: the factory's first
// audio module class and the edit controller it names, both initialised with
// the host's context, connected to each other, the component's state handed
// to the controller. Teardown follows a host's order: stop processing,
// deactivate, disconnect, terminate, release.
#pragma once

#include <vector>

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

namespace kelvo::host {

class HostedInstance {
  public:
    // Creates and initialises both parts; created() tells whether that worked.
    HostedInstance(Steinberg::IPluginFactory* factory, Steinberg::FUnknown* hostContext);
    ~HostedInstance();
    HostedInstance(const HostedInstance&) = delete;
    HostedInstance& operator=(const HostedInstance&) = delete;

    bool created() const { return processor_ && controller_ && initialized_; }
    // Connects processor and controller both ways, then hands the
    // component's state to the controller, as hosts do on insert.
    bool connect();
    // Real-time, 32-bit processing; output buffers of maxBlock frames.
    Steinberg::tresult setup(double sampleRate, Steinberg::int32 maxBlock);
    // Activates and starts processing, or stops and deactivates.
    Steinberg::tresult activate(bool state);
    // One block into left() (and a right channel), with the given events and
    // parameter changes (either may be null).
    Steinberg::tresult process(Steinberg::Vst::IEventList* events,
                               Steinberg::Vst::IParameterChanges* changes, Steinberg::int32 frames);

    Steinberg::Vst::IComponent* component() const { return component_; }
    Steinberg::Vst::IEditController* controller() const { return controller_; }
    bool active() const { return active_; }
    const std::vector<float>& left() const { return left_; }

  private:
    Steinberg::IPtr<Steinberg::Vst::IComponent> component_;
    Steinberg::IPtr<Steinberg::Vst::IAudioProcessor> processor_;
    Steinberg::IPtr<Steinberg::Vst::IEditController> controller_;
    bool initialized_ = false;
    bool connected_ = false;
    bool active_ = false;
    std::vector<float> left_, right_;
};

}  // namespace kelvo::host
