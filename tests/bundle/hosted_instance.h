// One plug-in instance held the way a host holds it, for tests and benchmarks
// that drive the built bundle: the processor and the controller it names,
// both created from the bundle's factory, initialised with a host context and
// connected to each other.
// Teardown follows a host's order: deactivate, disconnect, terminate, release.
#pragma once

#include <vector>

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

namespace kelvo::test {

class HostedInstance {
  public:
    // Creates and initialises both components; created() tells whether that worked.
    HostedInstance(Steinberg::IPluginFactory* factory, Steinberg::FUnknown* hostContext);
    ~HostedInstance();
    HostedInstance(const HostedInstance&) = delete;
    HostedInstance& operator=(const HostedInstance&) = delete;

    bool created() const { return processor_ && controller_ && initialized_; }
    // Connects processor and controller both ways.
    bool connect();
    // Real-time, 32-bit processing; output buffers of maxBlock frames.
    Steinberg::tresult setup(double sampleRate, Steinberg::int32 maxBlock);
    Steinberg::tresult activate(bool state);
    // One block into left() (and a right channel), with the given events and parameter
    // changes (either may be null).
    Steinberg::tresult process(Steinberg::Vst::IEventList* events,
                               Steinberg::Vst::IParameterChanges* changes, Steinberg::int32 frames);

    Steinberg::Vst::IComponent* component() const { return component_; }
    Steinberg::Vst::IEditController* controller() const { return controller_; }
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

}  // namespace kelvo::test
